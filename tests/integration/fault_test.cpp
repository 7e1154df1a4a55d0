// Faults a deployed client meets, through the exported functions against
// zeb-callhome and tinyproxy: servers that fail in every way, a proxy that
// refuses, a data directory that fills up or turns read-only, a host killed
// while it tracks and while it uploads, processes sharing one data
// directory (one of them suspended), and the flushes that keep the data
// files whole across a power loss. The question each scenario answers: was
// any accepted event lost, sent twice, or any stored file corrupted?
//
// A tracked event is "acknowledged" when an upload holding it was answered
// STATUS:OK without a fault (a delay is none); uploads the server stored but never answered
// (or answered wrongly) are counted separately as duplicate deliveries.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>

#include "FaultHostProcess.h"
#include "LifecycleSupport.h"
#include "support/TinyproxyProcess.h"

namespace {

using namespace zebtest;

// Event names of category "Fault" received by each server, counted over
// acknowledged uploads and over every stored upload.
struct Tally {
    std::map<std::string, int> acknowledged;
    std::map<std::string, int> delivered;

    void add(const CallHomeServer& server) {
        for (auto& upload : requestsOf(server, "upload")) {
            const bool acked = upload["verdict"] == "ok" && upload["http"] == "200" &&
                               upload["fault"].rfind("none", 0) == 0;
            for (const auto& file : uploadedFiles(storedText(server, upload))) {
                for (const auto& line : file) {
                    const auto f = eventFields(line);
                    if (f.size() != 5 || f[2] != "0021" || f[3] != "Fault") continue;
                    ++delivered[f[4]];
                    if (acked) ++acknowledged[f[4]];
                }
            }
        }
    }
    int duplicates() const {
        int extra = 0;
        for (const auto& kv : delivered) extra += kv.second - 1;
        return extra;
    }
};

// Total bytes of the event log files in dir.
uint64_t logBytes(const std::string& dir) {
    uint64_t total = 0;
    for (const auto& name : logFileNames(dir)) {
        struct stat st {};
        if (::stat((dir + "/" + name).c_str(), &st) == 0)
            total += static_cast<uint64_t>(st.st_size);
    }
    return total;
}

// "Fault" events in complete lines of the log files in dir; a line without
// its line feed (cut by a crash) counts in `cut`.
std::set<std::string> eventsOnDisk(const std::string& dir, int& cut) {
    std::set<std::string> names;
    for (const auto& name : logFileNames(dir)) {
        const std::string text = fileText(dir + "/" + name);
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t end = text.find('\n', pos);
            if (end == std::string::npos) {
                ++cut;
                break;
            }
            const auto f = eventFields(text.substr(pos, end - pos));
            if (f.size() == 5 && f[2] == "0021" && f[3] == "Fault") names.insert(f[4]);
            pos = end + 1;
        }
    }
    return names;
}

// The keys of dir's configuration file of application "App" when there is
// exactly one and its signature holds; empty otherwise.
std::map<std::string, std::string> validConfig(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& name : namesIn(dir)) {
        if (name.rfind("zebconfigV5_qhwnpcodkv_App_", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".cfg") == 0)
            files.push_back(name);
    }
    if (files.size() != 1) return {};
    const std::string text = fileText(dir + "/" + files[0]);
    const size_t bodyAt = text.find('\n') + 1;
    if (text.substr(0, bodyAt) !=
        "SIGNATURE:" + upperHexSha256("518204937" + text.substr(bodyAt) + "518204937") + "\n")
        return {};
    return configKeys(text);
}

void age(const std::string& path, int seconds) {
    const time_t when = time(nullptr) - seconds;
    const utimbuf times{when, when};
    ::utime(path.c_str(), &times);
}

size_t storedUploads(const CallHomeServer& server) {
    size_t n = 0;
    for (const auto& name : namesIn(server.outDir())) n += name.rfind("upload-", 0) == 0;
    return n;
}

