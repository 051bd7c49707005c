// Fuzz target: the hardware-version parser, on the text the device's version
// file gives (cut to 99 characters as the reader does). Checked: the result is
// 0 exactly when the text holds eight dot-separated pieces, nothing is written
// past the eight numbers, any sub-id is found among all sixteen, and an
// accepted version printed back as "a.b.c.d.e.f.g.h" parses to the same numbers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check_rules.h"
#include "fuzz_sandbox.h"

namespace {

// Pieces between runs of dots, counted independently of the parser.
int count_pieces(const char* s) {
    int n = 0;
    bool in_piece = false;
    for (; *s != '\0'; ++s) {
        if (*s == '.') {
            in_piece = false;
        } else if (!in_piece) {
            in_piece = true;
            ++n;
        }
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[HWVER_TEXT_SIZE];
    const size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
    memcpy(text, data, n);
    text[n] = '\0';

    uint8_t hw[HWVER_NUMBERS + 4];
    memset(hw, 0xEE, sizeof hw);
    const int ret = hwver_parse(text, hw);
    for (int i = HWVER_NUMBERS; i < HWVER_NUMBERS + 4; ++i)
        if (hw[i] != 0xEE) abort();
    const int pieces = count_pieces(text);
    if ((ret == 0) != (pieces == HWVER_NUMBERS)) abort();
    if (ret != 0) {
        if (ret >= 0) abort();
        // A refused text may have filled some numbers, but never more than eight.
        return 0;
    }

    char again[HWVER_TEXT_SIZE];
    snprintf(again, sizeof again, "%u.%u.%u.%u.%u.%u.%u.%u", hw[0], hw[1], hw[2], hw[3], hw[4], hw[5],
             hw[6], hw[7]);
    uint8_t hw2[HWVER_NUMBERS];
    if (hwver_parse(again, hw2) != 0 || memcmp(hw, hw2, sizeof hw2) != 0) abort();
    if (hw_sub_id_match(hw, reinterpret_cast<const uint8_t*>("\x00\x01\x02\x03\x04\x05\x06\x07"
                                                             "\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f")) != 0)
        abort();  // every sub-id is listed
    return 0;
}
