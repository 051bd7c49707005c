#include "syslog_capture.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxRecord = 65536;

bool write_all(int fd, const void* data, size_t len) {
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        ssize_t n = write(fd, p, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, void* data, size_t len) {
    char* p = static_cast<char*>(data);
    while (len > 0) {
        ssize_t n = read(fd, p, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void write_blob(int fd, const std::string& s) {
    const uint32_t len = static_cast<uint32_t>(s.size());
    write_all(fd, &len, sizeof(len));
    write_all(fd, s.data(), s.size());
}

bool read_blob(int fd, std::string* s) {
    uint32_t len = 0;
    if (!read_all(fd, &len, sizeof(len)) || len > kMaxRecord) return false;
    s->assign(len, '\0');
    return len == 0 || read_all(fd, s->data(), len);
}

// Header the collector process sends ahead of the records.
struct ReportHeader {
    int32_t ok;
    int32_t pid;
    int32_t wait_status;
    int32_t timed_out;
};

[[noreturn]] void report_failure(int fd, const char* what) {
    const ReportHeader h{0, 0, 0, 0};
    write_all(fd, &h, sizeof(h));
    write_blob(fd, std::string(what) + ": " + strerror(errno));
    _exit(0);
}

// Moves every queued datagram of `sock` into `out`; waits up to `wait_ms` for
// the first one.
void drain(int sock, int wait_ms, std::vector<std::string>* out) {
    static char buf[kMaxRecord];
    pollfd p{sock, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return;
    for (;;) {
        ssize_t n = recv(sock, buf, sizeof(buf), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        out->emplace_back(buf, static_cast<size_t>(n));
    }
}

// The collector: private namespace, the socket, the body's process; reports
// through `fd` and exits.
[[noreturn]] void collector(int fd, const std::function<void()>& body, int timeout_seconds) {
    if (unshare(CLONE_NEWNS) != 0) report_failure(fd, "unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        report_failure(fd, "mount --make-rprivate /");
    if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID | MS_NOEXEC, "size=1m,mode=755") != 0)
        report_failure(fd, "mount tmpfs on /dev");
    const int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) report_failure(fd, "socket");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, "/dev/log");
    if (bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        report_failure(fd, "bind /dev/log");
    const int rcvbuf = 4 << 20;
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof(rcvbuf));

    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) report_failure(fd, "fork");
    if (pid == 0) {
        close(sock);
        close(fd);
        body();
        fflush(nullptr);
        _exit(0);
    }

    std::vector<std::string> records;
    int status = 0;
    bool timed_out = false;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        drain(sock, 20, &records);
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) report_failure(fd, "waitpid");
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (!timed_out && now.tv_sec - start.tv_sec >= timeout_seconds) {
            timed_out = true;
            kill(pid, SIGKILL);
        }
    }
    // Records sent just before the exit may still be queued.
    drain(sock, 0, &records);

    const ReportHeader h{1, pid, status, timed_out ? 1 : 0};
    write_all(fd, &h, sizeof(h));
    write_blob(fd, std::string());
    for (const std::string& r : records) write_blob(fd, r);
    _exit(0);
}

}  // namespace

std::vector<std::string> SyslogCapture::messages() const {
    std::vector<std::string> out;
    for (const SyslogRecord& r : records) out.push_back(r.message);
    return out;
}

SyslogCapture run_capturing_syslog(const std::function<void()>& body, int timeout_seconds) {
    SyslogCapture result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        result.error = std::string("pipe: ") + strerror(errno);
        return result;
    }
    fflush(nullptr);
    const pid_t collector_pid = fork();
    if (collector_pid < 0) {
        result.error = std::string("fork: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    if (collector_pid == 0) {
        close(fds[0]);
        collector(fds[1], body, timeout_seconds);
    }
    close(fds[1]);

    ReportHeader h{};
    if (!read_all(fds[0], &h, sizeof(h)) || !read_blob(fds[0], &result.error)) {
        result.error = "the collector process sent no report";
    } else {
        result.ok = h.ok != 0;
        result.pid = h.pid;
        result.wait_status = h.wait_status;
        result.timed_out = h.timed_out != 0;
        std::string raw;
        while (read_blob(fds[0], &raw)) {
            SyslogRecord rec;
            if (!parse_syslog_record(raw, &rec)) rec.raw = raw;
            result.records.push_back(rec);
        }
    }
    close(fds[0]);
    int st = 0;
    while (waitpid(collector_pid, &st, 0) < 0 && errno == EINTR) {
    }
    return result;
}

bool parse_syslog_record(const std::string& raw, SyslogRecord* out) {
    // "<PRI>" + "Mmm dd hh:mm:ss" (15 characters) + " " + TAG + ": " + MESSAGE
    out->raw = raw;
    if (raw.size() < 2 || raw[0] != '<') return false;
    const size_t close_pos = raw.find('>');
    if (close_pos == std::string::npos || close_pos < 2 || close_pos > 4) return false;
    int pri = 0;
    for (size_t i = 1; i < close_pos; ++i) {
        if (raw[i] < '0' || raw[i] > '9') return false;
        pri = pri * 10 + (raw[i] - '0');
    }
    const size_t tag_pos = close_pos + 1 + 16;
    if (raw.size() < tag_pos || raw[tag_pos - 1] != ' ') return false;
    const size_t sep = raw.find(": ", tag_pos);
    if (sep == std::string::npos) return false;
    out->priority = pri;
    out->tag = raw.substr(tag_pos, sep - tag_pos);
    out->message = raw.substr(sep + 2);
    return true;
}

std::string rl_log_expected_prefix(const std::string& module, int pid, int tid, int level) {
    char buf[128];
    snprintf(buf, sizeof(buf), "%s pid%d,tid%d,l%d: ", module.c_str(), pid, tid, level);
    return buf;
}
