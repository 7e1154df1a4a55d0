#pragma once
// Discovery of the machine's trusted root certificates, which TLS
// connections trust instead of the built-in list when USEDISCOVEREDCERTS is
// on. Stateless; any thread. The configuration calls it once when it is
// created.

#include <string>
#include <vector>

namespace ZEBInternal {

// PEM certificates found under "/etc/ssl/certs", each ending with CR LF:
// those of "ca-bundle.crt" if it holds any, else those of
// "ca-certificates.crt" if it holds any, else those of every entry whose
// name contains ".crt", in directory order. Empty when nothing is found.
// `from`, when given, names where they came from: the bundle, or the
// directory for separate files.
std::vector<std::string> discoverSystemCerts(std::string* from = nullptr);
// The same search under another directory.
std::vector<std::string> discoverSystemCerts(const std::string& certDir,
                                             std::string* from = nullptr);

// The certificates of one PEM text: lines are trimmed and empty ones
// dropped; each "-----BEGIN CERTIFICATE-----" line up to the next
// "-----END CERTIFICATE-----" line, joined and ended with CR LF, is one
// certificate. A begin line without an end line gives nothing.
std::vector<std::string> splitPemCertificates(const std::string& text);

}  // namespace ZEBInternal