TEST(Faults, ServerAndProxyFaultsLoseNothingAndAcknowledgeEachEventOnce) {
    TempDir proxyDir;
    TinyproxyProcess proxy(proxyDir.path(), "alice", "right");
    ASSERT_EQ(proxy.failure(), "");
    // Holds its upload until it dies.
    CallHomeServer doomed(aesServer("[upload]\n@fault hang\n"));
    CallHomeServer server(aesServer(
        "[sync]\n@times 4\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n"
        "[sync]\nINSTRUCTION:UPLOAD\nURL:" +
        doomed.address() +
        "/upload\n"
        "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n"
        "[sync]\n@fault garbage\n"
        "[sync]\n@delay 3000\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n"
        "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n"
        "[upload]\n@fault close\n[upload]\n@fault garbage\n[upload]\n@fault bad-signature\n"
        "[upload]\n@fault http-500\n[upload]\nSTATUS:OK\n"));
    TempDir dir;
    writeRegisteredConfig(dir.path(), {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    int tracked = 0;
    const auto trackTen = [&](Host& host) {
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(host.track("F" + std::to_string(tracked++), "Fault"), 0);
    };
    {
        Host host(dir.path());
        ASSERT_EQ(host.configure(server.address() + "/app"), 0);
        // The proxy refuses these credentials; each attempt falls back to a
        // direct one.
        ASSERT_EQ(zebSetProxy(host.zeb, "127.0.0.1", proxy.port(), "alice", "wrong"), 0);
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        trackTen(host);
        // The start-up sync's upload is cut off; the next three get garbage,
        // a bad signature and a 500.
        for (size_t n = 1; n <= 4; ++n) {
            ASSERT_FALSE(waitForType(server, "upload", n).empty()) << n;
            trackTen(host);
            ASSERT_EQ(host.sync(), 0);
        }
        // The fifth goes to a server that dies while it holds the upload.
        ASSERT_TRUE(eventually([&] { return storedUploads(doomed) == 1; }));
        doomed.stop();
        trackTen(host);
        ASSERT_EQ(host.sync(), 0);
        Fields accepted = waitForType(server, "upload", 5);
        EXPECT_EQ(accepted["fault"], "none");
        EXPECT_EQ(accepted["http"], "200");
        EXPECT_TRUE(eventually([&] { return logFileNames(dir.path()).empty(); }))
            << "acknowledged files are deleted";
        // A sync answered with garbage, then a final sync slower than the stop allows.
        trackTen(host);
        ASSERT_EQ(host.sync(), 0);
        ASSERT_FALSE(waitForType(server, "sync", 7).empty());
        trackTen(host);
        const auto start = Clock::now();
        EXPECT_EQ(zebStopSDK(host.zeb, 1), 0);
        EXPECT_LT(secondsSince(start), 2.9);  // the answer would take 3 s
        EXPECT_EQ(waitForType(server, "sync", 8)["fault"], "none+delay:3000");
        for (const auto& line : requests(server)) EXPECT_EQ(line.at("form"), "origin");
    }
    EXPECT_FALSE(logFileNames(dir.path()).empty()) << "the unsent events wait on disk";
    EXPECT_EQ(validConfig(dir.path())["CLIENTID:"], kClientID);
    // The proxy was asked first, for syncs and uploads alike, and refused.
    const std::string proxyLog = fileText(proxyDir.file("tinyproxy.log"));
    EXPECT_TRUE(contains(proxyLog, "POST http://" + server.address() + "/app/req1")) << proxyLog;
    EXPECT_TRUE(contains(proxyLog, "POST http://" + server.address() + "/upload")) << proxyLog;

    // The next run sends what the first could not, and its own events.
    {
        Host again(dir.path());
        ASSERT_EQ(again.configure(server.address() + "/app"), 0);
        ASSERT_EQ(zebStartSDK(again.zeb), 0);
        trackTen(again);
        EXPECT_EQ(zebStopSDK(again.zeb, 10), 0);
    }
    EXPECT_TRUE(logFileNames(dir.path()).empty());
    Tally tally;
    ASSERT_TRUE(eventually([&] {
        tally = Tally();
        tally.add(server);
        return tally.acknowledged.size() >= static_cast<size_t>(tracked);
    }));
    tally.add(doomed);
    for (int i = 0; i < tracked; ++i)
        EXPECT_EQ(tally.acknowledged["F" + std::to_string(i)], 1) << "F" << i;
    EXPECT_EQ(tally.acknowledged.size(), static_cast<size_t>(tracked));
    std::cout << "[ figures  ] " << tracked << " events tracked, " << tally.acknowledged.size()
              << " acknowledged once each, " << tally.duplicates()
              << " further deliveries in unacknowledged uploads\n";
}

TEST(Faults, KilledWhileTrackingAndWhileUploadingThenStartedAgain) {
    TempDir dir;
    const std::string d = dir.path();
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"},
                              {"FEATLISTLIMIT:", "4000000000"},
                              {"FILESIZETHRESHOLD:", "32"}});
    const uint64_t limit = 32 * 1024;
    uint64_t peak = 0;
    const auto sample = [&] { peak = std::max(peak, logBytes(d)); };

    // 1. Killed while a thread tracks and its fourth upload awaits an answer.
    CallHomeServer first(aesServer("[upload]\n@delay 200\nSTATUS:OK\n"));
    std::set<std::string> writtenFirst;
    int cut = 0;
    {
        FaultHostProcess host;
        ASSERT_EQ(host.greeting(), "READY");
        ASSERT_EQ(host.ask("config " + d + " " + first.address() + "/app"), "0");
        ASSERT_EQ(host.ask("start"), "0");
        ASSERT_EQ(host.ask("trackloop K"), "0");
        for (size_t n = 1; n <= 3; ++n) {
            if (n > 1) {
                ASSERT_EQ(host.ask("sync"), "0");
            }
            ASSERT_TRUE(eventually([&] {
                sample();
                return requestsOf(first, "upload").size() >= n;
            }));
        }
        ASSERT_EQ(host.ask("sync"), "0");
        ASSERT_TRUE(eventually([&] {
            sample();
            for (const auto& name : logFileNames(d))
                if (name.compare(name.size() - 4, 4, ".log") == 0) return true;
            return false;
        }));
        host.kill(SIGKILL);
        sample();
        writtenFirst = eventsOnDisk(d, cut);
    }
    EXPECT_FALSE(writtenFirst.empty());
    EXPECT_EQ(validConfig(d)["CLIENTID:"], kClientID);
    // A quarter of an hour later the dead run's active file counts as stale.
    for (const auto& name : logFileNames(d))
        if (name.compare(name.size() - 7, 7, ".logtmp") == 0) age(d + "/" + name, 2000);
    // Temporaries left by crashed saves: only this application's old ones go.
    const std::string own = "zebconfigV5_qhwnpcodkv_App_";
    const std::vector<std::pair<std::string, bool>> leftovers = {
        {own + "0000000000005.cfgtmp", false},
        {own + "0000000000006.cfgtmp", true},  // fresh: another process's save
        {"zebconfigV5_qhwnpcodkv_Other_0000000000005.cfgtmp", true},
        {"zebconfigV5_qhwnpcodkv_App_x_0000000000005.cfgtmp", true},
        {"zebconfigV5_hhhhhhhhhh_App_0000000000005.cfgtmp", true},
    };
    for (const auto& leftover : leftovers) {
        std::ofstream(d + "/" + leftover.first) << "SIGNATURE:";
        if (leftover.first != own + "0000000000006.cfgtmp") age(d + "/" + leftover.first, 3600);
    }

    // 2. Started again; killed while the server holds its second upload.
    CallHomeServer second(
        aesServer("[upload]\nSTATUS:OK\n[upload]\n@fault hang\n"
                  "[upload]\nSTATUS:OK\n"));
    {
        FaultHostProcess host;
        ASSERT_EQ(host.ask("config " + d + " " + second.address() + "/app"), "0");
        EXPECT_EQ(host.ask("state"), "1");
        for (const auto& leftover : leftovers)
            EXPECT_EQ(::access((d + "/" + leftover.first).c_str(), F_OK) == 0, leftover.second)
                << leftover.first;
        ASSERT_EQ(host.ask("start"), "0");
        ASSERT_FALSE(waitForType(second, "upload", 1).empty());
        ASSERT_EQ(host.ask("track L 0 100"), "0");
        ASSERT_EQ(host.ask("sync"), "0");
        ASSERT_TRUE(eventually([&] {
            sample();
            return storedUploads(second) == 2;
        }));
        host.kill(SIGKILL);
    }
    int cutSecond = 0;
    const auto writtenSecond = eventsOnDisk(d, cutSecond);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(writtenSecond.count("L" + std::to_string(i)), 1u);

    // 3. A clean run sends the rest.
    CallHomeServer third(aesServer());
    {
        Host host(d);
        ASSERT_EQ(host.configure(third.address() + "/app"), 0);
        EXPECT_EQ(host.state(), 1);
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        ASSERT_FALSE(waitForType(third, "upload", 1).empty());
        EXPECT_EQ(zebStopSDK(host.zeb, 10), 0);
    }
    sample();
    EXPECT_TRUE(logFileNames(d).empty());
    EXPECT_LE(peak, limit) << "the log grew past FILESIZETHRESHOLD";
    EXPECT_EQ(validConfig(d)["CLIENTID:"], kClientID);

    Tally tally;
    ASSERT_TRUE(eventually([&] {
        tally = Tally();
        tally.add(first);
        tally.add(second);
        tally.add(third);
        return tally.acknowledged.count("L99") != 0;
    }));
    int missing = 0;
    for (const auto& name : writtenFirst) missing += tally.acknowledged.count(name) == 0;
    for (int i = 0; i < 100; ++i) missing += tally.acknowledged.count("L" + std::to_string(i)) == 0;
    EXPECT_EQ(missing, 0) << "written events that never reached the server";
    int ackedTwice = 0;
    for (const auto& kv : tally.acknowledged) ackedTwice += kv.second > 1;
    std::cout << "[ figures  ] first kill: " << writtenFirst.size() << " events on disk (" << cut
              << " cut lines); second kill: " << writtenSecond.size()
              << " on disk; all reached the server; " << tally.duplicates()
              << " duplicate deliveries, " << ackedTwice << " events acknowledged twice; peak log "
              << peak << " of " << limit << " bytes\n";
}

