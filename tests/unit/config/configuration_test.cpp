// The aggregate and its small records: host values, proxy, certificates.

#include <gtest/gtest.h>
#include <mbedtls/x509_crt.h>

#include "config/BuiltInCertificate.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "support/TempDir.h"

namespace ZEBInternal {
namespace {

ConfigArguments arguments(const std::string& dir, uint32_t protocol, const std::string& key) {
    ConfigArguments a;
    a.configFilePath = dir + "/.";
    a.dataDirectory = dir;
    a.serverURL = "host.example.com:8080/app";
    a.protocol = protocol;
    a.aesKeyHex = key;
    a.productID = "0123456789";
    a.appName = "App";
    a.multiSessionEnabled = true;
    a.reachOutOnAutoSync = true;
    a.instanceID = "INSTANCE";
    return a;
}

TEST(Configuration, HoldsTheHostValuesAndForwardsToTheFile) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    Configuration config(nullptr, &settings,
                         arguments(dir.path(), 1, "000102030405060708090a0B0c0D0e0F"));
    const ConfigAppVO& app = config.appValues();
    EXPECT_EQ(app.getEncodedProductID(), "qhwnpcodkv");
    EXPECT_EQ(app.pathInDataDirectory("x.log"), dir.path() + "/x.log");
    const std::array<uint8_t, 16> key{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(app.getAesKey(), key);
    // Protocol 1 never uses TLS: nothing discovered.
    EXPECT_TRUE(config.discoveredCAs().empty());

    EXPECT_TRUE(config.getReachOutOnAutoSync());
    EXPECT_TRUE(config.setReachOutOnAutoSync(false));
    EXPECT_FALSE(config.getReachOutOnAutoSync());
    EXPECT_FALSE(app.getReachOutOnAutoSync());

    EXPECT_EQ(config.effectiveCallHomeURL(), "host.example.com:8080/app");
    config.file().applyServerSetting("CALLHOMEURL:", "other.example.com/x");
    EXPECT_EQ(config.effectiveCallHomeURL(), "other.example.com/x");

    EXPECT_FALSE(config.load());
}

TEST(Configuration, KeyIsZeroUnlessItDecodesToSixteenBytes) {
    const std::array<uint8_t, 16> zero{};
    for (const char* text : {"", "0011", "00112233445566778899aabbccddeeff00",
                             "zz112233445566778899aabbccddeeff"}) {
        ConfigAppVO app("p", "/d", "u", 2, text, "0123456789", "A", false, false, "I");
        EXPECT_EQ(app.getAesKey(), zero) << text;
    }
}

TEST(Configuration, ProxyCountsAsSetOnlyWithAddressOrCredentials) {
    ConfigProxy proxy;
    std::string address = "x", user = "x", password = "x";
    uint16_t port = 1;
    EXPECT_FALSE(proxy.get(address, port, user, password));
    EXPECT_EQ(address + user + password, "");
    EXPECT_EQ(port, 0);

    proxy.set("", 8080, "", "");
    EXPECT_FALSE(proxy.get(address, port, user, password));
    proxy.set("proxy.local", 3128, "", "");
    EXPECT_TRUE(proxy.get(address, port, user, password));
    EXPECT_EQ(address, "proxy.local");
    EXPECT_EQ(port, 3128);
    proxy.set("", 0, "u", "p");
    EXPECT_TRUE(proxy.get(address, port, user, password));
}

TEST(Configuration, BuiltInCertificateIsTheExpectedRoot) {
    const std::vector<std::string> cas = Configuration::builtInCAs();
    ASSERT_EQ(cas.size(), 1u);
    const std::string& pem = cas[0];
    EXPECT_EQ(pem, builtInCertificatePem());
    ASSERT_EQ(pem.size(), 2120u);
    EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
    EXPECT_EQ(pem.substr(pem.size() - 27), "-----END CERTIFICATE-----\r\n");
    for (size_t i = 0; i < pem.size(); ++i) {
        if (pem[i] == '\n') {
            ASSERT_EQ(pem[i - 1], '\r') << i;
        }
    }

    mbedtls_x509_crt crt;
    mbedtls_x509_crt_init(&crt);
    const int rc = mbedtls_x509_crt_parse(
        &crt, reinterpret_cast<const unsigned char*>(pem.c_str()), pem.size() + 1);
    EXPECT_EQ(rc, 0);
    if (rc == 0) {
        EXPECT_EQ(crt.raw.len, 1500u);
        char subject[256];
        ASSERT_GT(mbedtls_x509_dn_gets(subject, sizeof subject, &crt.subject), 0);
        EXPECT_NE(std::string(subject).find("CN=COMODO RSA Certification Authority"),
                  std::string::npos);
        EXPECT_EQ(crt.valid_from.year * 10000 + crt.valid_from.mon * 100 + crt.valid_from.day,
                  20100119);
        EXPECT_EQ(crt.valid_to.year * 10000 + crt.valid_to.mon * 100 + crt.valid_to.day,
                  20380118);
        EXPECT_TRUE(mbedtls_pk_get_type(&crt.pk) == MBEDTLS_PK_RSA);
    }
    mbedtls_x509_crt_free(&crt);
}

}  // namespace
}  // namespace ZEBInternal
