// Text in a box: alignment, clipping, transparency, caret, highlight and the
// scrolling of lcd_show_text. 'H' is 6 pixels wide with ink in its columns 0
// and 4 (rows 2 to 9) and row 5 between them; 'f' is 4 wide, 'i' and 'l' 2,
// 'm' 8; the end of a text counts 7 (the box glyph of NUL).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lcd.h"
#include "screen_art.h"

namespace {

using uitest::ClearScreen;
using uitest::CountSet;
using uitest::Expect;
using uitest::LcdArt;

constexpr std::uint8_t kFont = 12;

lcd_text_state State(std::uint8_t align = LCD_ALIGN_LEFT, std::uint8_t cursor = LCD_NO_CURSOR,
                     std::uint8_t caret = 0, std::uint8_t highlight = 0) {
    lcd_text_state s{};
    s.align = align;
    s.cursor = cursor;
    s.caret_visible = caret;
    s.highlight = highlight;
    return s;
}

// Leftmost and rightmost columns holding any set pixel; -1, -1 for none.
std::pair<int, int> InkColumns() {
    int first = -1, last = -1;
    for (int x = 0; x < LCD_WIDTH; ++x) {
        for (int y = 0; y < LCD_HEIGHT; ++y) {
            if (lcd_get_point_color(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)) != 0) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

// The whole screen after drawing `text` alone on a clear picture.
std::string DrawnAlone(const lcd_text_state& state, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                       std::uint16_t h, const char* text) {
    ClearScreen();
    lcd_draw_text(&state, x, y, w, h, text, kFont, 1);
    return LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT);
}

// Pixels (x, y) that differ between two whole-screen arts, row by row.
std::vector<std::pair<int, int>> Changed(const std::string& a, const std::string& b) {
    std::vector<std::pair<int, int>> changed;
    for (int y = 0; y < LCD_HEIGHT; ++y)
        for (int x = 0; x < LCD_WIDTH; ++x) {
            const std::size_t at = static_cast<std::size_t>(y * (LCD_WIDTH + 1) + x);
            if (a[at] != b[at]) changed.emplace_back(x, y);
        }
    return changed;
}

class Text : public ::testing::Test {
protected:
    void SetUp() override { ClearScreen(); }
};

TEST_F(Text, DrawsGlyphRowsFromTheBoxTopOneColumnIn) {
    const lcd_text_state s = State();
    lcd_draw_text(&s, 1, 1, 20, 12, "Hi", kFont, 1);
    EXPECT_EQ(Expect(R"(
..............
..............
..............
...#...#.#....
...#...#......
...#...#.#....
...#####.#....
...#...#.#....
...#...#.#....
...#...#.#....
...#...#.#....
..............
..............
..............
)"),
              LcdArt(0, 0, 14, 14));
}

struct AlignCase {
    const char* name;
    std::uint8_t align;
    std::uint16_t w;
    const char* text;
    int first, last;  // ink columns, box at x = 10
};

const AlignCase kAlign[] = {
    {"left", LCD_ALIGN_LEFT, 40, "HH", 12, 22},
    {"unknown alignment draws left", 7, 40, "HH", 12, 22},
    {"centre", LCD_ALIGN_CENTER, 32, "HH", 21, 31},
    {"centre rounds toward zero", LCD_ALIGN_CENTER, 33, "HH", 21, 31},
    {"centre 22 wide in 32", LCD_ALIGN_CENTER, 32, "HHHf", 16, 36},
    {"right", LCD_ALIGN_RIGHT, 40, "HH", 39, 49},
    {"centre as wide as the box starts at 1", LCD_ALIGN_CENTER, 12, "HH", 12, 21},
    {"right as wide as the box starts at 1", LCD_ALIGN_RIGHT, 12, "HH", 12, 21},
    {"centre too wide is cut at the edge", LCD_ALIGN_CENTER, 40, "HHHHHHH", 12, 49},
    {"right too wide is cut at the edge", LCD_ALIGN_RIGHT, 40, "HHHHHHH", 12, 49},
    {"left too wide is cut at the edge", LCD_ALIGN_LEFT, 17, "HHH", 12, 26},
};

TEST_F(Text, AlignmentAndClippingAtTheBoxEdge) {
    for (const AlignCase& c : kAlign) {
        ClearScreen();
        const lcd_text_state s = State(c.align);
        lcd_draw_text(&s, 10, 0, c.w, 12, c.text, kFont, 1);
        const auto [first, last] = InkColumns();
        EXPECT_EQ(c.first, first) << c.name;
        EXPECT_EQ(c.last, last) << c.name;
        EXPECT_LT(last, 10 + c.w) << c.name;
    }
}

TEST_F(Text, TextIsCutAtTheBoxHeight) {
    const lcd_text_state s = State();
    lcd_draw_text(&s, 0, 10, 20, 5, "H", kFont, 1);
    EXPECT_EQ(Expect(R"(
........
........
..#...#.
..#...#.
..#...#.
........
........
)"),
              LcdArt(0, 10, 8, 7));
}

// Clear glyph bits leave the box as it was; colour is taken modulo 2.
TEST_F(Text, TextIsTransparentInItsColour) {
    const lcd_text_state s = State();
    lcd_fill_color(0, 0, 20, 12, 1);
    lcd_draw_text(&s, 0, 0, 20, 12, "H", kFont, 2);  // colour 2 & 1 = 0: clears
    EXPECT_EQ(20 * 12 - 19, CountSet());
    EXPECT_EQ(0, lcd_get_point_color(2, 2));
    EXPECT_EQ(1, lcd_get_point_color(3, 2));

    ClearScreen();
    lcd_draw_text(&s, 0, 0, 20, 12, "H", kFont, 3);
    EXPECT_EQ(19, CountSet());
}

// Bytes 0x80 and above read as negative characters: the 3-wide space.
TEST_F(Text, HighBytesDrawAsSpace) {
    for (const char* text : {"\x80H", "\xffH", " H"}) {
        ClearScreen();
        const lcd_text_state s = State();
        lcd_draw_text(&s, 0, 0, 40, 12, text, kFont, 1);
        EXPECT_EQ(5, InkColumns().first) << static_cast<int>(static_cast<unsigned char>(text[0]));
        EXPECT_EQ(19, CountSet());
    }
}

struct CaretCase {
    std::uint8_t align, cursor, visible;
    int column;  // -1: no caret
};

const CaretCase kCaret[] = {
    {LCD_ALIGN_LEFT, 0, 1, 12},  {LCD_ALIGN_LEFT, 1, 1, 18},   {LCD_ALIGN_LEFT, 2, 1, 24},
    {LCD_ALIGN_LEFT, 2, 0, -1},  {LCD_ALIGN_LEFT, 255, 1, -1}, {LCD_ALIGN_RIGHT, 2, 1, 51},
    {LCD_ALIGN_CENTER, 1, 1, 31},
};

TEST_F(Text, CaretIsAFullHeightLineBeforeTheCursorCharacter) {
    for (const CaretCase& c : kCaret) {
        const std::string without = DrawnAlone(State(c.align), 10, 3, 40, 9, "HH");
        const std::string with = DrawnAlone(State(c.align, c.cursor, c.visible), 10, 3, 40, 9, "HH");
        for (const auto& [x, y] : Changed(without, with)) {
            EXPECT_TRUE(x == c.column && y >= 3 && y < 12) << "cursor " << int(c.cursor) << " at " << x << "," << y;
        }
        for (int y = 3; y < 12 && c.column >= 0; ++y) {
            EXPECT_EQ('#', with[static_cast<std::size_t>(y * (LCD_WIDTH + 1) + c.column)]) << "cursor " << int(c.cursor);
        }
        if (c.column < 0) {
            EXPECT_EQ(without, with) << "cursor " << int(c.cursor);
        }
    }
}

struct HighlightCase {
    std::uint8_t align, cursor;
    int from, to;  // inverted columns; from > to: none
};

// "HH" in a 40-wide box at x = 10: left starts at column 12, centre at 25.
const HighlightCase kHighlight[] = {
    {LCD_ALIGN_LEFT, 1, 12, 17},
    {LCD_ALIGN_LEFT, 2, 18, 23},
    {LCD_ALIGN_LEFT, 0, 1, 0},
    {LCD_ALIGN_CENTER, 2, 31, 36},
};

// The character before the caret is inverted on rows 1 to font - 2 of the box.
TEST_F(Text, HighlightInvertsTheCharacterBeforeTheCaret) {
    for (const HighlightCase& c : kHighlight) {
        const std::string without = DrawnAlone(State(c.align), 10, 20, 40, 12, "HH");
        const std::string with = DrawnAlone(State(c.align, c.cursor, 0, 1), 10, 20, 40, 12, "HH");
        std::vector<std::pair<int, int>> inverted;
        for (int y = 21; y <= 30; ++y)
            for (int x = c.from; x <= c.to; ++x) inverted.emplace_back(x, y);
        EXPECT_EQ(inverted, Changed(without, with)) << "cursor " << int(c.cursor);
    }
}

struct ScrollCase {
    const char* name;
    const char* text;
    std::uint8_t cursor;
    std::uint16_t w;
    int dropped;            // characters dropped from the front
    std::uint8_t new_cursor;
};

const ScrollCase kScroll[] = {
    {"end, 30 wide", "HHHHHHHH", 8, 30, 5, 3},
    {"end, 31 wide", "HHHHHHHH", 8, 31, 5, 3},
    {"end, 32 wide", "HHHHHHHH", 8, 32, 4, 4},
    {"end, fits", "HHH", 3, 40, 0, 3},
    {"end, mixed widths", "mmmmii", 6, 20, 3, 3},
    {"middle, fits", "HHHHHHHH", 2, 30, 0, 2},
    {"middle, scrolls", "HHHHHHHH", 6, 30, 3, 3},
    {"no caret", "HHHHHHHH", 255, 30, 0, 255},
};

TEST_F(Text, ShowTextScrollsToKeepTheCaretInTheBox) {
    for (const ScrollCase& c : kScroll) {
        ClearScreen();
        lcd_text_state s = State(LCD_ALIGN_LEFT, c.cursor, 1);
        lcd_show_text(&s, 5, 2, c.w, 12, c.text, kFont, 1);
        EXPECT_EQ(c.new_cursor, s.cursor) << c.name;
        const std::string shown = LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT);

        ClearScreen();
        const lcd_text_state direct = State(LCD_ALIGN_LEFT, c.new_cursor, 1);
        lcd_draw_text(&direct, 5, 2, c.w, 12, c.text + c.dropped, kFont, 1);
        EXPECT_EQ(LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT), shown) << c.name;
        if (c.cursor != 255) {
            // The caret column lies inside the box.
            const auto [first, last] = InkColumns();
            EXPECT_LT(last, 5 + c.w) << c.name;
            EXPECT_GE(first, 5) << c.name;
        }
    }
}