// Fills the file system under dir until a write fails; the filler's path.
std::string fillUp(const std::string& dir) {
    const std::string path = dir + "/filler";
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return path;
    const std::string chunk(512, 'f');
    while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    return path;
}

TEST(Faults, AFullOrReadOnlyDataDirectoryFailsWritesButKeepsTheConfiguration) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a tmpfs in a private mount namespace";
    TempDir base;
    const std::string mountPoint = base.file("data");
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0755), 0);
    FaultHostProcess host({"--tmpfs", mountPoint, "256"});
    if (host.greeting() != "READY") GTEST_SKIP() << host.greeting();
    // The host's tmpfs, as this process reaches it.
    const std::string d = "/proc/" + std::to_string(host.pid()) + "/root" + mountPoint;
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    // Each sync changes the configuration, so each one saves it. The third
    // sync's upload is refused, so that its files wait for the read-only disk.
    CallHomeServer refuser(aesServer("[upload]\n@fault http-500\n"));
    std::string script;
    for (int v = 2; v <= 6; ++v)
        script += "[sync]\nINSTRUCTION:UPLOAD\nURL:" +
                  (v == 4 ? refuser.address() : std::string("${SELF}")) +
                  "/upload\n****CONFIG\nCONFIGVERSION:" + std::to_string(v) + "\n";
    CallHomeServer server(aesServer(script));
    ASSERT_EQ(host.ask("config " + mountPoint + " " + server.address() + "/app"), "0");
    ASSERT_EQ(host.ask("start"), "0");
    ASSERT_TRUE(eventually([&] { return validConfig(d)["CONFIGVERSION:"] == "2"; }));
    ASSERT_FALSE(waitForType(server, "upload", 1).empty());

    // Full: the save and the log writes fail; the file stays as it was.
    const std::string filler = fillUp(d);
    ASSERT_EQ(host.ask("track D 0 50"), "0");
    ASSERT_EQ(host.ask("sync"), "0");
    ASSERT_FALSE(waitForType(server, "sync", 2).empty());
    const auto full = validConfig(d);
    EXPECT_EQ(full.at("CLIENTID:"), kClientID);
    EXPECT_EQ(full.at("CONFIGVERSION:"), "2");
    int cut = 0;
    eventsOnDisk(d, cut);
    EXPECT_EQ(cut, 0) << "a failed append left part of a line";
    for (const auto& name : namesIn(d)) EXPECT_EQ(name.find(".cfgtmp"), std::string::npos);

    // Room again: the next sync saves, and the later events go out.
    ASSERT_EQ(::unlink(filler.c_str()), 0);
    ASSERT_EQ(host.ask("track D 50 50"), "0");
    ASSERT_EQ(host.ask("sync"), "0");
    ASSERT_TRUE(eventually([&] { return validConfig(d)["CONFIGVERSION:"] == "4"; }));
    ASSERT_FALSE(waitForType(refuser, "upload", 1).empty());

    // Read-only: the same again, and the upload of D50.. cannot be deleted;
    // the next sync must not send it again.
    ASSERT_EQ(host.ask("ro"), "0");
    ASSERT_EQ(host.ask("track D 100 50"), "0");
    ASSERT_EQ(host.ask("sync"), "0");
    ASSERT_TRUE(eventually([&] {
        Tally sent;
        sent.add(server);
        return sent.acknowledged.count("D99") == 1;
    }));
    ASSERT_EQ(host.ask("sync"), "0");
    ASSERT_FALSE(waitForType(server, "sync", 5).empty());
    EXPECT_EQ(validConfig(d)["CONFIGVERSION:"], "4");
    ASSERT_EQ(host.ask("rw"), "0");
    ASSERT_EQ(host.ask("stop 10"), "0");
    ASSERT_EQ(host.ask("destroy"), "0");
    EXPECT_EQ(validConfig(d)["CONFIGVERSION:"], "6");
    EXPECT_EQ(eventsOnDisk(d, cut).count("D50"), 0u) << "deleted once the disk was writable";
    // The next run finds a registered client.
    ASSERT_EQ(host.ask("config " + mountPoint + " " + server.address() + "/app"), "0");
    EXPECT_EQ(host.ask("state"), "1");
    EXPECT_EQ(host.ask("clientid"), kClientID);

    Tally tally;
    tally.add(server);
    for (int i = 50; i < 100; ++i) EXPECT_EQ(tally.acknowledged["D" + std::to_string(i)], 1) << i;
    int lost = 0;
    for (int i = 0; i < 150; ++i) lost += tally.acknowledged.count("D" + std::to_string(i)) == 0;
    std::cout << "[ figures  ] 150 events tracked, " << lost
              << " lost to the full and the read-only disk, none acknowledged twice\n";
    EXPECT_EQ(host.ask("quit"), "0");
}

