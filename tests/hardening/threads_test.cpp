// The installer's threads side by side, as the thread sanitizer build runs
// them: the countdown thread drawing beside the failure screen's key wait, and
// several threads running shell commands through system_ex at once.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "basicui.h"
#include "key.h"
#include "process_control.h"
#include "screen_art.h"

namespace {

// One press or release as the keypad delivers it (16-byte event).
void WriteEvent(int fd, int code, int value) {
    unsigned char e[KEY_EVENT_SIZE] = {};
    e[10] = static_cast<unsigned char>(code);
    e[11] = static_cast<unsigned char>(code >> 8);
    e[8] = 1;  // EV_KEY
    for (int i = 0; i < 4; ++i) e[12 + i] = static_cast<unsigned char>(static_cast<unsigned>(value) >> (8 * i));
    ASSERT_EQ(write(fd, e, sizeof e), static_cast<ssize_t>(sizeof e));
}

struct KeyWaitCase {
    const char* name;
    int presses;        // confirmation presses the key wait sees
    bool notice_last;   // the notice is drawn after the countdown stopped
};

// The failure ending of auto-provisioning: one thread redraws the countdown
// while the main thread reads keypad events and answers each confirmation with
// the "Rebooting..." notice. Every press is answered, and the panel always
// holds one whole screen, never a mixture of the two.
TEST(CountdownBesideKeyWait, EveryPressAnsweredAndScreensStayWhole) {
    CBasicUI ui;
    ui.ShowUpgradingAutop2FailedInfoWithID(7, 1);
    const std::string countdown_last = uitest::ScreenArt();
    ui.DispNoticeInfo("Rebooting...");
    const std::string notice = uitest::ScreenArt();
    ASSERT_NE(countdown_last, notice);
    for (const KeyWaitCase& c : {KeyWaitCase{"countdown_ends_last", 5, false}, KeyWaitCase{"notice_ends_last", 8, true},
                                 KeyWaitCase{"no_press", 0, false}}) {
        SCOPED_TRACE(c.name);
        int pipe_fd[2];
        ASSERT_EQ(pipe(pipe_fd), 0);
        std::atomic<bool> stop{false};
        std::thread countdown([&] {
            CBasicUI drawer;
            for (int s = 60; s >= 1 && !stop.load(); --s) {
                drawer.ShowUpgradingAutop2FailedInfoWithID(7, s);
                usleep(2000);
            }
        });
        std::thread keypad([&] {
            for (int i = 0; i < c.presses; ++i) {
                WriteEvent(pipe_fd[1], KEY_CODE_OK2, 0);  // a release is not a press
                WriteEvent(pipe_fd[1], KEY_CODE_OK2, KEY_VALUE_PRESS);
                usleep(3000);
            }
            close(pipe_fd[1]);
        });

        int answered = 0;
        key_event event = {};
        while (dev_read_key(pipe_fd[0], &event) == 0) {
            if (event.value == KEY_VALUE_PRESS && event.code == KEY_CODE_OK2) {
                if (c.notice_last && answered + 1 == c.presses) {
                    stop = true;
                    countdown.join();
                }
                ui.DispNoticeInfo("Rebooting...");
                ++answered;
            }
        }
        keypad.join();
        if (!c.notice_last) countdown.join();  // runs to its last second
        close(pipe_fd[0]);

        EXPECT_EQ(answered, c.presses);
        EXPECT_EQ(uitest::ScreenArt(), c.notice_last ? notice : countdown_last);
    }
}

// Overlapping system_ex calls from several threads: each gets its own
// command's result, the timed-out ones included.
TEST(SystemExOverlap, EachThreadGetsItsOwnResult) {
    struct Call {
        std::string cmd;
        int seconds;
        int expected;
    };
    const std::vector<Call> calls = {
        {"exit 0", 5, 0},
        {"sleep 0.2; exit 3", 5, 3},
        {"exit 7", 5, 7},
        {"sleep 3", 1, -1},  // killed at its limit on both attempts
        {"true", 0, 0},
        {"exit 1", 5, 1},
    };
    std::vector<int> results(calls.size(), -100);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < calls.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = system_ex(calls[i].cmd.c_str(), calls[i].seconds, 2); });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(results[i], calls[i].expected) << calls[i].cmd;
}

}  // namespace
