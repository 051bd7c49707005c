// What the log facility really hands to the system logger, observed on a
// datagram socket at /dev/log inside a private namespace (syslog_capture.h).
// Every body runs in a fresh process, so each test starts with the facility
// closed, level 7, empty module name and pid 0.
#include "rl_log.h"

#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "syslog_capture.h"

namespace {

// Indexed by the level each function must log at.
void (*const kLevelFunctions[])(const char*, ...) = {rl_log_emerg, rl_log_alert, rl_log_crit,
                                                      rl_log_err,   rl_log_warn,  rl_log_notice,
                                                      rl_log_info,  rl_log_debug};

SyslogCapture capture(const std::function<void()>& body) {
    SyslogCapture c = run_capturing_syslog(body);
    EXPECT_TRUE(c.ok && !c.timed_out && WIFEXITED(c.wait_status) && WEXITSTATUS(c.wait_status) == 0)
        << c.error << " body status " << c.wait_status;
    return c;
}

// `line` with every "<P>" replaced by the body process's id.
std::string with_pid(std::string line, int pid) {
    for (size_t at; (at = line.find("<P>")) != std::string::npos;) line.replace(at, 3, std::to_string(pid));
    return line;
}

}  // namespace

// Each level function logs at its own level (the C library adds the LOG_USER
// bits openlog chose) with the prefix and its arguments expanded; null and
// empty formats are dropped. The limit passes levels 0..limit (negative: none),
// whether it comes from rl_log_init or from rl_log_reset_level, open or closed.
TEST(RlLogRecord, EachLevelUpToTheLimitArrivesWithItsPriorityAndPrefix) {
    enum Via { kInit, kResetWhileOpen, kResetWhileClosed };
    const struct {
        int limit;
        Via via;
    } cases[] = {{-1, kInit}, {0, kInit}, {3, kInit}, {7, kInit}, {-5, kResetWhileOpen},
                 {4, kResetWhileOpen}, {5, kResetWhileClosed}, {8, kResetWhileClosed}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << "limit " << tc.limit << " via " << tc.via);
        SyslogCapture c = capture([&] {
            rl_log_init("upgrader", tc.via == kInit ? tc.limit : 7);
            if (tc.via == kResetWhileClosed) rl_log_deinit();
            if (tc.via != kInit) rl_log_reset_level(tc.limit);
            for (int level = 0; level < 8; ++level) {
                kLevelFunctions[level](nullptr);
                kLevelFunctions[level]("");
                kLevelFunctions[level]("level %d says %s", level, "hi");
            }
        });
        std::vector<int> want, got;
        for (int level = 0; level <= 7 && level <= tc.limit; ++level) want.push_back(LOG_USER | level);
        for (const SyslogRecord& r : c.records) {
            got.push_back(r.priority);
            const std::string l = std::to_string(r.priority & LOG_PRIMASK);
            EXPECT_EQ(r.message, with_pid("upgrader pid<P>,tid<P>,l" + l + ": level " + l + " says hi", c.pid));
        }
        EXPECT_EQ(got, want);
    }
}

// Before rl_log_init: empty name, pid 0 and the default connection (program
// name as ident), which rl_log_init drops. After rl_log_deinit lines still go
// out with the last name, pid and level; a second init while open changes
// nothing; re-opening takes the new values.
TEST(RlLogLifecycle, NamePidAndLevelAcrossInitAndDeinit) {
    SyslogCapture c = capture([] {
        rl_log_info("early %d", 1);
        rl_log_init("first", 3);
        rl_log_init("second", 7);
        rl_log_info("dropped by level 3");
        rl_log_err("open %d", 1);
        rl_log_deinit();
        rl_log_info("still dropped");
        rl_log_err("closed %d", 2);
        rl_log_deinit();
        rl_log_init("third", 7);
        rl_log_info("reopened %d", 3);
    });
    EXPECT_EQ(c.messages(), (std::vector<std::string>{
                                with_pid(" pid0,tid<P>,l6: early 1", c.pid),
                                with_pid("first pid<P>,tid<P>,l3: open 1", c.pid),
                                with_pid("first pid<P>,tid<P>,l3: closed 2", c.pid),
                                with_pid("third pid<P>,tid<P>,l6: reopened 3", c.pid),
                            }));
    ASSERT_EQ(c.records.size(), 4u);
    EXPECT_NE(c.records[0].tag, "");
    EXPECT_EQ(c.records[1].tag, "");
}

// Module names are cut to 14 characters, null is empty, and a '%' in the name
// is logged as it is.
TEST(RlLogLifecycle, ModuleNameIsKeptToFourteenCharacters) {
    const char* const cases[][2] = {{"abcdefghijklmnopqrst", "abcdefghijklmn"},
                                    {"abcdefghijklmn", "abcdefghijklmn"},
                                    {nullptr, ""},
                                    {"a%sb%n%d", "a%sb%n%d"},
                                    {"%%%%%%%%%%%%%%%%", "%%%%%%%%%%%%%%"}};
    SyslogCapture c = capture([&] {
        for (const auto& tc : cases) {
            rl_log_init(tc[0], 7);
            rl_log_warn("x=%d", 5);
            rl_log_deinit();
        }
    });
    ASSERT_EQ(c.records.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(c.records[i].message, cases[i][1] + with_pid(" pid<P>,tid<P>,l4: x=5", c.pid));
    }
}

// The prefixed format is cut at 4095 characters before the arguments are
// expanded: a conversion beyond the cut vanishes, one before it is expanded.
TEST(RlLogRecord, LongFormatIsCutBeforeExpansion) {
    const std::string fmt = "%d" + std::string(5000, 'x') + "%s";
    SyslogCapture c = capture([&] {
        rl_log_init("upgrader", 7);
        rl_log_err(fmt.c_str(), 7, "never expanded");
    });
    ASSERT_EQ(c.records.size(), 1u);
    const std::string prefix = with_pid("upgrader pid<P>,tid<P>,l3: ", c.pid);
    EXPECT_EQ(c.records[0].message, prefix + "7" + std::string(4095 - prefix.size() - 2, 'x'));
}

// Two threads logging at once: same pid, each its own kernel thread id.
TEST(RlLogRecord, ThreadsCarryTheirOwnThreadIds) {
    SyslogCapture c = capture([] {
        rl_log_init("upgrader", 7);
        auto log = [] {
            for (int i = 0; i < 20; ++i) rl_log_notice("tid %d", static_cast<int>(syscall(SYS_gettid)));
        };
        std::thread a(log), b(log);
        a.join();
        b.join();
    });
    ASSERT_EQ(c.records.size(), 40u);
    std::set<std::string> tids;
    for (const SyslogRecord& r : c.records) {
        const std::string tid = r.message.substr(r.message.rfind(' ') + 1);
        EXPECT_EQ(r.message, with_pid("upgrader pid<P>,tid" + tid + ",l5: tid " + tid, c.pid));
        tids.insert(tid);
    }
    EXPECT_EQ(tids.size(), 2u);
    EXPECT_EQ(tids.count(std::to_string(c.pid)), 0u);
}
