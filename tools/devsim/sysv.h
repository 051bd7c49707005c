// The System V objects a run leaves behind, as result.json's "sysv".
#pragma once

#include <nlohmann/json_fwd.hpp>

namespace devsim {

// The semaphores and shared segments of the calling process's IPC namespace:
// {"semaphores": {"0xB012": {"exists": true, "value": 1}, ...},
//  "shm": {"0xA130": {"exists": true, "size": 8388608}, ...}}.
// The phone's keys are always listed (absent ones with "exists": false and a
// null value or size), every other keyed object too; objects without a key
// (IPC_PRIVATE) are not. "value" is semaphore 0's; a set of several
// semaphores also gets "values", all of them in order. Called once the
// device's processes have ended, so that the undo records of their
// semaphore operations have been applied.
nlohmann::json SysvRecord();

}  // namespace devsim
