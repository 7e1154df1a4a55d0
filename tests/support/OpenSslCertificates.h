#pragma once
// A throw-away certificate authority and a server certificate for
// "localhost" (and 127.0.0.1) signed by it, made with the openssl command in
// a fresh temporary directory. For TLS tests against zeb-callhome: pass
// serverCert()/serverKey() to the server; the library trusts caCert() only
// through the machine's store (support/TrustedCa.h shows it there).
// Clients must name the host "localhost": the TLS library matches DNS names.
// issue() adds further certificates from the same CA for other names or
// validity periods (an expired one, say).

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

    struct Issued {
        std::string cert;  // paths of the PEM files
        std::string key;
    };
    // A server certificate signed by this CA for the DNS name host, valid
    // from notBefore to notAfter (openssl's YYYYMMDDhhmmssZ form); stem
    // names its files. "openssl ca" is the one command that takes both
    // dates, so it gets a throw-away database of its own.
    Issued issue(const std::string& stem, const std::string& host, const std::string& notBefore,
                 const std::string& notAfter) {
        const std::string d = dir_.path();
        const std::string db = d + "/" + stem + ".db";
        run("mkdir -p '" + db + "' && : > '" + db + "/index.txt' && echo 01 > '" + db + "/serial'");
        writeText(db + "/ca.cnf", "[ca]\ndefault_ca = test\n[test]\ndatabase = " + db +
                                      "/index.txt\nnew_certs_dir = " + db + "\nserial = " + db +
                                      "/serial\ndefault_md = sha256\npolicy = any\n"
                                      "unique_subject = no\n[any]\ncommonName = supplied\n"
                                      "[ext]\nbasicConstraints = CA:FALSE\n"
                                      "extendedKeyUsage = serverAuth\nsubjectAltName = DNS:" +
                                      host + "\n");
        const Issued out{d + "/" + stem + ".crt", d + "/" + stem + ".key"};
        const std::string quiet = " >/dev/null 2>&1";
        run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout '" +
            out.key + "' -out '" + db + "/req.csr' -subj /CN=" + host + quiet);
        run("openssl ca -batch -notext -config '" + db + "/ca.cnf' -cert '" + caCert() +
            "' -keyfile '" + d + "/ca.key' -in '" + db + "/req.csr' -out '" + out.cert +
            "' -startdate " + notBefore + " -enddate " + notAfter + " -extensions ext" + quiet);
        return out;
    }

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
