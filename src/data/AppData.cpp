#include "data/AppData.h"

namespace ZEBInternal {

AppData::AppData(const RuntimeSettings* settings) : AppData(settings, defaultProbeEnvironment()) {}

AppData::AppData(const RuntimeSettings* settings, const ProbeEnvironment& env)
    : fingerprint_(settings, env), systemInfo_(settings, env) {}

}  // namespace ZEBInternal
