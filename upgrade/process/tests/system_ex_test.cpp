// system_ex with harmless commands: exit codes, signal-ended commands, time-outs
// and retries (warnings observed at the system logger), unlimited waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_control.h"
#include "rl_log.h"
#include "syslog_capture.h"
#include "temp_dir.h"

namespace {

// Each command first appends a line to "attempts", so the number of lines is
// the number of times the shell ran it.
std::string counted(const TempDir& dir, const std::string& cmd) {
    return "echo >> '" + dir.file("attempts") + "'; " + cmd;
}

}  // namespace

TEST(SystemEx, ReturnsTheExitCodeAfterOneAttempt) {
    const struct {
        const char* cmd;
        int expected;
    } cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"false", 1},
        {"", 0},
        {"/nonexistent/command/for/test", 127},
        {"echo a=b | grep -q a; exit $?", 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.cmd);
        TempDir dir;
        EXPECT_EQ(system_ex(counted(dir, tc.cmd).c_str(), 5, 3), tc.expected);
        EXPECT_EQ(dir.lines("attempts"), 1);
    }
}

TEST(SystemEx, NullCommandFails) { EXPECT_EQ(system_ex(nullptr, 5, 3), -1); }

// A command ended by a signal gives -1 and is not retried: only time-outs are.
TEST(SystemEx, SignalEndedCommandIsNotRetried) {
    for (const char* cmd : {"kill -9 $$", "kill -TERM $$", "kill -SEGV $$"}) {
        SCOPED_TRACE(cmd);
        TempDir dir;
        SyslogCapture c = run_capturing_syslog([&] {
            rl_log_init("upgrader", 7);
            _exit(system_ex(counted(dir, cmd).c_str(), 3, 3) == -1 ? 0 : 1);
        });
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.wait_status, 0) << "system_ex did not return -1";
        EXPECT_EQ(dir.lines("attempts"), 1);
        EXPECT_TRUE(c.records.empty());
    }
}

// A command that never ends is killed after the limit and run again up to
// `retries` more times (negative: none); each time-out logs one warning whose
// counter starts at -1.
TEST(SystemEx, TimeOutsAreKilledRetriedAndLogged) {
    const struct {
        int seconds;
        int retries;
        std::vector<int> warned;
    } cases[] = {
        {3, 3, {-1, 0, 1, 2}},
        {1, 1, {-1, 0}},
        {1, 0, {-1}},
        {1, -5, {-1}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.seconds << " s, " << tc.retries << " retries");
        TempDir dir;
        const std::string cmd = counted(dir, "exec sleep 100");
        SyslogCapture c = run_capturing_syslog([&] {
            rl_log_init("upgrader", 7);
            _exit(system_ex(cmd.c_str(), tc.seconds, tc.retries) == -1 ? 0 : 1);
        });
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.wait_status, 0) << "system_ex did not return -1";
        EXPECT_EQ(dir.lines("attempts"), static_cast<int>(tc.warned.size()));
        std::vector<std::string> expected;
        for (int i : tc.warned) {
            expected.push_back(rl_log_expected_prefix("upgrader", c.pid, c.pid, 4) + "system_ex:" +
                               cmd + " retry " + std::to_string(i) + " times...");
        }
        EXPECT_EQ(c.messages(), expected);
    }
}

// A command that ends within the limit, also during its last second, or that
// runs without a limit (0 or fewer seconds), gives its exit code.
TEST(SystemEx, CommandEndingWithinTheLimitIsNotATimeOut) {
    const struct {
        const char* cmd;
        int seconds;
        int expected;
    } cases[] = {
        {"sleep 1.4; exit 4", 2, 4},
        {"sleep 1.2; exit 5", 0, 5},
        {"sleep 1.2; exit 6", -3, 6},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.cmd);
        TempDir dir;
        EXPECT_EQ(system_ex(counted(dir, tc.cmd).c_str(), tc.seconds, 0), tc.expected);
        EXPECT_EQ(dir.lines("attempts"), 1);
    }
}

TEST(SystemReturnCheck, JudgesWaitStatuses) {
    const struct {
        int status;
        int expected;
    } cases[] = {
        {0, 0},
        {0x0100, -1},  // exit code 1
        {0xff00, -1},  // exit code 255
        {9, -1},       // killed by SIGKILL
        {0x8b, -1},    // SIGSEGV with core dump
        {-1, -1},
        {static_cast<int>(0x80000000u), -1},
    };
    for (const auto& tc : cases) {
        EXPECT_EQ(system_return_check(tc.status), tc.expected) << std::hex << tc.status;
    }
}

TEST(SystemReturnCheck, JudgesRealStatusesOfSystem) {
    EXPECT_EQ(system_return_check(system("exit 0")), 0);
    EXPECT_EQ(system_return_check(system("exit 2")), -1);
    EXPECT_EQ(system_return_check(system("kill -9 $$")), -1);
}
