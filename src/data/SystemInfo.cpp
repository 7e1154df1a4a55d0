#include "data/SystemInfo.h"

#include "config/RuntimeSettings.h"
#include "data/SectionText.h"
#include "platform/SystemInfoCollector.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

namespace {

void single(std::string& out, const char* key, const std::string& value) {
    if (isCollected(value)) appendSectionLine(out, key, value);
}

void list(std::string& out, const char* key, const std::string& items, bool any) {
    if (any) appendSectionLine(out, key, items);
}

}  // namespace

std::string systemInfoLines(const SystemRecord& r) {
    std::string out;
    single(out, "LASTUPDATE", r.lastUpdate);
    single(out, "CORECOUNT", r.coreCount);
    single(out, "CPU", r.cpu);
    single(out, "OSWORDLENGTH", r.osWordLength);
    single(out, "OSLCID", r.osLCID);
    single(out, "OSLANGUAGE", r.osLanguage);
    single(out, "OSLOCALE", r.osLocale);
    single(out, "USERLCID", r.userLCID);
    single(out, "USERLANGUAGE", r.userLanguage);
    single(out, "USERLOCALE", r.userLocale);
    single(out, "OSID", r.osID);
    single(out, "OSRELEASE", r.osRelease);
    single(out, "OSBUILDVER", r.osBuildVer);
    single(out, "OSNAME", r.osName);
    single(out, "OSPRODTYPE", r.osProdType);
    single(out, "OSSUITEMASK", r.osSuiteMask);
    single(out, "OSPRODINFO", r.osProdInfo);
    single(out, "OSSERVER2", r.osServer2);
    single(out, "OSPRODVER", r.osProdVer);
    single(out, "OSPRODNAME", r.osProdName);
    single(out, "TZOFFSET", r.tzOffset);
    single(out, "RAM", r.ram);
    single(out, "DEVICEMODEL", r.deviceModel);
    single(out, "LIDPRESENT", r.lidPresent);
    single(out, "HASBATTERY", r.hasBattery);
    list(out, "DOTNETVERSIONS", stringList(r.dotNetVersions), !r.dotNetVersions.empty());
    list(out, "DOTNETRELEASES", stringList(r.dotNetReleases), !r.dotNetReleases.empty());
    list(out, "SCREENRESOLUTIONS", tripleList(r.screens), !r.screens.empty());
    single(out, "TOUCHSCREENEXISTS", r.touchScreenExists);
    list(out, "GPUS", pairList(r.gpus), !r.gpus.empty());
    single(out, "VM", r.vm);
    return out;
}

SystemInfo::SystemInfo(const RuntimeSettings* settings, const ProbeEnvironment& env)
    : lock_(createMutex(true, "SystemInfo API lock")), settings_(settings), env_(env) {}

std::string SystemInfo::sectionText() {
    ZEBScopedLock lock(lock_.get());
    const uint32_t maxAge = settings_ != nullptr ? settings_->SYSINFOREREADSEC : 86400u;
    const TimeValue now = timeutil::now();
    // A clock set back makes the difference wrap to a large age, which
    // collects anew.
    const uint32_t age = timeutil::subtract(now, lastCollected_).seconds;
    if (collected_ && maxAge > age) return cachedText_;

    lastCollected_ = now;
    collected_ = true;
    cachedText_ = systemInfoLines(collectSystemInfo(now.seconds, env_));
    return cachedText_;
}

}  // namespace ZEBInternal
