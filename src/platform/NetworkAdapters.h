#pragma once
// Hardware addresses of the machine's network adapters, the raw material of
// the fingerprints and of the virtual-machine test. Stateless; any thread.

#include <string>
#include <vector>

namespace ZEBInternal {

struct ProbeEnvironment;

// Six bytes as upper-case hex pairs joined by ":", e.g. 00:1C:42:AB:CD:EF.
std::string formatMacAddress(const unsigned char bytes[6]);

// Every getifaddrs entry of the packet family other than "lo", in that
// order, whose hardware address (SIOCGIFHWADDR) is not all zero. Empty when
// the adapters cannot be listed.
std::vector<std::string> systemMacAddresses();

// The environment's adapter list (systemMacAddresses on a real machine).
std::vector<std::string> macAddresses(const ProbeEnvironment& env);

}  // namespace ZEBInternal
