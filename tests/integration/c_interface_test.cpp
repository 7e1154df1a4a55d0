// The C interface as a host sees it: every call goes through the shared
// library's exported functions.

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "zeb.h"

namespace {

const char kProduct[] = "1234567890";
const char kKey[] = "000102030405060708090A0B0C0D0E0F";
const char kUrl[] = "127.0.0.1:8080/callhome";

// One instance per test, destroyed at the end.
class Instance {
public:
    Instance() : zeb_(zebCreateInstance(false)) {}
    ~Instance() {
        if (zeb_) zebDestroyInstance(zeb_);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ZEBInstance* get() const { return zeb_; }
    operator ZEBInstance*() const { return zeb_; }

private:
    ZEBInstance* zeb_;
};

int32_t configure(ZEBInstance* zeb, const std::string& dir, const char* product = kProduct,
                  const char* app = "App", const char* url = kUrl, int32_t protocol = 1,
                  const char* key = kKey) {
    return zebCreateConfig(zeb, dir.c_str(), product, app, url, protocol, key, false, false);
}

// A client without a configuration file: started, registering (state 3).
void configureAndStart(ZEBInstance* zeb, const std::string& dir) {
    ASSERT_EQ(configure(zeb, dir), 0);
    ASSERT_EQ(zebStartSDK(zeb), 0);
}

std::string takeString(char* p) {
    std::string s = p ? p : "<null>";
    zebFree(p);
    return s;
}

size_t entriesIn(const std::string& dir) {
    size_t n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
        }
        closedir(d);
    }
    return n;
}

TEST(CInterface, NullHandleIsRefusedByEveryFunction) {
    char* s = nullptr;
    int32_t n = 0;
    int32_t t = 0;
    ZEBNameValuePair pair{"a", "b"};
    ZEBExceptionData ex{"C", "m", "", ""};
    EXPECT_EQ(zebDestroyInstance(nullptr), -100);
    EXPECT_EQ(zebGetSDKVersion(nullptr, &s), -100);
    EXPECT_EQ(zebGetState(nullptr), -100);
    EXPECT_EQ(zebGetClientID(nullptr, &s), -100);
    EXPECT_EQ(zebCreateConfig(nullptr, "/tmp", kProduct, "A", kUrl, 1, kKey, false, false), -100);
    EXPECT_EQ(zebStartSDK(nullptr), -100);
    EXPECT_EQ(zebStopSDK(nullptr, -1), -100);
    EXPECT_EQ(zebOptOut(nullptr), -100);
    EXPECT_EQ(zebSync(nullptr, false), -100);
    EXPECT_EQ(zebTestConnection(nullptr), -100);
    EXPECT_EQ(zebSetProductData(nullptr, "e", "l", "v", "b"), -100);
    EXPECT_EQ(zebSetProductEdition(nullptr, "e"), -100);
    EXPECT_EQ(zebSetProductLanguage(nullptr, "l"), -100);
    EXPECT_EQ(zebSetProductVersion(nullptr, "v"), -100);
    EXPECT_EQ(zebSetProductBuildNumber(nullptr, "b"), -100);
    EXPECT_EQ(zebSetCustomProperty(nullptr, 1, "v"), -100);
    EXPECT_EQ(zebSetProxy(nullptr, "p", 8080, "", ""), -100);
    EXPECT_EQ(zebStartSession(nullptr, "s"), -100);
    EXPECT_EQ(zebStopSession(nullptr, "s"), -100);
    EXPECT_EQ(zebTrackEvent(nullptr, "c", "n", nullptr), -100);
    EXPECT_EQ(zebTrackEventNumeric(nullptr, "c", "n", 1.0, nullptr), -100);
    EXPECT_EQ(zebTrackEventText(nullptr, "c", "n", "t", nullptr), -100);
    EXPECT_EQ(zebTrackEventCustom(nullptr, "c", "n", &pair, 1, nullptr), -100);
    EXPECT_EQ(zebTrackException(nullptr, ex, nullptr), -100);
    EXPECT_EQ(zebSetReachOutHandler(nullptr, nullptr, nullptr, nullptr, nullptr), -100);
    EXPECT_EQ(zebSetReachOutOnAutoSync(nullptr, true), -100);
    EXPECT_EQ(zebCheckForReachOut(nullptr, &s, &n, &t), -100);
    EXPECT_EQ(zebCheckForReachOutOfType(nullptr, &s, &n, 0), -100);
    zebFree(nullptr);
}

