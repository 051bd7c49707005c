// The descrambler against a slow reference: substitute, then move the first
// byte to the end key % len times. The table itself is held by the known
// stored headers of rom_format_test.
#include "aes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<uint8_t> reference(uint8_t key, std::vector<uint8_t> v) {
    for (uint8_t& b : v) b = g_aes_decrypt[b];
    for (unsigned n = 0; n < key % v.size(); ++n) std::rotate(v.begin(), v.begin() + 1, v.end());
    return v;
}

std::vector<uint8_t> pattern(size_t len) {
    std::vector<uint8_t> v(len);
    for (size_t i = 0; i < len; ++i) v[i] = static_cast<uint8_t>(i * 37 + 11);
    return v;
}

// Keys 0 and multiples of the length only substitute; 1 and len-1 rotate by
// one in opposite directions, so a reversed rotation shows. The key is read
// before the range is rewritten, so a key inside the range (as in long
// headers) still rotates by its stored value; length 0 does nothing.
TEST(AesDecrypt, MatchesReferenceSeparateInPlaceAndWithTheKeyInside) {
    const struct {
        uint8_t key;
        uint32_t len;
    } cases[] = {{0, 92}, {1, 92}, {91, 92}, {92, 92}, {184, 92}, {255, 92}, {93, 92}, {7, 128}, {200, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << int(c.key) << " len " << c.len);
        const std::vector<uint8_t> src = pattern(c.len);
        const std::vector<uint8_t> want = reference(c.key, src);
        std::vector<uint8_t> dst(c.len, 0);
        EXPECT_EQ(aes_decrypt(&c.key, dst.data(), c.len, src.data()), 0);
        EXPECT_EQ(dst, want);
        std::vector<uint8_t> buf = src;
        EXPECT_EQ(aes_decrypt(&c.key, buf.data(), c.len, buf.data()), 0);
        EXPECT_EQ(buf, want);
    }
    std::vector<uint8_t> buf = pattern(92);
    buf[10] = 5;
    const std::vector<uint8_t> want = reference(5, buf);
    aes_decrypt(&buf[10], buf.data(), 92, buf.data());
    EXPECT_EQ(buf, want);
    EXPECT_EQ(aes_decrypt(&buf[0], &buf[1], 0, &buf[1]), 0);
    EXPECT_EQ(buf, want);
}

}  // namespace
