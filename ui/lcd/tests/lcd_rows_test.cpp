// Row runs of the bit layer and the fills and icons built on them, against the
// same pictures drawn pixel by pixel with SetBit / ClearBit / test_bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "lcd.h"
#include "lcd_132x64_1Bit_HBYTE.h"

namespace {

std::minstd_rand g_rng;  // the same sequence on every run
std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(g_rng() % n); }
void Noise(std::uint8_t* buf, std::uint32_t len) {
    for (std::uint32_t i = 0; i < len; ++i) buf[i] = static_cast<std::uint8_t>(g_rng() >> 8);
}

void PixelFill(std::uint32_t x1, std::uint32_t x2, std::uint32_t y, int color, std::uint8_t* buf,
               std::uint32_t size) {
    for (std::uint32_t x = x1; x <= x2; ++x)
        (color != 0 ? SetBit : ClearBit)(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y),
                                         buf, size);
}

// Any start bit, any length, both colours, a buffer cut short (`size` below the
// picture) and a row that runs past the cut: only the pixels asked for change.
// A copied row takes its bits from any bit of the bitmap, clear beyond its size.
TEST(BitRows, FillAndCopyRowEqualPixelByPixel) {
    for (int round = 0; round < 4000; ++round) {
        std::uint8_t a[LCD_BUFFER_SIZE], b[LCD_BUFFER_SIZE], bits[40];
        Noise(a, sizeof a);
        Noise(bits, sizeof bits);
        memcpy(b, a, sizeof a);
        const std::uint32_t size = round % 5 == 0 ? Below(LCD_BUFFER_SIZE) : LCD_BUFFER_SIZE;
        const std::uint32_t y = Below(LCD_HEIGHT);
        const std::uint32_t x = Below(LCD_WIDTH);
        const std::uint32_t count = Below(LCD_WIDTH - x + 1);
        if (round % 2 == 0) {
            const int color = static_cast<int>(Below(3));  // 0, 1 and 2 (any non-zero sets)
            if (count == 0) continue;
            FillRow(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(x + count - 1),
                    static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(color), a, size);
            PixelFill(x, x + count - 1, y, color, b, size);
        } else {
            const std::uint32_t bits_size = Below(sizeof bits + 1);  // runs often pass its end
            const std::uint32_t n = Below(8 * sizeof bits);
            CopyRow(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), count, bits, bits_size, n, a, size);
            for (std::uint32_t i = 0; i < count; ++i)
                PixelFill(x + i, x + i, y, test_bit(n + i, bits, bits_size), b, size);
        }
        ASSERT_EQ(memcmp(a, b, sizeof a), 0)
            << (round % 2 == 0 ? "fill" : "copy") << " x " << x << " count " << count << " y " << y << " size " << size;
    }
}

TEST(BitRows, NullBuffersChangeNothingAndNullBitmapsDrawClear) {
    FillRow(0, 131, 0, 1, nullptr, LCD_BUFFER_SIZE);
    CopyRow(0, 0, 132, nullptr, 0, 0, nullptr, LCD_BUFFER_SIZE);
    std::uint8_t a[LCD_BUFFER_SIZE];
    memset(a, 0xFF, sizeof a);
    CopyRow(4, 1, 10, nullptr, 0, 0, a, sizeof a);
    for (std::uint16_t x = 0; x < LCD_WIDTH; ++x)
        EXPECT_EQ(GetBit(x, 1, a, sizeof a), x >= 4 && x < 14 ? 0 : 1) << x;
    FillRow(9, 8, 2, 0, a, sizeof a);  // x2 before x1: nothing
    for (std::uint16_t x = 0; x < LCD_WIDTH; ++x) EXPECT_EQ(GetBit(x, 2, a, sizeof a), 1) << x;
}

// Fills and icons through the drawing layer, with rectangles and icons that
// cross the right and bottom edges.
TEST(DrawRows, FillsAndIconsEqualThePixelByPixelPicture) {
    std::vector<std::uint8_t> icon(64);
    for (int round = 0; round < 500; ++round) {
        Noise(g_lcdbuffer, LCD_BUFFER_SIZE);
        std::uint8_t expect[LCD_BUFFER_SIZE];
        memcpy(expect, g_lcdbuffer, sizeof expect);
        const auto x = static_cast<std::uint16_t>(Below(LCD_WIDTH + 8));
        const auto y = static_cast<std::uint16_t>(Below(LCD_HEIGHT + 8));
        const auto w = static_cast<std::uint16_t>(Below(140));
        const auto h = static_cast<std::uint16_t>(Below(70));
        if (round % 2 == 0) {
            const auto color = static_cast<std::uint16_t>(Below(2));
            lcd_fill_color(x, y, w, h, color);
            for (std::uint32_t r = y; r < std::uint32_t{y} + h && r < LCD_HEIGHT; ++r)
                for (std::uint32_t c = x; c < std::uint32_t{x} + w && c < LCD_WIDTH; ++c)
                    PixelFill(c, c, r, color, expect, sizeof expect);
        } else {
            Noise(icon.data(), static_cast<std::uint32_t>(icon.size()));
            const std::uint32_t size = Below(static_cast<std::uint32_t>(icon.size()) + 1);
            lcd_draw_icon(x, y, w, h, icon.data(), size);
            for (std::uint32_t r = 0; r < h && y + r < LCD_HEIGHT; ++r)
                for (std::uint32_t c = 0; c < w && x + c < LCD_WIDTH; ++c)
                    PixelFill(x + c, x + c, y + r, test_bit(std::uint32_t{w} * r + c, icon.data(), size),
                              expect, sizeof expect);
        }
        ASSERT_EQ(memcmp(g_lcdbuffer, expect, sizeof expect), 0)
            << (round % 2 == 0 ? "fill " : "icon ") << x << "," << y << " " << w << "x" << h;
    }
}

}  // namespace
