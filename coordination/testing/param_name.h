// Test helper: a readable gtest parameter name made from a case's own text
// (its input or its label), so ctest lists e.g. "3_1_2_3_4" instead of raw bytes.
#pragma once

#include <string>
#include <string_view>

#include "readable.h"

namespace coord_testing {

// ReadableName with the text cut to 40 characters.
inline std::string ParamName(size_t index, std::string_view text) {
    return ReadableName(index, std::string(text.substr(0, 40)));
}

}  // namespace coord_testing
