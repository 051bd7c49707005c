// The word XOR under both checksum passes, against a word-by-word reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rom_format.h"

namespace {

uint32_t Reference(const uint8_t* p, uint32_t words) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < words; ++i) {
        const uint8_t* w = p + 4 * i;
        sum ^= static_cast<uint32_t>(w[0]) | static_cast<uint32_t>(w[1]) << 8 |
               static_cast<uint32_t>(w[2]) << 16 | static_cast<uint32_t>(w[3]) << 24;
    }
    return sum;
}

// Every start alignment and even, odd and empty word counts: the faster sum
// must not drop the odd last word, read past the range or mix up byte order.
TEST(RomXor32, MatchesWordByWordSumAtAnyAlignmentAndLength) {
    std::vector<uint8_t> buf(4 * 67 + 8);
    uint32_t x = 0x9E3779B9u;
    for (auto& b : buf) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    for (uint32_t start = 0; start < 8; ++start) {
        for (uint32_t words : {0u, 1u, 2u, 3u, 4u, 5u, 16u, 17u, 66u, 67u}) {
            EXPECT_EQ(rom_xor32(buf.data() + start, words), Reference(buf.data() + start, words))
                << "start " << start << " words " << words;
        }
    }
}

// Bytes just after the range must not count: a sum that reads one word too far
// changes when the following word changes.
TEST(RomXor32, IgnoresTheBytesAfterTheRange) {
    std::vector<uint8_t> buf(4 * 6, 0);
    buf[0] = 0x11;  // word 0
    buf[9] = 0x22;  // word 2, byte 1
    buf[12] = 0xAB;  // word 3, outside a 3-word range
    buf[20] = 0xCD;  // word 5, outside any range below
    EXPECT_EQ(rom_xor32(buf.data(), 3), 0x00002211u);
    EXPECT_EQ(rom_xor32(buf.data(), 4), 0x000022BAu);
    EXPECT_EQ(rom_xor32(buf.data(), 0), 0u);
}

}  // namespace
