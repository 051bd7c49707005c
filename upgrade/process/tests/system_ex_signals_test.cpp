// What system_ex does to signal actions and masks: the command runs with the
// caller's originals, they come back after every call, and overlapping calls
// from two threads leave the process as it was before the first one.
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

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
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&a, s) != sigismember(&b, s)) return false;
    return true;
}

bool wait_for_file(const TempDir& dir, const std::string& name) {
    for (int i = 0; i < 2000 && !dir.exists(name); ++i) usleep(10000);
    return dir.exists(name);
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

// The command runs with the caller's SIGINT/SIGQUIT dispositions, not the
// ignore system_ex sets for itself (a default or caught signal kills the shell,
// an ignored one does not), and with the caller's mask (SIGUSR1 blocked, SIGCHLD
// not although system_ex blocks it for itself). After every kind of ending the
// caller's actions and mask are back.
TEST_F(SystemExSignals, CommandRunsWithTheCallersActionsAndMaskWhichComeBack) {
    // Exit code: 2 when SIGCHLD is blocked in the shell, +1 when SIGUSR1 is.
    // sed reads its own status (it inherits the shell's mask): the test
    // process's private /proc shows no other process by its number.
    const char* mask_cmd =
        "m=$(sed -n 's/^SigBlk:[[:space:]]*//p' /proc/self/status); "
        "exit $(( ((0x$m >> 16) & 1) * 2 + ((0x$m >> 9) & 1) ))";
    const struct {
        const char* cmd;
        int seconds;
        Handler on_int, on_quit;
        int expected;
    } cases[] = {
        {"exit 0", 5, on_sigint, on_sigquit, 0},
        {"exit 9", 5, on_sigint, on_sigquit, 9},
        {"kill -9 $$", 5, on_sigint, on_sigquit, -1},
        {"exec sleep 100", 1, on_sigint, on_sigquit, -1},  // time-out
        {nullptr, 5, on_sigint, on_sigquit, -1},
        {mask_cmd, 5, on_sigint, on_sigquit, 1},
        {"kill -INT $$; exit 6", 5, SIG_DFL, on_sigquit, -1},
        {"kill -INT $$; exit 6", 5, on_sigint, on_sigquit, -1},
        {"kill -INT $$; exit 6", 5, SIG_IGN, on_sigquit, 6},
        {"kill -QUIT $$; exit 6", 5, on_sigint, SIG_DFL, -1},
        {"kill -QUIT $$; exit 6", 5, on_sigint, SIG_IGN, 6},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.cmd << " " << (void*)tc.on_int << (void*)tc.on_quit);
        set_handler(SIGINT, tc.on_int);
        set_handler(SIGQUIT, tc.on_quit);
        const sigset_t before = mask_of({SIGUSR1});
        pthread_sigmask(SIG_SETMASK, &before, nullptr);

        EXPECT_EQ(system_ex(tc.cmd, tc.seconds, 0), tc.expected);

        EXPECT_EQ(handler_of(SIGINT), tc.on_int);
        EXPECT_EQ(handler_of(SIGQUIT), tc.on_quit);
        EXPECT_TRUE(same_set(current_mask(), before));
    }
}

// Two threads' calls overlap: A starts first, B second; either ends first.
// While one runs the signals stay ignored; when the last ends the actions are
// the ones from before the first call, and each thread has its own mask back.
TEST_F(SystemExSignals, OverlappingCallsFromTwoThreadsRestoreTheOriginals) {
    for (const int first : {0, 1}) {
        SCOPED_TRACE(first == 0 ? "A ends first" : "B ends first");
        TempDir dir;
        set_handler(SIGINT, on_sigint);
        set_handler(SIGQUIT, on_sigquit);
        int result[2] = {-100, -100};
        bool mask_back[2] = {false, false};
        auto call = [&](int i) {  // thread i keeps its own signal blocked; exits 10 + i on "go<i>"
            const sigset_t own = mask_of({i == 0 ? SIGUSR1 : SIGUSR2});
            pthread_sigmask(SIG_SETMASK, &own, nullptr);
            const std::string n = std::to_string(i);
            const std::string cmd = "touch '" + dir.file("started" + n) + "'; while [ ! -e '" +
                                    dir.file("go" + n) + "' ]; do sleep 0.02; done; exit 1" + n;
            result[i] = system_ex(cmd.c_str(), 30, 0);
            mask_back[i] = same_set(current_mask(), own);
        };
        std::thread a(call, 0);
        EXPECT_TRUE(wait_for_file(dir, "started0"));
        EXPECT_EQ(handler_of(SIGINT), SIG_IGN);
        EXPECT_EQ(handler_of(SIGQUIT), SIG_IGN);
        std::thread b(call, 1);
        EXPECT_TRUE(wait_for_file(dir, "started1"));
        std::thread* threads[] = {&a, &b};
        for (const int i : {first, 1 - first}) {
            // Not through system(): that would change the signal actions under test.
            FILE* go = std::fopen(dir.file("go" + std::to_string(i)).c_str(), "w");
            if (go != nullptr) std::fclose(go);
            threads[i]->join();
            EXPECT_EQ(result[i], 10 + i);
            EXPECT_TRUE(mask_back[i]);
            const bool last = i != first;  // before: the other call still runs its command
            EXPECT_EQ(handler_of(SIGINT), last ? &on_sigint : SIG_IGN);
            EXPECT_EQ(handler_of(SIGQUIT), last ? &on_sigquit : SIG_IGN);
        }
    }
}
