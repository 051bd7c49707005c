// One run of the simulated device: builds it, starts the program inside,
// serves the device from one poll loop and writes OUT_DIR.
#pragma once

#include <string>

#include "config.h"

namespace devsim {

struct RunPaths {
  std::string work;     // short per-run work directory (removed by the caller)
  std::string out;      // OUT_DIR
  std::string bin_dir;  // devsim's own folder
};

// Runs the device in the calling process, which enters the namespaces (so
// the caller forks first). Returns devsim's exit status: 0 when the run
// happened, 1 when the simulator failed.
int RunDevice(const DeviceConfig& cfg, const RunPaths& paths);

}  // namespace devsim
