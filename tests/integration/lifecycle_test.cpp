// The life cycle of the library as a host application meets it, through
// the exported functions only, against zeb-callhome: registration, syncs
// with each server instruction, uploads, opt-out, reach-out and stop. What
// reached the server is read from its REQUEST lines and stored requests;
// what stayed behind, from the data directory.

#include <gtest/gtest.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <utime.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "LifecycleSupport.h"

namespace {

using namespace zebtest;

std::vector<std::string> configFilesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& name : namesIn(dir)) {
        if (name.rfind("zebconfigV5_", 0) == 0) out.push_back(name);
    }
    return out;
}

TEST(Lifecycle, NewClientRegistersStoresItsIdAndSyncsUnderItNextRun) {
    CallHomeServer server(aesServer(
        "[newreg]\nCLIENTID:${NEWID}\n****CONFIG\nCONFIGVERSION:7\nMANUALSYNCTIMETHRESHOLD:0\n"
        "[sync]\nINSTRUCTION:NOLOG\n"));
    TempDir dir;
    std::string clientID;
    {
        Host host(dir.path());
        ASSERT_EQ(host.configure(server.address() + "/app", ZEB_PROTOCOL_HTTP_AES, true), 0);
        EXPECT_EQ(host.state(), 2);
        EXPECT_EQ(host.clientID(), "0");
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        // Registration runs in the background; events may be tracked meanwhile.
        const int32_t early = host.state();
        EXPECT_TRUE(early == 3 || early == 4) << early;
        EXPECT_EQ(host.track("BeforeRegistration"), 0);
        ASSERT_TRUE(eventually([&] { return host.state() == 4; }));

        Fields reg = waitForType(server, "newreg", 1);
        EXPECT_EQ(reg["verdict"], "ok");
        EXPECT_EQ(reg["client"], "-");
        clientID = reg["newid"];
        ASSERT_EQ(clientID.size(), 32u);
        EXPECT_EQ(host.clientID(), clientID);
        const std::string request = storedText(server, reg);
        EXPECT_FALSE(contains(request, "CLIENTID:")) << request;
        EXPECT_TRUE(contains(request, "\n****FINGERPRINTS\n")) << request;
        // No handler is installed, so no reach-out is asked for.
        EXPECT_TRUE(contains(request, "****INSTRUCTIONS\nSENDREACHOUT:0\nOPTOUT:0\n")) << request;

        // The answer's ID and configuration went into one new, signed file.
        const auto files = configFilesIn(dir.path());
        ASSERT_EQ(files.size(), 1u);
        const std::string text = fileText(dir.path() + "/" + files[0]);
        const size_t bodyAt = text.find('\n') + 1;
        EXPECT_EQ(
            text.substr(0, bodyAt),
            "SIGNATURE:" + upperHexSha256("518204937" + text.substr(bodyAt) + "518204937") + "\n");
        auto keys = configKeys(text);
        EXPECT_EQ(keys["CLIENTID:"], clientID);
        EXPECT_EQ(keys["CONFIGVERSION:"], "7");
        EXPECT_EQ(keys["MANUALSYNCTIMETHRESHOLD:"], "0");

        // Registered just now: no sync is due, but a manual one may go.
        EXPECT_EQ(host.sync(), 0);
        Fields sync = waitForType(server, "sync", 1);
        EXPECT_EQ(sync["client"], clientID);
        EXPECT_TRUE(contains(storedText(server, sync), "\nCONFIGVERSION:7\n"));
        EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
        EXPECT_EQ(requestsOf(server, "newreg").size(), 1u);
    }
    // The event tracked during registration was written under the new ID.
    const auto logs = logFileNames(dir.path());
    ASSERT_FALSE(logs.empty());
    for (const auto& name : logs) EXPECT_EQ(name.rfind("zeblogV5_" + clientID + "_", 0), 0u);
    bool found = false;
    for (const auto& lines : logFiles(dir.path())) {
        for (const auto& line : lines) found = found || contains(line, "$Menu$BeforeRegistration");
    }
    EXPECT_TRUE(found);

    // The next run on the same directory is registered and syncs at once.
    Host again(dir.path());
    ASSERT_EQ(again.configure(server.address() + "/app"), 0);
    EXPECT_EQ(again.state(), 1);
    EXPECT_EQ(again.clientID(), clientID);
    ASSERT_EQ(zebStartSDK(again.zeb), 0);
    EXPECT_EQ(again.state(), 4);
    EXPECT_EQ(waitForType(server, "sync", 2)["client"], clientID);
    EXPECT_EQ(requestsOf(server, "newreg").size(), 1u);
}

