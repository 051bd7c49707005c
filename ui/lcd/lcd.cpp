// The off-screen picture, its pixel primitives, the redraw rectangle and the
// refresh. Text drawing lives in lcd_text.cpp.
#include "lcd.h"

#include <cstring>

#include "display.h"
#include "rl_log.h"

std::uint8_t g_lcdbuffer[LCD_BUFFER_SIZE];
std::uint8_t* g_framebuffer = nullptr;
std::uint16_t g_refresh_x1 = 0;
std::uint16_t g_refresh_y1 = 0;
std::uint16_t g_refresh_x2 = LCD_WIDTH - 1;
std::uint16_t g_refresh_y2 = LCD_HEIGHT - 1;

namespace {

// Last column / row of a span that starts at `from` and ends at `to`
// (inclusive), cut to the picture: loops then never run past the screen, and a
// 16-bit end near 65535 cannot make them wrap.
std::uint32_t last_x(std::uint32_t to) { return to < LCD_WIDTH ? to : LCD_WIDTH - 1u; }
std::uint32_t last_y(std::uint32_t to) { return to < LCD_HEIGHT ? to : LCD_HEIGHT - 1u; }

void fill_span(std::uint32_t x1, std::uint32_t y1, std::uint32_t x2, std::uint32_t y2,
               std::uint16_t color) {
    const std::uint32_t xe = last_x(x2);
    const std::uint32_t ye = last_y(y2);
    if (x1 > xe) {
        return;
    }
    for (std::uint32_t y = y1; y <= ye; ++y) {
        FillRow(static_cast<std::uint16_t>(x1), static_cast<std::uint16_t>(xe),
                static_cast<std::uint16_t>(y), color, g_lcdbuffer, LCD_BUFFER_SIZE);
    }
}

}  // namespace

int lcd_init() {
    if (devctrl_open_lcd(&g_framebuffer) < 0) {
        rl_log_err("Unable to mmap framebuffer\n");
        return -1;
    }
    return 0;
}

// Pixels beyond column 131 are dropped here: the bit layer would put them at
// the start of the next row.
void lcd_draw_point(std::uint16_t x, std::uint16_t y, std::uint16_t color) {
    if (x >= LCD_WIDTH || y >= LCD_HEIGHT) {
        return;
    }
    if (color != 0) {
        SetBit(x, y, g_lcdbuffer, LCD_BUFFER_SIZE);
    } else {
        ClearBit(x, y, g_lcdbuffer, LCD_BUFFER_SIZE);
    }
}

int lcd_get_point_color(std::uint16_t x, std::uint16_t y) {
    if (x >= LCD_WIDTH) {
        return 0;
    }
    return GetBit(x, y, g_lcdbuffer, LCD_BUFFER_SIZE);
}

void lcd_draw_line(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2,
                   std::uint16_t color) {
    const std::uint16_t xa = x1 < x2 ? x1 : x2;
    const std::uint16_t xb = x1 < x2 ? x2 : x1;
    const std::uint16_t ya = y1 < y2 ? y1 : y2;
    const std::uint16_t yb = y1 < y2 ? y2 : y1;
    fill_span(xa, ya, xb, yb, color);
}

void lcd_fill_color(std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h,
                    std::uint16_t color) {
    if (w == 0 || h == 0) {
        return;
    }
    fill_span(x, y, std::uint32_t{x} + w - 1, std::uint32_t{y} + h - 1, color);
}

void lcd_draw_rect(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2,
                   std::uint16_t color) {
    lcd_draw_line(x1, y1, x1, y2, color);
    lcd_draw_line(x2, y1, x2, y2, color);
    lcd_draw_line(x1, y1, x2, y1, color);
    lcd_draw_line(x1, y2, x2, y2, color);
}

void lcd_draw_icon(std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h,
                   const std::uint8_t* bits, std::uint32_t size) {
    if (x >= LCD_WIDTH) {
        return;
    }
    // Columns past the right edge are cut, never carried into the next row.
    const std::uint32_t cols = w < LCD_WIDTH - x ? w : LCD_WIDTH - x;
    for (std::uint32_t row = 0; row < h && y + row < LCD_HEIGHT; ++row) {
        CopyRow(x, static_cast<std::uint16_t>(y + row), cols, bits, size, std::uint32_t{w} * row,
                g_lcdbuffer, LCD_BUFFER_SIZE);
    }
}

void lcd_set_redraw(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2, std::uint16_t y2) {
    if (x2 < x1 || y2 < y1) {
        return;
    }
    if (x1 < g_refresh_x1) g_refresh_x1 = x1;
    if (y1 < g_refresh_y1) g_refresh_y1 = y1;
    if (x2 > g_refresh_x2) g_refresh_x2 = x2;
    if (y2 > g_refresh_y2) g_refresh_y2 = y2;
}

void lcd_get_redraw(std::uint16_t* x1, std::uint16_t* y1, std::uint16_t* x2, std::uint16_t* y2) {
    if (x1 != nullptr) *x1 = g_refresh_x1;
    if (y1 != nullptr) *y1 = g_refresh_y1;
    if (x2 != nullptr) *x2 = g_refresh_x2;
    if (y2 != nullptr) *y2 = g_refresh_y2;
    g_refresh_x1 = 0;
    g_refresh_y1 = 0;
    g_refresh_x2 = 0;
    g_refresh_y2 = 0;
}

int lcd_refresh() {
    if (g_framebuffer != nullptr) {
        std::memcpy(g_framebuffer, g_lcdbuffer, LCD_BUFFER_SIZE);
    }
    return devctrl_refresh_lcd();
}