// Whether the n-th upload (waited for) holds event "Fault"/name.
bool uploaded(const CallHomeServer& server, size_t n, const std::string& name) {
    return contains(storedText(server, waitForType(server, "upload", n)), "$Fault$" + name + "\n");
}

TEST(Faults, AClosedLogTheUploadCannotReadStaysForALaterUpload) {
    // Another user's file in a shared data directory. Root reads every
    // file, so the host then runs as a second user.
    TempDir dir;
    const std::string d = dir.path();
    ASSERT_EQ(::chmod(d.c_str(), 0777), 0);
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    const std::string head = std::string("zeblogV5_") + kClientID + "_qhwnpcodkv_App_";
    const std::string readable = d + "/" + head + "0000000000001.log";
    const std::string locked = d + "/" + head + "0000000000002.log";
    std::ofstream(readable) << "T$S$0021$Fault$R0\n";
    std::ofstream(locked) << "T$S$0021$Fault$U0\n";
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    CallHomeServer server(aesServer());
    FaultHostProcess host(geteuid() == 0 ? std::vector<std::string>{"--uid", "65534"}
                                         : std::vector<std::string>{});
    ASSERT_EQ(host.greeting(), "READY");
    ASSERT_EQ(host.ask("config " + d + " " + server.address() + "/app"), "0");
    ASSERT_EQ(host.ask("start"), "0");
    EXPECT_TRUE(uploaded(server, 1, "R0"));
    EXPECT_FALSE(uploaded(server, 1, "U0"));
    EXPECT_TRUE(eventually([&] { return ::access(readable.c_str(), F_OK) != 0; }));
    ASSERT_EQ(::access(locked.c_str(), F_OK), 0) << "deleted unsent";
    // Readable again: the next upload sends it, and then it goes.
    ASSERT_EQ(::chmod(locked.c_str(), 0644), 0);
    ASSERT_EQ(host.ask("sync"), "0");
    EXPECT_TRUE(uploaded(server, 2, "U0"));
    EXPECT_TRUE(eventually([&] { return ::access(locked.c_str(), F_OK) != 0; }));
    EXPECT_EQ(host.ask("quit"), "0");
}

