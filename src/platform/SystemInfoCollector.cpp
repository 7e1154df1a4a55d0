#include "platform/SystemInfoCollector.h"

#include "platform/DeviceProbes.h"
#include "platform/DistributionProbe.h"
#include "platform/IdentityProbes.h"
#include "platform/SystemProbes.h"
#include "util/Strings.h"

namespace ZEBInternal {

const char* const kNotCollected = "NOT_COLLECTED";
const char* const kProbeError = "ERROR";

namespace {

// A probe that throws (memory exhaustion, a helper's internal error) gives
// its failure value; the collection goes on.
template <typename Probe, typename Result>
Result guarded(Probe probe, Result onFailure) {
    try {
        return probe();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

bool isCollected(const std::string& value) {
    return !value.empty() && value != kNotCollected && value != kProbeError;
}

SystemRecord collectSystemInfo(uint32_t lastUpdate, const ProbeEnvironment& env) {
    const std::string error(kProbeError);
    SystemRecord r;
    r.lastUpdate = toDecimal(lastUpdate);
    r.coreCount = guarded([&] { return cpuCores(env); }, error);
    r.cpu = guarded([&] { return cpuModel(env); }, error);
    r.diskUUID = guarded([&] { return diskUUID(env); }, error);
    r.osWordLength = guarded([&] { return wordLength(env); }, error);
    r.osLCID = kNotCollected;
    r.osLanguage = guarded([&] { return osLanguage(env); }, error);
    r.osLocale = guarded([&] { return osLocale(env); }, error);
    r.userLCID = kNotCollected;
    r.userLanguage = kNotCollected;
    r.userLocale = kNotCollected;
    r.deviceModel = kNotCollected;
    r.machineID = guarded([&] { return machineID(env); }, error);
    // One run of lsb_release serves all three distribution values.
    const Distribution distribution =
        guarded([&] { return probeDistribution(env); }, Distribution{error, error, error});
    r.osID = distribution.id;
    r.osRelease = distribution.release;
    r.osName = distribution.description;
    r.osSuiteMask = kNotCollected;
    r.osServer2 = kNotCollected;
    r.osBuildVer = kNotCollected;
    r.osProdVer = kNotCollected;
    r.osProdName = kNotCollected;
    r.osProdType = kNotCollected;
    r.osProdInfo = kNotCollected;
    r.tzOffset = guarded([&] { return tzOffset(env); }, error);
    r.ram = guarded([&] { return ramMiB(env); }, error);
    r.lidPresent = guarded([&] { return lidPresent(env); }, std::string("0"));
    r.hasBattery = guarded([&] { return hasBattery(env); }, std::string("0"));
    r.touchScreenExists = guarded([&] { return touchScreenExists(env); }, std::string("FALSE"));
    r.gpus = guarded([&] { return gpus(env); }, std::vector<GpuPair>());
    r.vm = guarded([&] { return detectVirtualMachine(env); }, std::string());
    return r;
}

}  // namespace ZEBInternal
