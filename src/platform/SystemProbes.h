#pragma once
// The simple machine probes: processor, word length, language and locale,
// time zone, memory, lid and battery. Each answers text and never throws
// for a missing file or command: a value it cannot read is "ERROR", a flag
// it cannot read is "0". Stateless; any thread.

#include <string>

namespace ZEBInternal {

struct ProbeEnvironment;

// "model name" and "cpu cores" of /proc/cpuinfo, or "ERROR".
std::string cpuModel(const ProbeEnvironment& env);
std::string cpuCores(const ProbeEnvironment& env);
// The value of the first line of cpuinfo text that begins with `key` and
// holds a ":", trimmed; empty when there is none.
std::string cpuinfoValue(const std::string& cpuinfo, const std::string& key);

// "getconf LONG_BIT", trimmed, or "ERROR".
std::string wordLength(const ProbeEnvironment& env);

// From LANG such as de_AT.UTF-8: the language (DE) and the territory (AT),
// upper case; "ERROR" when LANG is unset or gives nothing.
std::string osLanguage(const ProbeEnvironment& env);
std::string osLocale(const ProbeEnvironment& env);
std::string languageFromLang(const std::string& lang);
std::string localeFromLang(const std::string& lang);

// The standard-time offset east of UTC as "+hhmm", "-hhmm" or "0000".
std::string tzOffset(const ProbeEnvironment& env);
std::string formatTzOffset(long secondsWestOfUtc);

// Total RAM in whole MiB, or "ERROR".
std::string ramMiB(const ProbeEnvironment& env);

// "1" when the ACPI lid button exists, else "0".
std::string lidPresent(const ProbeEnvironment& env);
// "1" when the first battery (BAT1 if present, else BAT0) reports present.
std::string hasBattery(const ProbeEnvironment& env);

}  // namespace ZEBInternal
