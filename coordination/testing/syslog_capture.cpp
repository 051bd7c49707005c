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

// The collector's report travels through a scratch file both processes share:
// pid, wait status and time-out flag, then each record as <u32 length><bytes>.
void put(FILE* out, const std::string& s) {
    const uint32_t len = static_cast<uint32_t>(s.size());
    fwrite(&len, sizeof(len), 1, out);
    fwrite(s.data(), 1, s.size(), out);
}

bool get(FILE* in, std::string* s) {
    uint32_t len = 0;
    if (fread(&len, sizeof(len), 1, in) != 1) return false;
    s->assign(len, '\0');
    return len == 0 || fread(s->data(), len, 1, in) == 1;
}

// The collector: enters the capturing namespace, runs the body in a process of
// its own (draining the log socket meanwhile, whose queue is short), then
// writes its report.
[[noreturn]] void collector(FILE* report, const std::function<void()>& body, int timeout_seconds) {
    coord_testing::EnterNamespaces(coord_testing::kCaptureSyslog);
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        fflush(nullptr);
        _exit(0);
    }
    int32_t head[3] = {pid, 0, 0};  // pid, wait status, timed out
    for (const time_t start = time(nullptr); pid > 0 && waitpid(pid, &head[1], WNOHANG) == 0;) {
        coord_testing::SyslogLines();
        if (head[2] == 0 && time(nullptr) - start >= timeout_seconds) head[2] = kill(pid, SIGKILL) == 0;
        usleep(20 * 1000);
    }
    fwrite(head, sizeof(head), 1, report);
    for (const std::string& r : coord_testing::SyslogLines()) put(report, r);
    fflush(report);
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
    FILE* report = tmpfile();
    fflush(nullptr);
    const pid_t collector_pid = report != nullptr ? fork() : -1;
    if (collector_pid == 0) collector(report, body, timeout_seconds);
    if (collector_pid > 0) waitpid(collector_pid, nullptr, 0);
    int32_t head[3] = {};
    if (report != nullptr) rewind(report);
    if (collector_pid < 0 || fread(head, sizeof(head), 1, report) != 1 || head[0] <= 0) {
        result.error = "the collector process sent no report (namespace set-up failed?)";
    } else {
        result.ok = true;
        result.pid = head[0];
        result.wait_status = head[1];
        result.timed_out = head[2] != 0;
        for (std::string raw; get(report, &raw);) {
            result.records.emplace_back();
            parse_syslog_record(raw, &result.records.back());
        }
    }
    if (report != nullptr) fclose(report);
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
