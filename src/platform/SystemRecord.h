#pragma once
// One description of the machine, as collectSystemInfo returns it. Single
// values are texts that may hold the markers "NOT_COLLECTED" (never
// collected on this platform) or "ERROR" (could not be read); lists are
// empty when there is nothing to report. A plain value, copied freely.

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace ZEBInternal {

extern const char* const kNotCollected;  // "NOT_COLLECTED"
extern const char* const kProbeError;    // "ERROR"

// A screen entry: a triple the SYSINFO section writes as "(a,b,c)". Linux
// reports no screens, so what the three parts mean is not settled.
using ScreenTriple = std::array<std::string, 3>;
// A display adapter: PCI vendor and device IDs, four hex digits each.
using GpuPair = std::pair<std::string, std::string>;

struct SystemRecord {
    std::string lastUpdate;
    std::string coreCount;
    std::string cpu;
    std::string diskUUID;  // for the fingerprints only
    std::string osWordLength;
    std::string osLCID;
    std::string osLanguage;
    std::string osLocale;
    std::string userLCID;
    std::string userLanguage;
    std::string userLocale;
    std::string deviceModel;
    std::string machineID;  // for the fingerprints only
    std::string osID;
    std::string osRelease;
    std::string osName;
    std::string osSuiteMask;
    std::string osServer2;
    std::string osBuildVer;
    std::string osProdVer;
    std::string osProdName;
    std::string osProdType;
    std::string osProdInfo;
    std::string tzOffset;
    std::string ram;
    std::string lidPresent;
    std::string hasBattery;
    std::string touchScreenExists;
    std::vector<std::string> dotNetVersions;
    std::vector<std::string> dotNetReleases;
    std::vector<ScreenTriple> screens;
    std::vector<GpuPair> gpus;
    std::string vm;
};

}  // namespace ZEBInternal
