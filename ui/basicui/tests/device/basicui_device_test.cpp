// CBasicUI on the simulated device: the panel shows exactly the off-screen
// picture, keypad presses arrive through GetKeyPressed, and Init reports a
// missing frame buffer.
#include <gtest/gtest.h>

#include <string>

#include "basicui.h"
#include "devsim_harness.h"
#include "lcd.h"
#include "probe_screens.h"
#include "rl_log.h"

namespace {

const std::string kProbe = devsim::BinDir() + "/ui_probe";

std::string OffScreenArt() {
    std::string out;
    for (int y = 0; y < LCD_HEIGHT; ++y) {
        if (y != 0) out += '\n';
        for (int x = 0; x < LCD_WIDTH; ++x) {
            const int n = y * LCD_WIDTH + x;
            out += ((g_lcdbuffer[n / 8] >> (n % 8)) & 1) != 0 ? '#' : '.';
        }
    }
    return out;
}

TEST(BasicUIDevice, FramesEqualTheOffScreenPicture) {
    devsim::Device dev("uiscr");
    ASSERT_EQ(dev.Exec(kProbe, {"screens"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status, 0);
    ASSERT_EQ(dev.FrameCount(), probe::kScreenCount);
    rl_log_reset_level(-1);  // the host has no panel to refresh
    CBasicUI ui;
    for (int i = 0; i < probe::kScreenCount; ++i) {
        probe::DrawScreen(ui, i);
        EXPECT_EQ(dev.FrameText(i + 1), OffScreenArt()) << "screen " << i;
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
