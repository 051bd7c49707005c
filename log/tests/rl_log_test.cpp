// What the log facility really hands to the system logger, observed on a
// datagram socket at /dev/log inside a private namespace (syslog_capture.h).
// Every body runs in a fresh process, so each test starts with the facility
// closed, level 7, empty module name and pid 0.
#include "rl_log.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "syslog_capture.h"

namespace {

using LevelFunction = void (*)(const char*, ...);

struct LevelCase {
    LevelFunction fn;
    int level;
};

const LevelCase kLevels[] = {
    {rl_log_emerg, 0}, {rl_log_alert, 1}, {rl_log_crit, 2}, {rl_log_err, 3},
    {rl_log_warn, 4},  {rl_log_notice, 5}, {rl_log_info, 6}, {rl_log_debug, 7},
};

int gettid_now() { return static_cast<int>(syscall(SYS_gettid)); }

SyslogCapture capture(const std::function<void()>& body) {
    SyslogCapture c = run_capturing_syslog(body);
    EXPECT_TRUE(c.ok) << c.error;
    EXPECT_FALSE(c.timed_out);
    EXPECT_TRUE(WIFEXITED(c.wait_status) && WEXITSTATUS(c.wait_status) == 0)
        << "body status " << c.wait_status;
    return c;
}

// Logs one line through each level function with arguments to expand.
void log_every_level() {
    for (const LevelCase& lc : kLevels) lc.fn("level %d says %s", lc.level, "hello");
}

std::vector<int> levels_in(const SyslogCapture& c) {
    std::vector<int> out;
    for (const SyslogRecord& r : c.records) out.push_back(r.priority & LOG_PRIMASK);
    return out;
}

std::vector<int> levels_up_to(int limit) {
    std::vector<int> out;
    for (int l = 0; l <= 7 && l <= limit; ++l) out.push_back(l);
    return out;
}

}  // namespace

// Priority number, prefix and expanded arguments of every level function. The
// facility passes the bare level; the C library adds the LOG_USER bits that
// openlog chose, so the record carries LOG_USER | level.
TEST(RlLogRecord, EveryLevelArrivesWithPriorityPrefixAndExpandedArguments) {
    SyslogCapture c = capture([] {
        rl_log_init("upgrader", 7);
        log_every_level();
    });
    ASSERT_EQ(c.records.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const int level = kLevels[i].level;
        SCOPED_TRACE(level);
        EXPECT_EQ(c.records[i].priority, LOG_USER | level);
        EXPECT_EQ(c.records[i].tag, "");  // openlog("") leaves the ident empty
        EXPECT_EQ(c.records[i].message, rl_log_expected_prefix("upgrader", c.pid, c.pid, level) +
                                            "level " + std::to_string(level) + " says hello");
    }
}

// The limit passes levels 0..limit; negative limits silence everything. The
// limit comes from rl_log_init or from rl_log_reset_level, open or closed.
TEST(RlLogFilter, LimitPassesExactlyLevelsUpToIt) {
    enum class Via { Init, ResetWhileOpen, ResetWhileClosed };
    const struct {
        int limit;
        Via via;
    } cases[] = {
        {-1, Via::Init}, {0, Via::Init}, {3, Via::Init}, {6, Via::Init}, {7, Via::Init},
        {-5, Via::ResetWhileOpen}, {2, Via::ResetWhileOpen}, {4, Via::ResetWhileOpen},
        {-1, Via::ResetWhileClosed}, {5, Via::ResetWhileClosed}, {8, Via::ResetWhileClosed},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << "limit " << tc.limit << " via " << int(tc.via));
        SyslogCapture c = capture([&] {
            if (tc.via == Via::Init) {
                rl_log_init("m", tc.limit);
            } else if (tc.via == Via::ResetWhileOpen) {
                rl_log_init("m", 7);
                rl_log_reset_level(tc.limit);
            } else {
                rl_log_reset_level(tc.limit);
            }
            log_every_level();
        });
        EXPECT_EQ(levels_in(c), levels_up_to(tc.limit));
    }
}

// Null and empty formats are dropped at every level; a later line still arrives
// (so the capture itself works).
TEST(RlLogFilter, NullAndEmptyFormatsAreDropped) {
    SyslogCapture c = capture([] {
        rl_log_init("upgrader", 7);
        for (const LevelCase& lc : kLevels) {
            lc.fn(nullptr);
            lc.fn("");
        }
        rl_log_err("%s", "after");
    });
    ASSERT_EQ(c.records.size(), 1u);
    EXPECT_EQ(c.records[0].message, rl_log_expected_prefix("upgrader", c.pid, c.pid, 3) + "after");
}