TEST(Faults, ANewClientIDFromTheServerKeepsEveryEventOnce) {
    TempDir dir;
    const std::string d = dir.path();
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    // Another application's file under the old ID is not this one's to send.
    const std::string other = std::string("zeblogV5_") + kClientID + "_qhwnpcodkv_Other_1.log";
    std::ofstream(d + "/" + other) << "T$S$0021$Fault$O0\n";
    CallHomeServer server(aesServer(
        "[sync]\nINSTRUCTION:NOLOG\n"
        "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n****CONFIG\nCLIENTID:CLIENT0002\n"));
    Host host(d);
    ASSERT_EQ(host.configure(server.address() + "/app"), 0);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(host.track("C" + std::to_string(i), "Fault"), 0);
    // The log writer's own pass puts them in the file opened under the old ID.
    int cut = 0;
    ASSERT_TRUE(eventually([&] { return eventsOnDisk(d, cut).count("C9") == 1; }, 30s));
    ASSERT_EQ(host.sync(), 0);
    ASSERT_FALSE(waitForType(server, "upload", 1).empty());
    EXPECT_EQ(host.clientID(), "CLIENT0002");
    for (int i = 10; i < 20; ++i) ASSERT_EQ(host.track("C" + std::to_string(i), "Fault"), 0);
    EXPECT_EQ(zebStopSDK(host.zeb, 10), 0);
    EXPECT_EQ(logFileNames(d), std::vector<std::string>{other});
    Tally tally;
    // The server reports an upload once its connection has ended.
    eventually([&] {
        tally = Tally();
        tally.add(server);
        return tally.acknowledged.size() >= 20;
    });
    for (int i = 0; i < 20; ++i) EXPECT_EQ(tally.acknowledged["C" + std::to_string(i)], 1) << i;
    EXPECT_EQ(tally.acknowledged.size(), 20u);
}

