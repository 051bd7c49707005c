#include "syslog_capture.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "private_ns.h"

namespace {

// Records travel from the collector to the caller as <u32 length><bytes>.
void write_blob(int fd, const std::string& s) {
    const uint32_t len = static_cast<uint32_t>(s.size());
    if (write(fd, &len, sizeof(len)) != sizeof(len)) return;
    for (size_t done = 0; done < s.size();) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

bool read_blob(FILE* in, std::string* s) {
    uint32_t len = 0;
    if (fread(&len, sizeof(len), 1, in) != 1) return false;
    s->assign(len, '\0');
    return len == 0 || fread(s->data(), len, 1, in) == 1;
}

// The collector: enters the capturing namespace, runs the body in a process of
// its own, then sends its pid, wait status, time-out flag and every record.
[[noreturn]] void collector(int fd, const std::function<void()>& body, int timeout_seconds) {
    coord_testing::EnterNamespaces(coord_testing::kCaptureSyslog);
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd);
        body();
        fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    bool timed_out = false;
    const time_t start = time(nullptr);
    while (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
        coord_testing::SyslogLines();  // keeps the socket's queue short
        if (!timed_out && time(nullptr) - start >= timeout_seconds) {
            timed_out = true;
            kill(pid, SIGKILL);
        }
        usleep(20 * 1000);
    }
    const int32_t head[4] = {pid > 0, pid, status, timed_out};
    write_blob(fd, std::string(reinterpret_cast<const char*>(head), sizeof(head)));
    for (const std::string& r : coord_testing::SyslogLines()) write_blob(fd, r);
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
    if (pipe(fds) != 0) {
        result.error = "pipe failed";
        return result;
    }
    fflush(nullptr);
    const pid_t collector_pid = fork();
    if (collector_pid == 0) {
        close(fds[0]);
        collector(fds[1], body, timeout_seconds);
    }
    close(fds[1]);
    FILE* in = fdopen(fds[0], "r");
    std::string head;
    int32_t h[4] = {};
    if (collector_pid < 0 || in == nullptr || !read_blob(in, &head) || head.size() != sizeof(h)) {
        result.error = "the collector process sent no report (namespace set-up failed?)";
    } else {
        memcpy(h, head.data(), sizeof(h));
        result.ok = h[0] != 0;
        result.pid = h[1];
        result.wait_status = h[2];
        result.timed_out = h[3] != 0;
        for (std::string raw; read_blob(in, &raw);) {
            SyslogRecord rec;
            parse_syslog_record(raw, &rec);
            result.records.push_back(rec);
        }
    }
    if (in != nullptr) fclose(in);
    else close(fds[0]);
    if (collector_pid > 0) waitpid(collector_pid, nullptr, 0);
    return result;
}

std::vector<SyslogRecord> SyslogRecords() {
    std::vector<SyslogRecord> out;
    for (const std::string& raw : coord_testing::SyslogLines()) {
        out.emplace_back();
        parse_syslog_record(raw, &out.back());
    }
    return out;
}

bool parse_syslog_record(const std::string& raw, SyslogRecord* out) {
    // "<PRI>" + "Mmm dd hh:mm:ss" (15 characters) + " " + TAG + ": " + MESSAGE
    out->raw = raw;
    int pri = -1;
    int end = 0;
    if (sscanf(raw.c_str(), "<%d>%n", &pri, &end) != 1 || end < 3 || end > 5) return false;
    const size_t tag_pos = static_cast<size_t>(end) + 16;
    const size_t sep = raw.find(": ", tag_pos);
    if (raw.size() < tag_pos || raw[tag_pos - 1] != ' ' || sep == std::string::npos) return false;
    out->priority = pri;
    out->tag = raw.substr(tag_pos, sep - tag_pos);
    out->message = raw.substr(sep + 2);
    return true;
}

std::string rl_log_expected_prefix(const std::string& module, int pid, int tid, int level) {
    return module + " pid" + std::to_string(pid) + ",tid" + std::to_string(tid) + ",l" +
           std::to_string(level) + ": ";
}
