#include "fuzz_sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rl_log.h"

namespace {

[[noreturn]] void fail(const char* what) {
    fprintf(stderr, "fuzz sandbox: %s: %s\n", what, strerror(errno));
    abort();
}

void write_file(const char* path, const char* text) {
    const int fd = open(path, O_WRONLY);
    if (fd < 0) return;
    if (write(fd, text, strlen(text)) < 0) {
        // The map write decides below; nothing else to do here.
    }
    close(fd);
}

void enter_namespaces() {
    if (unshare(CLONE_NEWNS) == 0) return;
    const unsigned uid = getuid();
    const unsigned gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) fail("unshare");
    char map[64];
    snprintf(map, sizeof map, "0 %u 1", uid);
    write_file("/proc/self/uid_map", map);
    write_file("/proc/self/setgroups", "deny");
    snprintf(map, sizeof map, "0 %u 1", gid);
    write_file("/proc/self/gid_map", map);
}

void touch(const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) fail(path);
    close(fd);
}

void mount_tmpfs(const char* where) {
    if (mount("fuzz", where, "tmpfs", 0, "size=64m,mode=755") != 0) fail(where);
}

// The new /dev is assembled inside the scratch /proc and then moved into
// place, so the real nodes can still be bound into it.
void make_dev() {
    static const char* const kNodes[] = {"null", "zero", "random", "urandom"};
    if (mkdir("/proc/.dev", 0755) != 0) fail("mkdir /proc/.dev");
    mount_tmpfs("/proc/.dev");
    char src[64];
    char dst[64];
    for (const char* node : kNodes) {
        snprintf(src, sizeof src, "/dev/%s", node);
        snprintf(dst, sizeof dst, "/proc/.dev/%s", node);
        touch(dst);
        if (mount(src, dst, nullptr, MS_BIND, nullptr) != 0) fail(src);
    }
    for (int i = 0; i < 16; ++i) {
        snprintf(dst, sizeof dst, "/proc/.dev/mtd%d", i);
        touch(dst);
    }
    if (mount("/proc/.dev", "/dev", nullptr, MS_MOVE, nullptr) != 0) fail("move /dev");
}

// Runs on the scratch /proc mounted by fuzz_enter_sandbox.
void make_proc() {
    char link[32];
    char target[32];
    snprintf(link, sizeof link, "/proc/%d", static_cast<int>(getpid()));
    snprintf(target, sizeof target, "real/%d", static_cast<int>(getpid()));
    if (mkdir("/proc/real", 0755) != 0) fail("mkdir /proc/real");
    if (mount("proc", "/proc/real", "proc", 0, nullptr) != 0) fail("mount proc");
    if (symlink("real/self", "/proc/self") != 0 || symlink("real/thread-self", "/proc/thread-self") != 0 ||
        symlink(target, link) != 0)
        fail("proc links");
    if (mkdir("/proc/glcd", 0755) != 0) fail("mkdir /proc/glcd");
    touch("/proc/glcd/refresh");
}

}  // namespace

void fuzz_enter_sandbox() {
    enter_namespaces();
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("private /");
    // The pid is read before /proc is covered: getpid needs no /proc, but the
    // scratch /proc must exist before /dev is staged inside it.
    mount_tmpfs("/proc");
    make_dev();
    make_proc();
    // No shell inside: a command that product code might run fails instead of
    // running on this machine.
    if (mount("/dev/null", "/bin/sh", nullptr, MS_BIND, nullptr) != 0) fail("cover /bin/sh");
}

int fuzz_init() {
    fuzz_enter_sandbox();
    rl_log_init("fuzz", 7);
    return 0;
}
