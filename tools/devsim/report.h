// `devsim report OUT_DIR -o FILE.html`: a recorded run as one web page.
#pragma once

#include <string>

namespace devsim {

// Writes one self-contained HTML file (pictures as data URIs, a small inline
// script, nothing fetched) that shows the run recorded in `out_dir`: the
// outcome and the device description, the LCD frames with a player, a map of
// the chip's 64 KiB blocks by window, the changed bootloader variables, the
// IPC messages, the misc requests and the syslog filterable by priority.
// Records that are missing are shown as such. Returns 0, or 1 with a message
// on stderr when `out_dir` holds no run or the file cannot be written.
int Report(const std::string& out_dir, const std::string& html_path);

}  // namespace devsim
