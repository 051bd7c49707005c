// The glyph lookup over ascii_12_Arial.
#include "font.h"

namespace {

constexpr int kSpace = 32;
constexpr int kLastCode = 128;

// A header field: two bytes, most significant first. The bytes are loaded as
// a little-endian word (what the processor reads) and turned with NTOHS.
std::uint16_t header_field(std::uint32_t offset) {
    const std::uint16_t as_loaded =
        static_cast<std::uint16_t>(ascii_12_Arial[offset] | (ascii_12_Arial[offset + 1] << 8));
    return NTOHS(as_loaded);
}

}  // namespace

std::uint16_t NTOHS(std::uint16_t v) {
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

const std::uint8_t* font_get_data(int ch, std::uint8_t /*size*/) {
    if (ch < 0 || ch > kLastCode) {
        ch = kSpace;
    }
    const std::uint32_t first = header_field(6);
    const std::uint32_t record_size = header_field(10);
    const std::uint32_t records = header_field(12);
    return ascii_12_Arial + (static_cast<std::uint32_t>(ch) - first) * record_size + records;
}
