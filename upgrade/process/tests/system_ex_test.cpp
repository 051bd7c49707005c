// system_ex with harmless commands: exit codes, signal-ended commands, time-outs
// and retries (warnings observed at the system logger), unlimited waits.
#include <gtest/gtest.h>

#include <algorithm>
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

// A command that ends, also during its last second or without a limit (0 or
// fewer seconds), gives its exit code after one attempt; a null command -1.
TEST(SystemEx, ReturnsTheExitCodeAfterOneAttempt) {
    const struct {
        const char* cmd;
        int seconds;
        int expected;
    } cases[] = {
        {"exit 0", 5, 0}, {"exit 255", 5, 255}, {"false", 5, 1}, {"", 5, 0},
        {"/nonexistent/command/for/test", 5, 127}, {"echo a=b | grep -q a; exit $?", 5, 0},
        {"sleep 1.4; exit 4", 2, 4}, {"sleep 1.2; exit 5", 0, 5}, {"sleep 1.2; exit 6", -3, 6},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.cmd);
        TempDir dir;
        EXPECT_EQ(system_ex(counted(dir, tc.cmd).c_str(), tc.seconds, 3), tc.expected);
        EXPECT_EQ(dir.lines("attempts"), 1);
    }
    EXPECT_EQ(system_ex(nullptr, 5, 3), -1);
}

// A command that never ends is killed after the limit and run again up to
// `retries` more times (negative: none); each time-out logs one warning whose
// counter starts at -1. A command ended by a signal gives -1 and is not retried.
TEST(SystemEx, TimeOutsAreRetriedAndLoggedSignalEndsAreNot) {
    const struct {
        const char* cmd;
        int seconds;
        int retries;
        std::vector<int> warned;
    } cases[] = {
        {"exec sleep 100", 3, 3, {-1, 0, 1, 2}}, {"exec sleep 100", 1, 0, {-1}},
        {"exec sleep 100", 1, -5, {-1}},         {"kill -9 $$", 3, 3, {}},
        {"kill -TERM $$", 3, 3, {}},             {"kill -SEGV $$", 3, 3, {}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.cmd << " " << tc.seconds << " s, " << tc.retries);
        TempDir dir;
        const std::string cmd = counted(dir, tc.cmd);
        SyslogCapture c = run_capturing_syslog([&] {
            rl_log_init("upgrader", 7);
            _exit(system_ex(cmd.c_str(), tc.seconds, tc.retries) == -1 ? 0 : 1);
        });
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.wait_status, 0) << "system_ex did not return -1";
        EXPECT_EQ(dir.lines("attempts"), std::max<int>(1, static_cast<int>(tc.warned.size())));
        std::vector<std::string> expected;
        for (int i : tc.warned) {
            expected.push_back(rl_log_expected_prefix("upgrader", c.pid, c.pid, 4) + "system_ex:" +
                               cmd + " retry " + std::to_string(i) + " times...");
        }
        EXPECT_EQ(c.messages(), expected);
    }
}

TEST(SystemReturnCheck, OnlyANormalExitWithZeroPasses) {
    const int statuses[] = {0x0100, 0xff00, 9 /* SIGKILL */, 0x8b /* SIGSEGV, core */, -1,
                            static_cast<int>(0x80000000u)};
    EXPECT_EQ(system_return_check(0), 0);
    for (int status : statuses) EXPECT_EQ(system_return_check(status), -1) << std::hex << status;
    EXPECT_EQ(system_return_check(system("kill -9 $$")), -1);
}
