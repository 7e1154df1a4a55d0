#pragma once
// The CA certificates this machine trusts, as PEM texts. Stateless; any
// thread. Called once when a configuration that may use TLS is created.

#include <string>
#include <vector>

namespace ZEBInternal {

// One PEM certificate text per entry; empty when none can be read.
std::vector<std::string> discoverSystemCerts();

}  // namespace ZEBInternal
