// lcd_refresh against a private /proc: the picture is copied into the mapped
// frame buffer and "1" goes to the start of the refresh file, leaving nothing
// open; its failure is the result.
// lcd_init without a frame buffer. The device calls themselves: display_test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "lcd.h"
#include "private_ns.h"
#include "private_proc.h"
#include "stand_in.h"
#include "screen_art.h"

namespace {

TEST(Refresh, CopiesThePictureAndWritesOne) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        ASSERT_TRUE(uitest::EnterPrivateProc(true));
        uitest::ClearScreen();
        lcd_fill_color(3, 7, 50, 20, 1);
        std::uint8_t panel[LCD_BUFFER_SIZE + 4];
        std::memset(panel, 0xA5, sizeof panel);
        g_framebuffer = panel;
        const int free_fd = display_testing::LowestFreeFd();
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ(0, lcd_refresh());
        EXPECT_EQ(free_fd, display_testing::LowestFreeFd());
        EXPECT_EQ(0, std::memcmp(panel, g_lcdbuffer, LCD_BUFFER_SIZE));
        EXPECT_EQ(0xA5, panel[LCD_BUFFER_SIZE]);  // exactly one picture
        EXPECT_EQ("1", display_testing::ReadAll("/proc/glcd/refresh"));
        ASSERT_EQ(0, unlink("/proc/glcd/refresh"));
        EXPECT_EQ(-1, lcd_refresh());
        g_framebuffer = nullptr;
    }));
}

TEST(Init, WithoutFrameBufferFailsAndKeepsDrawing) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        EXPECT_EQ(-1, lcd_init());
        EXPECT_EQ(nullptr, g_framebuffer);
        EXPECT_TRUE(coord_testing::SyslogContains("Unable to mmap framebuffer\n", 1000));
        lcd_draw_point(4, 4, 1);
        EXPECT_EQ(1, lcd_get_point_color(4, 4));
    }));
}

}  // namespace