TEST(Lifecycle, StopDuringARegistrationThatHangsReturnsPromptly) {
    CallHomeServer server(aesServer("", {"--fault", "newreg=hang"}));
    Host host;
    ASSERT_EQ(host.configure(server.address() + "/app"), 0);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);
    EXPECT_EQ(host.state(), 3);
    // Let the request reach the server, which then holds it unanswered.
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    EXPECT_EQ(zebStopSDK(host.zeb, 30), 0);  // no final sync while registering
    host.destroy();
    // Well inside the 10 s receive budget the exchange would otherwise use.
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_EQ(waitForType(server, "newreg", 1)["fault"], "hang");
}

TEST(Lifecycle, AClientIdFromAnotherAnswerMakesTheClientRegistered) {
    CallHomeServer server(aesServer(
        "[testconn]\nSTATUS:OK\n****CONFIG\nCLIENTID:FROMTESTCONN1\nMANUALSYNCTIMETHRESHOLD:0\n"
        "[newreg]\n@fault http-500\n"));
    // Before the start: the run starts as a registered client.
    Host before;
    ASSERT_EQ(before.configure(server.address() + "/app"), 0);
    ASSERT_EQ(zebTestConnection(before.zeb), 0);
    ASSERT_EQ(zebStartSDK(before.zeb), 0);
    EXPECT_EQ(before.state(), 4);
    EXPECT_EQ(before.track("Tracked"), 0);
    EXPECT_EQ(before.sync(), 0);
    EXPECT_EQ(zebStopSDK(before.zeb, 20), 0);
    bool headed = false;
    EXPECT_TRUE(eventually([&] {
        const auto kinds = uploadedKinds(server, headed);
        return !kinds.empty() && kinds.back() == "0002" &&
               std::count(kinds.begin(), kinds.end(), "0021:Tracked") == 1;
    }));
    EXPECT_TRUE(requestsOf(server, "newreg").empty());
    for (auto& sync : requestsOf(server, "sync")) EXPECT_EQ(sync["client"], "FROMTESTCONN1");

    // While registering: the registration ends as a success at once,
    // without waiting two minutes for the next attempt.
    Host during;
    ASSERT_EQ(during.configure(server.address() + "/app"), 0);
    ASSERT_EQ(zebStartSDK(during.zeb), 0);
    ASSERT_FALSE(waitForType(server, "newreg", 1).empty());
    ASSERT_EQ(zebTestConnection(during.zeb), 0);
    EXPECT_TRUE(eventually([&] { return during.state() == 4; })) << during.state();
    EXPECT_EQ(during.clientID(), "FROMTESTCONN1");
    EXPECT_EQ(requestsOf(server, "newreg").size(), 1u);
}

TEST(Lifecycle, AForkedChildLeavesTheParentsInstanceAlone) {
    CallHomeServer server(aesServer());
    Host host;
    ASSERT_EQ(host.startRegistered(server.address() + "/app", {{"MANUALSYNCTIMETHRESHOLD:", "0"}}),
              0);
    ASSERT_EQ(host.track("BeforeFork"), 0);
    const pid_t child = fork();
    if (child == 0) {
        // The child's calls must neither act nor wait for the parent's
        // threads; the exit status counts the wrong answers.
        int wrong = zebTrackEvent(host.zeb, "Menu", "InChild", nullptr) != ZEB_E_FORKED_CHILD;
        wrong += zebGetState(host.zeb) != ZEB_E_FORKED_CHILD;
        wrong += zebSync(host.zeb, false) != ZEB_E_FORKED_CHILD;
        wrong += zebStopSDK(host.zeb, 0) != ZEB_E_FORKED_CHILD;
        wrong += zebDestroyInstance(host.zeb) != ZEB_E_FORKED_CHILD;
        _exit(wrong);
    }
    ASSERT_GT(child, 0);
    int status = -1;
    if (!eventually([&] { return waitpid(child, &status, WNOHANG) == child; })) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the child hung in the parent's instance";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_EQ(host.state(), 4);
    EXPECT_EQ(host.track("AfterFork"), 0);
    EXPECT_EQ(host.sync(), 0);
    EXPECT_EQ(zebStopSDK(host.zeb, 20), 0);
    bool headed = false;
    std::vector<std::string> kinds;
    EXPECT_TRUE(eventually([&] {
        kinds = uploadedKinds(server, headed);
        return !kinds.empty() && kinds.back() == "0002";
    }));
    EXPECT_TRUE(headed);
    EXPECT_EQ(kinds, (std::vector<std::string>{"0001", "0012", "0021:BeforeFork",
                                               "0021:AfterFork", "0013", "0002"}));
}

