#include "text_art.h"

#include <cstring>

#include "lcd.h"

namespace lcd_testing {

std::string Art(const std::uint8_t* picture, int x, int y, int w, int h) {
    std::string art;
    for (int row = y; row < y + h; ++row) {
        for (int col = x; col < x + w; ++col) {
            const int n = row * 132 + col;
            art += ((picture[n / 8] >> (n % 8)) & 1) != 0 ? '#' : '.';
        }
        art += '\n';
    }
    return art;
}

std::string ScreenArt(int x, int y, int w, int h) {
    return Art(g_lcdbuffer, x, y, w, h);
}

void ClearScreen() {
    std::memset(g_lcdbuffer, 0, sizeof g_lcdbuffer);
    g_refresh_x1 = 0;
    g_refresh_y1 = 0;
    g_refresh_x2 = LCD_WIDTH - 1;
    g_refresh_y2 = LCD_HEIGHT - 1;
}

int CountSet() {
    int count = 0;
    for (std::uint8_t byte : g_lcdbuffer) {
        count += __builtin_popcount(byte);
    }
    return count;
}

std::string Expect(const char* art) {
    return art[0] == '\n' ? std::string(art + 1) : std::string(art);
}

}  // namespace lcd_testing
