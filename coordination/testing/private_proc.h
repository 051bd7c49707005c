// A private /proc for programs that draw screens off the device (the UI tests,
// the docs' screen drawer and the screen benchmark).
//
// Every screen ends with a panel refresh that writes "/proc/glcd/refresh".
// EnterPrivateProc moves the calling process into its own mount namespace
// (inside a user namespace when it is not root) and covers /proc there with a
// scratch file system holding "/proc/glcd" and, when asked, an empty
// "/proc/glcd/refresh", so the refresh lands in a plain file and never
// reaches anything of the machine (without the file, a refresh fails). A procfs
// instance mounted inside keeps /proc/self, /proc/thread-self and
// /proc/<pid> working (the sanitizers read them). Call it while the process
// has one thread only. Returns false, with the reason printed, when the
// namespace cannot be made.
#pragma once

namespace uitest {

bool EnterPrivateProc(bool with_refresh_file = true);

}  // namespace uitest