// Puts a log file of another run of this client into dir; an active one
// is dated `ageSeconds` back.
void plantLog(const std::string& dir, const std::string& stamp, const std::string& extension,
              const std::string& line, int ageSeconds = 0) {
    const std::string path =
        dir + "/zeblogV5_" + kClientID + "_" + kProductLetters + "_Other_" + stamp + extension;
    std::ofstream(path, std::ios::binary) << line << "\n";
    if (ageSeconds > 0) {
        const time_t when = time(nullptr) - ageSeconds;
        const utimbuf times{when, when};
        utime(path.c_str(), &times);
    }
}

bool hasLog(const std::string& dir, const std::string& stamp) {
    for (const auto& name : logFileNames(dir)) {
        if (contains(name, "_" + stamp + ".")) return true;
    }
    return false;
}

TEST(Lifecycle, EachSyncInstructionDecidesTheFateOfTheLog) {
    CallHomeServer server(
        aesServer("[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/log/in\n"
                  "[upload]\n@fault http-500\n"
                  "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/log/in\n"
                  "[upload]\nSTATUS:OK\n"
                  "[sync]\nINSTRUCTION:PURGELOG\n"
                  "[sync]\nINSTRUCTION:NOLOG\n****CONFIG\nFTFLAG:0\nCONFIGVERSION:9\n"
                  "[sync]\nINSTRUCTION:BOGUS\n"
                  "[sync]\nSTATUS:OK\n"
                  "[sync]\nINSTRUCTION:UPLOAD\n"
                  "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/log/in\n"));
    Host host;
    const std::string dir = host.dir();
    writeRegisteredConfig(dir, {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    // Reach-out on automatic syncs is on, but without a handler none is asked for.
    ASSERT_EQ(host.configure(server.address() + "/app", ZEB_PROTOCOL_HTTP_AES, true), 0);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);

    // The first pass syncs at once; its upload is refused, so the file with
    // the session start stays for the next sync.
    Fields sync = waitForType(server, "sync", 1);
    EXPECT_EQ(sync["client"], kClientID);
    EXPECT_TRUE(contains(storedText(server, sync), "SENDREACHOUT:0\n"));
    EXPECT_EQ(waitForType(server, "upload", 1)["http"], "500");
    EXPECT_EQ(host.track("E1"), 0);
    EXPECT_EQ(host.track("E2"), 0);
    ASSERT_EQ(host.sync(), 0);
    Fields upload = waitForType(server, "upload", 2);
    EXPECT_EQ(upload["path"], "/log/in");
    EXPECT_EQ(upload["verdict"], "ok");
    auto files = uploadedFiles(storedText(server, upload));
    ASSERT_EQ(files.size(), 2u) << "the kept file and the new one, in that order";
    ASSERT_EQ(files[0].size(), 3u);
    EXPECT_EQ(eventFields(files[0][0])[2], "0051");
    EXPECT_EQ(eventFields(files[0][1])[2], "0001");
    EXPECT_EQ(eventFields(files[0][2])[2], "0012");
    ASSERT_EQ(files[1].size(), 3u);
    EXPECT_EQ(eventFields(files[1][1]),
              (std::vector<std::string>{eventFields(files[1][1])[0], eventFields(files[1][1])[1],
                                        "0021", "Menu", "E1"}));
    EXPECT_EQ(eventFields(files[1][2]).back(), "E2");
    // Deleted only once the server had said "STATUS:OK".
    EXPECT_TRUE(eventually([&] { return logFileNames(dir).empty(); }));

    // PURGELOG: closed and stale files go unsent; a live run's file stays.
    plantLog(dir, "0000000000002", ".log", "CLOSED");
    plantLog(dir, "0000000000003", ".logtmp", "STALE", 2000);
    plantLog(dir, "0000000000004", ".logtmp", "LIVE");
    ASSERT_EQ(host.sync(), 0);
    EXPECT_TRUE(eventually([&] { return !hasLog(dir, "0000000000002"); }));
    EXPECT_FALSE(hasLog(dir, "0000000000003"));
    EXPECT_TRUE(hasLog(dir, "0000000000004"));

    // NOLOG, an unknown instruction, none at all, UPLOAD without URL: the
    // log stays. The configuration of the NOLOG answer holds at once.
    plantLog(dir, "0000000000005", ".log", "KEPT");
    ASSERT_EQ(host.sync(), 0);
    waitForType(server, "sync", 4);
    EXPECT_EQ(host.track("E4"), 0);  // tracked, but FTFLAG 0 keeps it out of the log
    const ZEBExceptionData x1 = {"Cls", "meth", "boom", "at a"};
    EXPECT_EQ(zebTrackException(host.zeb, x1, nullptr), 0);
    for (size_t n = 5; n <= 7; ++n) {
        ASSERT_EQ(host.sync(), 0);
        sync = waitForType(server, "sync", n);
        EXPECT_TRUE(contains(storedText(server, sync), "\nCONFIGVERSION:9\n")) << n;
    }
    EXPECT_TRUE(hasLog(dir, "0000000000005"));
    EXPECT_EQ(requestsOf(server, "upload").size(), 2u);
    ASSERT_EQ(host.sync(), 0);  // -310 until the seventh pass has ended
    const auto config9 = configKeys(fileText(dir + "/" + configFilesIn(dir).at(0)));
    EXPECT_EQ(config9.at("FTFLAG:"), "0");
    EXPECT_EQ(config9.at("CONFIGVERSION:"), "9");

    upload = waitForType(server, "upload", 3);
    files = uploadedFiles(storedText(server, upload));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], std::vector<std::string>{"KEPT"});
    // The exception is written; E4, a feature line, is not.
    ASSERT_EQ(files[1].size(), 2u);
    EXPECT_EQ(eventFields(files[1][0])[2], "0051");
    EXPECT_EQ(eventFields(files[1][1])[2], "0031");
    EXPECT_TRUE(eventually([&] { return logFileNames(dir).size() == 1; }));
    EXPECT_TRUE(hasLog(dir, "0000000000004"));

    // Stop without a final sync still writes what was queued.
    const ZEBExceptionData x2 = {"Cls", "last", "", ""};
    EXPECT_EQ(zebTrackException(host.zeb, x2, nullptr), 0);
    // Eight syncs so far; the server reports the last one's connection only
    // when it has ended, so it is waited for before counting.
    ASSERT_FALSE(waitForType(server, "sync", 8).empty());
    const size_t syncs = requestsOf(server, "sync").size();
    ASSERT_EQ(zebStopSDK(host.zeb, -1), 0);
    std::vector<std::string> types;
    for (const auto& lines : logFiles(dir)) {
        for (const auto& line : lines) {
            const auto f = eventFields(line);
            if (f.size() > 2) types.push_back(f[2]);
        }
    }
    EXPECT_EQ(types, (std::vector<std::string>{"0051", "0031", "0013", "0002"}));
    host.destroy();
    EXPECT_EQ(requestsOf(server, "sync").size(), syncs);
}

