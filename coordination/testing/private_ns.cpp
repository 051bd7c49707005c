#include "private_ns.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace coord_testing {
namespace {

constexpr unsigned kChildTimeLimitSeconds = 60;

int g_syslog_fd = -1;
std::vector<std::string> g_syslog_lines;

[[noreturn]] void die(const char* what) {
    fprintf(stderr, "private namespace setup: %s: %s\n", what, strerror(errno));
    _exit(3);
}

// A private tmpfs on /dev whose /dev/log is a datagram socket of this process
// or, given `sink`, a link to a socket bound there by another process: the C
// library's syslog sends there once its old connection is closed.
void capture_syslog(const char* sink) {
    if (mount("none", "/dev", "tmpfs", 0, "mode=0755") != 0) die("tmpfs on /dev");
    mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));  // for shell commands; optional
    if (sink != nullptr ? symlink(sink, "/dev/log") != 0 || !SyslogListen(nullptr) : !SyslogListen("/dev/log")) {
        die("socket at /dev/log");
    }
    closelog();
}

void drain_syslog() {
    if (g_syslog_fd < 0) return;
    char buf[8192];
    for (;;) {
        const ssize_t n = recv(g_syslog_fd, buf, sizeof(buf), MSG_DONTWAIT);
        if (n <= 0) return;
        g_syslog_lines.emplace_back(buf, static_cast<size_t>(n));
    }
}

}  // namespace

bool SyslogListen(const char* path) {
    if (g_syslog_fd >= 0) close(g_syslog_fd);
    g_syslog_fd = -1;
    g_syslog_lines.clear();
    if (path == nullptr) return true;
    g_syslog_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path);
    int size = 1 << 20;
    setsockopt(g_syslog_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    return bind(g_syslog_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

void EnterNamespaces(unsigned flags, const char* sink) {
    if ((flags & kPrivateIpc) != 0 && unshare(CLONE_NEWIPC) != 0) die("unshare(CLONE_NEWIPC)");
    if ((flags & (kPrivateVar | kCaptureSyslog)) == 0) return;
    if (unshare(CLONE_NEWNS) != 0) die("unshare(CLONE_NEWNS)");
    // Nothing mounted from here on may reach the machine's mount table.
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) die("make / private");
    if ((flags & kPrivateVar) != 0 && mount("none", "/var", "tmpfs", 0, "mode=0755") != 0) {
        die("tmpfs on /var");
    }
    if ((flags & kCaptureSyslog) != 0) capture_syslog(sink);
}

int RunChild(const std::function<int()>& body) {
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int rc = body();
        fflush(nullptr);
        _exit(rc);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunIsolated(unsigned flags, const std::function<void()>& body) {
    return RunChild([&] {
        alarm(kChildTimeLimitSeconds);
        EnterNamespaces(flags);
        body();
        return ::testing::Test::HasFailure() ? 1 : 0;
    }) == 0;
}

std::vector<std::string> SyslogLines() {
    drain_syslog();
    return g_syslog_lines;
}

bool SyslogContains(const std::string& text, int wait_ms) {
    for (int waited = 0;; waited += 10) {
        drain_syslog();
        for (const std::string& line : g_syslog_lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        if (waited >= wait_ms) return false;
        const timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

void SyslogClear() {
    drain_syslog();
    g_syslog_lines.clear();
}

}  // namespace coord_testing
