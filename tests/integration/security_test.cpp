// Security checks, through the exported functions as a host meets them:
// TLS refuses certificates it must not trust and then sends nothing in the
// clear; the AES key and the proxy password never reach a file, and no heap
// copy of them is released unwiped; the library writes nothing outside its
// data directory.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "FreedMemoryScan.h"
#include "LifecycleSupport.h"
#include "support/OpenSslCertificates.h"
#include "support/TinyproxyProcess.h"
#include "support/TrustedCa.h"

namespace {

using namespace zebtest;

// ---------------------------------------------------------------------------
// TLS

// A result code squeezed into a child's exit status.
int exitCodeOf(int32_t rc) {
    return rc == 0 ? 0 : 100 + (-rc) % 100;
}

TEST(Security, TlsRefusesUntrustedExpiredAndWrongHostCertificates) {
    OpenSslCertificates pki;       // its CA is the one the client is made to trust
    OpenSslCertificates stranger;  // a CA nobody trusts
    const auto wrongHost =
        pki.issue("wronghost", "collect.example.com", "20200101000000Z", "20491231235959Z");
    const auto expired = pki.issue("expired", "localhost", "20200101000000Z", "20210101000000Z");
    const struct {
        const char* name;
        std::string cert;
        std::string key;
        int32_t expected;
    } cases[] = {
        {"untrusted CA", stranger.serverCert(), stranger.serverKey(), ZEB_E_EXCHANGE_FAILED},
        {"wrong host", wrongHost.cert, wrongHost.key, ZEB_E_EXCHANGE_FAILED},
        {"expired", expired.cert, expired.key, ZEB_E_EXCHANGE_FAILED},
        {"trusted", pki.serverCert(), pki.serverKey(), 0},
    };
    const bool root = geteuid() == 0;
    const std::string caPem = fileText(pki.caCert());
    for (const auto& c : cases) {
        // Without root the machine's own store is the trusted one, so only
        // the stranger's certificate means what its case says.
        if (!root && c.cert != stranger.serverCert()) continue;
        CallHomeServer::Config config = aesServer();
        config.certFile = c.cert;
        config.keyFile = c.key;
        CallHomeServer server(config);
        // The client names "localhost", which only the wrong-host
        // certificate does not carry.
        const std::string url = "localhost:" + std::to_string(server.port()) + "/app";
        const auto testConnection = [&] {
            Host host;
            const int32_t rc = host.configure(url, ZEB_PROTOCOL_TLS_ONLY);
            return rc != 0 ? 199 : exitCodeOf(zebTestConnection(host.zeb));
        };
        const int got = root ? runWithTrustedCa(caPem, testConnection) : testConnection();
        if (got == kNoNamespace) GTEST_SKIP() << "no private mount namespace here";
        EXPECT_EQ(got, exitCodeOf(c.expected)) << c.name;

        Fields first = server.request(0);
        EXPECT_EQ(first["mode"], "tls") << c.name;
        EXPECT_EQ(first["verdict"], c.expected == 0 ? "ok" : "tls-handshake-failed") << c.name;
        EXPECT_EQ(first.count("stored") == 0, c.expected != 0) << c.name;
        // A plain client's test connection is the second connection the
        // server accepted: the TLS-only client tried nothing else, so no
        // request body went anywhere in the clear.
        Host probe;
        ASSERT_EQ(probe.configure(server.address() + "/app"), 0);
        ASSERT_EQ(zebTestConnection(probe.zeb), 0);
        EXPECT_EQ(waitForType(server, "testconn", c.expected == 0 ? 2 : 1)["seq"], "2") << c.name;
    }
    if (!root)
        GTEST_SKIP() << "the wrong-host, expired and trusted cases need root: the client trusts "
                        "the test CA only through a private bind over /etc/ssl/certs";
}

// ---------------------------------------------------------------------------
// Secrets. The password is longer than a std::string keeps inline, so its
// copies live in blocks of their own; inline copies are still seen inside
// the heap objects that hold them.

constexpr const char* kKeyHex = "5F3A9C17E2B84D06A1C7F92B3E58D4C0";
constexpr const char* kProxyUser = "zebhost";
constexpr const char* kProxyPassword = "Wh1sperPr0xyPass";
// Base64 of kProxyUser + ":" + kProxyPassword, as the Proxy-Authorization
// line carries the credentials.
constexpr const char* kProxyCredentials = "emViaG9zdDpXaDFzcGVyUHIweHlQYXNz";

std::vector<SecretPattern> secretPatterns() {
    const std::string upper = kKeyHex;
    std::string lower = upper;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string key;
    for (size_t i = 0; i < upper.size(); i += 2)
        key += static_cast<char>(std::stoi(upper.substr(i, 2), nullptr, 16));
    // Every message key shares 12 of its 16 bytes with the configured key:
    // the salt takes bytes 0, 4, 8 and 12, and all are xored with one
    // mixing byte made from the key.
    const char mix = static_cast<char>(key[0] ^ key[4] ^ key[8] ^ key[12]);
    std::string messageKey(16, '\0');
    std::vector<bool> fixed(16);
    for (size_t i = 0; i < 16; ++i) {
        messageKey[i] = static_cast<char>(key[i] ^ mix);
        fixed[i] = i % 4 != 0;
    }
    return {{"the key text", upper, {}},
            {"the key text in lower case", lower, {}},
            {"the key bytes", key, {}},
            {"a message key", messageKey, fixed},
            {"the proxy password", kProxyPassword, {}},
            {"the proxy credentials", kProxyCredentials, {}}};
}

// A server that registers the client with manual syncs allowed at once and
// asks for the log at every sync; it has no certificate, so every exchange
// falls back from TLS to AES.
CallHomeServer::Config lifeServer() {
    CallHomeServer::Config config;
    config.aesKeyHex = kKeyHex;
    config.script = "[newreg]\nCLIENTID:${NEWID}\n****CONFIG\nMANUALSYNCTIMETHRESHOLD:0\n";
    return config;
}

// One whole life of a client with both secrets in use: configured with the
// key in the TLS mode with fallback, a proxy with credentials, started (the
// server registers it), events tracked, a manual sync, a stop with a final
// sync and a destroy. Returns "" or what went wrong. It uses no GoogleTest
// assertion, so a forked child can run it.
std::string liveOnce(const std::string& dataDir, const std::string& url, uint16_t proxyPort) {
    ZEBInstance* zeb = zebCreateInstance(false);
    if (zeb == nullptr) return "zebCreateInstance failed";
    std::string failure;
    const auto expect = [&](int32_t got, int32_t want, const char* what) {
        if (got != want && failure.empty())
            failure = std::string(what) + " answered " + std::to_string(got);
    };
    expect(zebCreateConfig(zeb, dataDir.c_str(), kProductID, "App", url.c_str(),
                           ZEB_PROTOCOL_TLS_FALLBACK, kKeyHex, false, false),
           0, "zebCreateConfig");
    expect(zebSetProxy(zeb, "127.0.0.1", proxyPort, kProxyUser, kProxyPassword), 0, "zebSetProxy");
    expect(zebStartSDK(zeb), 0, "zebStartSDK");
    eventually([&] { return zebGetState(zeb) == 4; });
    expect(zebGetState(zeb), 4, "the registration (zebGetState)");
    expect(zebTrackEvent(zeb, "Menu", "Open", nullptr), 0, "zebTrackEvent");
    expect(zebTrackEventText(zeb, "Search", "Query", "words", nullptr), 0, "zebTrackEventText");
    int32_t rc = ZEB_E_SYNC_IN_PROGRESS;
    const auto deadline = Clock::now() + 10s;
    while ((rc = zebSync(zeb, false)) == ZEB_E_SYNC_IN_PROGRESS && Clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    expect(rc, 0, "zebSync");
    expect(zebStopSDK(zeb, 10), 0, "zebStopSDK");
    if (failure.empty() && !logFileNames(dataDir).empty())
        failure = "log files stayed behind: the final sync did not upload them";
    expect(zebDestroyInstance(zeb), 0, "zebDestroyInstance");
    return failure;
}

// What the life left on the server and the proxy: a registration, a sync
// (the final one joins the manual one when that has not begun yet) and an
// upload, all accepted, none of them in the clear, all carried by the
// proxy with the credentials. "" when all is there.
std::string lifeOnServer(const CallHomeServer& server, const std::string& proxyDir) {
    const auto accepted = [&](const std::string& type) {
        size_t n = 0;
        for (auto& f : requestsOf(server, type)) n += f["verdict"] == "ok" && f["mode"] == "aes";
        return n;
    };
    if (!eventually([&] {
            return accepted("newreg") >= 1 && accepted("sync") >= 1 && accepted("upload") >= 1;
        })) {
        std::string seen = "the server did not see the whole life; it saw:\n";
        for (const auto& line : server.requestLines()) seen += line + "\n";
        return seen;
    }
    for (auto& f : requests(server)) {
        if (f["mode"] == "plain") return "a request went in the clear: seq " + f["seq"];
    }
    // tinyproxy logs every request line it reads, and an "opensock" line
    // for each one it let through: as many of these as of those means the
    // credentials were accepted every time.
    const std::string proxyLog = fileText(proxyDir + "/tinyproxy.log");
    const auto count = [&](const std::string& part) {
        size_t n = 0;
        for (size_t at = proxyLog.find(part); at != std::string::npos;
             at = proxyLog.find(part, at + 1))
            ++n;
        return n;
    };
    if (!contains(proxyLog, "POST http://" + server.address() + "/app/req1") ||
        !contains(proxyLog, "POST http://" + server.address() + "/upload") ||
        count("opensock: opening connection to " + server.address()) != count("Request ("))
        return "the proxy did not carry every request:\n" + proxyLog;
    return "";
}

// Each regular file below dir that holds a secret, with the secret's name.
std::string secretsInFiles(const std::string& dir, const std::vector<SecretPattern>& patterns) {
    std::string found;
    for (const auto& name : namesIn(dir)) {
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) found += secretsInFiles(path, patterns);
        if (!S_ISREG(st.st_mode)) continue;
        const std::string secret = secretFoundIn(fileText(path), patterns);
        if (!secret.empty()) found += path + " holds " + secret + "\n";
    }
    return found;
}

TEST(Security, SecretsNeverReachAFileAndAreWipedBeforeTheirMemoryIsReleased) {
    TempDir proxyDir;
    TinyproxyProcess proxy(proxyDir.path(), kProxyUser, kProxyPassword);
    ASSERT_EQ(proxy.failure(), "");
    CallHomeServer server(lifeServer());
    TempDir data;
    const std::vector<SecretPattern> patterns = secretPatterns();

    // The scan sees what is released: one unwiped copy is one hit.
    armFreedMemoryScan(patterns);
    void* copy = ::operator new(40);
    std::memcpy(copy, kKeyHex, 33);
    ::operator delete(copy);
    EXPECT_EQ(freedMemoryReport().hits, 1u);

    armFreedMemoryScan(patterns);
    const std::string outcome = liveOnce(data.path(), server.address() + "/app", proxy.port());
    disarmFreedMemoryScan();
    const FreedMemoryReport report = freedMemoryReport();
    EXPECT_EQ(outcome, "");
    EXPECT_EQ(report.hits, 0u) << report.firstHit;
    // The library imports operator delete, so its releases pass the scan:
    // thousands of blocks in one life.
    EXPECT_GT(report.blocksScanned, 1000u);
    EXPECT_EQ(lifeOnServer(server, proxyDir.path()), "");

    EXPECT_FALSE(namesIn(data.path()).size() <= 2) << "the life left no file to look into";
    EXPECT_EQ(secretsInFiles(data.path(), patterns), "");
}

// ---------------------------------------------------------------------------
// Writes outside the data directory.
//
// The check runs on a fresh root. A forked child enters a private mount
// namespace and changes its root to an overlay whose lower layer is the
// machine's root file system and whose upper layer is an empty tmpfs: every
// file the child creates, changes or deletes anywhere on that root (/etc,
// /usr, /var, /tmp, HOME, the working directory) lands in the upper layer,
// which is listed (path, type, size, mtime) before and after a whole life.
// Unlike tmpfs mounts over a list of writable places, this misses no place
// that nobody thought of. /proc, /sys and /dev are bound in from the
// machine, as files are not written there; /dev/shm, the one ordinary
// writable folder among them, gets a fresh tmpfs that is listed as well.
// Only the data directory is left out of the comparison. The machine's own
// files never change: the mounts end with the child.

constexpr int kNoOverlay = 3;

struct Entry {
    char type;
    long long size;
    long long mtime;  // nanoseconds
    bool operator!=(const Entry& o) const {
        return type != o.type || size != o.size || mtime != o.mtime;
    }
};
using Listing = std::map<std::string, Entry>;

// Everything below the folder rel of the tree open at rootFd, keyed by
// prefix + relative path.
void listTree(int rootFd, const std::string& rel, const std::string& prefix, Listing& out) {
    const int fd = openat(rootFd, rel.empty() ? "." : rel.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) close(fd);
        return;
    }
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (fstatat(rootFd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // The overlay records a deleted file as a character device 0:0.
        const char type = S_ISDIR(st.st_mode)                      ? 'd'
                          : S_ISREG(st.st_mode)                    ? 'f'
                          : S_ISCHR(st.st_mode) && st.st_rdev == 0 ? 'x'
                                                                   : 'o';
        out[prefix + path] = {type, static_cast<long long>(st.st_size),
                              st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
        if (type == 'd') listTree(rootFd, path, prefix, out);
    }
    closedir(dir);
}

std::string readAll(int rootFd, const std::string& path) {
    std::string text;
    const int fd = openat(rootFd, path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(fd);
    return text;
}

// The child's side: fresh root, life, comparison. Returns its exit code and
// appends what it found to report.
int livesOnAFreshRoot(const std::string& scratch, int fromParent, std::string& report) {
    const auto cannot = [&](const std::string& what) {
        report += "cannot " + what + ": " + std::strerror(errno);
        return kNoOverlay;
    };
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return cannot("make a private mount namespace");
    if (mount("zebtest", scratch.c_str(), "tmpfs", 0, "mode=0700") != 0)
        return cannot("mount a tmpfs");
    const std::string root = scratch + "/root";
    for (const char* d : {"/upper", "/work", "/root"}) mkdir((scratch + d).c_str(), 0755);
    const std::string layers =
        "lowerdir=/,upperdir=" + scratch + "/upper,workdir=" + scratch + "/work";
    if (mount("overlay", root.c_str(), "overlay", 0, layers.c_str()) != 0)
        return cannot("mount an overlay over /");
    for (const char* d : {"/proc", "/sys", "/dev"}) {
        if (mount(d, (root + d).c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            return cannot(std::string("bind ") + d);
    }
    if (mount("zebtest", (root + "/dev/shm").c_str(), "tmpfs", 0, nullptr) != 0)
        return cannot("mount a tmpfs on /dev/shm");
    const int upperFd = open((scratch + "/upper").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int shmFd = open((root + "/dev/shm").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    char cwd[PATH_MAX];
    if (upperFd < 0 || shmFd < 0 || getcwd(cwd, sizeof cwd) == nullptr)
        return cannot("open the layers");
    if (chdir(root.c_str()) != 0 || chroot(".") != 0) return cannot("enter the overlay");
    // The working directory stays where it was, now on the overlay.
    if (chdir(cwd) != 0 && chdir("/") != 0) return cannot("enter a working directory");
    char dataDir[] = "/tmp/zebtest_data_XXXXXX";
    if (mkdtemp(dataDir) == nullptr) return cannot("make the data directory");
    const std::string dataRel = std::string(dataDir).substr(1);

    // The parent sends the server's and the proxy's ports.
    pollfd p{fromParent, POLLIN, 0};
    char ports[64] = {};
    if (poll(&p, 1, 30000) != 1 || read(fromParent, ports, sizeof ports - 1) <= 0) {
        report += "no ports from the parent";
        return 1;
    }
    unsigned serverPort = 0, proxyPort = 0;
    if (sscanf(ports, "%u %u", &serverPort, &proxyPort) != 2) {
        report += "no ports from the parent";
        return 1;
    }

    const auto snapshot = [&] {
        Listing l;
        listTree(upperFd, "", "/", l);
        listTree(shmFd, "", "/dev/shm/", l);
        return l;
    };
    const Listing before = snapshot();
    const std::string outcome =
        liveOnce(dataDir, "127.0.0.1:" + std::to_string(serverPort) + "/app",
                 static_cast<uint16_t>(proxyPort));
    if (!outcome.empty()) report += "the life failed: " + outcome + "\n";
    const Listing after = snapshot();

    const auto inDataDir = [&](const std::string& path) {
        return path == "/" + dataRel || path.rfind("/" + dataRel + "/", 0) == 0;
    };
    for (const auto& e : after) {
        if (inDataDir(e.first)) continue;
        const auto was = before.find(e.first);
        if (was == before.end())
            report += (e.second.type == 'x' ? "deleted: " : "written: ") + e.first + "\n";
        else if (was->second != e.second)
            report += "changed: " + e.first + "\n";
    }
    for (const auto& e : before) {
        if (!inDataDir(e.first) && after.count(e.first) == 0)
            report += "removed: " + e.first + "\n";
    }
    // Whatever the life wrote, in the data directory or not, holds no secret.
    const std::vector<SecretPattern> patterns = secretPatterns();
    size_t dataFiles = 0;
    for (const auto& e : after) {
        if (e.second.type != 'f') continue;
        const bool shm = e.first.rfind("/dev/shm/", 0) == 0;
        const std::string text =
            shm ? readAll(shmFd, e.first.substr(9)) : readAll(upperFd, e.first.substr(1));
        dataFiles += inDataDir(e.first);
        const std::string secret = secretFoundIn(text, patterns);
        if (!secret.empty()) report += e.first + " holds " + secret + "\n";
    }
    if (dataFiles == 0) report += "the life wrote no file into its data directory\n";
    return report.empty() ? 0 : 1;
}

TEST(Security, LibraryWritesNothingOutsideItsDataDirectory) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the life runs on an overlay root in a private mount namespace";
    TempDir scratch;
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
    // Forked before this process starts any thread, so the child may start
    // the library's workers.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(toChild[1]);
        close(fromChild[0]);
        std::string report;
        int code = 2;
        try {
            code = livesOnAFreshRoot(scratch.path(), toChild[0], report);
        } catch (const std::exception& e) {
            report += std::string("exception: ") + e.what();
        }
        const ssize_t written = write(fromChild[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? code : 2);
    }
    close(toChild[0]);
    close(fromChild[1]);

    TempDir proxyDir;
    std::string ports = "0 0\n";
    std::unique_ptr<TinyproxyProcess> proxy;
    std::unique_ptr<CallHomeServer> server;
    try {
        proxy = std::make_unique<TinyproxyProcess>(proxyDir.path(), kProxyUser, kProxyPassword);
        EXPECT_EQ(proxy->failure(), "");
        server = std::make_unique<CallHomeServer>(lifeServer());
        ports = std::to_string(server->port()) + " " + std::to_string(proxy->port()) + "\n";
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(write(toChild[1], ports.data(), ports.size()), static_cast<ssize_t>(ports.size()));
    close(toChild[1]);

    std::string report;
    const auto deadline = Clock::now() + 60s;
    char buf[4096];
    for (;;) {
        pollfd p{fromChild[0], POLLIN, 0};
        if (Clock::now() > deadline || poll(&p, 1, 100) < 0) break;
        if (p.revents == 0) continue;
        const ssize_t n = read(fromChild[0], buf, sizeof buf);
        if (n <= 0) break;
        report.append(buf, static_cast<size_t>(n));
    }
    close(fromChild[0]);
    int status = 0;
    if (!eventually([&] { return waitpid(child, &status, WNOHANG) == child; }, 5s)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == kNoOverlay) GTEST_SKIP() << report;
    EXPECT_EQ(code, 0) << report;
    ASSERT_NE(proxy, nullptr);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(lifeOnServer(*server, proxyDir.path()), "");
}

}  // namespace
