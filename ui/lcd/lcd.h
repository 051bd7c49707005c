// lcd: the off-screen picture of the 132x64 one-bit LCD and the drawing on it.
//
// Every primitive draws into g_lcdbuffer through the bit layer
// (lcd_132x64_1Bit_HBYTE.h); nothing reaches the panel until lcd_refresh copies
// the picture into the mapped frame buffer and asks the driver to show it.
// Pixels outside the picture are never written. Colour 1 sets a pixel, 0
// clears it. Coordinates, sizes and colours are 16-bit unsigned; `font` is the
// font size (12 everywhere). One thread at a time: the module has no locks.
#pragma once

#include <cstdint>

#include "lcd_132x64_1Bit_HBYTE.h"

constexpr std::uint16_t LCD_WIDTH = 132;
constexpr std::uint16_t LCD_HEIGHT = 64;
constexpr std::uint32_t LCD_BUFFER_SIZE = LCD_WIDTH * LCD_HEIGHT / 8;  // 1056 bytes

// Text alignment values of lcd_text_state::align; any other value draws as left.
constexpr std::uint8_t LCD_ALIGN_LEFT = 0;
constexpr std::uint8_t LCD_ALIGN_CENTER = 1;
constexpr std::uint8_t LCD_ALIGN_RIGHT = 2;
// lcd_text_state::cursor when there is no caret.
constexpr std::uint8_t LCD_NO_CURSOR = 255;

// Text attributes a control hands to the text functions.
struct lcd_text_state {
    std::uint8_t reserved;       // 0, not read here
    std::uint8_t reserved_flag;  // copy of the control's reserved flag, not read here
    std::uint8_t reverse;        // copy of the control's reverse flag, not read here
    std::uint8_t align;          // LCD_ALIGN_*
    std::uint8_t cursor;         // caret stands before the character with this index; LCD_NO_CURSOR = none
    std::uint8_t caret_visible;  // non-zero: draw the caret line
    std::uint8_t highlight;      // non-zero: invert the character just before the caret
};

// The off-screen picture (HBYTE order), zero at start, never cleared as a whole.
extern std::uint8_t g_lcdbuffer[LCD_BUFFER_SIZE];
// The mapped device frame buffer, set by lcd_init; null while not mapped.
extern std::uint8_t* g_framebuffer;
// The redraw rectangle, inclusive corners; the whole screen at start.
extern std::uint16_t g_refresh_x1;
extern std::uint16_t g_refresh_y1;
extern std::uint16_t g_refresh_x2;
extern std::uint16_t g_refresh_y2;

// Maps the frame buffer into g_framebuffer (devctrl_open_lcd). 0 on success
// (also when already mapped); -1 and the error line "Unable to mmap
// framebuffer\n" otherwise. Drawing works on the off-screen picture either way.
int lcd_init();

// Colour non-zero sets the pixel, 0 clears it.
void lcd_draw_point(std::uint16_t x, std::uint16_t y, std::uint16_t color);
// The pixel's value, 0 or 1: 0 for a column beyond 131; a row beyond 63 reads
// 0 with the bit layer's error line.
int lcd_get_point_color(std::uint16_t x, std::uint16_t y);
// Every pixel of the rectangle between the two corners, both ends included, in
// whichever order the corners come: a horizontal or vertical line; a diagonal
// request fills the bounding box.
void lcd_draw_line(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2,
                   std::uint16_t color);
// Pixels x..x+w-1 by y..y+h-1; nothing when w or h is 0.
void lcd_fill_color(std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h,
                    std::uint16_t color);
// The outline through the two inclusive corners.
void lcd_draw_rect(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2,
                   std::uint16_t color);
// An opaque w-by-h bitmap of `size` bytes (HBYTE order, bit w*row+col) at (x, y):
// set and clear bits are both written.
void lcd_draw_icon(std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h,
                   const std::uint8_t* bits, std::uint32_t size);

// Transparent text in the box (x, y, w, h): only the glyphs' set pixels are
// drawn, in colour (color & 1), never at or beyond column x + w nor below row
// y + h. Left alignment starts at offset 1; centre and right alignment fall back
// to offset 1 when the text is as wide as the box or wider. Draws the caret line
// (rows y..y+h-1, just before the cursor's character) and the highlight (the
// character before the caret inverted on rows y+1..y+font-2, in any alignment)
// as `state` asks. A null state or text draws nothing.
void lcd_draw_text(const lcd_text_state* state, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                   std::uint16_t h, const char* text, std::uint8_t font, std::uint16_t color);
// lcd_draw_text that keeps the caret inside the box: when the text up to and
// including the caret's room (the character after it, or 7 pixels at the end)
// does not fit, characters are dropped from the front and state->cursor is
// lowered by their number. When even that one character fills the box, the text
// is drawn from the caret (cursor 0).
void lcd_show_text(lcd_text_state* state, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                   std::uint16_t h, const char* text, std::uint8_t font, std::uint16_t color);

// Grows the redraw rectangle to cover (x1, y1)-(x2, y2); a rectangle with
// x2 < x1 or y2 < y1 is ignored.
void lcd_set_redraw(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2);
// Reads the redraw rectangle (null out-parameters are skipped) and resets all
// four corners to 0.
void lcd_get_redraw(std::uint16_t* x1, std::uint16_t* y1, std::uint16_t* x2, std::uint16_t* y2);

// Copies the off-screen picture into the mapped frame buffer (skipped while not
// mapped) and asks the driver to show it. The refresh's result: 0 or -1.
int lcd_refresh();
