// `devsim show OUT_DIR`: a readable summary of a recorded run.
#pragma once

#include <string>

namespace devsim {

// Prints outcome, frames as text art, broadcasts, changed variables and
// changed partitions to stdout. Returns 0, or 1 when OUT_DIR holds no run.
int Show(const std::string& out_dir);

}  // namespace devsim
