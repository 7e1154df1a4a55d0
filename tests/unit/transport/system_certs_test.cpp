// The search for the machine's trusted certificates: the two bundle files
// in order, then every ".crt" entry, and the splitting of PEM text. One
// test binds a made-up folder over the real /etc/ssl/certs in a private
// mount namespace, which needs root.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/TempDir.h"
#include "transport/SystemCerts.h"
#include "util/Files.h"

namespace {

using ZEBInternal::discoverSystemCerts;
using ZEBInternal::splitPemCertificates;
using ZEBInternal::writeFile;

std::string pem(const std::string& body) {
    return "-----BEGIN CERTIFICATE-----\n" + body + "\n-----END CERTIFICATE-----\n";
}
std::string expected(const std::string& body) {
    return "-----BEGIN CERTIFICATE-----\r\n" + body + "\r\n-----END CERTIFICATE-----\r\n";
}

TEST(SystemCerts, SplittingTrimsLinesAndNeedsBothMarkers) {
    const std::string text = "junk\n  -----BEGIN CERTIFICATE-----  \r\n\n AAAA\r\nBBBB\n"
                             "-----END CERTIFICATE-----\n-----BEGIN CERTIFICATE-----\nCCCC\n";
    const auto certs = splitPemCertificates(text);
    ASSERT_EQ(certs.size(), 1u);
    EXPECT_EQ(certs[0], expected("AAAA\r\nBBBB"));
}

TEST(SystemCerts, BundlesComeFirstThenEveryCrtEntry) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("one.crt"), pem("ONE"), false));
    ASSERT_TRUE(writeFile(dir.file("two.pem"), pem("TWO"), false));
    ASSERT_EQ(symlink(dir.file("one.crt").c_str(), dir.file("link.crt").c_str()), 0);
    // A bundle without a certificate block leads on to the next place.
    ASSERT_TRUE(writeFile(dir.file("ca-bundle.crt"), "no certificates here\n", false));
    auto certs = discoverSystemCerts(dir.path());
    // one.crt twice (the file and the link to it); two.pem is not a ".crt".
    EXPECT_EQ(certs, std::vector<std::string>(2, expected("ONE")));

    ASSERT_TRUE(writeFile(dir.file("ca-certificates.crt"), pem("B1") + pem("B2"), false));
    EXPECT_EQ(discoverSystemCerts(dir.path()),
              (std::vector<std::string>{expected("B1"), expected("B2")}));
    ASSERT_TRUE(writeFile(dir.file("ca-bundle.crt"), pem("A1"), false));
    EXPECT_EQ(discoverSystemCerts(dir.path()), std::vector<std::string>{expected("A1")});

    EXPECT_TRUE(discoverSystemCerts(dir.file("missing")).empty());
}

TEST(SystemCerts, TheDefaultSearchReadsEtcSslCerts) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to bind a test folder over /etc/ssl/certs";
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("ca-certificates.crt"), pem("SYS1") + pem("SYS2"), false));
    // The bind happens in a child with its own mount namespace, so the
    // machine's folder is never touched and nothing is left mounted.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0) _exit(2);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(2);
        if (mkdir("/etc/ssl", 0755) != 0 && errno != EEXIST) _exit(2);
        if (mkdir("/etc/ssl/certs", 0755) != 0 && errno != EEXIST) _exit(2);
        if (mount(dir.path().c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0) _exit(2);
        const std::vector<std::string> want{expected("SYS1"), expected("SYS2")};
        _exit(discoverSystemCerts() == want ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot make a private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "discoverSystemCerts did not read the bound folder";
}

}  // namespace