TEST_F(Text, CursorPastTheEndReadsNothingBeyondTheText) {
    const char text[4] = {'H', 'H', 'H', '\0'};
    lcd_text_state s = State(LCD_ALIGN_LEFT, 40, 1);
    lcd_show_text(&s, 0, 0, 30, 12, text, kFont, 1);  // 18 + 7 < 30: no scroll
    EXPECT_EQ(40, s.cursor);
    lcd_text_state narrow = State(LCD_ALIGN_LEFT, 40, 1);
    lcd_show_text(&narrow, 0, 0, 20, 12, text, kFont, 1);  // 7 + 6 + 6 + 6 >= 20: drops 1
    EXPECT_EQ(39, narrow.cursor);
}

// A box no wider than the character after the caret: the text is drawn from
// the caret, never from behind the end of the text.
TEST_F(Text, BoxNarrowerThanTheCaretCharacterStartsAtTheCaret) {
    struct Case {
        const char* text;
        std::uint8_t cursor;
        std::uint16_t w;
        std::uint8_t new_cursor;
    };
    const Case cases[] = {{"", 0, 7, 0}, {"HH", 2, 5, 0}, {"HHm", 2, 8, 0}, {"HHm", 1, 6, 0}};
    for (const Case& c : cases) {
        ClearScreen();
        // On the heap at its exact size: a read past it is caught by the sanitizer.
        const std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
        lcd_text_state s = State(LCD_ALIGN_LEFT, c.cursor, 1);
        lcd_show_text(&s, 0, 0, c.w, 12, text.data(), kFont, 1);
        EXPECT_EQ(c.new_cursor, s.cursor) << c.text << " cursor " << int(c.cursor);
        const std::string shown = LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT);
        const std::string direct = DrawnAlone(State(LCD_ALIGN_LEFT, 0, 1), 0, 0, c.w, 12, c.text + c.cursor);
        EXPECT_EQ(direct, shown) << c.text << " cursor " << int(c.cursor);
    }
}

TEST_F(Text, NullStateOrTextDrawsNothing) {
    lcd_text_state s = State();
    lcd_draw_text(nullptr, 0, 0, 40, 12, "H", kFont, 1);
    lcd_draw_text(&s, 0, 0, 40, 12, nullptr, kFont, 1);
    lcd_show_text(nullptr, 0, 0, 40, 12, "H", kFont, 1);
    lcd_show_text(&s, 0, 0, 40, 12, nullptr, kFont, 1);
    EXPECT_EQ(0, CountSet());
}

}  // namespace