// The state letter of process pid ('T' when stopped), from /proc.
char processState(pid_t pid) {
    const std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(") ");
    return end == std::string::npos || end + 2 >= stat.size() ? '?' : stat[end + 2];
}

// Processes of one application on one data directory: each file goes up in
// one upload, and a writer suspended past the stale threshold keeps its file.
TEST(Faults, ProcessesSharingADirectoryUploadEachEventOnce) {
    const char* env = std::getenv("ZEB_SHARED_DIR_PROCESSES");
    const size_t n = env != nullptr && std::atoi(env) > 0 ? std::stoul(env) : 8;
    const int rounds = 4, perRound = 500;
    TempDir dir;
    const std::string d = dir.path();
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    CallHomeServer server(aesServer("[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n",
                                    {"--max-connections", std::to_string(n + 1)}));
    // hosts[n] is the sleeper.
    std::vector<std::unique_ptr<FaultHostProcess>> hosts;
    for (size_t k = 0; k <= n; ++k) hosts.push_back(std::make_unique<FaultHostProcess>());
    FaultHostProcess& sleeper = *hosts[n];
    // Each host gets its command before any answer is read, so that they overlap.
    const auto all = [&](size_t from, size_t to, const std::function<std::string(size_t)>& cmd) {
        for (size_t k = from; k < to; ++k) hosts[k]->send(cmd(k));
        for (size_t k = from; k < to; ++k) EXPECT_EQ(hosts[k]->receive(60s), "0") << cmd(k);
    };
    all(0, n + 1, [&](size_t) { return "config " + d + " " + server.address() + "/app"; });
    // The sleeper's start-up sync is over before its events are written,
    // so that they stay in its active file.
    ASSERT_EQ(sleeper.ask("start"), "0");
    ASSERT_FALSE(waitForType(server, "upload", 1, 30s).empty());
    ASSERT_EQ(sleeper.ask("track S 0 50"), "0");
    std::string active;
    ASSERT_TRUE(eventually(
        [&] {
            for (const auto& name : logFileNames(d))
                if (contains(fileText(d + "/" + name), "$Fault$S49\n")) active = name;
            return !active.empty();
        },
        30s));
    ASSERT_EQ(active.substr(active.size() - 7), ".logtmp");
    ASSERT_EQ(::kill(sleeper.pid(), SIGSTOP), 0);
    ASSERT_TRUE(eventually([&] { return processState(sleeper.pid()) == 'T'; }));
    // Suspended for half an hour, as its file's time tells.
    age(d + "/" + active, 1800);

    all(0, n, [](size_t) { return std::string("start"); });
    for (int r = 0; r < rounds; ++r) {
        all(0, n, [&](size_t k) {
            return "track P" + std::to_string(k) + "_ " + std::to_string(r * perRound) + " " +
                   std::to_string(perRound);
        });
        all(0, n, [](size_t) { return std::string("sync"); });
    }
    // However old it looks, a live writer's file is nobody else's to send.
    EXPECT_TRUE(contains(fileText(d + "/" + active), "$Fault$S49\n"));
    ASSERT_EQ(::kill(sleeper.pid(), SIGCONT), 0);
    ASSERT_EQ(sleeper.ask("track S 50 50"), "0");
    all(0, n + 1, [](size_t) { return std::string("stop 30"); });
    all(0, n + 1, [](size_t) { return std::string("quit"); });
    for (auto& host : hosts) EXPECT_TRUE(host->waitExit(10s));
    server.stop();

    EXPECT_TRUE(logFileNames(d).empty());
    Tally tally;
    tally.add(server);
    size_t files = 0, headless = 0;
    for (const auto& upload : requestsOf(server, "upload")) {
        // An upload with nothing left to send holds no file at all.
        for (const auto& file : uploadedFiles(storedText(server, upload))) {
            files += !file.empty();
            headless += !file.empty() && eventFields(file[0]).at(2) != "0051";
        }
    }
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back("S" + std::to_string(i));
    for (size_t k = 0; k < n; ++k)
        for (int i = 0; i < rounds * perRound; ++i)
            names.push_back("P" + std::to_string(k) + "_" + std::to_string(i));
    // Counted rather than expected one by one: a failure names thousands.
    int lost = 0, ackedTwice = 0;
    std::string firstLost;
    for (const auto& name : names) {
        const auto it = tally.acknowledged.find(name);
        if (it == tally.acknowledged.end() && lost++ == 0) firstLost = name;
        ackedTwice += it != tally.acknowledged.end() && it->second > 1;
    }
    EXPECT_EQ(lost, 0) << "the first is " << firstLost;
    EXPECT_EQ(ackedTwice, 0);
    EXPECT_EQ(tally.acknowledged.size(), names.size());
    EXPECT_EQ(tally.duplicates(), 0);
    EXPECT_EQ(headless, 0u) << "of " << files << " uploaded files began without their 0051 line";
    std::cout << "[ figures  ] " << n << " processes and a suspended one, " << names.size()
              << " events tracked, " << tally.delivered.size() << " received, "
              << tally.duplicates() << " duplicates, " << lost << " lost, " << headless << " of "
              << files << " files without a 0051 line\n";
}