TEST(CInterface, FreshInstanceReportsVersionStateAndNoClient) {
    for (bool flag : {false, true}) {
        ZEBInstance* zeb = zebCreateInstance(flag);
        ASSERT_NE(zeb, nullptr);
        EXPECT_EQ(zebGetState(zeb), 0);
        char* s = nullptr;
        ASSERT_EQ(zebGetSDKVersion(zeb, &s), 0);
        EXPECT_EQ(takeString(s), "Quellora SDK version 5.6.0 for Linux/C");
        ASSERT_EQ(zebGetClientID(zeb, &s), 0);
        EXPECT_EQ(takeString(s), "0");
        EXPECT_EQ(zebDestroyInstance(zeb), 0);
    }
}

TEST(CInterface, NullOutputPointersComeBeforeStateChecks) {
    Instance zeb;
    char* s = nullptr;
    int32_t n = 0;
    int32_t t = 0;
    EXPECT_EQ(zebGetSDKVersion(zeb, nullptr), -110);
    EXPECT_EQ(zebGetClientID(zeb, nullptr), -110);
    EXPECT_EQ(zebCheckForReachOut(zeb, nullptr, &n, &t), -110);
    EXPECT_EQ(zebCheckForReachOut(zeb, &s, nullptr, &t), -110);
    EXPECT_EQ(zebCheckForReachOut(zeb, &s, &n, nullptr), -110);
    EXPECT_EQ(zebCheckForReachOutOfType(zeb, nullptr, &n, 0), -110);
    EXPECT_EQ(zebCheckForReachOutOfType(zeb, &s, nullptr, 0), -110);
    ZEBNameValuePair pair{"a", "b"};
    EXPECT_EQ(zebTrackEventCustom(zeb, "c", "n", nullptr, 3, nullptr), -110);
    EXPECT_EQ(zebTrackEventCustom(zeb, "c", "n", &pair, 0, nullptr), -110);
    // Without those pointer faults the state check answers.
    EXPECT_EQ(zebTrackEventCustom(zeb, "c", "n", &pair, 1, nullptr), -200);
    EXPECT_EQ(zebGetState(zeb), 0);
}

TEST(CInterface, CreateConfigValidatesEveryArgument) {
    zebtest::TempDir dir;
    const std::string d = dir.path();
    Instance zeb;
    // Product ID: exactly ten decimal digits.
    EXPECT_EQ(configure(zeb, d, "123456789"), -130);
    EXPECT_EQ(configure(zeb, d, "12345678901"), -130);
    EXPECT_EQ(configure(zeb, d, "12345a7890"), -130);
    EXPECT_EQ(configure(zeb, d, nullptr), -130);
    EXPECT_EQ(configure(zeb, d, std::string(1 << 20, '1').c_str()), -130);
    // Application name.
    EXPECT_EQ(configure(zeb, d, kProduct, nullptr), -111);
    EXPECT_EQ(configure(zeb, d, kProduct, ""), -111);
    EXPECT_EQ(configure(zeb, d, kProduct, "ABCDEFGHIJKLMNOPQ"), -114);
    EXPECT_EQ(configure(zeb, d, kProduct, std::string(1 << 20, 'x').c_str()), -114);
    EXPECT_EQ(configure(zeb, d, kProduct, "My App"), -113);
    EXPECT_EQ(configure(zeb, d, kProduct, "My\tApp"), -113);
    EXPECT_EQ(configure(zeb, d, kProduct, "My\rApp"), -113);
    EXPECT_EQ(configure(zeb, d, kProduct, "My\nApp"), -113);
    EXPECT_EQ(configure(zeb, d, kProduct, "My/App"), -113);
    EXPECT_EQ(configure(zeb, d, kProduct, "../App"), -113);
    // Path.
    EXPECT_EQ(zebCreateConfig(zeb, "", kProduct, "App", kUrl, 1, kKey, false, false), -120);
    EXPECT_EQ(zebCreateConfig(zeb, nullptr, kProduct, "App", kUrl, 1, kKey, false, false), -120);
    // Protocol and key.
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 0), -144);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 4), -144);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, -1), -144);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 3, kKey), -145);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 1, "000102030405060708090A0B0C0D0E0"), -146);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 2, ""), -146);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 1, nullptr), -146);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 1, "ZZ0102030405060708090A0B0C0D0E0F"), -147);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", kUrl, 2, "000102030405060708090A0B0C0D0EXX"), -147);
    // Server URL: no scheme, no blanks, a host before any port.
    EXPECT_EQ(configure(zeb, d, kProduct, "App", "http://host/x"), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", "httphost.example/x"), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", "host://x"), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", ":8080/x"), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", "host name/x"), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", ""), -140);
    EXPECT_EQ(configure(zeb, d, kProduct, "App", nullptr), -140);
    // Data directory.
    EXPECT_EQ(configure(zeb, d + "/missing"), -120);
    const std::string file = dir.file("plain");
    std::ofstream(file) << "x";
    EXPECT_EQ(configure(zeb, file), -121);
    // Nobody, root included, can create a file in /proc.
    EXPECT_EQ(configure(zeb, "/proc"), -122);
    // None of the refusals configured anything.
    EXPECT_EQ(zebGetState(zeb), 0);
    EXPECT_EQ(zebStartSDK(zeb), -200);
}

