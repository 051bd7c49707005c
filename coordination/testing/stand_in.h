// Test helpers for stand-in devices inside an isolated child (private /dev,
// see coord_testing::RunIsolated): files, character devices, a private /proc
// with the LCD refresh file, and a check for descriptors left open.
#pragma once

#include <sys/mount.h>
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

// A writable tmpfs over /proc holding /proc/glcd (and an empty refresh file
// when asked). True when made.
inline bool ProcGlcd(bool with_refresh_file) {
    if (mount("none", "/proc", "tmpfs", 0, "mode=0755") != 0 || mkdir("/proc/glcd", 0755) != 0) {
        return false;
    }
    if (with_refresh_file) {
        WriteAll("/proc/glcd/refresh", "");
    }
    return true;
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
