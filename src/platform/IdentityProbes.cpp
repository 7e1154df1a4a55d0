#include "platform/IdentityProbes.h"

#include <initializer_list>
#include <vector>

#include "platform/NetworkAdapters.h"
#include "platform/ProbeEnvironment.h"
#include "platform/ProbeFiles.h"
#include "platform/ProbeText.h"
#include "platform/SystemRecord.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

constexpr size_t kCpusetLineBuffer = 150;
// A machine-id file is 33 bytes; one far larger is not a machine ID.
constexpr size_t kMachineIdFileLimit = 64u * 1024u;

struct MacPrefix {
    const char* prefix;  // first three bytes as six hex digits
    const char* verdict;
};

const MacPrefix kVirtualMacPrefixes[] = {{"0003ff", "VIRTUALBOX"}, {"005056", "VMWARE"},
                                         {"000c29", "VMWARE"},     {"000569", "VMWARE"},
                                         {"080027", "VIRTUALBOX"}, {"000f4b", "VIRTUALIRON"},
                                         {"00163e", "XEN"},        {"001c42", "PARALLELS"}};

bool endsWithIgnoringCase(const std::string& text, const std::string& suffix) {
    if (suffix.size() > text.size()) return false;
    return toLower(text.substr(text.size() - suffix.size())) == toLower(suffix);
}

// A machine ID is printable text; a piece with control bytes (a binary
// file) identifies nothing.
bool isPrintable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string firstPiece(const std::string& path) {
    std::string content;
    if (!readProbeWhole(path, content, kMachineIdFileLimit)) return std::string();
    std::string piece;
    forEachLine(content, [&](std::string_view line) {
        piece = std::string(line);
        return true;
    });
    return isPrintable(piece) ? piece : std::string();
}

struct KernelLog {
    std::string text;
    bool live = false;  // the kernel's buffer, not the boot-time file
};

// /var/log/dmesg when it can be opened, else the kernel's buffer now (what
// "dmesg" would print).
KernelLog readKernelLog(const ProbeEnvironment& env) {
    KernelLog log;
    // Of a file longer than the cap, the start is read: it holds the boot
    // messages the markers come from.
    if (readProbePrefix(env.path("/var/log/dmesg"), kProbeFileLimit, log.text)) return log;
    log.live = true;
    if (env.kernelLog && !env.kernelLog(log.text)) log.text.clear();
    return log;
}

bool containsAny(const std::string& text, std::initializer_list<const char*> markers) {
    for (const char* marker : markers)
        if (text.find(marker) != std::string::npos) return true;
    return false;
}

// A hypervisor fills /sys/hypervisor/uuid with a real UUID; an all-zero
// one (with or without dashes) means none.
bool hasXenUuid(const ProbeEnvironment& env) {
    const std::string uuid = readProbePrefix(env.path("/sys/hypervisor/uuid"), 36);
    for (char c : uuid)
        if (c != '-' && c != '0' && c != '\n' && c != '\r' && c != ' ' && c != '\t') return true;
    return false;
}

}  // namespace

std::string diskUUID(const ProbeEnvironment& env) {
    const std::string dir = env.path("/dev/disk/by-uuid");
    std::vector<std::pair<std::string, std::string>> links;  // name, target
    for (const DirectoryEntry& entry : listEntries(dir)) {
        std::string target;
        if (entry.isLink && readLinkTarget(dir + "/" + entry.name, target))
            links.emplace_back(entry.name, std::move(target));
    }
    for (const auto& link : links)
        if (link.second.find("/sda") != std::string::npos) return link.first;

    // Without a /dev/root link the device part is empty and every target
    // ends with it, so the first link serves; existing clients' machine-ID
    // hashes were made that way.
    std::string root;
    readLinkTarget(env.path("/dev/root"), root);
    const std::string device =
        root.substr(root.rfind('/') == std::string::npos ? 0 : root.rfind('/') + 1);
    for (const auto& link : links)
        if (endsWithIgnoringCase(link.second, device)) return link.first;
    return kProbeError;
}

std::string machineID(const ProbeEnvironment& env) {
    std::string id = firstPiece(env.path("/var/lib/dbus/machine-id"));
    if (id.empty()) id = firstPiece(env.path("/etc/machine-id"));
    return id.empty() ? std::string(kProbeError) : id;
}

std::string cpusetFirstLine(const ProbeEnvironment& env) {
    return readFirstLine(env.path("/proc/1/cpuset"), kCpusetLineBuffer);
}

std::string virtualMachineForMac(const std::string& address) {
    std::string hex;
    for (char c : address)
        if (c != ':') hex += c;
    if (hex.size() < 6) return std::string();
    const std::string prefix = toLower(hex.substr(0, 6));
    for (const MacPrefix& entry : kVirtualMacPrefixes)
        if (prefix == entry.prefix) return entry.verdict;
    return std::string();
}

// The kernel log is read once for the three log tests: reading it anew for
// each, as a line-by-line scan would, gives the same verdict at up to three
// times the cost.
std::string detectVirtualMachine(const ProbeEnvironment& env) {
    if (cpusetFirstLine(env).find("/docker/") != std::string::npos) return "DOCKER";

    const KernelLog log = readKernelLog(env);
    if (containsAny(log.text,
                    {"Hyper-V Virtual Machine detected", "Hypervisor detected: Microsoft HyperV"}))
        return "HYPERV";
    if (containsAny(log.text, {log.live ? "Hypervisor detected: VMware" : "VMware"}))
        return "VMWARE";
    if (containsAny(log.text, {"VirtualBox", "VBOX"})) return "VIRTUALBOX";

    if (hasXenUuid(env)) return "XEN";

    for (const std::string& address : macAddresses(env)) {
        const std::string verdict = virtualMachineForMac(address);
        if (!verdict.empty()) return verdict;
    }
    return std::string();
}

}  // namespace ZEBInternal
