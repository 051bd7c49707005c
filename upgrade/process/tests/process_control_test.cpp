// signal_handler, observed at the system logger inside a private namespace
// (the watchdog request on /dev/misc0 is tested on the simulated device).
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "process_control.h"
#include "rl_log.h"
#include "syslog_capture.h"

namespace {

void log_from_exit_handler() { rl_log_err("exit handler ran"); }

void install_signal_handler(int sig) {
    struct sigaction sa = {};
    sa.sa_handler = signal_handler;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
}

}  // namespace

// Each fatal signal is logged by name (others by number) with the thread id of
// the thread that caught it (here not the main one), and the process ends with
// status 0 without running exit handlers.
TEST(SignalHandler, LogsTheSignalAndEndsWithStatusZero) {
    const struct {
        int sig;
        std::string name;  // as logged
    } cases[] = {
        {SIGINT, "SIGINT"}, {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},
        {SIGABRT, "SIGABRT"}, {SIGBUS, "SIGBUS"}, {SIGSEGV, "SIGSEGV"},
        {SIGHUP, std::to_string(SIGHUP)}, {SIGTERM, std::to_string(SIGTERM)},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        SyslogCapture c = run_capturing_syslog([&] {
            rl_log_init("upgrader", 7);
            atexit(log_from_exit_handler);
            install_signal_handler(tc.sig);
            std::thread([&] {
                rl_log_info("thread %d", static_cast<int>(syscall(SYS_gettid)));
                raise(tc.sig);
            }).join();
            _exit(3);  // not reached: the handler ends the process
        });
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_TRUE(WIFEXITED(c.wait_status) && WEXITSTATUS(c.wait_status) == 0)
            << "status " << c.wait_status;
        ASSERT_EQ(c.records.size(), 2u);  // the thread's line and the signal's: no exit handler
        const std::string& m = c.records[0].message;
        const int tid = std::atoi(m.substr(m.rfind(' ') + 1).c_str());
        EXPECT_NE(tid, c.pid);
        EXPECT_EQ(c.records[1].message, rl_log_expected_prefix("upgrader", c.pid, tid, 3) +
                                            "Catch a signal " + tc.name + ", thread id " +
                                            std::to_string(tid) + ".");
    }
}

// A signal that lands while a thread is inside a log call (holding the
// logger's lock) still ends the process with its line: the handler takes no
// lock. Each round sends SIGINT to a thread that logs in a loop.
TEST(SignalHandler, EndsTheProcessWhileItsThreadIsLogging) {
    static std::atomic<int> s_logged;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        s_logged = 0;
        SyslogCapture c = run_capturing_syslog(
            [round] {
                rl_log_init("upgrader", 7);
                install_signal_handler(SIGINT);
                pthread_t logger;
                pthread_create(
                    &logger, nullptr,
                    [](void*) -> void* {
                        for (;;) {
                            rl_log_info("busy %d", s_logged.load());
                            ++s_logged;
                        }
                    },
                    nullptr);
                while (s_logged.load() < 20 + round) sched_yield();
                pthread_kill(logger, SIGINT);
                sleep(30);
                _exit(3);  // not reached: the handler ends the process
            },
            10);
        ASSERT_TRUE(c.ok) << c.error;
        ASSERT_FALSE(c.timed_out) << "the handler hung";
        EXPECT_TRUE(WIFEXITED(c.wait_status) && WEXITSTATUS(c.wait_status) == 0) << c.wait_status;
        ASSERT_FALSE(c.records.empty());
        const std::string& last = c.records.back().message;
        EXPECT_NE(last.find(",l3: Catch a signal SIGINT, thread id "), std::string::npos) << last;
        EXPECT_EQ(c.records.back().priority, LOG_USER | LOG_ERR);
    }
}