TEST(Lifecycle, ABacklogGoesInSeveralUploadsEachDeletedOnItsOwnAnswer) {
    CallHomeServer server(aesServer("[upload]\nSTATUS:OK\n[upload]\n@fault http-500\n"
                                    "[upload]\nSTATUS:OK\n"));
    Host host;
    const std::string dir = host.dir();
    writeRegisteredConfig(dir,
                          {{"MANUALSYNCTIMETHRESHOLD:", "0"}, {"FILESIZETHRESHOLD:", "99999"}});
    // Ten closed logs of a little more than 1 MiB: seven fill one upload.
    for (int i = 0; i < 10; ++i)
        plantLog(dir, "000000000000" + std::to_string(i), ".log",
                 "F" + std::to_string(i) + "\n" + std::string(1 << 20, 'x'));
    ASSERT_EQ(host.configure(server.address() + "/app"), 0);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);
    // The start-up sync: the first upload is acknowledged and its files go,
    // the second is refused and the rest stay, the session file among them.
    ASSERT_EQ(waitForType(server, "upload", 2)["http"], "500");
    const auto first = uploadedFiles(storedText(server, requestsOf(server, "upload")[0]));
    ASSERT_EQ(first.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(first[i][0], "F" + std::to_string(i));
    EXPECT_TRUE(eventually([&] { return logFileNames(dir).size() == 4; }));
    EXPECT_FALSE(hasLog(dir, "0000000000006"));
    ASSERT_EQ(host.sync(), 0);
    const auto rest = uploadedFiles(storedText(server, waitForType(server, "upload", 3)));
    ASSERT_EQ(rest.size(), 4u);
    EXPECT_EQ(rest[0][0], "F7");
    EXPECT_EQ(eventFields(rest[3][0])[2], "0051");
    EXPECT_TRUE(eventually([&] { return logFileNames(dir).empty(); }));
}

