// What system_ex does to signal actions and masks: the command runs with the
// caller's originals, they come back after every call, and overlapping calls
// from two threads leave the process as it was before the first one.
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "process_control.h"
#include "rl_log.h"
#include "temp_dir.h"

namespace {

void on_sigint(int) {}
void on_sigquit(int) {}

using Handler = void (*)(int);

Handler handler_of(int sig) {
    struct sigaction sa;
    sigaction(sig, nullptr, &sa);
    return sa.sa_handler;
}

void set_handler(int sig, Handler h) {
    struct sigaction sa = {};
    sa.sa_handler = h;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
}

sigset_t mask_of(std::initializer_list<int> sigs) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : sigs) sigaddset(&set, s);
    return set;
}

sigset_t current_mask() {
    sigset_t set;
    pthread_sigmask(SIG_SETMASK, nullptr, &set);
    return set;
}

bool same_set(const sigset_t& a, const sigset_t& b) {
    for (int s = 1; s < NSIG; ++s) {
        if (sigismember(&a, s) != sigismember(&b, s)) return false;
    }
    return true;
}

// Not through system(): that would change the signal actions under test.
void touch(const TempDir& dir, const std::string& name) {
    FILE* f = std::fopen(dir.file(name).c_str(), "w");
    if (f != nullptr) std::fclose(f);
}

bool wait_for_file(const TempDir& dir, const std::string& name) {
    for (int i = 0; i < 2000; ++i) {
        if (dir.exists(name)) return true;
        usleep(10000);
    }
    return false;
}

// Saves and restores the test process's SIGINT/SIGQUIT actions, its mask and
// the log level, whatever a test does to them.
class SystemExSignals : public testing::Test {
protected:
    void SetUp() override {
        sigaction(SIGINT, nullptr, &saved_int_);
        sigaction(SIGQUIT, nullptr, &saved_quit_);
        saved_mask_ = current_mask();
        // Time-outs log a warning; keep it away from the machine's logger.
        rl_log_reset_level(-1);
    }
    void TearDown() override {
        sigaction(SIGINT, &saved_int_, nullptr);
        sigaction(SIGQUIT, &saved_quit_, nullptr);
        pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr);
        rl_log_reset_level(7);
    }

private:
    struct sigaction saved_int_, saved_quit_;
    sigset_t saved_mask_;
};

}  // namespace

// After every kind of ending the caller's actions and mask are back.
TEST_F(SystemExSignals, ActionsAndMaskComeBackAfterEveryCall) {
    const struct {
        const char* cmd;
        int seconds;
        int expected;
    } cases[] = {
        {"exit 0", 5, 0},
        {"exit 9", 5, 9},
        {"kill -9 $$", 5, -1},
        {"exec sleep 100", 1, -1},  // time-out
        {nullptr, 5, -1},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.cmd != nullptr ? tc.cmd : "(null)");
        set_handler(SIGINT, on_sigint);
        set_handler(SIGQUIT, on_sigquit);
        const sigset_t before = mask_of({SIGUSR1});
        pthread_sigmask(SIG_SETMASK, &before, nullptr);

        EXPECT_EQ(system_ex(tc.cmd, tc.seconds, 0), tc.expected);

        EXPECT_EQ(handler_of(SIGINT), &on_sigint);
        EXPECT_EQ(handler_of(SIGQUIT), &on_sigquit);
        EXPECT_TRUE(same_set(current_mask(), before));
    }
}

// The command gets the caller's SIGINT/SIGQUIT dispositions, not the ignore
// system_ex sets for itself: a default or caught signal kills the shell, an
// ignored one does not.
TEST_F(SystemExSignals, CommandRunsWithTheCallersActions) {
    const struct {
        int sig;
        const char* cmd;
        Handler original;
        int expected;
    } cases[] = {
        {SIGINT, "kill -INT $$; exit 6", SIG_DFL, -1},
        {SIGINT, "kill -INT $$; exit 6", on_sigint, -1},
        {SIGINT, "kill -INT $$; exit 6", SIG_IGN, 6},
        {SIGQUIT, "kill -QUIT $$; exit 6", SIG_DFL, -1},
        {SIGQUIT, "kill -QUIT $$; exit 6", SIG_IGN, 6},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.cmd << " original " << (void*)tc.original);
        set_handler(tc.sig, tc.original);
        EXPECT_EQ(system_ex(tc.cmd, 5, 0), tc.expected);
    }
}

