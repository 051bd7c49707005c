// Points, lines, outlines, the screen edges and the redraw rectangle, checked
// on the off-screen picture (fills and icons against the pixel-by-pixel
// picture: lcd_rows_test).
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "lcd.h"
#include "screen_art.h"

namespace {

using namespace uitest;

class Draw : public ::testing::Test {
protected:
    void SetUp() override { ClearScreen(); }
};

// A line sets exactly the box between its ends (a slanted one fills it).
TEST_F(Draw, LinesCoverTheBoxBetweenTheirEndsInEitherOrder) {
    const struct {
        const char* name; std::uint16_t x1, y1, x2, y2; int left, top, right, bottom;
    } cases[] = {
        {"horizontal", 3, 2, 10, 2, 3, 2, 10, 2},   {"horizontal reversed", 10, 2, 3, 2, 3, 2, 10, 2},
        {"vertical reversed", 5, 4, 5, 1, 5, 1, 5, 4}, {"single point", 0, 5, 0, 5, 0, 5, 0, 5},
        {"slanted", 8, 1, 6, 3, 6, 1, 8, 3},
    };
    for (const auto& c : cases) {
        ClearScreen();
        lcd_draw_line(c.x1, c.y1, c.x2, c.y2, 1);
        const int w = c.right - c.left + 1, h = c.bottom - c.top + 1;
        EXPECT_EQ(w * h, CountSet()) << c.name;
        EXPECT_EQ(LcdArt(c.left, c.top, w, h).find('.'), std::string::npos) << c.name;
    }
}

// Pixels past the right or bottom edge are dropped, not wrapped into the next
// row, and huge sizes end at the screen edge.
TEST_F(Draw, DrawingStopsAtTheScreenEdges) {
    lcd_fill_color(128, 62, 65535, 65535, 1);
    lcd_draw_point(132, 0, 1);
    lcd_draw_line(130, 10, 140, 10, 1);
    EXPECT_EQ("####\n####", LcdArt(128, 62, 4, 2));
    EXPECT_EQ(8 + 2, CountSet());
    EXPECT_EQ(0, lcd_get_point_color(0, 1));   // where x = 132 of row 0 would land
    EXPECT_EQ(0, lcd_get_point_color(0, 11));  // where x = 132 of row 10 would land
    EXPECT_EQ(0, lcd_get_point_color(200, 3));
}

TEST_F(Draw, RectangleIsTheOutlineThroughBothCorners) {
    lcd_fill_color(0, 0, 9, 5, 1);
    lcd_draw_rect(7, 3, 1, 1, 0);
    EXPECT_EQ(Expect(R"(
#########
#.......#
#.#####.#
#.......#
#########
)"),
              LcdArt(0, 0, 9, 5));
}

// From (10, 20)-(30, 40), or from (0, 0)-(0, 0) after a get, which resets it.
TEST(Redraw, GrowsToCoverAndIgnoresInvertedRectangles) {
    const struct { bool after_get; std::uint16_t x1, y1, x2, y2, ex1, ey1, ex2, ey2; } cases[] = {
        {false, 5, 5, 4, 9, 10, 20, 30, 40},     // x2 < x1: ignored
        {false, 5, 9, 6, 8, 10, 20, 30, 40},     // y2 < y1: ignored
        {false, 15, 25, 20, 30, 10, 20, 30, 40}, // inside: unchanged
        {false, 2, 30, 12, 50, 2, 20, 30, 50},   // grows left and down
        {false, 20, 3, 100, 21, 10, 3, 100, 40}, // grows up and right
        {true, 4, 5, 6, 7, 0, 0, 6, 7},
    };
    for (const auto& c : cases) {
        g_refresh_x1 = 10;
        g_refresh_y1 = 20;
        g_refresh_x2 = 30;
        g_refresh_y2 = 40;
        if (c.after_get) lcd_get_redraw(nullptr, nullptr, nullptr, nullptr);
        lcd_set_redraw(c.x1, c.y1, c.x2, c.y2);
        std::uint16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        lcd_get_redraw(&x1, &y1, &x2, &y2);
        EXPECT_EQ((std::array{c.ex1, c.ey1, c.ex2, c.ey2}), (std::array{x1, y1, x2, y2}))
            << c.x1 << "," << c.y1;
    }
}

}  // namespace
