#include "aes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Reference descrambler written the slow, obvious way: substitute, then move
// the first byte to the end r times.
std::vector<uint8_t> reference(uint8_t key, const std::vector<uint8_t>& src) {
    std::vector<uint8_t> out;
    for (uint8_t b : src) {
        out.push_back(g_aes_decrypt[b]);
    }
    for (unsigned n = 0; n < key % src.size(); ++n) {
        uint8_t first = out.front();
        out.erase(out.begin());
        out.push_back(first);
    }
    return out;
}

std::vector<uint8_t> pattern(size_t len) {
    std::vector<uint8_t> v(len);
    for (size_t i = 0; i < len; ++i) {
        v[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return v;
}

}  // namespace

TEST(AesTable, IsAPermutation) {
    bool seen[256] = {};
    for (int x = 0; x < 256; ++x) {
        EXPECT_FALSE(seen[g_aes_decrypt[x]]) << "value " << int(g_aes_decrypt[x]) << " twice";
        seen[g_aes_decrypt[x]] = true;
    }
}

struct AesCase {
    uint8_t key;
    uint32_t len;
};

void PrintTo(const AesCase& c, std::ostream* os) { *os << "key " << int(c.key) << " len " << c.len; }

class AesDecrypt : public ::testing::TestWithParam<AesCase> {};

// Keys 0 and multiples of the length only substitute; 1 and len-1 rotate by
// one in opposite directions, so a reversed rotation shows. The table itself
// is held by the known stored headers of rom_format_test.
TEST_P(AesDecrypt, MatchesReferenceSeparateAndInPlace) {
    const AesCase c = GetParam();
    const std::vector<uint8_t> src = pattern(c.len);
    const std::vector<uint8_t> want = reference(c.key, src);

    std::vector<uint8_t> dst(c.len, 0);
    EXPECT_EQ(aes_decrypt(&c.key, dst.data(), c.len, src.data()), 0);
    EXPECT_EQ(dst, want);

    std::vector<uint8_t> buf = src;
    EXPECT_EQ(aes_decrypt(&c.key, buf.data(), c.len, buf.data()), 0);
    EXPECT_EQ(buf, want);
}

INSTANTIATE_TEST_SUITE_P(Keys, AesDecrypt,
                         ::testing::Values(AesCase{0, 92}, AesCase{1, 92}, AesCase{91, 92},
                                           AesCase{92, 92}, AesCase{184, 92}, AesCase{255, 92},
                                           AesCase{93, 92}, AesCase{7, 128}, AesCase{200, 1}),
                         [](const ::testing::TestParamInfo<AesCase>& p) {
                             return "key" + std::to_string(p.param.key) + "_len" +
                                    std::to_string(p.param.len);
                         });

// The key is read before the range is rewritten, so a key inside the range
// (as in long headers) still rotates by its stored value.
TEST(AesDecryptKey, KeyInsideTheRangeIsReadFirst) {
    std::vector<uint8_t> buf = pattern(92);
    buf[10] = 5;
    const std::vector<uint8_t> want = reference(5, buf);
    aes_decrypt(&buf[10], buf.data(), 92, buf.data());
    EXPECT_EQ(buf, want);
}

TEST(AesDecryptKey, ZeroLengthTouchesNothing) {
    uint8_t key = 3;
    uint8_t byte = 0x42;
    EXPECT_EQ(aes_decrypt(&key, &byte, 0, &byte), 0);
    EXPECT_EQ(byte, 0x42);
}
