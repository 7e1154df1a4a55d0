#pragma once
// The Linux distribution: ID, release and description, as "lsb_release -a"
// gives them (OsRelease.h) or, without an os-release file, from the release
// file in /etc.
// Stateless; any thread.

#include <string>

namespace ZEBInternal {

struct ProbeEnvironment;

struct Distribution {
    std::string id;           // e.g. Debian; "ERROR" when unknown
    std::string release;      // e.g. 12.11; "ERROR" when unknown
    std::string description;  // e.g. Debian GNU/Linux 12 (bookworm); "ERROR" when unknown
};

// Reads the os-release file once for all three values.
Distribution probeDistribution(const ProbeEnvironment& env);

// The three values from lsb_release -a output (possibly empty) and the /etc
// tree below the environment's root.
Distribution distributionFrom(const std::string& lsbOutput, const ProbeEnvironment& env);

// Digits, ".", digits (either run may be empty), then "." or the end.
bool isVersionLike(const std::string& word);

}  // namespace ZEBInternal
