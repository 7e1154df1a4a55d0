#include "transport/SystemCerts.h"

namespace ZEBInternal {

// Placeholder until the transport fills in the search of the system's certificate store.
std::vector<std::string> discoverSystemCerts() { return {}; }

}  // namespace ZEBInternal
