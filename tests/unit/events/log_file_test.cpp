// Log files on a real data directory: names, the first line of every file,
// closing, the size limit, the stale rule and several writers at once.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "EventsFixture.h"
#include "events/LogFile.h"
#include "events/ZEBEventBasic.h"

namespace ZEBInternal {
namespace {

using eventstest::field;
using eventstest::linesOf;

LogFile::Batch basicBatch(const std::string& prefix, int count) {
    LogFile::Batch batch;
    for (int i = 0; i < count; ++i) {
        batch.push_back(std::make_unique<ZEBEventBasic>("cat", prefix + std::to_string(i), "S"));
    }
    return batch;
}

void setModified(const std::string& path, time_t when) {
    struct utimbuf times {when, when};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

time_t modified(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// Counts the live records of a type, to see that dropped batches are freed.
int liveProbes = 0;
struct ProbeEvent : ZEBEventBasic {
    ProbeEvent() : ZEBEventBasic("probe", "probe", "S") { ++liveProbes; }
    ~ProbeEvent() override { --liveProbes; }
};

class LogFileTest : public ::testing::Test {
protected:
    zebtest::TempDir dir_;
    RuntimeSettings settings_;
    std::unique_ptr<Configuration> config_ = eventstest::makeConfiguration(dir_.path(), &settings_);
    LogFile log_{config_.get()};

    std::string path(const std::string& name) { return dir_.path() + "/" + name; }
};

TEST_F(LogFileTest, EachFileStartsWithItsNewFileLineAndClosingRenamesIt) {
    const std::string active = log_.activeFileName();
    EXPECT_TRUE(startsWith(active, "zeblogV5_CID_qhwnpcodkv_App_")) << active;
    EXPECT_EQ(active.size(), std::string("zeblogV5_CID_qhwnpcodkv_App_").size() + 13 + 7);
    EXPECT_EQ(active.substr(active.size() - 7), ".logtmp");
    EXPECT_EQ(log_.closedFileName(), active.substr(0, active.size() - 3));

    auto first = basicBatch("a", 2);
    ASSERT_TRUE(log_.appendEvents(first));
    EXPECT_TRUE(first.empty());
    auto second = basicBatch("b", 1);
    ASSERT_TRUE(log_.appendEvents(second));

    auto lines = linesOf(path(active));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(field(lines[0], 1), "INSTANCE0000000000000000000000001");
    EXPECT_EQ(field(lines[0], 2), "0051");
    EXPECT_EQ(field(lines[0], 3).size(), 32u);  // a fresh GUID
    EXPECT_EQ(field(lines[0], 4), "App");
    EXPECT_EQ(field(lines[1], 4), "a0");
    EXPECT_EQ(field(lines[2], 4), "a1");
    EXPECT_EQ(field(lines[3], 4), "b0");

    const std::string closed = log_.closedFileName();
    ASSERT_TRUE(log_.closeActiveFile());
    EXPECT_TRUE(isRegularFile(path(closed)));
    EXPECT_FALSE(exists(path(active)));
    // The second close only takes a new stamp.
    const std::string next = log_.activeFileName();
    EXPECT_TRUE(log_.closeActiveFile());
    EXPECT_NE(log_.activeFileName(), next);

    auto third = basicBatch("c", 1);
    ASSERT_TRUE(log_.appendEvents(third));
    lines = linesOf(path(log_.activeFileName()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(field(lines[0], 2), "0051");
    EXPECT_EQ(log_.listLogFiles(false, false), std::vector<std::string>{closed});
}

TEST_F(LogFileTest, ABatchOfUnwrittenEventsStillStartsTheFile) {
    ASSERT_TRUE(config_->file().applyServerSetting("FTFLAG:", "0"));
    auto batch = basicBatch("x", 3);
    ASSERT_TRUE(log_.appendEvents(batch));
    const auto lines = linesOf(path(log_.activeFileName()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(field(lines[0], 2), "0051");
}

TEST_F(LogFileTest, AFullLogDropsBatchesAndTouchesTheActiveFile) {
    ASSERT_TRUE(config_->file().applyServerSetting("FILESIZETHRESHOLD:", "1"));
    auto batch = basicBatch("a", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    const std::string active = path(log_.activeFileName());
    ASSERT_TRUE(writeFile(path("zeblogV5_CID_qhwnpcodkv_Other_0000000000000.log"),
                          std::string(1500, 'x'), false));
    EXPECT_EQ(log_.totalSizeKiB(), 1u);
    setModified(active, time(nullptr) - 1000);
    const std::string before = readFile(active);

    LogFile::Batch dropped;
    dropped.push_back(std::make_unique<ProbeEvent>());
    EXPECT_TRUE(log_.appendEvents(dropped));
    EXPECT_EQ(liveProbes, 0);
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(readFile(active), before);
    EXPECT_GE(modified(active), time(nullptr) - 5);
}

TEST_F(LogFileTest, AFileBegunAfterTheLogWasFullStillOpensWithItsNewFileLine) {
    ASSERT_TRUE(config_->file().applyServerSetting("FILESIZETHRESHOLD:", "1"));
    const std::string other = path("zeblogV5_CID_qhwnpcodkv_Other_0000000000000.log");
    ASSERT_TRUE(writeFile(other, std::string(1500, 'x'), false));
    auto dropped = basicBatch("lost", 1);
    ASSERT_TRUE(log_.appendEvents(dropped));
    // An upload made room.
    ASSERT_TRUE(removeFile(other));
    auto batch = basicBatch("kept", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    const auto lines = linesOf(path(log_.activeFileName()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(field(lines[0], 2), "0051");
    EXPECT_EQ(field(lines[1], 4), "kept0");
}

TEST_F(LogFileTest, ListingMatchesPrefixAndExtensionAndTheStaleRule) {
    const std::string closedOther = "zeblogV5_CID_qhwnpcodkv_Other_0000000000001.log";
    const std::string activeOther = "zeblogV5_CID_qhwnpcodkv_Other_0000000000002.logtmp";
    const std::string staleOther = "zeblogV5_CID_qhwnpcodkv_Other_0000000000003.logtmp";
    // This application's file from before the server replaced the client ID.
    const std::string earlier = "zeblogV5_OLD_ID_qhwnpcodkv_App_0000000000004.log";
    for (const auto& name : {closedOther, activeOther, staleOther, earlier}) {
        ASSERT_TRUE(writeFile(path(name), "x\n", false));
    }
    for (const auto& foreign :
         {"zeblogV5_OLD_qhwnpcodkv_Other_0000000000004.log", "zeblogV5_OLD_qhwnpcodkv_App_x_7.log",
          "zeblogV5_OLD_hhhhhhhhhh_App_0000000000004.log", "zeblogV5_CID_qhwnpcodkv_App_5.log.bak",
          "zeblogV5_CID_qhwnpcodkv_App_6.logtmp.log", "zeblogV5_CID_qhwnpcodkv_.log"}) {
        ASSERT_TRUE(writeFile(path(foreign), "x\n", false));
    }
    auto batch = basicBatch("a", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    const std::string own = log_.activeFileName();

    auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    // "..._.log" has the prefix and ends in the first ".log": it is ours.
    EXPECT_EQ(sorted(log_.listLogFiles(false, false)),
              sorted({closedOther, "zeblogV5_CID_qhwnpcodkv_.log", earlier}));
    const auto all = log_.listLogFiles(true, false);
    EXPECT_EQ(all.size(), 6u);
    // Closed files come first.
    EXPECT_TRUE(all[0] == closedOther || all[1] == closedOther);

    // The threshold itself is not stale; one second more is. Retry when the
    // clock crosses a second between setting the time and listing.
    const uint32_t threshold = settings_.SYNCSTALLEDACTIVEFILETHRESHOLDSEC;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const time_t now = time(nullptr);
        setModified(path(activeOther), now - threshold);
        setModified(path(staleOther), now - threshold - 1);
        const auto stale = log_.listLogFiles(true, true);
        if (time(nullptr) != now) continue;
        EXPECT_EQ(sorted(stale),
                  sorted({closedOther, "zeblogV5_CID_qhwnpcodkv_.log", earlier, staleOther}));
        return;
    }
    FAIL() << "the clock kept crossing seconds";
}

TEST_F(LogFileTest, ClosingNeverReplacesAFileThatHasTheClosedName) {
    auto batch = basicBatch("ours", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    // A forked child shared the stamp and closed first.
    const std::string taken = log_.closedFileName();
    ASSERT_TRUE(writeFile(path(taken), "theirs\n", false));
    ASSERT_TRUE(log_.closeActiveFile());
    EXPECT_EQ(readFile(path(taken)), "theirs\n");
    const auto closed = log_.listLogFiles(true, false);
    ASSERT_EQ(closed.size(), 2u);
    const std::string ours = closed[0] == taken ? closed[1] : closed[0];
    EXPECT_EQ(field(linesOf(path(ours)).at(1), 4), "ours0");
}

TEST_F(LogFileTest, ALiveWritersFileIsNeverStaleAndAVanishedOneStartsAnew) {
    auto batch = basicBatch("a", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    const std::string active = log_.activeFileName();
    // Suspended for an hour, as its time tells: its writer still claims it.
    setModified(path(active), time(nullptr) - 3600);
    RuntimeSettings peerSettings;
    auto peerConfig = eventstest::makeConfiguration(dir_.path(), &peerSettings);
    EXPECT_TRUE(LogFile(peerConfig.get()).listLogFiles(true, true).empty());
    // Taken anyway (by hand): the next batch starts a file of its own.
    ASSERT_TRUE(removeFile(path(active)));
    auto next = basicBatch("b", 1);
    ASSERT_TRUE(log_.appendEvents(next));
    const auto lines = linesOf(path(log_.activeFileName()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(field(lines[0], 2), "0051");
    EXPECT_EQ(field(lines[1], 4), "b0");
}

TEST_F(LogFileTest, AVanishedDataDirectoryFailsCleanlyAndClosesTheFile) {
    auto batch = basicBatch("a", 1);
    ASSERT_TRUE(log_.appendEvents(batch));
    for (const auto& name : listDirectory(dir_.path())) removeFile(path(name));
    ASSERT_EQ(rmdir(dir_.path().c_str()), 0);
    const std::string before = log_.activeFileName();
    auto lost = basicBatch("b", 3);
    EXPECT_FALSE(log_.appendEvents(lost));
    EXPECT_TRUE(lost.empty());
    EXPECT_NE(log_.activeFileName(), before);
    EXPECT_TRUE(log_.listLogFiles(true, false).empty());
    EXPECT_EQ(log_.totalSizeKiB(), 0u);
    log_.touchActiveFile();
    ASSERT_EQ(mkdir(dir_.path().c_str(), 0700), 0);
}

// Several processes share one data directory, each with its own log file
// object: every line arrives whole, in each writer's order, in its own file.
TEST_F(LogFileTest, SeveralProcessesShareTheDataDirectory) {
    constexpr int kProcesses = 4;
    constexpr int kBatches = 50;
    constexpr int kPerBatch = 20;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            {
                RuntimeSettings settings;
                auto config = eventstest::makeConfiguration(dir_.path(), &settings);
                LogFile log(config.get());
                for (int b = 0; b < kBatches && status == 0; ++b) {
                    LogFile::Batch batch;
                    for (int i = 0; i < kPerBatch; ++i) {
                        batch.push_back(std::make_unique<ZEBEventBasic>(
                            "p" + std::to_string(p), std::to_string(b * kPerBatch + i), "S"));
                    }
                    if (!log.appendEvents(batch)) status = 1;
                    if (b % 10 == 9 && !log.closeActiveFile()) status = 2;
                }
            }
            _exit(status);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int files = 0;
    for (const auto& name : log_.listLogFiles(true, false)) {
        ++files;
        const auto lines = linesOf(path(name));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(field(lines[0], 2), "0051");
        std::string writer;
        for (size_t i = 1; i < lines.size(); ++i) {
            ASSERT_EQ(field(lines[i], 2), "0021") << lines[i];
            const std::string who = field(lines[i], 3);
            if (writer.empty()) writer = who;
            ASSERT_EQ(who, writer) << "two writers in " << name;
        }
    }
    EXPECT_EQ(files, kProcesses * kBatches / 10);
    // Every line once, per writer in order across its files (sorted by stamp).
    std::map<std::string, std::vector<int>> seen;
    auto names = log_.listLogFiles(true, false);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.substr(a.rfind('_')) < b.substr(b.rfind('_'));
    });
    for (const auto& name : names) {
        const auto lines = linesOf(path(name));
        for (size_t i = 1; i < lines.size(); ++i) {
            seen[field(lines[i], 3)].push_back(std::stoi(field(lines[i], 4)));
        }
    }
    ASSERT_EQ(seen.size(), static_cast<size_t>(kProcesses));
    for (const auto& [writer, numbers] : seen) {
        ASSERT_EQ(numbers.size(), static_cast<size_t>(kBatches * kPerBatch)) << writer;
        for (size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], static_cast<int>(i));
    }
}

}  // namespace
}  // namespace ZEBInternal
