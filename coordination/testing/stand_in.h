// Test helpers for stand-in devices inside an isolated child (private /dev,
// see coord_testing::RunIsolated): files, character devices and a check for
// descriptors left open (a private /proc: uitest::EnterPrivateProc).
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <syslog.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

namespace display_testing {

inline std::string ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const char* path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A character device node: (1, 3) the null device (no ioctls, no mapping),
// (1, 7) the full device (every write fails). True when made.
inline bool CharDevice(const char* path, unsigned minor) {
    return mknod(path, S_IFCHR | 0666, makedev(1, minor)) == 0;
}

// The lowest free descriptor: it moves when a call leaves one open. The log
// connection is made first, so its own descriptor does not count.
inline int LowestFreeFd() {
    syslog(LOG_DEBUG, "descriptor probe");
    const int fd = dup(0);
    close(fd);
    return fd;
}

}  // namespace display_testing
