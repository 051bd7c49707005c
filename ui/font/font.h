// font: the one bitmap font of the user interface and its glyph lookup.
//
// ascii_12_Arial is a constant 7182-byte table: a 14-byte header of seven
// big-endian 16-bit fields (magic 0xE0E1, total size 7182, reserved 0xA220,
// first code 0, last code 255, record size 28, offset of the first record 14)
// and 256 glyph records of 28 bytes:
//   byte 0   width in pixels, also the advance (no extra spacing is added)
//   byte 1   height in rows (12 for every glyph)
//   byte 2.. bitmap, width*height bits row by row, rows unpadded, bit k in byte
//            k/8 at bit k%8 (the picture order of the drawing layer); unused
//            bytes are zero.
// Codes 0 to 31 are 7 wide (9, 10, 13 and 28 to 31 blank, the others an empty
// box), space is a blank 3, 33 to 127 a proportional 12-row font, 128 has its
// own 7-wide glyph.
#pragma once

#include <cstdint>

constexpr std::uint32_t FONT_TABLE_SIZE = 7182;
constexpr std::uint32_t FONT_HEADER_SIZE = 14;
constexpr std::uint32_t FONT_RECORD_SIZE = 28;
constexpr std::uint8_t FONT_HEIGHT = 12;
// Size limit the text functions pass to test_bit with a glyph's bitmap.
constexpr std::uint32_t FONT_BITMAP_LIMIT = 72;

// Offsets inside a glyph record.
constexpr std::uint32_t FONT_GLYPH_WIDTH = 0;
constexpr std::uint32_t FONT_GLYPH_HEIGHT = 1;
constexpr std::uint32_t FONT_GLYPH_BITMAP = 2;

// The table itself (bound to compile-time data built from the drawn glyphs).
extern const std::uint8_t (&ascii_12_Arial)[FONT_TABLE_SIZE];

// The value with its two bytes exchanged (a big-endian header field read on
// this little-endian processor).
std::uint16_t NTOHS(std::uint16_t v);

// The glyph record of character `ch` (a signed char widened to int); a value
// below 0 or above 128 gives the space record. `size` (the font size) is not
// used. Never null.
const std::uint8_t* font_get_data(int ch, std::uint8_t size);
