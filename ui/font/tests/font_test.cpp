// The font table's format and the glyph lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "font.h"

namespace {

constexpr std::uint8_t kSize = 12;

std::uint32_t OffsetOf(const std::uint8_t* record) {
    return static_cast<std::uint32_t>(record - ascii_12_Arial);
}

std::uint32_t RecordOffset(int code) {
    return FONT_HEADER_SIZE + static_cast<std::uint32_t>(code) * FONT_RECORD_SIZE;
}

bool Pixel(const std::uint8_t* record, int col, int row) {
    const int n = row * record[FONT_GLYPH_WIDTH] + col;
    return ((record[FONT_GLYPH_BITMAP + n / 8] >> (n % 8)) & 1) != 0;
}

int InkCount(const std::uint8_t* record) {
    int count = 0;
    for (int row = 0; row < record[FONT_GLYPH_HEIGHT]; ++row)
        for (int col = 0; col < record[FONT_GLYPH_WIDTH]; ++col) count += Pixel(record, col, row);
    return count;
}

TEST(Font, ByteSwap) {
    EXPECT_EQ(0x3412, NTOHS(0x1234));
    EXPECT_EQ(0x00FF, NTOHS(0xFF00));
}

// The header is stored most significant byte first.
TEST(Font, HeaderIsBigEndian) {
    const std::uint8_t expected[14] = {0xE0, 0xE1, 0x1C, 0x0E, 0xA2, 0x20, 0x00,
                                       0x00, 0x00, 0xFF, 0x00, 0x1C, 0x00, 0x0E};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(expected[i], ascii_12_Arial[i]) << "byte " << i;
}

struct Lookup {
    int ch;
    int record_of;  // code whose record comes back
    int width;
};

const Lookup kLookups[] = {
    {'A', 'A', 6},  {0, 0, 7},      {31, 31, 7},    {32, 32, 3},   {'0', '0', 5},
    {'9', '9', 5},  {'i', 'i', 2},  {'l', 'l', 2},  {'m', 'm', 8}, {'@', '@', 9},
    {'W', 'W', 6},  {'f', 'f', 4},  {127, 127, 5},  {128, 128, 7}, {129, 32, 3},
    {255, 32, 3},   {-1, 32, 3},    {-128, 32, 3},  {1000, 32, 3}, {-100000, 32, 3},
};

TEST(Font, LookupFindsTheRecordAndReplacesOutOfRangeBySpace) {
    for (const Lookup& l : kLookups) {
        const std::uint8_t* record = font_get_data(l.ch, kSize);
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(RecordOffset(l.record_of), OffsetOf(record)) << l.ch;
        EXPECT_EQ(l.width, record[FONT_GLYPH_WIDTH]) << l.ch;
        EXPECT_EQ(12, record[FONT_GLYPH_HEIGHT]) << l.ch;
    }
    EXPECT_EQ(1834u, OffsetOf(font_get_data('A', kSize)));
    EXPECT_EQ(font_get_data('A', 0), font_get_data('A', 99));  // size is not used
}

// A byte read as a signed char: 0x80 and above are negative and give space.
TEST(Font, SignedHighBytesGiveSpace) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const int ch = static_cast<signed char>(static_cast<char>(byte));
        EXPECT_EQ(font_get_data(' ', kSize), font_get_data(ch, kSize)) << byte;
    }
}

// Control codes: blank for tab, line feed, carriage return and 28..31; an
// empty 5 x 6 box for the rest, NUL included.
TEST(Font, ControlCodesAreTheBoxOrBlank) {
    for (int code = 0; code < 32; ++code) {
        const std::uint8_t* g = font_get_data(code, kSize);
        ASSERT_EQ(7, g[FONT_GLYPH_WIDTH]) << code;
        const bool blank = code == 9 || code == 10 || code == 13 || code >= 28;
        if (blank) {
            EXPECT_EQ(0, InkCount(g)) << code;
            continue;
        }
        int left = 99, right = -1, top = 99, bottom = -1;
        for (int row = 0; row < 12; ++row)
            for (int col = 0; col < 7; ++col)
                if (Pixel(g, col, row)) {
                    left = std::min(left, col);
                    right = std::max(right, col);
                    top = std::min(top, row);
                    bottom = std::max(bottom, row);
                }
        EXPECT_EQ(5, right - left + 1) << code;
        EXPECT_EQ(6, bottom - top + 1) << code;
        for (int row = top; row <= bottom; ++row)
            for (int col = left; col <= right; ++col) {
                const bool edge = row == top || row == bottom || col == left || col == right;
                EXPECT_EQ(edge, Pixel(g, col, row)) << code << " at " << col << "," << row;
            }
    }
}

TEST(Font, SpaceIsBlankAndPrintablesHaveInk) {
    EXPECT_EQ(0, InkCount(font_get_data(' ', kSize)));
    for (int code = 33; code <= 128; ++code) {
        EXPECT_GT(InkCount(font_get_data(code, kSize)), 0) << code;
    }
}

// Letters and digits keep their last column clear: that is the space between
// characters, since the advance adds none.
TEST(Font, LettersAndDigitsEndInAClearColumn) {
    for (int code = 33; code < 127; ++code) {
        if (!std::isalnum(code)) continue;
        const std::uint8_t* g = font_get_data(code, kSize);
        const int last = g[FONT_GLYPH_WIDTH] - 1;
        for (int row = 0; row < 12; ++row) {
            EXPECT_FALSE(Pixel(g, last, row)) << static_cast<char>(code) << " row " << row;
        }
    }
}

// Every record of the table keeps the bytes after its last bitmap bit zero and
// fits its bitmap into the record.
TEST(Font, BitmapsArePackedWithoutStrayBits) {
    for (int code = 0; code < 256; ++code) {
        const std::uint8_t* g = ascii_12_Arial + RecordOffset(code);
        const int bits = g[FONT_GLYPH_WIDTH] * g[FONT_GLYPH_HEIGHT];
        ASSERT_GE(g[FONT_GLYPH_WIDTH], code <= 128 ? 2 : 3) << code;
        ASSERT_LE(g[FONT_GLYPH_WIDTH], 9) << code;
        ASSERT_LE((bits + 7) / 8, 26) << code;
        for (int n = bits; n < 26 * 8; ++n) {
            ASSERT_EQ(0, (g[FONT_GLYPH_BITMAP + n / 8] >> (n % 8)) & 1) << code << " bit " << n;
        }
    }
}

// Rows are w bits apart without padding: 'l' is one column of ink in a 2-wide
// glyph, so its set bits are exactly the even ones of its rows.
TEST(Font, RowsAreUnpadded) {
    const std::uint8_t* l = font_get_data('l', kSize);
    std::string rows;
    for (int row = 0; row < 12; ++row) rows += Pixel(l, 0, row) ? '#' : '.';
    EXPECT_EQ("..########..", rows);
    EXPECT_EQ(0x50, l[FONT_GLYPH_BITMAP + 0]);  // bits 4 and 6: rows 2 and 3
    EXPECT_EQ(0x55, l[FONT_GLYPH_BITMAP + 1]);  // rows 4 to 7
    EXPECT_EQ(0x05, l[FONT_GLYPH_BITMAP + 2]);  // rows 8 and 9
}

}  // namespace
