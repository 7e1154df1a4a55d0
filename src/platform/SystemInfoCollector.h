#pragma once
// One collection of the machine description behind the SYSINFO report
// section. Runs every probe in record order on the calling thread; the
// system-information store calls it at most once per SYSINFOREREADSEC,
// under its own lock. Never throws: a probe that fails, even with an
// exception, answers its marker value and the others still run.

#include <cstdint>
#include <string>

#include "platform/ProbeEnvironment.h"
#include "platform/SystemRecord.h"

namespace ZEBInternal {

// Neither empty, "NOT_COLLECTED" nor "ERROR".
bool isCollected(const std::string& value);

// `lastUpdate` is the collection time in seconds since the epoch. Reads
// files and asks the kernel; starts no program.
SystemRecord collectSystemInfo(uint32_t lastUpdate,
                               const ProbeEnvironment& env = defaultProbeEnvironment());

}  // namespace ZEBInternal
