#include "platform/NetworkAdapters.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

#include "platform/ProbeEnvironment.h"
#include "util/FileDescriptor.h"

namespace ZEBInternal {

namespace {

struct IfaddrsFree {
    void operator()(struct ifaddrs* list) const { freeifaddrs(list); }
};

}  // namespace

std::string formatMacAddress(const unsigned char bytes[6]) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(17);
    for (int i = 0; i < 6; ++i) {
        if (i > 0) text += ':';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

std::vector<std::string> systemMacAddresses() {
    std::vector<std::string> addresses;
    struct ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0) return addresses;
    std::unique_ptr<struct ifaddrs, IfaddrsFree> list(raw);
    FileDescriptor sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock.valid()) return addresses;
    for (const struct ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET) continue;
        if (it->ifa_name == nullptr || std::strcmp(it->ifa_name, "lo") == 0) continue;
        const size_t nameLength = std::strlen(it->ifa_name);
        if (nameLength >= IFNAMSIZ) continue;
        struct ifreq request {};
        std::memcpy(request.ifr_name, it->ifa_name, nameLength);
        if (::ioctl(sock.get(), SIOCGIFHWADDR, &request) != 0) continue;
        unsigned char bytes[6];
        std::memcpy(bytes, request.ifr_hwaddr.sa_data, sizeof bytes);
        bool allZero = true;
        for (unsigned char b : bytes) allZero = allZero && b == 0;
        if (!allZero) addresses.push_back(formatMacAddress(bytes));
    }
    return addresses;
}

std::vector<std::string> macAddresses(const ProbeEnvironment& env) {
    if (!env.listMacAddresses) return std::vector<std::string>();
    return env.listMacAddresses();
}

}  // namespace ZEBInternal
