// lcd_init and lcd_refresh against a private /dev and /proc: the picture is
// copied into the mapped frame buffer and "1" goes to the refresh file.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "lcd.h"
#include "private_ns.h"
#include "text_art.h"

namespace {

using coord_testing::kCaptureSyslog;
using coord_testing::RunIsolated;
using coord_testing::SyslogContains;

constexpr const char* kRefresh = "/proc/glcd/refresh";

// In the isolated child: a writable stand-in for /proc with an empty refresh
// file (or none).
void FakeProc(bool with_refresh_file) {
    ASSERT_EQ(0, mount("none", "/proc", "tmpfs", 0, "mode=0755"));
    ASSERT_EQ(0, mkdir("/proc/glcd", 0755));
    if (with_refresh_file) {
        std::ofstream(kRefresh).flush();
    }
}

std::string Slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Refresh, CopiesThePictureAndWritesOne) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        FakeProc(true);
        lcd_testing::ClearScreen();
        lcd_fill_color(3, 7, 50, 20, 1);
        std::uint8_t panel[LCD_BUFFER_SIZE + 4];
        std::memset(panel, 0xA5, sizeof panel);
        g_framebuffer = panel;
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ(0, std::memcmp(panel, g_lcdbuffer, LCD_BUFFER_SIZE));
        EXPECT_EQ(0xA5, panel[LCD_BUFFER_SIZE]);  // exactly one picture
        EXPECT_EQ("1", Slurp(kRefresh));
        g_framebuffer = nullptr;
    }));
}

TEST(Refresh, WithoutMappingStillAsksForTheRefresh) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        FakeProc(true);
        g_framebuffer = nullptr;
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ("1", Slurp(kRefresh));
    }));
}

TEST(Refresh, MissingRefreshFileFailsAfterTheCopy) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        FakeProc(false);
        lcd_testing::ClearScreen();
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
