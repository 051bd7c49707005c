// lcd_init and lcd_refresh against a private /dev and /proc: the picture is
// copied into the mapped frame buffer and "1" goes to the refresh file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lcd.h"
#include "private_ns.h"
#include "private_proc.h"
#include "stand_in.h"
#include "screen_art.h"

namespace {

using coord_testing::kCaptureSyslog;
using coord_testing::RunIsolated;
using coord_testing::SyslogContains;

constexpr const char* kRefresh = "/proc/glcd/refresh";

using uitest::EnterPrivateProc;
using display_testing::ReadAll;

TEST(Refresh, CopiesThePictureAndWritesOne) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        ASSERT_TRUE(EnterPrivateProc(true));
        uitest::ClearScreen();
        lcd_fill_color(3, 7, 50, 20, 1);
        std::uint8_t panel[LCD_BUFFER_SIZE + 4];
        std::memset(panel, 0xA5, sizeof panel);
        g_framebuffer = panel;
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ(0, std::memcmp(panel, g_lcdbuffer, LCD_BUFFER_SIZE));
        EXPECT_EQ(0xA5, panel[LCD_BUFFER_SIZE]);  // exactly one picture
        EXPECT_EQ("1", ReadAll(kRefresh));
        g_framebuffer = nullptr;
    }));
}

TEST(Refresh, WithoutMappingStillAsksForTheRefresh) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        ASSERT_TRUE(EnterPrivateProc(true));
        g_framebuffer = nullptr;
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ("1", ReadAll(kRefresh));
    }));
}

TEST(Refresh, MissingRefreshFileFailsAfterTheCopy) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        ASSERT_TRUE(EnterPrivateProc(false));
        uitest::ClearScreen();
        lcd_draw_point(131, 63, 1);
        std::uint8_t panel[LCD_BUFFER_SIZE] = {};
        g_framebuffer = panel;
        EXPECT_EQ(-1, lcd_refresh());
        EXPECT_EQ(0x80, panel[LCD_BUFFER_SIZE - 1]);
        EXPECT_TRUE(SyslogContains("open glcd refresh procfs device failed.", 1000));
        g_framebuffer = nullptr;
    }));
}

TEST(Init, WithoutFrameBufferFailsAndKeepsDrawing) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        EXPECT_EQ(-1, lcd_init());
        EXPECT_EQ(nullptr, g_framebuffer);
        EXPECT_TRUE(SyslogContains("Error opening /dev/fb0\n", 1000));
        EXPECT_TRUE(SyslogContains("Unable to mmap framebuffer\n", 1000));
        lcd_draw_point(4, 4, 1);
        EXPECT_EQ(1, lcd_get_point_color(4, 4));
    }));
}

}  // namespace
