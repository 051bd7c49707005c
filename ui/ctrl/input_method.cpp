// The input methods of multi-tap entry and their letter lists.
#include "ctrl.h"

namespace {
constexpr const char* kSymbols = "*.!@$^-_+{}[]():;\"/,'<>~#";
}  // namespace

const char* const g_input_text[CTRL_INPUT_METHODS] = {"ABC", "abc", "123", "1Ab"};

// Rows: input method; columns: '0'..'9', '*', '#'.
const char* const g_input_char_list[CTRL_INPUT_METHODS][CTRL_INPUT_KEYS] = {
    {" 0", "1", "ABC", "DEF", "GHI", "JKL", "MNO", "PQRS", "TUV", "WXYZ", kSymbols, "#"},
    {" 0", "1", "abc", "def", "ghi", "jkl", "mno", "pqrs", "tuv", "wxyz", kSymbols, "#"},
    {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "*.:@-/", "#"},
    {"0 ", "1", "2abcABC", "3defDEF", "4ghiGHI", "5jklJKL", "6mnoMNO", "7pqrsPQRS", "8tuvTUV",
     "9wxyzWXYZ", kSymbols, "#"},
};

const char* ctrl_get_input_text(uint8_t method) {
    if (method >= CTRL_INPUT_METHODS) method = 1;
    return g_input_text[method];
}
