// Test helper: a readable gtest parameter name made from a case's own text
// (its input or its label), so ctest lists e.g. "3_1_2_3_4" instead of raw bytes.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace coord_testing {

// "<index>_<text>" with every character outside [A-Za-z0-9] as '_' and the
// text cut to 40 characters; the index keeps names of similar texts apart.
inline std::string ParamName(size_t index, std::string_view text) {
    std::string name = std::to_string(index) + "_";
    for (char c : text.substr(0, 40)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

}  // namespace coord_testing
