#include "private_proc.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace uitest {

namespace {

// Maps the caller's ids into a fresh user namespace (as its root).
bool WriteFile(const char* path, const char* text) {
    int fd = open(path, O_WRONLY);
    if (fd < 0) return false;
    const bool ok = write(fd, text, strlen(text)) == static_cast<ssize_t>(strlen(text));
    close(fd);
    return ok;
}

bool EnterNamespaces() {
    if (unshare(CLONE_NEWNS) == 0) return true;
    const unsigned uid = getuid();
    const unsigned gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    char map[64];
    snprintf(map, sizeof(map), "0 %u 1", uid);
    if (!WriteFile("/proc/self/uid_map", map)) return false;
    WriteFile("/proc/self/setgroups", "deny");
    snprintf(map, sizeof(map), "0 %u 1", gid);
    return WriteFile("/proc/self/gid_map", map);
}

}  // namespace

bool EnterPrivateProc(bool with_refresh_file) {
    char pid_link[32];
    char pid_target[32];
    snprintf(pid_link, sizeof(pid_link), "/proc/%d", static_cast<int>(getpid()));
    snprintf(pid_target, sizeof(pid_target), "real/%d", static_cast<int>(getpid()));
    const bool ok = EnterNamespaces() &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("uitest", "/proc", "tmpfs", 0, "size=64k,mode=755") == 0 &&
                    mkdir("/proc/real", 0755) == 0 &&
                    mount("proc", "/proc/real", "proc", 0, nullptr) == 0 &&
                    symlink("real/self", "/proc/self") == 0 &&
                    symlink("real/thread-self", "/proc/thread-self") == 0 &&
                    symlink(pid_target, pid_link) == 0 && mkdir("/proc/glcd", 0755) == 0;
    if (!ok) {
        fprintf(stderr, "cannot set up a private /proc: %s\n", strerror(errno));
        return false;
    }
    if (!with_refresh_file) return true;
    int fd = open("/proc/glcd/refresh", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

}  // namespace uitest
