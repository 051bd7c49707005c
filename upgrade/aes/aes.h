// aes: the header descrambler of ROM packages.
//
// Despite its name this is not a block cipher: a fixed byte substitution followed
// by a left rotation. The substitution table is data shared by every tool that
// writes packages for this system: g_aes_decrypt[x] = ((x ^ 0x5A) * 149 + 60) & 0xFF.
// It is a permutation; its inverse scrambles (the package builder derives it).
#pragma once

#include <cstdint>

// The fixed substitution table applied by aes_decrypt.
extern const uint8_t g_aes_decrypt[256];

// Descrambles `len` bytes of `src` into `dst` (the two may be the same buffer):
// dst[i] = g_aes_decrypt[src[i]] for every i, then the `len` bytes of dst are
// rotated left by one byte (first byte to the end), key[0] % len times.
// Only the first byte of `key` is read. A `len` of 0 does nothing.
// Returns 0 always.
int aes_decrypt(const uint8_t* key, uint8_t* dst, uint32_t len, const uint8_t* src);
