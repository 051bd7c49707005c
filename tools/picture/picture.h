// The LCD picture format: 132 x 64 pixels, one bit each, pixel (x, y) is bit
// y * 132 + x of the byte string, least significant bit first (1056 bytes).
// Converts such a frame to text art and to PNG.
#pragma once

#include <cstdint>
#include <string>

namespace picture {

inline constexpr int kWidth = 132;
inline constexpr int kHeight = 64;
inline constexpr int kFrameBytes = kWidth * kHeight / 8;

// True when pixel (x, y) of the frame is set; false outside the picture.
bool Pixel(const uint8_t* frame, int x, int y);

// 64 lines of 132 characters, '#' for a set pixel and '.' for a clear one,
// each line ending in '\n'.
std::string ToText(const uint8_t* frame);

// The inverse of ToText ('#' sets a pixel, anything else clears it; missing
// lines and columns stay clear). `frame` receives kFrameBytes bytes.
void FromText(const std::string& text, uint8_t* frame);

// The frame as the bytes of an 8-bit grey PNG, a set pixel dark (0x20 on
// 0xD8), each pixel as a scale x scale square. Returns false with `error` on
// failure (scale outside 1..16, libpng failure).
bool EncodePng(const uint8_t* frame, int scale, std::string* png, std::string* error);

// EncodePng into the file at `path`. Returns false with `error` on failure.
bool WritePng(const std::string& path, const uint8_t* frame, int scale, std::string* error);

// Reads a PNG written by WritePng (any scale) back into a frame: a pixel is
// set when its square's top-left sample is dark (below 0x80). Returns false
// with `error` for a file that is no PNG or not 132 x 64 times a scale.
bool ReadPng(const std::string& path, uint8_t* frame, std::string* error);

}  // namespace picture
