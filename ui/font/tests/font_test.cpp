// The glyph lookup and the control-code glyphs. What the glyphs
// look like is pinned by the committed screen pictures (ui_screens_test).
#include <gtest/gtest.h>

#include <algorithm>

#include "font.h"

namespace {

constexpr std::uint8_t kSize = 12;

// Codes 0..128 find their own record (told apart by width), anything else the
// space; a byte read as a signed char (0x80 and above) is negative.
TEST(Font, LookupFindsTheRecordAndReplacesOutOfRangeBySpace) {
    const struct { int ch, width; } cases[] = {
        {'A', 6},  {0, 7},   {31, 7},  {32, 3},   {'0', 5},  {'i', 2},    {'m', 8},      {'@', 9},
        {'f', 4},  {127, 5}, {128, 7}, {129, 3},  {255, 3},  {-1, 3},     {-128, 3},     {1000, 3},
        {-100000, 3},
    };
    const std::uint8_t* space = font_get_data(' ', kSize);
    for (const auto& c : cases) {
        const std::uint8_t* record = font_get_data(c.ch, kSize);
        EXPECT_EQ(c.width, record[FONT_GLYPH_WIDTH]) << c.ch;
        EXPECT_EQ(12, record[FONT_GLYPH_HEIGHT]) << c.ch;
        EXPECT_EQ(c.width == 3, record == space) << c.ch;
    }
    EXPECT_EQ(font_get_data('A', 0), font_get_data('A', 99));  // size is not used
}

// Control codes: blank for tab, line feed, carriage return and 28..31; the
// box of NUL (the end of a text draws it) for the rest.
TEST(Font, ControlCodesAreTheBoxOrBlank) {
    const std::uint8_t* box = font_get_data(0, kSize);
    const int bytes = FONT_GLYPH_BITMAP + (7 * 12 + 7) / 8;
    ASSERT_NE(std::count(box + FONT_GLYPH_BITMAP, box + bytes, 0), bytes - FONT_GLYPH_BITMAP);
    for (int code = 1; code < 32; ++code) {
        const std::uint8_t* g = font_get_data(code, kSize);
        const bool blank = code == 9 || code == 10 || code == 13 || code >= 28;
        if (blank) EXPECT_EQ(std::count(g + FONT_GLYPH_BITMAP, g + bytes, 0), bytes - FONT_GLYPH_BITMAP) << code;
        else EXPECT_TRUE(std::equal(box, box + bytes, g)) << code;
    }
}

}  // namespace
