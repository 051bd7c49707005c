// Points, lines, fills, outlines, icons and the redraw rectangle, checked as
// text art of the off-screen picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "lcd.h"
#include "screen_art.h"

namespace {

using uitest::ClearScreen;
using uitest::CountSet;
using uitest::Expect;
using uitest::LcdArt;

class Draw : public ::testing::Test {
protected:
    void SetUp() override { ClearScreen(); }
};

struct LineCase {
    const char* name;
    std::uint16_t x1, y1, x2, y2;
    const char* art;  // columns 0..11, rows 0..5
};

const LineCase kLines[] = {
    {"horizontal", 3, 2, 10, 2, R"(
............
............
...########.
............
............
............
)"},
    {"horizontal reversed", 10, 2, 3, 2, R"(
............
............
...########.
............
............
............
)"},
    {"vertical reversed", 5, 4, 5, 1, R"(
............
.....#......
.....#......
.....#......
.....#......
............
)"},
    {"single point", 0, 5, 0, 5, R"(
............
............
............
............
............
#...........
)"},
    {"diagonal fills its box", 8, 1, 6, 3, R"(
............
......###...
......###...
......###...
............
............
)"},
};

TEST_F(Draw, LinesCoverBothEndsInEitherOrder) {
    for (const LineCase& c : kLines) {
        ClearScreen();
        lcd_draw_line(c.x1, c.y1, c.x2, c.y2, 1);
        EXPECT_EQ(Expect(c.art), LcdArt(0, 0, 12, 6)) << c.name;
        EXPECT_EQ(CountSet(), static_cast<int>(std::count(c.art, c.art + std::strlen(c.art), '#'))) << c.name;
    }
}

TEST_F(Draw, ColourZeroClearsAndAnyOtherColourSets) {
    lcd_fill_color(0, 0, 6, 3, 2);  // any non-zero colour sets
    lcd_draw_line(1, 1, 4, 1, 0);
    lcd_draw_point(5, 2, 0);
    lcd_draw_point(5, 4, 7);
    EXPECT_EQ(Expect(R"(
######
#....#
#####.
......
.....#
)"),
              LcdArt(0, 0, 6, 5));
    EXPECT_EQ(1, lcd_get_point_color(5, 4));
    EXPECT_EQ(0, lcd_get_point_color(5, 2));
}

TEST_F(Draw, FillCoversExactlyTheBoxAndNothingForEmptySizes) {
    lcd_fill_color(2, 1, 3, 2, 1);
    lcd_fill_color(8, 0, 0, 5, 1);
    lcd_fill_color(8, 0, 5, 0, 1);
    EXPECT_EQ(Expect(R"(
..........
..###.....
..###.....
..........
)"),
              LcdArt(0, 0, 10, 4));
    EXPECT_EQ(6, CountSet());
}

// Pixels past the right or bottom edge are dropped, not wrapped into the next
// row, and huge sizes end at the screen edge.
TEST_F(Draw, DrawingStopsAtTheScreenEdges) {
    lcd_fill_color(128, 62, 65535, 65535, 1);
    lcd_draw_point(132, 0, 1);
    lcd_draw_line(130, 10, 140, 10, 1);
    EXPECT_EQ(Expect(R"(
....####
....####
)"),
              LcdArt(124, 62, 8, 2));
    EXPECT_EQ(8 + 2, CountSet());
    EXPECT_EQ(0, lcd_get_point_color(0, 1));   // where x = 132 of row 0 would land
    EXPECT_EQ(0, lcd_get_point_color(0, 11));  // where x = 132 of row 10 would land
    EXPECT_EQ(0, lcd_get_point_color(200, 3));
}

TEST_F(Draw, RectangleIsTheOutlineThroughBothCorners) {
    lcd_fill_color(0, 0, 9, 6, 1);
    lcd_draw_rect(7, 4, 1, 1, 0);
    EXPECT_EQ(Expect(R"(
#########
#.......#
#.#####.#
#.#####.#
#.......#
#########
)"),
              LcdArt(0, 0, 9, 6));
}

// A bitmap writes its clear bits too; its rows are w bits apart, unpadded.
TEST_F(Draw, IconIsOpaqueAndReadRowByRow) {
    lcd_fill_color(0, 0, 8, 4, 1);
    // 5 x 3 bitmap, rows "#...#", ".#.#.", "..#.." -> bits 0,4 | 6,8 | 12.
    const std::uint8_t icon[2] = {0x51, 0x11};
    lcd_draw_icon(1, 1, 5, 3, icon, sizeof icon);
    EXPECT_EQ(Expect(R"(
########
##...###
#.#.#.##
#..#..##
)"),
              LcdArt(0, 0, 8, 4));
}

TEST_F(Draw, IconBitsBeyondItsSizeDrawClear) {
    lcd_fill_color(0, 0, 4, 2, 1);
    const std::uint8_t icon[1] = {0xFF};
    lcd_draw_icon(0, 0, 4, 3, icon, sizeof icon);  // rows 2.. lie beyond 1 byte
    EXPECT_EQ(Expect(R"(
####
####
....
)"),
              LcdArt(0, 0, 4, 3));
}

TEST_F(Draw, IconIsCutAtTheScreenEdge) {
    const std::uint8_t icon[2] = {0xFF, 0xFF};
    lcd_draw_icon(129, 62, 4, 4, icon, sizeof icon);
    EXPECT_EQ(6, CountSet());
    EXPECT_EQ(0, lcd_get_point_color(0, 63));
}

struct RedrawCase {
    std::uint16_t x1, y1, x2, y2;
    std::uint16_t ex1, ey1, ex2, ey2;
};

// Starting from (10, 20)-(30, 40) after a reset-and-grow.
const RedrawCase kRedraw[] = {
    {5, 5, 4, 9, 10, 20, 30, 40},      // x2 < x1: ignored
    {5, 9, 6, 8, 10, 20, 30, 40},      // y2 < y1: ignored
    {15, 25, 20, 30, 10, 20, 30, 40},  // inside: unchanged
    {2, 30, 12, 50, 2, 20, 30, 50},    // grows left and down
    {20, 3, 100, 21, 10, 3, 100, 40},  // grows up and right
};

TEST(Redraw, GrowsToCoverAndIgnoresInvertedRectangles) {
    for (const RedrawCase& c : kRedraw) {
        g_refresh_x1 = 10;
        g_refresh_y1 = 20;
        g_refresh_x2 = 30;
        g_refresh_y2 = 40;
        lcd_set_redraw(c.x1, c.y1, c.x2, c.y2);
        std::uint16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        lcd_get_redraw(&x1, &y1, &x2, &y2);
        EXPECT_EQ(c.ex1, x1);
        EXPECT_EQ(c.ey1, y1);
        EXPECT_EQ(c.ex2, x2);
        EXPECT_EQ(c.ey2, y2);
    }
}

TEST(Redraw, GetResetsTheCornersToZero) {
    lcd_set_redraw(0, 0, 131, 63);
    lcd_get_redraw(nullptr, nullptr, nullptr, nullptr);
    std::uint16_t x1 = 9, y1 = 9, x2 = 9, y2 = 9;
    lcd_get_redraw(&x1, &y1, &x2, &y2);
    EXPECT_EQ(0, x1 | y1 | x2 | y2);
    lcd_set_redraw(4, 5, 6, 7);  // grows from (0, 0)-(0, 0)
    lcd_get_redraw(&x1, &y1, &x2, &y2);
    EXPECT_EQ(0, x1);
    EXPECT_EQ(0, y1);
    EXPECT_EQ(6, x2);
    EXPECT_EQ(7, y2);
}

}  // namespace