TEST(Faults, ConfigurationAndClosedLogsReachTheDiskBeforeTheirNewNames) {
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    TempDir dir;
    const std::string d = dir.path();
    writeRegisteredConfig(d, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    CallHomeServer server(
        aesServer("[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n****CONFIG\nCONFIGVERSION:2\n"));
    const std::string trace = dir.file("trace.txt");
    {
        FaultHostProcess host({},
                              {"strace", "-f", "-qq", "-y", "-o", trace, "-e",
                               "trace=fdatasync,fsync,rename,renameat,renameat2,unlink,unlinkat"});
        if (host.greeting() != "READY") GTEST_SKIP() << "strace cannot trace here";
        ASSERT_EQ(host.ask("config " + d + " " + server.address() + "/app"), "0");
        ASSERT_EQ(host.ask("start"), "0");
        ASSERT_FALSE(waitForType(server, "upload", 1).empty());
        ASSERT_EQ(host.ask("quit"), "0");
        ASSERT_TRUE(host.waitExit(10s));
    }
    std::vector<std::string> calls;
    {
        std::ifstream in(trace);
        for (std::string line; std::getline(in, line);) calls.push_back(line);
    }
    const auto find = [&](const std::string& a, const std::string& b, size_t from) {
        for (size_t i = from; i < calls.size(); ++i)
            if (contains(calls[i], a) && contains(calls[i], b)) return i;
        return calls.size();
    };
    const size_t none = calls.size();
    // The configuration: data flushed, renamed, the directory flushed, and
    // only then the older file removed.
    const size_t saved = find("fdatasync(", ".cfgtmp>", 0);
    const size_t renamed = find("rename", ".cfgtmp\"", saved);
    const size_t dirSynced = find("fsync(", d + ">", renamed);
    const size_t removed = find("unlink", "_0000000000001.cfg\"", 0);
    EXPECT_LT(saved, renamed);
    EXPECT_LT(renamed, dirSynced);
    EXPECT_LT(dirSynced, removed);
    EXPECT_NE(removed, none);
    // The closed log: the same order before the upload reads it.
    const size_t logSynced = find("fdatasync(", ".logtmp>", 0);
    const size_t logRenamed = find("rename", ".logtmp\"", logSynced);
    EXPECT_NE(logRenamed, none);
    EXPECT_LT(logRenamed, find("fsync(", d + ">", logRenamed));
    if (::testing::Test::HasFailure()) {
        for (const auto& line : calls) std::cout << line << "\n";
    }
}

}  // namespace
