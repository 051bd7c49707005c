// CBasicUI on the simulated device: the panel shows exactly the off-screen
// picture, keypad presses arrive through GetKeyPressed, and Init reports a
// missing frame buffer.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "basicui.h"
#include "devsim_harness.h"
#include "probe_screens.h"
#include "rl_log.h"
#include "lcd.h"
#include "picture.h"
#include "private_proc.h"

namespace {

const std::string kProbe = devsim::BinDir() + "/ui_probe";

// The probe screens drawn on the host's off-screen picture, as text art. They
// are drawn in a child with a private /proc (the refresh must not reach this
// machine), which sends the pictures back through a pipe.
std::vector<std::string> HostPictures() {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (!uitest::EnterPrivateProc()) _exit(1);
        rl_log_reset_level(-1);
        CBasicUI ui;
        for (int i = 0; i < probe::kScreenCount; ++i) {
            probe::DrawScreen(ui, i);
            if (write(fds[1], g_lcdbuffer, LCD_BUFFER_SIZE) != LCD_BUFFER_SIZE) _exit(1);
        }
        _exit(0);
    }
    close(fds[1]);
    std::vector<std::string> pictures;
    uint8_t frame[LCD_BUFFER_SIZE];
    for (;;) {
        size_t got = 0;
        while (got < sizeof(frame)) {
            const ssize_t n = read(fds[0], frame + got, sizeof(frame) - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got != sizeof(frame)) break;
        std::string text = picture::ToText(frame);
        text.pop_back();  // frames are compared without the final newline
        pictures.push_back(text);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return pictures;
}

TEST(BasicUIDevice, FramesEqualTheOffScreenPicture) {
    devsim::Device dev("uiscr");
    ASSERT_EQ(dev.Exec(kProbe, {"screens"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status, 0);
    ASSERT_EQ(dev.FrameCount(), probe::kScreenCount);
    const std::vector<std::string> expected = HostPictures();
    ASSERT_EQ(expected.size(), static_cast<size_t>(probe::kScreenCount));
    for (int i = 0; i < probe::kScreenCount; ++i) {
        EXPECT_EQ(dev.FrameText(i + 1), expected[static_cast<size_t>(i)]) << "screen " << i;
    }
}

TEST(BasicUIDevice, InitMapsOnceAndFailsWithoutFrameBuffer) {
    {
        devsim::Device dev("uiinit");
        ASSERT_EQ(dev.Exec(kProbe, {"init"}), 0) << dev.Stderr();
        EXPECT_EQ(dev.result().exit_status, 0);
        EXPECT_TRUE(dev.LogContains("probe init 0"));
    }
    {
        devsim::Device dev("uinofb");
        dev.Ini("[faults]\nmissing = /dev/fb0\n");
        ASSERT_EQ(dev.Exec(kProbe, {"init-fails"}), 0) << dev.Stderr();
        EXPECT_EQ(dev.result().exit_status, 0);
        EXPECT_TRUE(dev.LogContains("probe init -1"));
        EXPECT_TRUE(dev.LogContains("Unable to mmap framebuffer"));
        EXPECT_EQ(dev.FrameCount(), 0);
    }
}

// Presses reach the poll one by one; two presses before a poll give the second.
TEST(BasicUIDevice, KeypadPresses) {
    struct Case {
        const char* keys;
        const char* wanted;
        const char* wait;
        std::vector<std::string> logged;
    } cases[] = {
        {"35@2s,17@3s,32@4s", "3", "0", {"probe key 35", "probe key 17", "probe key 32"}},
        {"5@0.2s,17@0.4s", "1", "2", {"probe key 17"}},
    };
    for (const Case& c : cases) {
        devsim::Device dev("uikeys");
        ASSERT_EQ(dev.Exec(kProbe, {"keys", c.wanted, c.wait}, {"--keys", c.keys}), 0)
            << dev.Stderr();
        EXPECT_EQ(dev.result().exit_status, 0) << c.keys;
        std::vector<std::string> logged;
        for (const devsim::LogLine& line : dev.Syslog()) {
            const size_t at = line.message.find("probe key ");
            if (at != std::string::npos) logged.push_back(line.message.substr(at));
        }
        EXPECT_EQ(logged, c.logged) << c.keys;
        EXPECT_TRUE(dev.LogContains("probe rest 0")) << c.keys;
    }
}

// The user-setting dialog on the device: "ab" typed into the user name, OK.
TEST(BasicUIDevice, UserSettingWithKeys) {
    devsim::Device dev("uiuser");
    ASSERT_EQ(dev.Exec(kProbe, {"user"}, {"--keys", "2@2s,16@2.5s,2@3s,2@3.2s,17@4s"}), 0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status, 0);
    EXPECT_TRUE(dev.LogContains("probe user 1 [ab] []")) << dev.Stderr();
    EXPECT_TRUE(dev.LogContains("KEY = 17"));
    EXPECT_GT(dev.FrameCount(), 3);
}

}  // namespace
