// Builds the font table at compile time from the drawn glyphs in
// ascii_12_Arial.glyphs. A malformed glyph block, a missing character or a
// width that differs from the font's width table stops the build.
#include <cstddef>
#include <string_view>
#include <utility>

#include "font.h"

namespace {

constexpr std::string_view kGlyphSource =
#include "ascii_12_Arial.glyphs"
    ;

constexpr std::uint32_t kCodes = 256;
constexpr std::uint32_t kMaxWidth = 9;
constexpr int kBoxCode = 0;
constexpr int kSpaceCode = 32;
constexpr int kLastDrawnCode = 128;
constexpr std::uint8_t kControlWidth = 7;

// Advance of codes 32 to 127: centring and scrolling depend on these exact values.
constexpr std::uint8_t kWidths[96] = {
    3, 3, 3, 5, 5, 8, 6, 2, 3, 3, 4, 5, 3, 5, 3, 3,  // 32..47
    5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 3, 3, 5, 5, 5, 5,  // 48..63
    9, 6, 6, 6, 6, 5, 5, 6, 6, 4, 5, 6, 5, 6, 6, 6,  // 64..79
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 3, 3, 3, 3, 5,  // 80..95
    3, 5, 5, 5, 5, 5, 4, 5, 5, 2, 3, 5, 2, 8, 5, 5,  // 96..111
    5, 5, 3, 5, 4, 5, 6, 6, 6, 6, 6, 3, 3, 3, 5, 5,  // 112..127
};

// Control codes drawn blank rather than as the box.
constexpr bool blank_control(int code) {
    return code == 9 || code == 10 || code == 13 || (code >= 28 && code <= 31);
}

struct FontImage {
    std::uint8_t bytes[FONT_TABLE_SIZE];
};

// Not constexpr: reaching it during the compile-time build is a compile error
// whose trace names the reason.
void glyph_source_error(const char* /*reason*/) {}

constexpr void put_be16(FontImage& font, std::uint32_t offset, std::uint16_t value) {
    font.bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    font.bytes[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

constexpr std::uint32_t record_of(std::uint32_t code) {
    return FONT_HEADER_SIZE + code * FONT_RECORD_SIZE;
}

// Splits the source into lines, one at a time.
struct LineReader {
    std::string_view text;
    std::size_t pos = 0;

    constexpr bool done() const { return pos >= text.size(); }
    constexpr std::string_view next() {
        const std::size_t end = text.find('\n', pos);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        const std::string_view line = text.substr(pos, stop - pos);
        pos = stop + 1;
        return line;
    }
};

constexpr int parse_code(std::string_view header) {
    int code = 0;
    std::size_t i = 1;  // after '@'
    if (i >= header.size() || header[i] < '0' || header[i] > '9') {
        glyph_source_error("glyph header without a code");
    }
    for (; i < header.size() && header[i] >= '0' && header[i] <= '9'; ++i) {
        code = code * 10 + (header[i] - '0');
    }
    if (code >= static_cast<int>(kCodes)) {
        glyph_source_error("glyph code above 255");
    }
    return code;
}

// Reads the 12 rows of one glyph into its record.
constexpr void parse_rows(FontImage& font, std::uint32_t code, LineReader& reader) {
    const std::uint32_t base = record_of(code);
    std::uint32_t width = 0;
    for (std::uint32_t row = 0; row < FONT_HEIGHT; ++row) {
        if (reader.done()) {
            glyph_source_error("glyph with fewer than 12 rows");
        }
        const std::string_view line = reader.next();
        if (row == 0) {
            width = static_cast<std::uint32_t>(line.size());
            if (width == 0 || width > kMaxWidth) {
                glyph_source_error("glyph width outside 1..9");
            }
        } else if (line.size() != width) {
            glyph_source_error("glyph rows of different lengths");
        }
        for (std::uint32_t col = 0; col < width; ++col) {
            if (line[col] == '#') {
                const std::uint32_t bit = row * width + col;
                font.bytes[base + FONT_GLYPH_BITMAP + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            } else if (line[col] != '.') {
                glyph_source_error("glyph row with a character other than '#' and '.'");
            }
        }
    }
    font.bytes[base + FONT_GLYPH_WIDTH] = static_cast<std::uint8_t>(width);
    font.bytes[base + FONT_GLYPH_HEIGHT] = FONT_HEIGHT;
}

constexpr void copy_record(FontImage& font, std::uint32_t to, std::uint32_t from) {
    for (std::uint32_t i = 0; i < FONT_RECORD_SIZE; ++i) {
        font.bytes[record_of(to) + i] = font.bytes[record_of(from) + i];
    }
}

constexpr void blank_record(FontImage& font, std::uint32_t code, std::uint8_t width) {
    font.bytes[record_of(code) + FONT_GLYPH_WIDTH] = width;
    font.bytes[record_of(code) + FONT_GLYPH_HEIGHT] = FONT_HEIGHT;
}

constexpr FontImage build_font() {
    FontImage font{};
    put_be16(font, 0, 0xE0E1);
    put_be16(font, 2, FONT_TABLE_SIZE);
    put_be16(font, 4, 0xA220);
    put_be16(font, 6, 0);
    put_be16(font, 8, 255);
    put_be16(font, 10, FONT_RECORD_SIZE);
    put_be16(font, 12, FONT_HEADER_SIZE);

    bool drawn[kCodes]{};
    LineReader reader{kGlyphSource};
    while (!reader.done()) {
        const std::string_view line = reader.next();
        if (line.empty()) {
            continue;
        }
        if (line[0] != '@') {
            glyph_source_error("row outside a glyph block");
        }
        const int code = parse_code(line);
        if (drawn[code]) {
            glyph_source_error("glyph drawn twice");
        }
        drawn[code] = true;
        parse_rows(font, static_cast<std::uint32_t>(code), reader);
    }

    if (!drawn[kBoxCode] || font.bytes[record_of(kBoxCode)] != kControlWidth) {
        glyph_source_error("the box glyph (code 0) must be drawn 7 wide");
    }
    for (int code = kSpaceCode; code < kSpaceCode + 96; ++code) {
        if (!drawn[code] || font.bytes[record_of(code)] != kWidths[code - kSpaceCode]) {
            glyph_source_error("printable glyph missing or of the wrong width");
        }
    }
    if (!drawn[kLastDrawnCode] || font.bytes[record_of(kLastDrawnCode)] != kControlWidth) {
        glyph_source_error("code 128 must be drawn 7 wide");
    }
    for (int code = 1; code < kSpaceCode; ++code) {
        if (drawn[code]) {
            glyph_source_error("control codes come from the box glyph");
        }
        if (blank_control(code)) {
            blank_record(font, code, kControlWidth);
        } else {
            copy_record(font, code, kBoxCode);
        }
    }
    // The lookup never returns codes above 128; they hold the box.
    for (std::uint32_t code = kLastDrawnCode + 1; code < kCodes; ++code) {
        if (drawn[code]) {
            glyph_source_error("codes above 128 are not drawn");
        }
        copy_record(font, code, kBoxCode);
    }
    return font;
}

constexpr FontImage kFont = build_font();

// Spreads the compile-time image into a plain constant byte array.
template <std::size_t... I>
struct Table {
    static constexpr std::uint8_t bytes[sizeof...(I)] = {kFont.bytes[I]...};
};

template <std::size_t... I>
Table<I...> table_of(std::index_sequence<I...>);

using FontTable = decltype(table_of(std::make_index_sequence<FONT_TABLE_SIZE>{}));

}  // namespace

const std::uint8_t (&ascii_12_Arial)[FONT_TABLE_SIZE] = FontTable::bytes;
