// Bytes as lower-case hex, two digits a byte: how a run records frames and IPC
// bytes (devsim's records and the emulated machine's record channel alike).
#pragma once

#include <cstddef>
#include <string>

namespace devsim {

std::string Hex(const void* data, size_t len);

}  // namespace devsim
