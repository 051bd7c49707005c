// The screens: whole-screen pictures, the progress bar at every edge, the
// upgrading picture's layout, buttons over line 4, the notice line and the
// user-setting description.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "lcd.h"
#include "screen_art.h"
#include "screens_golden.h"
#include "simpleui.h"

namespace {

using uitest::FillScreen;
using uitest::LcdArt;
using uitest::ScreenArt;

TEST(UpgradingScreen, WholeScreenAtFiftyPercent) {
    FillScreen(0);
    EXPECT_EQ(basicui_open_upgrading(50), 0);
    EXPECT_EQ(ScreenArt(), golden::kUpgrading50);
}

// The bar region, rows 48..59 and columns 15..116: frame colour 1, trough
// colour 0 (columns 16..115, rows 49..58), fill colour 1 on rows 50..57.
std::string Bar(int fill_first, int fill_last) {
    std::string out;
    for (int y = 48; y <= 59; ++y) {
        if (y != 48) out += '\n';
        for (int x = 15; x <= 116; ++x) {
            bool set = y == 48 || y == 59 || x == 15 || x == 116;
            if (y >= 50 && y <= 57 && x >= fill_first && x <= fill_last) set = true;
            out += set ? '#' : '.';
        }
    }
    return out;
}

TEST(UpgradingScreen, ProgressBarFill) {
    struct Case {
        int percent;
        int fill_first, fill_last;  // columns; last < first: no fill
    } cases[] = {
        {-5, 0, -1},   {0, 0, -1},    {1, 0, -1},     {2, 17, 17},   {15, 17, 30},
        {50, 17, 65},  {95, 17, 109}, {99, 17, 113},  {100, 17, 114}, {101, 17, 114},
        {150, 17, 114}, {-2147483647 - 1, 0, -1}, {2147483647, 17, 114},
    };
    for (const Case& c : cases) {
        FillScreen(0);
        basicui_open_upgrading(c.percent);
        EXPECT_EQ(LcdArt(15, 48, 102, 12), Bar(c.fill_first, c.fill_last)) << c.percent << "%";
        // Outside the bar the picture is untouched.
        EXPECT_EQ(LcdArt(0, 0, 132, 48), std::string(golden::kUpgrading50).substr(0, 48 * 133 - 1))
            << c.percent << "%";
    }
}

TEST(UpgradingScreen, RepaintsThePictureEveryTime) {
    basicui_open_upgrading(100);
    lcd_draw_point(60, 20, 1);  // a stray pixel in the word
    lcd_draw_point(3, 0, 1);
    basicui_open_upgrading(50);
    EXPECT_EQ(ScreenArt(), golden::kUpgrading50);
}

// The artwork's layout: colour 0 only in the borders, the two words' areas;
// the bar area plain colour 1.
TEST(UpgradingPicture, Layout) {
    auto pixel = [](int x, int y) {
        const int n = y * 132 + x;
        return (g_image_upgrading[n / 8] >> (n % 8)) & 1;
    };
    auto zeros_in = [&](int x0, int x1, int y0, int y1) {
        int count = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) count += pixel(x, y) == 0;
        return count;
    };
    EXPECT_EQ(zeros_in(8, 123, 45, 63), 0);                   // bar area plain
    EXPECT_EQ(zeros_in(8, 123, 0, 13), 0);                    // above the words
    EXPECT_EQ(zeros_in(8, 123, 27, 35), 0);                   // between the words
    EXPECT_GT(zeros_in(30, 100, 14, 26), 150);                // "Upgrading", bold
    EXPECT_GT(zeros_in(35, 96, 36, 43), 60);                  // "Please wait..."
    EXPECT_EQ(zeros_in(0, 1, 0, 63) + zeros_in(130, 131, 0, 63), 0);
    for (int y = 0; y < 64; ++y) {
        // A three-pixel run of colour 0 in each border on every row, moving
        // by one column every three rows.
        EXPECT_EQ(zeros_in(2, 7, y, y), 3) << "row " << y;
        EXPECT_EQ(zeros_in(124, 129, y, y), 3) << "row " << y;
        if (y % 3 != 0) {
            for (int x = 2; x <= 7; ++x) EXPECT_EQ(pixel(x, y), pixel(x, y - 1)) << x << "," << y;
        } else if (y > 0) {
            int moved = 0;
            for (int x = 2; x <= 7; ++x) moved += pixel(x, y) != pixel(x, y - 1);
            EXPECT_EQ(moved, 2) << "row " << y;
        }
    }
}

TEST(UpdateInfoScreen, OnlyTitleAndFourthButton) {
    FillScreen(1);
    update_info info = {};
    strcpy(info.title, "Upgrade Status");
    strcpy(info.button[3], "Reboot");
    EXPECT_EQ(basicui_open_update_info(&info), 0);
    EXPECT_EQ(ScreenArt(), golden::kTitleAndButton4);
}

