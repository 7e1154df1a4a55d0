#include <gtest/gtest.h>

#include <chrono>

#include "FakeMachine.h"
#include "platform/CommandRunner.h"

namespace ZEBInternal {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(CommandRunner, CapturesStandardOutputOnly) {
    std::string out;
    EXPECT_TRUE(runShellCommand("printf 'a\\nb'; echo noise >&2 2>/dev/null", out));
    EXPECT_EQ(out, "a\nb");
    EXPECT_TRUE(runShellCommand("true", out));
    EXPECT_EQ(out, "") << "a command that prints nothing";
    EXPECT_TRUE(runShellCommand("exit 3", out))
        << "the exit status is not a failure, as with popen";
    EXPECT_FALSE(runShellCommand("", out));
    // Standard input is /dev/null: a reader ends at once instead of waiting
    // on the host's terminal.
    const auto start = Clock::now();
    EXPECT_TRUE(runShellCommand("cat", out));
    EXPECT_LT(secondsSince(start), 5.0);
}

TEST(CommandRunner, RunawayOutputIsCutOffAndDropped) {
    std::string out;
    const auto start = Clock::now();
    CommandLimits limits;
    limits.maxOutput = 1 << 20;
    EXPECT_FALSE(runShellCommand("yes 64", out, limits));
    EXPECT_EQ(out, "");
    EXPECT_LT(secondsSince(start), 10.0);

    EXPECT_TRUE(runShellCommand("head -c 1048576 /dev/zero", out, limits))
        << "exactly the cap fits";
    EXPECT_EQ(out.size(), 1048576u);
}

TEST(CommandRunner, HangingCommandsAreKilledAtTheDeadline) {
    std::string out;
    CommandLimits limits;
    limits.timeoutMs = 1000;
    auto start = Clock::now();
    EXPECT_FALSE(runShellCommand("echo partial; sleep 30", out, limits));
    EXPECT_EQ(out, "");
    EXPECT_LT(secondsSince(start), 5.0);

    // A background child keeps the pipe open after the shell has gone: the
    // whole group is killed, not only the shell.
    start = Clock::now();
    EXPECT_FALSE(runShellCommand("sleep 30 & echo started", out, limits));
    EXPECT_LT(secondsSince(start), 5.0);

    // Output complete, but the shell lingers: the output counts, the
    // lingering shell is ended.
    start = Clock::now();
    EXPECT_TRUE(runShellCommand("echo done; exec >&-; sleep 30", out, limits));
    EXPECT_EQ(out, "done\n");
    EXPECT_LT(secondsSince(start), 5.0);
}

TEST(CommandRunner, RunCommandDiscardsStandardError) {
    zebtest::FakeMachine m;
    m.commands["getconf LONG_BIT 2>/dev/null"] = "64\n";
    EXPECT_EQ(runCommand(m.env(), "getconf LONG_BIT"), "64\n");
    EXPECT_EQ(runCommand(m.env(), ""), "");
    EXPECT_EQ(m.ran(), std::vector<std::string>{"getconf LONG_BIT 2>/dev/null"});

    ProbeEnvironment noRunner;
    EXPECT_EQ(runCommand(noRunner, "getconf LONG_BIT"), "");
}

}  // namespace
}  // namespace ZEBInternal
