#include "screen_art.h"

#include <cstring>

#include "lcd.h"
#include "stand_in.h"

namespace uitest {

std::string RefreshFileContent() { return display_testing::ReadAll("/proc/glcd/refresh"); }

void ClearRefreshFile() { display_testing::WriteAll("/proc/glcd/refresh", ""); }

std::string PictureArt(const std::uint8_t* picture, int x0, int y0, int w, int h) {
    std::string out;
    for (int y = y0; y < y0 + h; ++y) {
        if (y != y0) out += '\n';
        for (int x = x0; x < x0 + w; ++x) {
            const int n = y * LCD_WIDTH + x;
            out += ((picture[n / 8] >> (n % 8)) & 1) != 0 ? '#' : '.';
        }
    }
    return out;
}

std::string LcdArt(int x0, int y0, int w, int h) { return PictureArt(g_lcdbuffer, x0, y0, w, h); }

std::string ScreenArt() { return LcdArt(0, 0, LCD_WIDTH, LCD_HEIGHT); }

std::string Expect(const char* art) {
    std::string out(art[0] == '\n' ? art + 1 : art);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

void FillScreen(int colour) { memset(g_lcdbuffer, colour != 0 ? 0xFF : 0x00, LCD_BUFFER_SIZE); }

void ClearScreen() {
    FillScreen(0);
    g_refresh_x1 = 0;
    g_refresh_y1 = 0;
    g_refresh_x2 = LCD_WIDTH - 1;
    g_refresh_y2 = LCD_HEIGHT - 1;
}

int CountSet() {
    int count = 0;
    for (std::uint8_t byte : g_lcdbuffer) count += __builtin_popcount(byte);
    return count;
}

}  // namespace uitest
