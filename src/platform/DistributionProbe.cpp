#include "platform/DistributionProbe.h"

#include <algorithm>
#include <vector>

#include "platform/OsRelease.h"
#include "platform/ProbeEnvironment.h"
#include "platform/ProbeFiles.h"
#include "platform/ProbeText.h"
#include "platform/SystemRecord.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// Release files are a line or two; anything longer is not one.
constexpr size_t kReleaseFileLimit = 64u * 1024u;

// Distributions whose release file is named "<prefix>-release". Compared
// case-sensitively: the file is really called SuSe-release on old systems.
const char* const kReleasePrefixes[] = {"centos", "fedora", "gentoo", "mandrake",
                                        "nld",    "redhat", "SuSe",   "novell"};

std::string lsbValue(const std::string& output, const std::string& key) {
    std::string value;
    forEachLine(output, [&](std::string_view line) {
        if (line.compare(0, key.size(), key) != 0) return false;
        value = std::string(trimView(line.substr(key.size())));
        return true;
    });
    return value;
}

bool isReleaseFileName(const std::string& name) {
    if (name.find("debian_version") != std::string::npos) return true;
    const size_t release = name.find("-release");
    if (release == std::string::npos) return false;
    const std::string prefix = name.substr(0, release);
    return std::any_of(std::begin(kReleasePrefixes), std::end(kReleasePrefixes),
                       [&](const char* known) { return prefix == known; });
}

// The content of the first release file of /etc in directory order,
// trimmed: the trailing line feed of the file must not end up inside a
// report line.
std::string releaseFileDescription(const ProbeEnvironment& env) {
    const std::string etc = env.path("/etc");
    for (const DirectoryEntry& entry : listEntries(etc)) {
        if (!isReleaseFileName(entry.name)) continue;
        std::string content;
        readProbeWhole(etc + "/" + entry.name, content, kReleaseFileLimit);
        return trim(content);
    }
    return std::string();
}

bool allDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool isVersionLike(const std::string& word) {
    const size_t dot = word.find('.');
    if (dot == std::string::npos) return false;
    const size_t nextDot = word.find('.', dot + 1);
    const std::string after =
        word.substr(dot + 1, nextDot == std::string::npos ? std::string::npos : nextDot - dot - 1);
    return allDigits(word.substr(0, dot)) && allDigits(after);
}

Distribution distributionFrom(const std::string& lsbOutput, const ProbeEnvironment& env) {
    Distribution result;
    std::string description = lsbValue(lsbOutput, "Description:");
    if (description.empty()) description = releaseFileDescription(env);

    result.description = description.empty() ? std::string(kProbeError) : description;

    result.id = lsbValue(lsbOutput, "Distributor ID:");
    if (result.id.empty()) {
        const size_t blank = description.find(' ');
        result.id =
            blank == std::string::npos ? std::string(kProbeError) : description.substr(0, blank);
    }

    result.release = lsbValue(lsbOutput, "Release:");
    if (result.release.empty()) {
        for (const std::string& word : split(description, " \t\r\n\v\f")) {
            if (isVersionLike(word)) {
                result.release = word;
                break;
            }
        }
        if (result.release.empty()) result.release = kProbeError;
    }
    return result;
}

Distribution probeDistribution(const ProbeEnvironment& env) {
    return distributionFrom(lsbReleaseText(env), env);
}

}  // namespace ZEBInternal
