// The HBYTE bit layer: pixel (x, y) is bit y * 132 + x, least significant first.
#include "lcd_132x64_1Bit_HBYTE.h"

#include "rl_log.h"

namespace {

constexpr std::uint32_t kRowBits = 132;

// Bit number of the pixel; 32-bit arithmetic, so no 16-bit wrap for any x, y.
std::uint32_t bit_index(std::uint16_t x, std::uint16_t y) {
    return static_cast<std::uint32_t>(y) * kRowBits + x;
}

}  // namespace

void SetBitHByte(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size) {
    const std::uint32_t n = bit_index(x, y);
    if (buf == nullptr || n / 8 >= size) {
        return;
    }
    buf[n / 8] = static_cast<std::uint8_t>(buf[n / 8] | (1u << (n % 8)));
}

void ClearBitHByte(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size) {
    const std::uint32_t n = bit_index(x, y);
    if (buf == nullptr || n / 8 >= size) {
        return;
    }
    buf[n / 8] = static_cast<std::uint8_t>(buf[n / 8] & ~(1u << (n % 8)));
}

int GetBitHByte(std::uint16_t x, std::uint16_t y, const std::uint8_t* buf, std::uint32_t size) {
    const std::uint32_t n = bit_index(x, y);
    if (buf == nullptr) {
        return 0;
    }
    if (n / 8 >= size) {
        rl_log_err("%s failed: byte_offset = %d, size = %d", "GetBitHByte", static_cast<int>(n / 8),
                   static_cast<int>(size));
        return 0;
    }
    return (buf[n / 8] >> (n % 8)) & 1;
}

void SetBit(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size) {
    SetBitHByte(x, y, buf, size);
}

void ClearBit(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size) {
    ClearBitHByte(x, y, buf, size);
}

int GetBit(std::uint16_t x, std::uint16_t y, const std::uint8_t* buf, std::uint32_t size) {
    return GetBitHByte(x, y, buf, size);
}

int test_bit(std::uint32_t n, const std::uint8_t* bits, std::uint32_t size) {
    if (bits == nullptr || n / 8 >= size) {
        return 0;
    }
    return (bits[n / 8] >> (n % 8)) & 1;
}