TEST(Lifecycle, EveryTrackedEventReachesTheServerOnceAndInOrder) {
    CallHomeServer server(aesServer());  // every sync: UPLOAD; every upload: STATUS:OK
    Host host;
    ASSERT_EQ(host.startRegistered(server.address() + "/app", {{"MANUALSYNCTIMETHRESHOLD:", "0"},
                                                               {"FEATLISTLIMIT:", "4000000000"},
                                                               {"FILESIZETHRESHOLD:", "4000000"}}),
              0);

    constexpr int kThreads = 4;
    constexpr int kPerThread = 5000;
    std::atomic<bool> tracking{true};
    std::atomic<int> failures{0};
    std::atomic<int> syncsAccepted{0};
    std::thread syncer([&] {
        while (tracking) {
            const int32_t rc = zebSync(host.zeb, false);
            if (rc == 0) ++syncsAccepted;
            if (rc != 0 && rc != ZEB_E_SYNC_IN_PROGRESS) ++failures;
            std::this_thread::sleep_for(1ms);
        }
    });
    std::vector<std::thread> trackers;
    for (int t = 0; t < kThreads; ++t) {
        trackers.emplace_back([&, t] {
            const std::string who = "T" + std::to_string(t);
            for (int i = 0; i < kPerThread; ++i) {
                // Each new thousand waits for another accepted sync, so that
                // syncs cut into the stream however fast either side runs.
                if (i % 1000 == 0) eventually([&] { return syncsAccepted >= i / 1000; });
                if (zebTrackEvent(host.zeb, who.c_str(), std::to_string(i).c_str(), nullptr) != 0)
                    ++failures;
            }
        });
    }
    for (auto& t : trackers) t.join();
    tracking = false;
    syncer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GE(syncsAccepted, kPerThread / 1000 - 1);
    // The final sync takes the rest, the session ends included.
    ASSERT_EQ(zebStopSDK(host.zeb, 20), 0);
    EXPECT_TRUE(logFileNames(host.dir()).empty()) << "everything uploaded and deleted";

    // The server reports an upload when its connection has ended, which may
    // come just after the client has its answer: wait for the last records.
    std::vector<std::vector<std::string>> lines;
    EXPECT_TRUE(eventually([&] {
        auto uploads = requestsOf(server, "upload");
        lines.clear();
        for (auto& upload : uploads) {
            EXPECT_EQ(upload["verdict"], "ok");
            for (const auto& file : uploadedFiles(storedText(server, upload))) {
                EXPECT_EQ(eventFields(file.at(0))[2], "0051");
                for (size_t i = 1; i < file.size(); ++i) lines.push_back(eventFields(file[i]));
            }
        }
        return !lines.empty() && lines.back().size() > 2 && lines.back()[2] == "0002";
    }));
    std::map<std::string, int> next;
    std::vector<std::string> sessions;
    for (const auto& f : lines) {
        ASSERT_GE(f.size(), 3u);
        if (f[2] != "0021") {
            sessions.push_back(f[2]);
            continue;
        }
        ASSERT_EQ(f.size(), 5u);
        ASSERT_EQ(std::stoi(f[4]), next[f[3]]) << "thread " << f[3] << ": lost or twice";
        ++next[f[3]];
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next["T" + std::to_string(t)], kPerThread);
    EXPECT_EQ(sessions, (std::vector<std::string>{"0001", "0012", "0013", "0002"}));
}