// The command gets the caller's mask: SIGUSR1 blocked as by the caller,
// SIGCHLD not blocked although system_ex blocks it for itself.
TEST_F(SystemExSignals, CommandRunsWithTheCallersMask) {
    const sigset_t before = mask_of({SIGUSR1});
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    // Exit code: 2 when SIGCHLD is blocked in the shell, +1 when SIGUSR1 is.
    // sed reads its own status (it inherits the shell's mask): the test
    // process's private /proc shows no other process by its number.
    const char* cmd =
        "m=$(sed -n 's/^SigBlk:[[:space:]]*//p' /proc/self/status); "
        "exit $(( ((0x$m >> 16) & 1) * 2 + ((0x$m >> 9) & 1) ))";
    EXPECT_EQ(system_ex(cmd, 5, 0), 1);
}

namespace {

struct Caller {
    std::string name;
    int blocked;  // the signal this thread keeps blocked in its own mask
    int exit_code;
    std::string cmd;
    pthread_t thread;
    int result = -100;
    bool mask_restored = false;
};

void* run_caller(void* arg) {
    Caller* c = static_cast<Caller*>(arg);
    const sigset_t own = mask_of({c->blocked});
    pthread_sigmask(SIG_SETMASK, &own, nullptr);
    c->result = system_ex(c->cmd.c_str(), 30, 0);
    c->mask_restored = same_set(current_mask(), own);
    return nullptr;
}

}  // namespace

// Two threads' calls overlap: A starts first, B second; either ends first.
// While one runs the signals stay ignored; when the last ends the actions are
// the ones from before the first call, and each thread has its own mask back.
TEST_F(SystemExSignals, OverlappingCallsFromTwoThreadsRestoreTheOriginals) {
    for (const bool first_started_ends_first : {true, false}) {
        SCOPED_TRACE(first_started_ends_first ? "A ends first" : "B ends first");
        TempDir dir;
        auto command = [&](const std::string& n, int code) {
            return "touch '" + dir.file(n + "_started") + "'; while [ ! -e '" + dir.file(n + "_go") +
                   "' ]; do sleep 0.02; done; exit " + std::to_string(code);
        };
        Caller a{"a", SIGUSR1, 11, command("a", 11), {}};
        Caller b{"b", SIGUSR2, 12, command("b", 12), {}};
        set_handler(SIGINT, on_sigint);
        set_handler(SIGQUIT, on_sigquit);

        pthread_create(&a.thread, nullptr, run_caller, &a);
        ASSERT_TRUE(wait_for_file(dir, "a_started"));
        EXPECT_EQ(handler_of(SIGINT), SIG_IGN);
        EXPECT_EQ(handler_of(SIGQUIT), SIG_IGN);
        pthread_create(&b.thread, nullptr, run_caller, &b);
        ASSERT_TRUE(wait_for_file(dir, "b_started"));

        Caller& first = first_started_ends_first ? a : b;
        Caller& second = first_started_ends_first ? b : a;
        touch(dir, first.name + "_go");
        pthread_join(first.thread, nullptr);
        EXPECT_EQ(first.result, first.exit_code);
        EXPECT_TRUE(first.mask_restored);
        // The other call still runs its command: still ignored.
        EXPECT_EQ(handler_of(SIGINT), SIG_IGN);
        EXPECT_EQ(handler_of(SIGQUIT), SIG_IGN);

        touch(dir, second.name + "_go");
        pthread_join(second.thread, nullptr);
        EXPECT_EQ(second.result, second.exit_code);
        EXPECT_TRUE(second.mask_restored);
        EXPECT_EQ(handler_of(SIGINT), &on_sigint);
        EXPECT_EQ(handler_of(SIGQUIT), &on_sigquit);
    }
}
