#include "util/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "support/TempDir.h"

namespace ZEBInternal {
namespace {

void setMtime(const std::string& path, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(Files, WriteAppendReadRoundTrip) {
    zebtest::TempDir dir;
    const std::string path = dir.file("data.bin");
    const std::string binary("a\0b\n\xff", 5);
    ASSERT_TRUE(writeFile(path, binary, false));
    ASSERT_TRUE(writeFile(path, "tail", true));
    EXPECT_EQ(readFile(path), binary + "tail");
    EXPECT_EQ(fileSize(path), 9u);
    ASSERT_TRUE(writeFile(path, "x", false)) << "truncating write";
    EXPECT_EQ(readFile(path), "x");

    std::string content = "stale";
    ASSERT_TRUE(writeFile(path, "", false));
    EXPECT_TRUE(readFile(path, content));
    EXPECT_EQ(content, "") << "an empty file reads as empty, successfully";
    EXPECT_FALSE(readFile(dir.file("missing"), content));
    EXPECT_FALSE(readFile(dir.path(), content)) << "a directory is not a file";
    EXPECT_EQ(fileSize(dir.path()), 0u);
    EXPECT_EQ(fileSize(dir.file("missing")), 0u);
}

TEST(Files, WriteFailuresAreReported) {
    zebtest::TempDir dir;
    EXPECT_FALSE(writeFile(dir.file("no/such/dir/file"), "x", false));
    EXPECT_FALSE(writeFile(dir.path(), "x", false)) << "a directory";
    // /dev/full accepts the open and fails every write with ENOSPC: the
    // same path a full data disk takes.
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available on this machine";
    EXPECT_FALSE(writeFile("/dev/full", "some log lines\n", false));
    EXPECT_FALSE(writeFile("/dev/full", "some log lines\n", true));
}

TEST(Files, KindsAndRemoval) {
    zebtest::TempDir dir;
    const std::string file = dir.file("f");
    ASSERT_TRUE(writeFile(file, "1", false));
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0700), 0);
    EXPECT_TRUE(isRegularFile(file));
    EXPECT_FALSE(isDirectory(file));
    EXPECT_TRUE(isDirectory(dir.file("d")));
    EXPECT_TRUE(exists(file));
    EXPECT_TRUE(exists(dir.file("d")));
    EXPECT_FALSE(exists(dir.file("missing")));
    EXPECT_FALSE(exists(""));

    EXPECT_TRUE(removeFile(dir.file("missing"))) << "nothing to do";
    EXPECT_TRUE(removeFile(dir.file("d"))) << "not a regular file: nothing to do";
    EXPECT_TRUE(isDirectory(dir.file("d")));
    EXPECT_TRUE(removeFile(file));
    EXPECT_FALSE(exists(file));
}

TEST(Files, AgeAndTouch) {
    zebtest::TempDir dir;
    const std::string file = dir.file("f");
    ASSERT_TRUE(writeFile(file, "1", false));
    setMtime(file, time(nullptr) - 100);
    EXPECT_GE(fileAgeSeconds(file), 100u);
    EXPECT_LT(fileAgeSeconds(file), 160u);
    ASSERT_TRUE(touch(file));
    EXPECT_LE(fileAgeSeconds(file), 2u);
    setMtime(file, time(nullptr) + 3600);
    EXPECT_EQ(fileAgeSeconds(file), 0u) << "a file from the future is not negative in age";
    EXPECT_FALSE(touch(dir.path()));
    EXPECT_FALSE(touch(dir.file("missing")));
    EXPECT_EQ(fileAgeSeconds(dir.file("missing")), 0u);
}

TEST(Files, PathsAndNames) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("f"), "1", false));
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0700), 0);
    const std::string canonical = realPath(dir.path());
    ASSERT_FALSE(canonical.empty());
    EXPECT_EQ(canonical[0], '/');
    EXPECT_EQ(realPath(dir.path() + "/d/../f"), canonical + "/f");
    EXPECT_EQ(realPath(dir.file("missing/x")), "");
    EXPECT_EQ(realPath(""), "");

    EXPECT_EQ(baseName("/a/b/c.log"), "c.log");
    EXPECT_EQ(baseName("c.log"), "c.log");
    EXPECT_EQ(baseName("/a/b/"), "");
    EXPECT_EQ(dirName("/a/b/c.log"), "/a/b");
    EXPECT_EQ(dirName("/a/b//c.log"), "/a/b");
    EXPECT_EQ(dirName("/c.log"), "/");
    EXPECT_EQ(dirName("c.log"), "");
}