TEST(Lifecycle, StopCodesAndAFinalSyncBoundedByWaitSeconds) {
    CallHomeServer server(aesServer("", {"--fault", "sync=hang"}));
    Host idle;
    EXPECT_EQ(zebStopSDK(idle.zeb, 5), ZEB_E_NOT_RUNNING);
    ASSERT_EQ(idle.configure(server.address() + "/app"), 0);
    EXPECT_EQ(zebStopSDK(idle.zeb, 5), ZEB_E_NOT_RUNNING);

    Host host;
    ASSERT_EQ(host.startRegistered(server.address() + "/app"), 0);
    EXPECT_EQ(zebStopSDK(host.zeb, -2), ZEB_E_WAIT_SECONDS);
    // The first pass's sync is held by the server; the final sync waits for
    // that pass, but only as long as the host allowed.
    std::this_thread::sleep_for(300ms);  // the server reports a request only when it ends
    const auto start = Clock::now();
    EXPECT_EQ(zebStopSDK(host.zeb, 2), 0);
    const double took = secondsSince(start);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);
    EXPECT_EQ(zebStopSDK(host.zeb, 2), ZEB_E_STOPPED);
    EXPECT_EQ(host.track("late"), ZEB_E_STOPPED);
    EXPECT_EQ(host.state(), 13);
}

// The connection number the server gives a fresh testconn of another
// client: every connection it accepted before has a lower one.
unsigned sentinel(const CallHomeServer& server) {
    // Counted before the probe: the server may report its line before the
    // client has its answer.
    const size_t before = requestsOf(server, "testconn").size();
    Host probe;
    if (probe.configure(server.address() + "/app") != 0 || zebTestConnection(probe.zeb) != 0)
        return 0;
    const Fields f = waitForType(server, "testconn", before + 1);
    return f.empty() ? 0 : static_cast<unsigned>(std::stoul(f.at("seq")));
}

bool hasThread(const std::string& name) {
    return threadNames().count(name) != 0;
}

TEST(Lifecycle, OptedOutRunsSendOnlyWhatTheirModeAllows) {
    CallHomeServer server(aesServer());
    {
        // The server and the host both opted out: nothing is ever sent.
        Host host;
        writeRegisteredConfig(host.dir(), {{"OPTOUT:", "1"}});
        ASSERT_EQ(host.configure(server.address() + "/app"), 0);
        ASSERT_EQ(zebOptOut(host.zeb), 0);
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        EXPECT_EQ(host.state(), 14);
        std::this_thread::sleep_for(300ms);  // the first pass would have synced by now
        EXPECT_EQ(zebStopSDK(host.zeb, 5), 0);
    }
    EXPECT_EQ(sentinel(server), 1u) << "a request of the doubly opted-out run reached the server";
    {
        // Only the host opted out: start-up syncs marked as opt-out, nothing
        // but the fingerprints, no time-warp detector, no tracking.
        Host host;
        writeRegisteredConfig(host.dir());
        ASSERT_EQ(host.configure(server.address() + "/app", ZEB_PROTOCOL_HTTP_AES, true), 0);
        ASSERT_EQ(zebOptOut(host.zeb), 0);
        EXPECT_EQ(zebOptOut(host.zeb), ZEB_E_OPTED_OUT);
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        EXPECT_EQ(host.state(), 14);
        const std::string request = storedText(server, waitForType(server, "sync", 1));
        EXPECT_TRUE(contains(request, "****INSTRUCTIONS\nSENDREACHOUT:0\nOPTOUT:1\n")) << request;
        EXPECT_TRUE(contains(request, "\n****FINGERPRINTS\n"));
        EXPECT_FALSE(contains(request, "****SYSINFO"));
        EXPECT_TRUE(hasThread("SyncManager"));
        EXPECT_TRUE(hasThread("LogWriter"));
        EXPECT_FALSE(hasThread("TimeWarpDetecto"));
        EXPECT_EQ(host.track("x"), ZEB_E_OPTED_OUT);
        EXPECT_EQ(zebSync(host.zeb, false), ZEB_E_OPTED_OUT);
        EXPECT_EQ(zebStopSDK(host.zeb, 5), 0);  // no final sync either
        EXPECT_EQ(requestsOf(server, "sync").size(), 1u);
    }
    {
        // A new client opted out registers as such, then runs no worker.
        Host host;
        ASSERT_EQ(zebSetReachOutHandler(
                      host.zeb, [](void*, const char*, const char*, int32_t, const char*) {},
                      [](void*) {}, [](void*) { return 1; }, nullptr),
                  0);
        ASSERT_EQ(host.configure(server.address() + "/app", ZEB_PROTOCOL_HTTP_AES, true), 0);
        ASSERT_EQ(zebOptOut(host.zeb), 0);
        ASSERT_EQ(zebStartSDK(host.zeb), 0);
        ASSERT_TRUE(eventually([&] { return host.clientID() != "0"; }));
        EXPECT_EQ(host.state(), 14);
        const std::string request = storedText(server, waitForType(server, "newreg", 1));
        EXPECT_TRUE(contains(request, "SENDREACHOUT:0\nOPTOUT:1\n")) << request;
        EXPECT_FALSE(hasThread("LogWriter"));
        EXPECT_FALSE(hasThread("SyncManager"));
        EXPECT_FALSE(hasThread("TimeWarpDetecto"));
    }
}

