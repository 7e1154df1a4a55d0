#pragma once
// A throw-away certificate authority and a server certificate for
// "localhost" (and 127.0.0.1) signed by it, made with the openssl command in
// a fresh temporary directory. For TLS tests against zeb-callhome: pass
// serverCert()/serverKey() to the server and trust caCert() in the client.
// Clients must name the host "localhost": the TLS library matches DNS names.

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/TempDir.h"

namespace zebtest {

class OpenSslCertificates {
public:
    explicit OpenSslCertificates(const std::string& commonName = "localhost") {
        const std::string d = dir_.path();
        writeText(d + "/server.ext",
                  "basicConstraints=CA:FALSE\n"
                  "keyUsage=digitalSignature,keyEncipherment\n"
                  "extendedKeyUsage=serverAuth\n"
                  "subjectAltName=DNS:" +
                      commonName + ",IP:127.0.0.1\n");
        const std::string quiet = " >/dev/null 2>&1";
        run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
            " -keyout '" +
            d + "/ca.key' -out '" + d +
            "/ca.crt' -days 2 -subj /CN=zebtest-ca"
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign" +
            quiet);
        run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
            " -keyout '" +
            d + "/server.key' -out '" + d + "/server.csr' -subj /CN=" + commonName + quiet);
        run("openssl x509 -req -in '" + d + "/server.csr' -CA '" + d + "/ca.crt' -CAkey '" + d +
            "/ca.key' -CAcreateserial -out '" + d + "/server.crt' -days 2 -extfile '" + d +
            "/server.ext'" + quiet);
    }

    std::string caCert() const { return dir_.file("ca.crt"); }
    std::string serverCert() const { return dir_.file("server.crt"); }
    std::string serverKey() const { return dir_.file("server.key"); }

private:
    static void run(const std::string& command) {
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("certificate command failed: " + command);
    }
    static void writeText(const std::string& path, const std::string& text) {
        FILE* f = std::fopen(path.c_str(), "w");
        if (f == nullptr) throw std::runtime_error("cannot write " + path);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    TempDir dir_;
};

}  // namespace zebtest
