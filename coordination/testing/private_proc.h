// A private /proc for programs that draw screens off the device (the UI tests
// and the docs' screen drawer).
//
// Every screen ends with a panel refresh that writes "/proc/glcd/refresh".
// EnterPrivateProc moves the calling process into its own mount namespace
// (inside a user namespace when it is not root) and covers /proc there with a
// scratch file system holding an empty "/proc/glcd/refresh", so the refresh
// lands in a plain file and never reaches anything of the machine. A procfs
// instance mounted inside keeps /proc/self, /proc/thread-self and
// /proc/<pid> working (the sanitizers read them). Call it while the process
// has one thread only. Returns false, with the reason printed, when the
// namespace cannot be made.
#pragma once

namespace uitest {

bool EnterPrivateProc();

}  // namespace uitest
