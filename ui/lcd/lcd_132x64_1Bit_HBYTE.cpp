// The HBYTE bit layer: pixel (x, y) is bit y * 132 + x, least significant first.
#include "lcd_132x64_1Bit_HBYTE.h"

#include "rl_log.h"

namespace {

constexpr std::uint32_t kRowBits = 132;

// Bit number of the pixel; 32-bit arithmetic, so no 16-bit wrap for any x, y.
std::uint32_t bit_index(std::uint16_t x, std::uint16_t y) {
    return static_cast<std::uint32_t>(y) * kRowBits + x;
}

// Up to 8 bits of a bit string from bit n, least significant first; bytes at
// or beyond `size` read as 0.
std::uint32_t read_bits8(const std::uint8_t* bits, std::uint32_t size, std::uint32_t n) {
    const std::uint32_t byte = n / 8;
    const std::uint32_t lo = byte < size ? bits[byte] : 0u;
    const std::uint32_t hi = byte + 1 < size ? bits[byte + 1] : 0u;
    return ((lo | hi << 8) >> (n % 8)) & 0xFFu;
}

// Writes the low `count` (1..8) bits of v at bit n; bytes at or beyond `size`
// are left alone.
void write_bits(std::uint8_t* buf, std::uint32_t size, std::uint32_t n, std::uint32_t v,
                std::uint32_t count) {
    const std::uint32_t byte = n / 8;
    const std::uint32_t mask = ((1u << count) - 1u) << (n % 8);
    const std::uint32_t val = (v << (n % 8)) & mask;
    if (byte < size) buf[byte] = static_cast<std::uint8_t>((buf[byte] & ~mask) | val);
    if ((mask >> 8) != 0 && byte + 1 < size)
        buf[byte + 1] = static_cast<std::uint8_t>((buf[byte + 1] & ~(mask >> 8)) | (val >> 8));
}

}  // namespace

void FillRowHByte(std::uint16_t x1, std::uint16_t x2, std::uint16_t y, std::uint16_t color,
                  std::uint8_t* buf, std::uint32_t size) {
    if (buf == nullptr || x2 < x1) {
        return;
    }
    const std::uint32_t v = color != 0 ? 0xFFu : 0u;
    std::uint32_t n = bit_index(x1, y);
    std::uint32_t left = std::uint32_t{x2} - x1 + 1;
    // Bits up to the next byte boundary, whole bytes, then the rest.
    if (n % 8 != 0) {
        const std::uint32_t head = 8 - n % 8 < left ? 8 - n % 8 : left;
        write_bits(buf, size, n, v, head);
        n += head;
        left -= head;
    }
    for (; left >= 8 && n / 8 < size; n += 8, left -= 8) buf[n / 8] = static_cast<std::uint8_t>(v);
    if (left >= 8) return;  // the rest lies beyond `size`
    if (left > 0) write_bits(buf, size, n, v, left);
}

void CopyRowHByte(std::uint16_t x, std::uint16_t y, std::uint32_t count, const std::uint8_t* bits,
                  std::uint32_t bits_size, std::uint32_t n, std::uint8_t* buf, std::uint32_t size) {
    if (buf == nullptr) {
        return;
    }
    std::uint32_t to = bit_index(x, y);
    while (count > 0) {
        const std::uint32_t chunk = count < 8 ? count : 8;
        write_bits(buf, size, to, bits == nullptr ? 0u : read_bits8(bits, bits_size, n), chunk);
        to += chunk;
        n += chunk;
        count -= chunk;
    }
}

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

void FillRow(std::uint16_t x1, std::uint16_t x2, std::uint16_t y, std::uint16_t color,
             std::uint8_t* buf, std::uint32_t size) {
    FillRowHByte(x1, x2, y, color, buf, size);
}

void CopyRow(std::uint16_t x, std::uint16_t y, std::uint32_t count, const std::uint8_t* bits,
             std::uint32_t bits_size, std::uint32_t n, std::uint8_t* buf, std::uint32_t size) {
    CopyRowHByte(x, y, count, bits, bits_size, n, buf, size);
}

int test_bit(std::uint32_t n, const std::uint8_t* bits, std::uint32_t size) {
    if (bits == nullptr || n / 8 >= size) {
        return 0;
    }
    return (bits[n / 8] >> (n % 8)) & 1;
}