TEST(CInterface, CreateConfigChecksInDocumentedOrder) {
    zebtest::TempDir dir;
    Instance zeb;
    // Bad product and bad name: the product ID is checked first.
    EXPECT_EQ(configure(zeb, dir.path(), "1", ""), -130);
    // Bad name and bad path: the name first.
    EXPECT_EQ(zebCreateConfig(zeb, "", kProduct, "", kUrl, 1, kKey, false, false), -111);
    // Bad path and bad protocol: the empty path first.
    EXPECT_EQ(zebCreateConfig(zeb, "", kProduct, "App", kUrl, 9, kKey, false, false), -120);
    // Bad key and bad URL: the key first.
    EXPECT_EQ(configure(zeb, dir.path(), kProduct, "App", "http://x", 1, "short"), -146);
    // Bad URL and missing directory: the URL first.
    EXPECT_EQ(configure(zeb, dir.path() + "/missing", kProduct, "App", "http://x"), -140);
}

TEST(CInterface, CreateConfigAcceptsEdgeValuesAndLeavesNoTestFile) {
    zebtest::TempDir dir;
    {
        Instance zeb;
        // Sixteen two-byte characters: 32 bytes, but 16 characters.
        std::string name;
        for (int i = 0; i < 16; ++i) name += "\xc3\xa4";
        EXPECT_EQ(configure(zeb, dir.path(), kProduct, name.c_str()), 0);
        EXPECT_EQ(zebGetState(zeb), 2);
        EXPECT_EQ(configure(zeb, dir.path()), -201);
    }
    {
        Instance zeb;
        EXPECT_EQ(configure(zeb, dir.path() + "/./", kProduct, "App", "host", 3, ""), 0);
    }
    {
        Instance zeb;
        EXPECT_EQ(configure(zeb, dir.path(), kProduct, "App", "host:443?x=1", 2,
                            "abcdefABCDEF0123456789abcdefABCD"),
                  0);
    }
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(CInterface, LifeCycleOfAClientThatMustRegister) {
    zebtest::TempDir dir;
    Instance zeb;
    EXPECT_EQ(zebStartSDK(zeb), -200);
    EXPECT_EQ(zebOptOut(zeb), -200);
    EXPECT_EQ(zebSetReachOutOnAutoSync(zeb, true), -200);
    EXPECT_EQ(zebSetProductVersion(zeb, "1.0"), -200);
    EXPECT_EQ(zebTrackEvent(zeb, "Menu", "Open", nullptr), -200);
    EXPECT_EQ(zebStopSDK(zeb, -1), -210);

    ASSERT_EQ(configure(zeb, dir.path()), 0);
    EXPECT_EQ(zebGetState(zeb), 2);
    EXPECT_EQ(zebTrackEvent(zeb, "Menu", "Open", nullptr), -210);
    EXPECT_EQ(zebStartSession(zeb, "session-0001"), -210);
    EXPECT_EQ(zebStopSDK(zeb, 5), -210);
    EXPECT_EQ(zebSetReachOutOnAutoSync(zeb, true), 0);

    ASSERT_EQ(zebStartSDK(zeb), 0);
    EXPECT_EQ(zebGetState(zeb), 3);
    EXPECT_EQ(zebStartSDK(zeb), -211);
    EXPECT_EQ(zebOptOut(zeb), -211);
    EXPECT_EQ(zebSetReachOutHandler(zeb, nullptr, nullptr, nullptr, nullptr), -211);
    // Registering is not running: syncs and reach-out checks wait for it.
    EXPECT_EQ(zebSync(zeb, false), -210);
    char* s = nullptr;
    int32_t n = -5;
    int32_t t = -5;
    EXPECT_EQ(zebCheckForReachOut(zeb, &s, &n, &t), -210);
    EXPECT_EQ(takeString(s), "");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(t, 0);

    // While registering, any wait is accepted and no final sync is made.
    EXPECT_EQ(zebStopSDK(zeb, -7), 0);
    EXPECT_EQ(zebGetState(zeb), 13);
    EXPECT_EQ(zebStopSDK(zeb, -1), -213);
    EXPECT_EQ(zebStartSDK(zeb), -213);
    EXPECT_EQ(zebTrackEvent(zeb, "Menu", "Open", nullptr), -213);
    EXPECT_EQ(zebOptOut(zeb), -213);
    EXPECT_EQ(zebSetProductData(zeb, "e", "l", "v", "b"), -213);
    EXPECT_EQ(zebTestConnection(zeb), -213);
}

TEST(CInterface, OptOutIsOncePerRunAndReported) {
    zebtest::TempDir dir;
    Instance zeb;
    ASSERT_EQ(configure(zeb, dir.path()), 0);
    EXPECT_EQ(zebOptOut(zeb), 0);
    EXPECT_EQ(zebGetState(zeb), 14);
    EXPECT_EQ(zebOptOut(zeb), -332);
    EXPECT_EQ(zebSetReachOutHandler(zeb, nullptr, nullptr, nullptr, nullptr), -332);
    EXPECT_EQ(zebSetCustomProperty(zeb, 1, "x"), -332);
    // Starting an opted-out run is allowed; tracking in it is not.
    EXPECT_EQ(zebStartSDK(zeb), 0);
    EXPECT_EQ(zebGetState(zeb), 14);
    EXPECT_EQ(zebTrackEvent(zeb, "Menu", "Open", nullptr), -332);
    EXPECT_EQ(zebStopSDK(zeb, -1), 0);
    EXPECT_EQ(zebGetState(zeb), 14);
}

struct CallbackLog {
    std::atomic<int> closes{0};
    std::atomic<int> shows{0};
    std::thread::id closeThread;
};

extern "C" void logShow(void* p, const char*, const char*, int32_t, const char*) {
    static_cast<CallbackLog*>(p)->shows++;
}
extern "C" void logClose(void* p) {
    auto* log = static_cast<CallbackLog*>(p);
    log->closeThread = std::this_thread::get_id();
    log->closes++;
}
extern "C" int32_t logStatus(void*) { return 1; }

TEST(CInterface, ReachOutHandlerIsInstalledBeforeStartAndClosedOnceAtStop) {
    zebtest::TempDir dir;
    CallbackLog log;
    Instance zeb;
    // Before any configuration, and replaced or removed freely until start.
    EXPECT_EQ(zebSetReachOutHandler(zeb, logShow, logClose, logStatus, &log), 0);
    EXPECT_EQ(zebSetReachOutHandler(zeb, nullptr, logClose, logStatus, &log), 0);
    EXPECT_EQ(zebSetReachOutHandler(zeb, logShow, logClose, logStatus, &log), 0);
    ASSERT_NO_FATAL_FAILURE(configureAndStart(zeb, dir.path()));
    EXPECT_EQ(log.closes.load(), 0);
    ASSERT_EQ(zebStopSDK(zeb, -1), 0);
    EXPECT_EQ(log.closes.load(), 1);
    EXPECT_EQ(log.closeThread, std::this_thread::get_id());
    EXPECT_EQ(log.shows.load(), 0);
}

TEST(CInterface, RemovedHandlerIsNeverCalled) {
    zebtest::TempDir dir;
    CallbackLog log;
    {
        Instance zeb;
        EXPECT_EQ(zebSetReachOutHandler(zeb, logShow, logClose, logStatus, &log), 0);
        EXPECT_EQ(zebSetReachOutHandler(zeb, nullptr, logClose, logStatus, &log), 0);
        ASSERT_EQ(configure(zeb, dir.path()), 0);
        ASSERT_EQ(zebStartSDK(zeb), 0);
    }  // destroyed without an explicit stop
    EXPECT_EQ(log.closes.load(), 0);
}

TEST(CInterface, DestroyWithoutStopEndsTheWorkers) {
    zebtest::TempDir dir;
    ZEBInstance* zeb = zebCreateInstance(false);
    ASSERT_NE(zeb, nullptr);
    ASSERT_NO_FATAL_FAILURE(configureAndStart(zeb, dir.path()));
    // The registration and reach-out threads dwell for minutes; destruction
    // must interrupt them rather than wait (the test's time-out catches a hang).
    EXPECT_EQ(zebDestroyInstance(zeb), 0);
}

TEST(CInterface, HostileStringsAreHarmless) {
    zebtest::TempDir dir;
    Instance zeb;
    ASSERT_NO_FATAL_FAILURE(configureAndStart(zeb, dir.path()));
    const std::string huge(4 << 20, 'x');
    const std::string invalid = "\xff\xfe\xc3\x28\xa0\xa1\xe2\x82";
    ZEBNameValuePair pairs[] = {{nullptr, nullptr}, {huge.c_str(), invalid.c_str()}};
    ZEBExceptionData ex{nullptr, huge.c_str(), invalid.c_str(), nullptr};
    for (const char* s : {static_cast<const char*>(nullptr), "", huge.c_str(), invalid.c_str()}) {
        EXPECT_LE(zebTrackEvent(zeb, s, s, s), 0);
        EXPECT_LE(zebTrackEventNumeric(zeb, s, s, 1e300, s), 0);
        EXPECT_LE(zebTrackEventText(zeb, s, s, s, s), 0);
        EXPECT_LE(zebTrackEventCustom(zeb, s, s, pairs, 2, s), 0);
        EXPECT_LE(zebTrackException(zeb, ex, s), 0);
        EXPECT_LE(zebStartSession(zeb, s), 0);
        EXPECT_LE(zebStopSession(zeb, s), 0);
        EXPECT_LE(zebSetProductData(zeb, s, s, s, s), 0);
        EXPECT_LE(zebSetCustomProperty(zeb, 0xffffffffu, s), 0);
        EXPECT_LE(zebSetProxy(zeb, s, 0, s, s), 0);
    }
    EXPECT_EQ(zebGetState(zeb), 3);
}

TEST(CInterface, ConcurrentHostThreadsAndStop) {
    zebtest::TempDir dir;
    Instance zeb;
    ASSERT_NO_FATAL_FAILURE(configureAndStart(zeb, dir.path()));
    std::atomic<bool> unexpected{false};
    std::vector<std::thread> hosts;
    for (int t = 0; t < 4; ++t) {
        hosts.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const int32_t rc = zebTrackEvent(zeb, "Menu", "Open", nullptr);
                const int32_t state = zebGetState(zeb);
                if ((rc != 0 && rc != -213) || state < 3 || state > 13) unexpected = true;
            }
        });
    }
    EXPECT_EQ(zebStopSDK(zeb, -1), 0);
    for (auto& h : hosts) h.join();
    EXPECT_FALSE(unexpected.load());
    EXPECT_EQ(zebGetState(zeb), 13);
}

}  // namespace
