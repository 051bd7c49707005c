// The HBYTE bit layer: where each pixel lives, and what happens out of range.
#include <gtest/gtest.h>

#include <cstring>

#include "lcd.h"
#include "private_ns.h"

namespace {

struct PixelPlace {
    std::uint16_t x, y;
    int byte, bit;
};

// Edge pixels of the layout, odd rows starting mid-byte included.
const PixelPlace kPlaces[] = {
    {0, 0, 0, 0},     {7, 0, 0, 7},     {8, 0, 1, 0},        {131, 0, 16, 3},
    {0, 1, 16, 4},    {3, 1, 16, 7},    {4, 1, 17, 0},       {131, 1, 32, 7},
    {0, 2, 33, 0},    {0, 63, 1039, 4}, {131, 63, 1055, 7},  {132, 0, 16, 4},
};

class BitPlace : public ::testing::TestWithParam<PixelPlace> {};

TEST_P(BitPlace, SetTouchesOnlyItsBitAndClearRemovesIt) {
    const PixelPlace p = GetParam();
    std::uint8_t buf[LCD_BUFFER_SIZE] = {};
    SetBit(p.x, p.y, buf, sizeof buf);
    std::uint8_t expected[LCD_BUFFER_SIZE] = {};
    expected[p.byte] = static_cast<std::uint8_t>(1u << p.bit);
    EXPECT_EQ(0, std::memcmp(buf, expected, sizeof buf)) << "pixel " << p.x << "," << p.y;
    EXPECT_EQ(1, GetBit(p.x, p.y, buf, sizeof buf));
    EXPECT_EQ(1, test_bit(static_cast<std::uint32_t>(p.byte) * 8 + p.bit, buf, sizeof buf));

    std::memset(buf, 0xFF, sizeof buf);
    ClearBit(p.x, p.y, buf, sizeof buf);
    EXPECT_EQ(0xFF & ~(1u << p.bit), buf[p.byte]);
    EXPECT_EQ(0, GetBit(p.x, p.y, buf, sizeof buf));
    int cleared = 0;
    for (std::uint8_t byte : buf) cleared += 8 - __builtin_popcount(byte);
    EXPECT_EQ(1, cleared);
}

INSTANTIATE_TEST_SUITE_P(Layout, BitPlace, ::testing::ValuesIn(kPlaces));

// Writes beyond the size change nothing, not even the bytes just behind it.
TEST(BitLayer, OutOfRangeWritesStayInsideTheBuffer) {
    struct Case {
        std::uint16_t x, y;
        std::uint32_t size;
    };
    const Case cases[] = {{0, 64, 1056}, {131, 63, 1055}, {65535, 65535, 1056}, {8, 0, 1}};
    for (const Case& c : cases) {
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
    const int expected[16] = {1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    for (std::uint32_t n = 0; n < 16; ++n) EXPECT_EQ(expected[n], test_bit(n, bits, 2)) << n;
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
