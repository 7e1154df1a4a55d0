#include "platform/FingerprintRecipes.h"

#include <algorithm>

#include "platform/IdentityProbes.h"
#include "platform/SystemInfoCollector.h"
#include "util/Digest.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// Prefixes of virtual adapters (VMware, Hyper-V, VirtualIron, VirtualBox,
// Xen, Parallels...), compared case-sensitively with upper-case addresses.
const char* const kVirtualPrefixes[] = {"00:50:56", "00:0C:29", "00:1C:14", "00:05:69", "B0:C4:20",
                                        "00:0F:4B", "00:03:FF", "08:00:27", "00:16:3E", "00:1C:42"};

// Addresses that many machines share (modems, VPN and tunnel adapters,
// fixed defaults) and so identify none. "00:03:0d:00:00:01" is lower case
// and never matches an upper-case address; it stays as it is because V5
// values already issued were computed with it.
const char* const kExcludedPrefixes[] = {
    "10:11:11:11:11:11", "88:88:88:88:88:88", "88:88:88:88:97:88", "00:00:02:00:00:00",
    "44:45:53:54:42:00", "00:03:0d:00:00:01", "80:00:60:0F:E8:00", "08:00:58:00:00:01",
    "00:F1:D0:00:F1:D0", "00:19:86:00:2B:48", "58:2C:80:13:92:63", "00:AD:E1:AC:1C:1A",
    "44:45:53:54:77:77", "00:FF:2A:3A:4B:5B", "00:15:83:15:A3:10", "00:A0:C6:00:00:00",
    "00:A0:C6:00:00:01", "00:53:45:00:00:00", "00:05:9A:3C:7A:00", "00:A0:D5:FF:FF:85",
    "88:88:88:88:87:88", "10:00:00",          "00:00:00:00:00",    "00:FF",
    "00:A0:C6"};

constexpr size_t kDockerIdOffset = 9;

bool startsWithAny(const std::string& text, const char* const* begin, const char* const* end) {
    return std::any_of(begin, end, [&](const char* prefix) { return startsWith(text, prefix); });
}

std::string everySecondCharacter(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) out += text[i];
    return out;
}

// One wide character per byte. For the ASCII text of a UUID or machine ID
// this is what mbsrtowcs gives; unlike mbsrtowcs it cannot fail on other
// bytes nor depend on the locale the host happens to have set.
std::wstring widen(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text) wide += static_cast<wchar_t>(c);
    return wide;
}

}  // namespace

std::string selectV5Address(std::vector<std::string> macs) {
    std::sort(macs.begin(), macs.end());
    for (const std::string& mac : macs) {
        if (mac.size() < 2) continue;
        const char second = mac[1];
        if (second != '0' && second != '4' && second != '8' && second != 'C') continue;
        if (startsWithAny(mac, std::begin(kVirtualPrefixes), std::end(kVirtualPrefixes))) continue;
        if (startsWithAny(mac, std::begin(kExcludedPrefixes), std::end(kExcludedPrefixes)))
            continue;
        return mac;
    }
    return std::string();
}

std::string v5Fingerprint(const std::vector<std::string>& macs, const std::string& upperPath) {
    return sha256Base64(selectV5Address(macs) + upperPath);
}

std::string v4Fingerprint(const std::vector<std::string>& macs, const std::string& path) {
    const std::string x1 = base64Encode(sha256Raw(base64Encode(join(macs, "&"))));
    const std::string x2 = base64Encode(sha256Raw(base64Encode(path)));
    return everySecondCharacter(x1) + everySecondCharacter(x2);
}

std::string v3Fingerprint(const std::vector<std::string>& macs, const std::string& productID,
                          const std::string& path) {
    const std::string h1 = sha256Base64(join(macs, "&"));
    std::string h2 = sha256Base64(productID + path);
    h2 = h2.substr(0, h2.find('='));
    const size_t tail = h2.size() >= 22 ? h2.size() - 22 : 0;
    return h1.substr(0, h1.size() / 2) + h2.substr(tail);
}

std::string wideSourceHash(const std::string& source) {
    return toLower(sha256HexWide(widen(source)));
}

// The ID is taken from the tenth character of the line to the end of what
// was read, line feed included. That skips the first character of the ID
// and keeps the line feed, but containers are already known to the server
// by hashes made this way.
std::string containerIdHash(const std::string& cpusetLine) {
    if (cpusetLine.find("/docker/") == std::string::npos) return std::string();
    // A line too short to hold an ID after the marker gives none, rather
    // than a hash of nothing shared by every such container.
    if (cpusetLine.size() <= kDockerIdOffset) return std::string();
    return toLower(sha256Hex(cpusetLine.substr(kDockerIdOffset)));
}

std::string machineIdHash(const ProbeEnvironment& env) {
    std::string source = diskUUID(env);
    if (!isCollected(source)) source = machineID(env);
    if (isCollected(source)) return wideSourceHash(source);
    if (detectVirtualMachine(env) == "DOCKER") return containerIdHash(cpusetFirstLine(env));
    return std::string();
}

}  // namespace ZEBInternal