// What the host's reach-out callbacks saw.
struct Presenter {
    struct Shown {
        std::string width, height, content;
        int32_t position;
        void* userData;
        std::thread::id thread;
    };
    std::mutex mutex;
    std::vector<Shown> shown;
    std::atomic<int32_t> status{1};  // non-zero: no message open
    std::atomic<int> closes{0};
    std::thread::id closeThread;

    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown.size();
    }
    static void show(void* self, const char* w, const char* h, int32_t pos, const char* text) {
        auto* p = static_cast<Presenter*>(self);
        std::lock_guard<std::mutex> lock(p->mutex);
        p->shown.push_back({w, h, text, pos, self, std::this_thread::get_id()});
        p->status = 0;  // open until the test says the user closed it
    }
    static void close(void* self) {
        auto* p = static_cast<Presenter*>(self);
        p->closeThread = std::this_thread::get_id();
        ++p->closes;
    }
    static int32_t statusOf(void* self) { return static_cast<Presenter*>(self)->status; }
    int32_t install(ZEBInstance* zeb) {
        return zebSetReachOutHandler(zeb, show, close, statusOf, this);
    }
};

TEST(Lifecycle, ReachOutMessagesReachTheHostOneAtATime) {
    CallHomeServer server(
        aesServer("[sync]\nINSTRUCTION:NOLOG\n****REACHOUT\nDIMENSIONS:400x300\nSCREENPOSITION:2\n"
                  "MESSAGECONTENT:Hello ${CLIENTID}: welcome\n"
                  "[sync]\nINSTRUCTION:NOLOG\n****REACHOUT\nDIMENSIONS:640x480\nSCREENPOSITION:-1\n"
                  "MESSAGECONTENT:Second\n"));
    Presenter presenter;
    Host host;
    writeRegisteredConfig(host.dir(), {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    // Allowed before the configuration exists, refused once started.
    ASSERT_EQ(presenter.install(host.zeb), 0);
    ASSERT_EQ(host.configure(server.address() + "/app", ZEB_PROTOCOL_HTTP_AES, true), 0);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);
    EXPECT_EQ(zebSetReachOutHandler(host.zeb, nullptr, nullptr, nullptr, nullptr),
              ZEB_E_ALREADY_STARTED);

    EXPECT_TRUE(contains(storedText(server, waitForType(server, "sync", 1)), "SENDREACHOUT:1\n"));
    ASSERT_TRUE(eventually([&] { return presenter.count() == 1; }));
    {
        std::lock_guard<std::mutex> lock(presenter.mutex);
        const auto& first = presenter.shown[0];
        EXPECT_EQ(first.width, "400");
        EXPECT_EQ(first.height, "300");
        EXPECT_EQ(first.position, 2);
        EXPECT_EQ(first.content, std::string("Hello ") + kClientID + ": welcome");
        EXPECT_EQ(first.userData, &presenter);
        EXPECT_NE(first.thread, std::this_thread::get_id());
    }
    // While the first message is open no new one is asked for, and the one
    // the server sends anyway waits its turn.
    ASSERT_EQ(host.sync(true), 0);
    EXPECT_TRUE(contains(storedText(server, waitForType(server, "sync", 2)), "SENDREACHOUT:0\n"));
    std::this_thread::sleep_for(1500ms);  // longer than the status poll
    EXPECT_EQ(presenter.count(), 1u);
    presenter.status = 1;
    ASSERT_TRUE(eventually([&] { return presenter.count() == 2; }, 5s));
    {
        std::lock_guard<std::mutex> lock(presenter.mutex);
        EXPECT_EQ(presenter.shown[1].width, "640");
        EXPECT_EQ(presenter.shown[1].position, -1);
        EXPECT_EQ(presenter.shown[1].content, "Second");
    }
    EXPECT_EQ(presenter.closes, 0);
    ASSERT_EQ(zebStopSDK(host.zeb, -1), 0);
    EXPECT_EQ(presenter.closes, 1);
    EXPECT_EQ(presenter.closeThread, std::this_thread::get_id());
    host.destroy();
    EXPECT_EQ(presenter.closes, 1);
}

TEST(Lifecycle, AHostileServerGetsRefusalsAndLosesTheClientNothing) {
    std::string huge = "****CONFIG\n";
    for (int i = 0; i < 20000; ++i)
        huge += "JUNK" + std::to_string(i) + ":" + std::string(40, 'j') + "\n";
    CallHomeServer server(
        aesServer("[sync]\n@fault garbage\n"
                  "[sync]\n@fault wrong-length\n"
                  "[sync]\nINSTRUCTION:NOLOG\n****REACHOUT\nDIMENSIONS:x300\nSCREENPOSITION:1\n"
                  "MESSAGECONTENT:odd\n****CONFIG\nCLIENTID:../../evil\n" +
                  huge +
                  "[sync]\nINSTRUCTION:NOLOG\n****CONFIG\nCLIENTID:a/b\n****REACHOUT\n"
                  "DIMENSIONS:400\nSCREENPOSITION:1\nMESSAGECONTENT:odd\n"
                  "[sync]\nINSTRUCTION:NOLOG\n****REACHOUT\nDIMENSIONS:400x300\n"
                  "SCREENPOSITION:left\nMESSAGECONTENT:odd\n"
                  "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n"));
    Presenter presenter;
    Host host;
    ASSERT_EQ(presenter.install(host.zeb), 0);
    ASSERT_EQ(host.startRegistered(server.address() + "/app", {{"MANUALSYNCTIMETHRESHOLD:", "0"}}),
              0);
    // The first pass syncs by itself; each later sync is asked for after
    // its event was tracked, so the sixth one's upload carries them all.
    for (size_t n = 1; n <= 6; ++n) {
        EXPECT_EQ(host.track("E" + std::to_string(n)), 0);
        if (n > 1) {
            ASSERT_EQ(host.sync(true), 0) << n;
        }
        ASSERT_FALSE(waitForType(server, "sync", n).empty()) << n;
    }
    const Fields upload = waitForType(server, "upload", 1);
    std::vector<std::string> names;
    for (const auto& file : uploadedFiles(storedText(server, upload))) {
        for (const auto& line : file) {
            const auto f = eventFields(line);
            if (f[2] == "0021") names.push_back(f[4]);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"E1", "E2", "E3", "E4", "E5", "E6"}));
    EXPECT_EQ(presenter.count(), 0u) << "a malformed reach-out was shown";
    EXPECT_EQ(host.clientID(), kClientID);
    EXPECT_EQ(configKeys(fileText(host.dir() + "/" + configFilesIn(host.dir()).at(0)))["CLIENTID:"],
              kClientID);
    EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
}

}  // namespace
