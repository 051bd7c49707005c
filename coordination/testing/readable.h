// Readable test output: names for value-parameterised cases and short
// comparisons of large images.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// "<index>_<text>", every character of `text` other than a letter or digit
// turned into '_': gtest accepts only those in a name, and the index keeps
// cases with similar texts apart.
inline std::string ReadableName(size_t index, const std::string& text) {
    std::string name = std::to_string(index) + "_";
    for (char ch : text) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

// Offset of the first byte where `got` differs from `want` (also by length),
// or -1: keeps failure output short for whole partition images.
inline long FirstDiff(const std::string& got, const std::string& want) {
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i)
        if (got[i] != want[i]) return static_cast<long>(i);
    return got.size() == want.size() ? -1 : static_cast<long>(n);
}
