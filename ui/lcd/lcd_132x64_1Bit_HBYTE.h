// The panel's bit layer: where pixel (x, y) lives in a picture.
//
// HBYTE order, shared by the off-screen picture, the device frame buffer and
// every bitmap of the system: pixel (x, y) of a 132-pixel-wide picture is bit
// n = y * 132 + x of one continuous bit string, in byte n / 8 at bit n % 8 (bit 0
// the least significant). Rows are not padded: row 1 starts at bit 4 of byte 16.
// x is not checked against 132: x = 132 addresses pixel (0, y + 1).
//
// The drawing primitives call only the generic SetBit / ClearBit / GetBit, so a
// panel with another bit order needs only another bit layer.
#pragma once

#include <cstdint>

// Set or clear the pixel's bit; nothing happens when buf is null or the byte
// lies at or beyond `size`.
void SetBitHByte(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size);
void ClearBitHByte(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size);
// The pixel's bit, 0 or 1. 0 for a null buf; 0 and an error log line
// "GetBitHByte failed: byte_offset = <n/8>, size = <size>" when the byte lies
// at or beyond `size`.
int GetBitHByte(std::uint16_t x, std::uint16_t y, const std::uint8_t* buf, std::uint32_t size);

// Runs of pixels on one row, up to eight at a time, for fills and icons (a
// per-pixel loop made a screen cost several hundred thousand instructions).
// Both give the same picture as SetBit / ClearBit pixel by pixel: nothing
// happens when buf is null, and bytes at or beyond `size` are left alone.
// Pixels x1..x2 of row y, both included, set (color != 0) or cleared; nothing
// when x2 < x1.
void FillRowHByte(std::uint16_t x1, std::uint16_t x2, std::uint16_t y, std::uint16_t color,
                  std::uint8_t* buf, std::uint32_t size);
// `count` pixels of row y from column x take bits n, n+1, ... of a bitmap, read
// as test_bit reads them (0 for a null bitmap or beyond `bits_size` bytes).
void CopyRowHByte(std::uint16_t x, std::uint16_t y, std::uint32_t count, const std::uint8_t* bits,
                  std::uint32_t bits_size, std::uint32_t n, std::uint8_t* buf, std::uint32_t size);

// The generic names the primitives use; they forward to the HBYTE functions.
void SetBit(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size);
void ClearBit(std::uint16_t x, std::uint16_t y, std::uint8_t* buf, std::uint32_t size);
int GetBit(std::uint16_t x, std::uint16_t y, const std::uint8_t* buf, std::uint32_t size);
void FillRow(std::uint16_t x1, std::uint16_t x2, std::uint16_t y, std::uint16_t color,
             std::uint8_t* buf, std::uint32_t size);
void CopyRow(std::uint16_t x, std::uint16_t y, std::uint32_t count, const std::uint8_t* bits,
             std::uint32_t bits_size, std::uint32_t n, std::uint8_t* buf, std::uint32_t size);

// Bit n of a bitmap in HBYTE order (byte n / 8, bit n % 8); 0 when bits is null
// or the byte lies at or beyond `size`. Used for glyphs and icons.
int test_bit(std::uint32_t n, const std::uint8_t* bits, std::uint32_t size);
