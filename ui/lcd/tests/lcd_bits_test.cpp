// The HBYTE bit layer out of range and the bitmap reader. Where each pixel
// lives is checked by every text-art comparison (screen_art.h reads the bytes).
#include <gtest/gtest.h>

#include <cstring>

#include "lcd.h"
#include "private_ns.h"

namespace {

// Writes beyond the size change nothing, not even the bytes just behind it.
TEST(BitLayer, OutOfRangeWritesStayInsideTheBuffer) {
    const struct { std::uint16_t x, y; std::uint32_t size; } cases[] = {{0, 64, 1056}, {131, 63, 1055}, {65535, 65535, 1056}, {8, 0, 1}};
    for (const auto& c : cases) {
        std::uint8_t area[LCD_BUFFER_SIZE + 8] = {};
        SetBit(c.x, c.y, area, c.size);
        for (std::uint8_t byte : area) ASSERT_EQ(0, byte) << c.x << "," << c.y;
        std::memset(area, 0xFF, sizeof area);
        ClearBit(c.x, c.y, area, c.size);
        for (std::uint8_t byte : area) ASSERT_EQ(0xFF, byte) << c.x << "," << c.y;
    }
    SetBit(1, 1, nullptr, 1056);    // must not crash
    ClearBit(1, 1, nullptr, 1056);
    EXPECT_EQ(0, GetBit(1, 1, nullptr, 1056));
}

TEST(BitLayer, TestBitReadsBitmapsInLayoutOrderWithinTheirSize) {
    const std::uint8_t bits[2] = {0x81, 0x02};
    for (std::uint32_t n = 0; n < 16; ++n) EXPECT_EQ(n == 0 || n == 7 || n == 9, test_bit(n, bits, 2)) << n;
    EXPECT_EQ(0, test_bit(9, bits, 1));  // byte 1 lies beyond a size of 1
    EXPECT_EQ(0, test_bit(0, nullptr, 2));
}

// A read beyond the buffer reads 0 and names the offending offset.
TEST(BitLayer, OutOfRangeReadLogsOffsetAndSize) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        std::uint8_t buf[LCD_BUFFER_SIZE];
        std::memset(buf, 0xFF, sizeof buf);
        EXPECT_EQ(0, GetBit(0, 64, buf, sizeof buf));
        EXPECT_TRUE(coord_testing::SyslogContains("GetBitHByte failed: byte_offset = 1056, size = 1056", 1000));
        EXPECT_EQ(0, GetBit(131, 63, buf, 1000));
        EXPECT_TRUE(coord_testing::SyslogContains("GetBitHByte failed: byte_offset = 1055, size = 1000", 1000));
        coord_testing::SyslogClear();
        EXPECT_EQ(1, GetBit(131, 63, buf, sizeof buf));
        EXPECT_FALSE(coord_testing::SyslogContains("GetBitHByte", 200));
    }));
}

}  // namespace