TEST(Files, ListDirectoryListsOnlyRegularFiles) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("one.log"), "1", false));
    ASSERT_TRUE(writeFile(dir.file("two.cfg"), "2", false));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
    ASSERT_TRUE(writeFile(dir.file("sub/deep.log"), "3", false));
    ASSERT_EQ(symlink(dir.file("one.log").c_str(), dir.file("link.log").c_str()), 0);
    std::vector<std::string> names = listDirectory(dir.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"one.log", "two.cfg"}));
    EXPECT_TRUE(listDirectory(dir.file("missing")).empty());
    EXPECT_TRUE(listDirectory(dir.file("one.log")).empty());
}

TEST(Files, RenameInDirectory) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("a.logtmp"), "lines", false));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
    EXPECT_TRUE(renameInDirectory(dir.path(), "a.logtmp", "a.log"));
    EXPECT_FALSE(exists(dir.file("a.logtmp")));
    EXPECT_EQ(readFile(dir.file("a.log")), "lines");

    EXPECT_FALSE(renameInDirectory(dir.path(), "a.logtmp", "b.log")) << "source gone";
    EXPECT_FALSE(renameInDirectory(dir.path(), "sub", "sub2")) << "not a regular file";
    EXPECT_FALSE(renameInDirectory("", "a.log", "b.log"));
    EXPECT_FALSE(renameInDirectory(dir.path(), "", "b.log"));
    EXPECT_FALSE(renameInDirectory(dir.path(), "a.log", ""));
    EXPECT_FALSE(renameInDirectory(dir.path(), "a.log", "sub/b.log"))
        << "names stay in the directory";
    EXPECT_FALSE(renameInDirectory(dir.path(), "a.log", "..")) << "names stay in the directory";
    EXPECT_TRUE(exists(dir.file("a.log")));
}

TEST(Files, WritabilityProbes) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("existing"), "keep", false));
    EXPECT_TRUE(isWritableFile(dir.file("existing")));
    EXPECT_EQ(readFile(dir.file("existing")), "keep") << "the probe must not change the file";
    EXPECT_TRUE(isWritableFile(dir.file("new")));
    EXPECT_FALSE(exists(dir.file("new"))) << "probe file left behind";
    EXPECT_FALSE(isWritableFile(dir.path() + "/"));
    EXPECT_FALSE(isWritableFile(dir.file("missing/new")));

    EXPECT_TRUE(isWritableDirectory(dir.path()));
    EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"existing"}))
        << "probe left behind";
    EXPECT_FALSE(isWritableDirectory(dir.file("missing")));
    EXPECT_FALSE(isWritableDirectory(dir.file("existing")));
    EXPECT_FALSE(isWritableDirectory(""));
    // Nobody, root included, may create files in /proc.
    EXPECT_FALSE(isWritableDirectory("/proc"));
}

TEST(Files, ReadOnlyDirectoryIsNotWritable) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which ignores directory permissions";
    zebtest::TempDir dir;
    const std::string ro = dir.file("ro");
    ASSERT_EQ(mkdir(ro.c_str(), 0700), 0);
    ASSERT_TRUE(writeFile(ro + "/existing", "x", false));
    ASSERT_EQ(chmod((ro + "/existing").c_str(), 0400), 0);
    ASSERT_EQ(chmod(ro.c_str(), 0500), 0);
    EXPECT_FALSE(isWritableDirectory(ro));
    EXPECT_FALSE(isWritableFile(ro + "/new"));
    EXPECT_FALSE(isWritableFile(ro + "/existing"));
    EXPECT_FALSE(writeFile(ro + "/new", "x", false));
    ASSERT_EQ(chmod(ro.c_str(), 0700), 0);  // let TempDir clean up
}

// A write cut short by a file-size limit stands for a full disk: the append
// leaves the file as it was (or no file at all), never part of the text.
TEST(Files, AnAppendThatFallsShortLeavesNothingBehind) {
    zebtest::TempDir dir;
    const std::string existing = dir.file("existing");
    ASSERT_TRUE(writeFile(existing, "line one\n", false));
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit small = saved;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool appended = appendWhole(existing, "line two is too long\n");
    const bool created = appendWhole(dir.file("fresh"), std::string(100, 'x'));
    const bool fits = appendWhole(existing, "two\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(appended);
    EXPECT_FALSE(created);
    EXPECT_TRUE(fits);
    EXPECT_EQ(readFile(existing), "line one\ntwo\n");
    EXPECT_FALSE(exists(dir.file("fresh")));
    EXPECT_TRUE(writeFileDurably(dir.file("durable"), "text"));
    EXPECT_EQ(readFile(dir.file("durable")), "text");
    EXPECT_TRUE(syncFileData(dir.file("durable")));
    EXPECT_TRUE(syncDirectory(dir.path()));
    EXPECT_FALSE(syncFileData(dir.path()));
}

}  // namespace
}  // namespace ZEBInternal
