#include "platform/SystemProbes.h"

#include <cstdint>
#include <cstdio>

#include "platform/ProbeEnvironment.h"
#include "platform/ProbeFiles.h"
#include "platform/ProbeText.h"
#include "platform/SystemRecord.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

std::string orError(const std::string& value) {
    return value.empty() ? std::string(kProbeError) : value;
}

std::string lang(const ProbeEnvironment& env) {
    std::string value;
    if (!env.getEnv || !env.getEnv("LANG", value)) return std::string();
    return value;
}

}  // namespace

std::string cpuinfoValue(const std::string& cpuinfo, const std::string& key) {
    std::string value;
    forEachLine(cpuinfo, [&](std::string_view line) {
        if (line.compare(0, key.size(), key) != 0) return false;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return false;
        value = std::string(trimView(line.substr(colon + 1)));
        return true;
    });
    return value;
}

// The keys sit in the first processor block, so the capped prefix of a
// very long cpuinfo (thousands of cores) still holds them.
std::string cpuModel(const ProbeEnvironment& env) {
    return orError(cpuinfoValue(readProbePrefix(env.path("/proc/cpuinfo")), "model name"));
}

std::string cpuCores(const ProbeEnvironment& env) {
    return orError(cpuinfoValue(readProbePrefix(env.path("/proc/cpuinfo")), "cpu cores"));
}

std::string wordLength(const ProbeEnvironment& env) {
    const long bits = env.longBits ? env.longBits() : 0;
    return bits > 0 ? toDecimal(static_cast<uint32_t>(bits)) : std::string(kProbeError);
}

// The language ends at the territory ("_"), and also at the codeset (".")
// or modifier ("@") of a name without territory, so C.UTF-8 gives C rather
// than an encoding name.
std::string languageFromLang(const std::string& lang) {
    return orError(toUpper(lang.substr(0, lang.find_first_of("_.@"))));
}

std::string localeFromLang(const std::string& lang) {
    std::string value = lang.substr(0, lang.find_first_of(".@"));
    const size_t underscore = value.find('_');
    if (underscore != std::string::npos) value = value.substr(underscore + 1);
    return orError(toUpper(value));
}

std::string osLanguage(const ProbeEnvironment& env) {
    return languageFromLang(lang(env));
}

std::string osLocale(const ProbeEnvironment& env) {
    return localeFromLang(lang(env));
}

// The sign is taken from the whole offset, not from the hours, so that a
// zone less than an hour west of UTC is not reported as east of it.
std::string formatTzOffset(long secondsWestOfUtc) {
    const long minutesEast = -(secondsWestOfUtc / 60);
    const bool west = minutesEast < 0;
    const unsigned long magnitude = west ? 0ul - static_cast<unsigned long>(minutesEast)
                                         : static_cast<unsigned long>(minutesEast);
    if (magnitude == 0) return "0000";
    char text[48];
    std::snprintf(text, sizeof text, "%c%02lu%02lu", west ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string tzOffset(const ProbeEnvironment& env) {
    if (!env.secondsWestOfUtc) return kProbeError;
    return formatTzOffset(env.secondsWestOfUtc());
}

std::string ramMiB(const ProbeEnvironment& env) {
    uint64_t bytes = 0;
    if (!env.totalMemory || !env.totalMemory(bytes)) return kProbeError;
    return toDecimal(static_cast<uint64_t>(bytes / 1048576u));
}

std::string lidPresent(const ProbeEnvironment& env) {
    return isDirectory(env.path("/proc/acpi/button/lid")) ? "1" : "0";
}

std::string hasBattery(const ProbeEnvironment& env) {
    const std::string base = env.path("/sys/class/power_supply/BAT");
    const std::string present = exists(base + "1") ? base + "1/present" : base + "0/present";
    return trim(readProbePrefix(present, 64)) == "1" ? "1" : "0";
}

}  // namespace ZEBInternal