// With all four buttons, line 4 keeps only rows 48..51 and the gaps between
// the buttons (columns 32, 65, 98, 131 of rows 52..59).
TEST(UpdateInfoScreen, ButtonsCoverLineFour) {
    update_info info = {};
    strcpy(info.title, "T");
    for (int i = 0; i < 4; ++i) strcpy(info.button[i], "B");
    basicui_open_update_info(&info);
    const std::string without = ScreenArt();
    int visible_top = 0, visible_gaps = 0;
    // Bars three pixels apart, shifted by 0, 2 and 4 pixels, reach every column.
    for (const char* prefix : {"", "l", "ll"}) {
        snprintf(info.line[3], sizeof(info.line[3]), "%s%s", prefix,
                 "|||||||||||||||||||||||||||||||||||||||||||||||||||||");
        basicui_open_update_info(&info);
        const std::string with = ScreenArt();
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 132; ++x) {
                const size_t i = static_cast<size_t>(y) * 133 + x;
                if (with[i] == without[i]) continue;
                const bool gap = y >= 52 && y <= 59 && (x == 32 || x == 65 || x == 98 || x == 131);
                const bool top = y >= 48 && y <= 51;
                EXPECT_TRUE(gap || top) << "line 4 shows at " << x << "," << y;
                visible_top += top;
                visible_gaps += gap;
            }
        }
    }
    EXPECT_GT(visible_top, 0);
    EXPECT_GT(visible_gaps, 0);
}

TEST(UpdateInfoScreen, EmptyButtonsAreNotDrawnAndLinesAreCut) {
    update_info info = {};
    strcpy(info.title, "Upgrade Status");
    strcpy(info.button[3], "Reboot");
    memset(info.line[0], 'W', sizeof(info.line[0]));  // no terminator
    basicui_open_update_info(&info);
    // Buttons 1 to 3 absent: their boxes stay clear.
    EXPECT_EQ(LcdArt(0, 52, 99, 12).find('#'), std::string::npos);
    // The overlong line is drawn (cut at the edge), nothing else changes.
    EXPECT_NE(LcdArt(0, 12, 132, 12).find('#'), std::string::npos);
    EXPECT_EQ(LcdArt(0, 0, 132, 12), std::string(golden::kTitleAndButton4).substr(0, 12 * 133 - 1));
    EXPECT_EQ(basicui_open_update_info(nullptr), 0);
}

TEST(NoticeLine, CentredOnAClearedScreen) {
    FillScreen(1);
    basicui_display_updating_line("Rebooting...");
    const std::string art = ScreenArt();
    EXPECT_EQ(LcdArt(0, 26, 132, 12), golden::kNoticeRows);
    EXPECT_EQ(LcdArt(0, 0, 132, 26).find('#'), std::string::npos);
    EXPECT_EQ(LcdArt(0, 38, 132, 26).find('#'), std::string::npos);
    basicui_display_updating_line(nullptr);  // leaves the screen
    EXPECT_EQ(ScreenArt(), art);
}

TEST(UserSettingScreen, Description) {
    user_setting_info input = {};
    strcpy(input.title, "User Settings");
    strcpy(input.user_label, "User:");
    strcpy(input.password_label, "Passwd:");
    display_info info;
    memset(&info, 0x5A, sizeof(info));
    basicui_fill_user_setting(&input, &info);
    EXPECT_EQ(info.focus, 1);
    EXPECT_EQ(info.first_focus, 1);
    EXPECT_EQ(info.last_focus, 2);
    EXPECT_EQ(info.background, DLG_BACKGROUND_CLEAR);
    struct Line {
        int index, x, y, width, value_width;
        uint8_t type, align, reverse;
        const char* label;
    } lines[] = {
        {0, 0, 0, 132, 0, CTRL_TYPE_LABEL, 1, 1, "User Settings"},
        {1, 0, 13, 132, 90, CTRL_TYPE_TEXT, 0, 0, "User:"},
        {2, 0, 26, 132, 90, CTRL_TYPE_PASSWORD, 0, 0, "Passwd:"},
        {8, 0, 52, 32, 0, CTRL_TYPE_LABEL, 1, 1, "Cancel"},
        {9, 33, 52, 32, 0, CTRL_TYPE_LABEL, 1, 1, "abc"},
        {10, 66, 52, 32, 0, CTRL_TYPE_LABEL, 1, 1, "Delete"},
        {11, 99, 52, 32, 0, CTRL_TYPE_LABEL, 1, 1, "OK"},
    };
    for (const Line& l : lines) {
        const display_line& d = info.lines[l.index];
        EXPECT_EQ(d.x, l.x) << l.index;
        EXPECT_EQ(d.y, l.y) << l.index;
        EXPECT_EQ(d.width, l.width) << l.index;
        EXPECT_EQ(d.height, 12) << l.index;
        EXPECT_EQ(d.value_width, l.value_width) << l.index;
        EXPECT_EQ(d.type, l.type) << l.index;
        EXPECT_EQ(d.align, l.align) << l.index;
        EXPECT_EQ(d.reverse, l.reverse) << l.index;
        EXPECT_STREQ(d.label, l.label) << l.index;
        EXPECT_STREQ(d.value, "") << l.index;
    }
    for (int i : {3, 4, 5, 6, 7}) EXPECT_EQ(info.lines[i].width, 0) << i;
    for (const display_line& d : info.lines) EXPECT_EQ(d.font_size, 12);
}

}  // namespace
