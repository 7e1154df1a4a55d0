#pragma once
// The one root certificate compiled into the library, trusted by TLS
// connections when the system's certificates are not used. Immutable; any
// thread.

#include <string>

namespace ZEBInternal {

// PEM text with CR LF line ends, from "-----BEGIN CERTIFICATE-----" through
// the line end after "-----END CERTIFICATE-----". Callers that hand it to a
// PEM parser needing a terminating NUL pass size() + 1 of c_str().
const std::string& builtInCertificatePem();

}  // namespace ZEBInternal
