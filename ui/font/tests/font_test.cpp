// The glyph lookup and the shape of the font table's records. What the glyphs
// look like is pinned by the committed screen pictures (ui_screens_test).
#include <gtest/gtest.h>

#include <string>

#include "font.h"

namespace {

constexpr std::uint8_t kSize = 12;

bool Pixel(const std::uint8_t* record, int col, int row) {
    const int n = row * record[FONT_GLYPH_WIDTH] + col;
    return ((record[FONT_GLYPH_BITMAP + n / 8] >> (n % 8)) & 1) != 0;
}

// Codes 0..128 find their own record (told apart by width), anything else the
// space; a byte read as a signed char (0x80 and above) is negative.
TEST(Font, LookupFindsTheRecordAndReplacesOutOfRangeBySpace) {
    const struct {
        int ch, width;
    } cases[] = {
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

// Control codes: blank for tab, line feed, carriage return and 28..31; an
// empty 5 x 6 box for the rest, NUL included (the end of a text draws it).
TEST(Font, ControlCodesAreTheBoxOrBlank) {
    const std::string box = ".......|.#####.|.#...#.|.#...#.|.#...#.|.#...#.|.#####.|.......|";
    for (int code = 0; code < 32; ++code) {
        const std::uint8_t* g = font_get_data(code, kSize);
        std::string rows;
        for (int row = 3; row < 11; ++row) {
            for (int col = 0; col < 7; ++col) rows += Pixel(g, col, row) ? '#' : '.';
            rows += '|';
        }
        const bool blank = code == 9 || code == 10 || code == 13 || code >= 28;
        std::string clear;
        for (int row = 3; row < 11; ++row) clear += ".......|";
        EXPECT_EQ(rows, blank ? clear : box) << code;
    }
}

// Every record keeps its bitmap inside the record and the bits after it clear.
TEST(Font, BitmapsArePackedWithoutStrayBits) {
    for (int code = 0; code <= 128; ++code) {
        const std::uint8_t* g = font_get_data(code, kSize);
        const int bits = g[FONT_GLYPH_WIDTH] * g[FONT_GLYPH_HEIGHT];
        ASSERT_LE((bits + 7) / 8, 26) << code;
        for (int n = bits; n < 26 * 8; ++n) {
            ASSERT_EQ(0, (g[FONT_GLYPH_BITMAP + n / 8] >> (n % 8)) & 1) << code << " bit " << n;
        }
    }
}

}  // namespace
