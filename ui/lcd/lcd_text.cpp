// Text in a box: width, alignment, transparent glyphs, caret, highlight and
// the scrolling that keeps the caret inside the box.
#include <cstring>

#include "font.h"
#include "lcd.h"

namespace {

// The glyph record of one byte of text, read as a signed character like the
// lookup expects (bytes 0x80 and above become the space glyph).
const std::uint8_t* glyph_of(char c, std::uint8_t font) {
    return font_get_data(static_cast<signed char>(c), font);
}

std::uint32_t glyph_width(char c, std::uint8_t font) {
    return glyph_of(c, font)[FONT_GLYPH_WIDTH];
}

std::uint32_t text_width(const char* text, std::uint8_t font) {
    std::uint32_t width = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        width += glyph_width(*p, font);
    }
    return width;
}

// Start of the text inside the box; text as wide as the box or wider starts at
// the left like left-aligned text and is cut at the right edge.
std::uint32_t text_offset(std::uint8_t align, std::uint32_t box_w, std::uint32_t text_w) {
    if (text_w >= box_w) {
        return 1;
    }
    switch (align) {
    case LCD_ALIGN_CENTER:
        return (box_w - text_w) / 2;
    case LCD_ALIGN_RIGHT:
        return box_w - text_w;
    default:
        return 1;
    }
}

void draw_pixel(std::uint32_t x, std::uint32_t y, std::uint16_t color) {
    if (x < LCD_WIDTH && y < LCD_HEIGHT) {
        lcd_draw_point(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), color);
    }
}

}  // namespace

void lcd_draw_text(const lcd_text_state* state, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                   std::uint16_t h, const char* text, std::uint8_t font, std::uint16_t color) {
    if (state == nullptr || text == nullptr) {
        return;
    }
    const std::uint16_t ink = color & 1;
    const std::uint32_t offset = text_offset(state->align, w, text_width(text, font));
    const std::uint32_t left = std::uint32_t{x} + offset + 1;  // column of advance 0
    const std::uint32_t right_end = std::uint32_t{x} + w;     // first column not drawn

    std::uint32_t advance = 0;
    std::uint32_t caret_advance = 0;
    std::uint32_t highlight_width = 0;
    for (std::uint32_t index = 0; text[index] != '\0'; ++index) {
        const std::uint8_t* glyph = glyph_of(text[index], font);
        const std::uint32_t gw = glyph[FONT_GLYPH_WIDTH];
        const std::uint32_t gh = glyph[FONT_GLYPH_HEIGHT];
        const std::uint8_t* bits = glyph + FONT_GLYPH_BITMAP;
        for (std::uint32_t row = 0; row < gh && row < h; ++row) {
            for (std::uint32_t col = 0; col < gw; ++col) {
                const std::uint32_t px = left + advance + col;
                if (px < right_end && test_bit(row * gw + col, bits, FONT_BITMAP_LIMIT) != 0) {
                    draw_pixel(px, std::uint32_t{y} + row, ink);
                }
            }
        }
        advance += gw;
        if (index + 1 == state->cursor) {
            caret_advance = advance;
            highlight_width = gw;
        }
    }

    if (state->cursor != LCD_NO_CURSOR && state->caret_visible != 0) {
        for (std::uint32_t row = 0; row < h; ++row) {
            draw_pixel(left + caret_advance, std::uint32_t{y} + row, ink);
        }
    }

    // The character before the caret ends at column left + caret_advance - 1.
    if (state->highlight != 0 && highlight_width >= 1) {
        for (std::uint32_t k = 1; k <= highlight_width; ++k) {
            const std::uint32_t px = left + caret_advance - k;
            for (std::uint32_t py = std::uint32_t{y} + 1; py + 2 <= std::uint32_t{y} + font; ++py) {
                if (px < LCD_WIDTH && py < LCD_HEIGHT) {
                    const std::uint16_t cx = static_cast<std::uint16_t>(px);
                    const std::uint16_t cy = static_cast<std::uint16_t>(py);
                    lcd_draw_point(cx, cy, lcd_get_point_color(cx, cy) == 0 ? 1 : 0);
                }
            }
        }
    }
}

void lcd_show_text(lcd_text_state* state, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                   std::uint16_t h, const char* text, std::uint8_t font, std::uint16_t color) {
    if (state == nullptr || text == nullptr) {
        return;
    }
    const char* start = text;
    if (state->cursor != LCD_NO_CURSOR) {
        // The character at the cursor is the one after the caret (the 7-pixel
        // glyph of the terminating NUL at the end), so the sum keeps room for
        // the caret. A cursor past the end is read as the end. When that
        // character alone fills the box, the text is drawn from the caret:
        // dropping it too would start behind the terminator at the end of the
        // text, and lose the caret elsewhere.
        const std::size_t length = std::strlen(text);
        const std::size_t from = state->cursor < length ? state->cursor : length;
        std::uint32_t sum = 0;
        for (std::size_t i = from + 1; i-- > 0;) {
            sum += glyph_width(text[i], font);
            if (sum >= w) {
                const std::size_t dropped = i < from ? i + 1 : from;
                start = text + dropped;
                state->cursor = static_cast<std::uint8_t>(state->cursor - dropped);
                break;
            }
        }
    }
    lcd_draw_text(state, x, y, w, h, start, font, color);
}