// Before rl_log_init: empty module name and pid 0, default facility; the later
// rl_log_init drops that connection (its own records carry the empty ident of
// its openlog, not the program name the early connection used).
TEST(RlLogLifecycle, CallsBeforeInitUseEmptyNameAndPidZero) {
    SyslogCapture c = capture([] {
        rl_log_info("early %d", 1);
        rl_log_init("upgrader", 7);
        rl_log_info("late %d", 2);
    });
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[0].priority, LOG_USER | LOG_INFO);
    EXPECT_EQ(c.records[0].message, rl_log_expected_prefix("", 0, c.pid, 6) + "early 1");
    EXPECT_NE(c.records[0].tag, "");
    EXPECT_EQ(c.records[1].tag, "");
    EXPECT_EQ(c.records[1].message, rl_log_expected_prefix("upgrader", c.pid, c.pid, 6) + "late 2");
}

// After rl_log_deinit lines still go out with the last name, pid and level; a
// second init while open changes nothing; re-opening takes the new values.
TEST(RlLogLifecycle, InitDeinitAndReopen) {
    SyslogCapture c = capture([] {
        if (rl_log_init("first", 3) != 0) _exit(1);
        if (rl_log_init("second", 7) != 0) _exit(1);  // ignored: already open
        rl_log_info("dropped by level 3");
        rl_log_err("open %d", 1);
        rl_log_deinit();
        rl_log_info("still dropped");
        rl_log_err("closed %d", 2);
        rl_log_deinit();  // closed already: nothing happens
        rl_log_init("third", 7);
        rl_log_info("reopened %d", 3);
    });
    const int p = c.pid;
    EXPECT_EQ(c.messages(), (std::vector<std::string>{
                                rl_log_expected_prefix("first", p, p, 3) + "open 1",
                                rl_log_expected_prefix("first", p, p, 3) + "closed 2",
                                rl_log_expected_prefix("third", p, p, 6) + "reopened 3",
                            }));
}

// Module names longer than 14 characters are cut; shorter ones are kept whole;
// a null name is empty. A '%' in the name is logged as it is.
TEST(RlLogLifecycle, ModuleNameIsKeptToFourteenCharacters) {
    const struct {
        const char* given;
        const char* logged;
    } cases[] = {
        {"abcdefghijklmnopqrst", "abcdefghijklmn"},
        {"abcdefghijklmn", "abcdefghijklmn"},
        {"abcdefghijklmno", "abcdefghijklmn"},
        {"up", "up"},
        {"", ""},
        {nullptr, ""},
        {"a%sb%n%d", "a%sb%n%d"},
        {"%%%%%%%%%%%%%%%%", "%%%%%%%%%%%%%%"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.logged);
        SyslogCapture c = capture([&] {
            rl_log_init(tc.given, 7);
            rl_log_warn("x=%d", 5);
        });
        ASSERT_EQ(c.records.size(), 1u);
        EXPECT_EQ(c.records[0].message, rl_log_expected_prefix(tc.logged, c.pid, c.pid, 4) + "x=5");
    }
}

// The prefixed format is cut at 4095 characters before the arguments are
// expanded: a conversion beyond the cut vanishes, one before it is expanded.
TEST(RlLogRecord, LongFormatIsCutBeforeExpansion) {
    const std::string tail(5000, 'x');
    const std::string fmt = "%d" + tail + "%s";
    SyslogCapture c = capture([&] {
        rl_log_init("upgrader", 7);
        rl_log_err(fmt.c_str(), 7, "never expanded");
    });
    ASSERT_EQ(c.records.size(), 1u);
    const std::string prefix = rl_log_expected_prefix("upgrader", c.pid, c.pid, 3);
    // prefix + "%d" + x... comes to 4095 characters; "%d" becomes "7".
    EXPECT_EQ(c.records[0].message, prefix + "7" + std::string(4095 - prefix.size() - 2, 'x'));
}

// Two threads logging at once: same pid, each its own kernel thread id.
TEST(RlLogRecord, ThreadsCarryTheirOwnThreadIds) {
    SyslogCapture c = capture([] {
        rl_log_init("upgrader", 7);
        pthread_t t[2];
        for (pthread_t& th : t) {
            pthread_create(
                &th, nullptr,
                [](void*) -> void* {
                    for (int i = 0; i < 20; ++i) rl_log_notice("tid %d", gettid_now());
                    return nullptr;
                },
                nullptr);
        }
        for (pthread_t& th : t) pthread_join(th, nullptr);
    });
    ASSERT_EQ(c.records.size(), 40u);
    std::vector<int> tids;
    for (const SyslogRecord& r : c.records) {
        // "upgrader pid<P>,tid<T>,l5: tid <T>": the prefix names the caller.
        int pid = 0, tid = 0, level = 0, logged_tid = 0;
        ASSERT_EQ(sscanf(r.message.c_str(), "upgrader pid%d,tid%d,l%d: tid %d", &pid, &tid, &level,
                         &logged_tid),
                  4)
            << r.message;
        EXPECT_EQ(pid, c.pid);
        EXPECT_EQ(level, 5);
        EXPECT_EQ(tid, logged_tid);
        EXPECT_NE(tid, c.pid);
        if (std::find(tids.begin(), tids.end(), tid) == tids.end()) tids.push_back(tid);
    }
    EXPECT_EQ(tids.size(), 2u);
}
