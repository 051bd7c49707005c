// Text in a box: alignment, clipping, caret, highlight and the
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

using namespace uitest;

constexpr std::uint8_t kFont = 12;

lcd_text_state State(std::uint8_t align = LCD_ALIGN_LEFT, std::uint8_t cursor = LCD_NO_CURSOR,
                     std::uint8_t caret = 0, std::uint8_t highlight = 0) {
    return {0, 0, 0, align, cursor, caret, highlight};
}

// Leftmost and rightmost columns holding any set pixel; -1, -1 for none.
std::pair<int, int> InkColumns() {
    int first = -1, last = -1;
    for (int x = 0; x < LCD_WIDTH; ++x) {
        if (LcdArt(x, 0, 1, LCD_HEIGHT).find('#') == std::string::npos) continue;
        if (first < 0) first = x;
        last = x;
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

// first, last: the ink columns, for a box at x = 10
struct AlignCase {
    const char* name; std::uint8_t align; std::uint16_t w; const char* text; int first, last;
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

TEST(Text, AlignmentAndClippingAtTheBoxEdge) {
    for (const AlignCase& c : kAlign) {
        DrawnAlone(State(c.align), 10, 0, c.w, 12, c.text);
        EXPECT_EQ(std::pair(c.first, c.last), InkColumns()) << c.name;
    }
}

// Rows 2..4 of 'H' only (its two columns), as in a box of full height.
TEST(Text, TextIsCutAtTheBoxHeight) {
    const std::size_t rows = 15 * (LCD_WIDTH + 1);  // down to the cut box's bottom
    const std::string whole = DrawnAlone(State(), 0, 10, 20, 12, "H").substr(0, rows);
    EXPECT_EQ(DrawnAlone(State(), 0, 10, 20, 5, "H").substr(0, rows), whole);
    EXPECT_EQ(6, CountSet());
}

// from, to, top, bottom: the changed pixels; from > to: none
struct MarkCase {
    const char* name; std::uint8_t align, cursor, caret, highlight; int from, to, top, bottom;
};

// "HH" in a 40 x 12 box at (10, 20): left starts at column 12, centre at 25.
// The caret is a line over the box's height before the cursor character; the
// highlight inverts the character before the caret on rows 1 to font - 2.
const MarkCase kMarks[] = {
    {"caret at 0", LCD_ALIGN_LEFT, 0, 1, 0, 12, 12, 20, 31},
    {"caret at 1", LCD_ALIGN_LEFT, 1, 1, 0, 18, 18, 20, 31},
    {"caret at the end", LCD_ALIGN_LEFT, 2, 1, 0, 24, 24, 20, 31},
    {"caret hidden", LCD_ALIGN_LEFT, 2, 0, 0, 1, 0, 0, 0},
    {"no cursor", LCD_ALIGN_LEFT, 255, 1, 0, 1, 0, 0, 0},
    {"caret right aligned", LCD_ALIGN_RIGHT, 2, 1, 0, 51, 51, 20, 31},
    {"caret centred", LCD_ALIGN_CENTER, 1, 1, 0, 31, 31, 20, 31},
    {"highlight first", LCD_ALIGN_LEFT, 1, 0, 1, 12, 17, 21, 30},
    {"highlight second", LCD_ALIGN_LEFT, 2, 0, 1, 18, 23, 21, 30},
    {"highlight nothing before 0", LCD_ALIGN_LEFT, 0, 0, 1, 1, 0, 0, 0},
    {"highlight centred", LCD_ALIGN_CENTER, 2, 0, 1, 31, 36, 21, 30},
};

// Inside the marked pixels the caret sets and the highlight inverts; nothing
// else changes.
TEST(Text, CaretAndHighlightChangeOnlyTheirPixels) {
    for (const MarkCase& c : kMarks) {
        std::string expected = DrawnAlone(State(c.align), 10, 20, 40, 12, "HH");
        for (int y = c.top; y <= c.bottom; ++y)
            for (int x = c.from; x <= c.to; ++x) {
                char& px = expected[static_cast<std::size_t>(y * (LCD_WIDTH + 1) + x)];
                px = c.caret != 0 || px == '.' ? '#' : '.';
            }
        EXPECT_EQ(expected, DrawnAlone(State(c.align, c.cursor, c.caret, c.highlight), 10, 20, 40, 12, "HH"))
            << c.name;
    }
}

// dropped: characters dropped from the front.
struct ScrollCase {
    const char *name, *text;
    std::uint8_t cursor; std::uint16_t w; int dropped; std::uint8_t new_cursor;
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
    {"cursor past the end, fits", "HHH", 40, 30, 0, 40},   // 18 + 7 < 30
    {"cursor past the end, drops", "HHH", 40, 20, 1, 39},  // 7 + 6 + 6 + 6 >= 20
    // A box no wider than the character after the caret: drawn from the caret.
    {"narrow, empty", "", 0, 7, 0, 0},
    {"narrow, at the end", "HH", 2, 5, 2, 0},
    {"narrow, before a wide one", "HHm", 2, 8, 2, 0},
    {"narrow, in the middle", "HHm", 1, 6, 1, 0},
};

TEST(Text, ShowTextScrollsToKeepTheCaretInTheBox) {
    for (const ScrollCase& c : kScroll) {
        ClearScreen();
        // On the heap at its exact size: a read past it is caught by the sanitizer.
        const std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
        lcd_text_state s = State(LCD_ALIGN_LEFT, c.cursor, 1);
        lcd_show_text(&s, 5, 2, c.w, 12, text.data(), kFont, 1);
        EXPECT_EQ(c.new_cursor, s.cursor) << c.name;
        // Equal to text drawn in the box: nothing outside it.
        const std::string shown = LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT);
        EXPECT_EQ(DrawnAlone(State(LCD_ALIGN_LEFT, c.new_cursor, 1), 5, 2, c.w, 12, c.text + c.dropped), shown)
            << c.name;
    }
}

TEST(Text, NullStateOrTextDrawsNothing) {
    ClearScreen();
    lcd_text_state s = State();
    lcd_draw_text(nullptr, 0, 0, 40, 12, "H", kFont, 1);
    lcd_draw_text(&s, 0, 0, 40, 12, nullptr, kFont, 1);
    lcd_show_text(nullptr, 0, 0, 40, 12, "H", kFont, 1);
    lcd_show_text(&s, 0, 0, 40, 12, nullptr, kFont, 1);
    EXPECT_EQ(0, CountSet());
}

}  // namespace
