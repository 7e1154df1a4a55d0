#pragma once
// Certificates made at test time: a test CA and server certificates it
// issues, with any host name and validity period, as PEM texts. EC P-256
// keys keep generation fast. Built with mbedtls, so the PEM is what the
// library's own parser reads; usable from tests and benchmarks alike (no
// GoogleTest dependency). One object per thread.

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecp.h>
#include <mbedtls/entropy.h>
#include <mbedtls/oid.h>
#include <mbedtls/pk.h>
#include <mbedtls/x509_crt.h>

#include <stdexcept>
#include <string>

namespace zebtest {

struct IssuedCertificate {
    std::string certPem;  // the server certificate
    std::string keyPem;   // its private key
};

class TestPki {
public:
    // A new self-signed CA named caName.
    explicit TestPki(const std::string& caName = "ZEB Test CA") : caSubject_("CN=" + caName) {
        mbedtls_entropy_init(&entropy_);
        mbedtls_ctr_drbg_init(&drbg_);
        mbedtls_pk_init(&caKey_);
        check(mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, nullptr, 0),
              "drbg seed");
        generateKey(caKey_);
        caPem_ = writeCertificate(caSubject_, caKey_, caKey_, true, "", "20200101000000",
                                  "20491231235959", 1);
    }
    ~TestPki() {
        mbedtls_pk_free(&caKey_);
        mbedtls_ctr_drbg_free(&drbg_);
        mbedtls_entropy_free(&entropy_);
    }
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    // The CA certificate, as a trusted list entry.
    const std::string& caPem() const { return caPem_; }

    // A server certificate for hostName (common name and DNS name), valid
    // between the two times written YYYYMMDDhhmmss (UTC).
    IssuedCertificate issue(const std::string& hostName,
                            const std::string& notBefore = "20200101000000",
                            const std::string& notAfter = "20491231235959") {
        Key key;
        generateKey(key.pk);
        IssuedCertificate out;
        out.certPem = writeCertificate("CN=" + hostName, key.pk, caKey_, false, hostName,
                                       notBefore, notAfter, ++serial_);
        unsigned char buf[2048] = {};
        check(mbedtls_pk_write_key_pem(&key.pk, buf, sizeof buf), "key pem");
        out.keyPem = reinterpret_cast<const char*>(buf);
        return out;
    }

private:
    struct Key {
        Key() { mbedtls_pk_init(&pk); }
        ~Key() { mbedtls_pk_free(&pk); }
        Key(const Key&) = delete;
        Key& operator=(const Key&) = delete;
        mbedtls_pk_context pk;
    };
    struct Writer {
        Writer() { mbedtls_x509write_crt_init(&crt); mbedtls_mpi_init(&serial); }
        ~Writer() { mbedtls_x509write_crt_free(&crt); mbedtls_mpi_free(&serial); }
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;
        mbedtls_x509write_cert crt;
        mbedtls_mpi serial;
    };

    static void check(int rc, const char* what) {
        if (rc < 0) throw std::runtime_error(std::string("test certificate: ") + what);
    }

    void generateKey(mbedtls_pk_context& pk) {
        check(mbedtls_pk_setup(&pk, mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY)), "pk setup");
        check(mbedtls_ecp_gen_key(MBEDTLS_ECP_DP_SECP256R1, mbedtls_pk_ec(pk),
                                  mbedtls_ctr_drbg_random, &drbg_),
              "ec key");
    }

    std::string writeCertificate(const std::string& subject, mbedtls_pk_context& subjectKey,
                                 mbedtls_pk_context& issuerKey, bool isCa,
                                 const std::string& dnsName, const std::string& notBefore,
                                 const std::string& notAfter, int serial) {
        Writer w;
        mbedtls_x509write_crt_set_version(&w.crt, MBEDTLS_X509_CRT_VERSION_3);
        mbedtls_x509write_crt_set_md_alg(&w.crt, MBEDTLS_MD_SHA256);
        check(mbedtls_mpi_lset(&w.serial, serial), "serial");
        check(mbedtls_x509write_crt_set_serial(&w.crt, &w.serial), "serial");
        check(mbedtls_x509write_crt_set_validity(&w.crt, notBefore.c_str(), notAfter.c_str()),
              "validity");
        check(mbedtls_x509write_crt_set_subject_name(&w.crt, subject.c_str()), "subject");
        check(mbedtls_x509write_crt_set_issuer_name(&w.crt, caSubject_.c_str()), "issuer");
        mbedtls_x509write_crt_set_subject_key(&w.crt, &subjectKey);
        mbedtls_x509write_crt_set_issuer_key(&w.crt, &issuerKey);
        check(mbedtls_x509write_crt_set_basic_constraints(&w.crt, isCa ? 1 : 0, -1),
              "constraints");
        check(mbedtls_x509write_crt_set_key_usage(
                  &w.crt, isCa ? MBEDTLS_X509_KU_KEY_CERT_SIGN
                               : MBEDTLS_X509_KU_DIGITAL_SIGNATURE),
              "key usage");
        if (!dnsName.empty()) {
            // subjectAltName: SEQUENCE { [2] dNSName }, short-form lengths.
            if (dnsName.size() > 100) throw std::runtime_error("test certificate: name too long");
            std::string san;
            san += '\x30';
            san += static_cast<char>(dnsName.size() + 2);
            san += '\x82';
            san += static_cast<char>(dnsName.size());
            san += dnsName;
            check(mbedtls_x509write_crt_set_extension(
                      &w.crt, MBEDTLS_OID_SUBJECT_ALT_NAME,
                      MBEDTLS_OID_SIZE(MBEDTLS_OID_SUBJECT_ALT_NAME), 0,
                      reinterpret_cast<const unsigned char*>(san.data()), san.size()),
                  "subject alt name");
        }
        unsigned char buf[4096] = {};
        check(mbedtls_x509write_crt_pem(&w.crt, buf, sizeof buf, mbedtls_ctr_drbg_random, &drbg_),
              "certificate pem");
        return reinterpret_cast<const char*>(buf);
    }

    const std::string caSubject_;
    mbedtls_entropy_context entropy_;
    mbedtls_ctr_drbg_context drbg_;
    mbedtls_pk_context caKey_;
    std::string caPem_;
    int serial_ = 1;
};

}  // namespace zebtest
