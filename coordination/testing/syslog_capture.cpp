#include "syslog_capture.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "private_ns.h"
#include "temp_dir.h"

namespace {

// Splits a record "<PRI>Mmm dd hh:mm:ss TAG: MESSAGE" as the C library's syslog
// writes it. Returns false when the text has no such shape.
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

}  // namespace

std::vector<std::string> SyslogCapture::messages() const {
    std::vector<std::string> out;
    for (const SyslogRecord& r : records) out.push_back(r.message);
    return out;
}

// The body's process logs through a /dev/log linked to a socket of this
// process in a scratch folder; this process drains it (its queue is short)
// until the body's process has ended.
SyslogCapture run_capturing_syslog(const std::function<void()>& body, int timeout_seconds) {
    SyslogCapture result;
    TempDir dir("syslog");
    const std::string sink = dir.file("log");
    if (!coord_testing::SyslogListen(sink.c_str())) {
        result.error = "cannot bind a log socket at " + sink;
        return result;
    }
    fflush(nullptr);
    result.pid = fork();
    if (result.pid == 0) {
        coord_testing::EnterNamespaces(coord_testing::kCaptureSyslog, sink.c_str());
        body();
        fflush(nullptr);
        _exit(0);
    }
    result.ok = result.pid > 0;
    for (const time_t start = time(nullptr); result.ok && waitpid(result.pid, &result.wait_status, WNOHANG) == 0;) {
        coord_testing::SyslogLines();
        if (!result.timed_out && time(nullptr) - start >= timeout_seconds) {
            result.timed_out = kill(result.pid, SIGKILL) == 0;
        }
        usleep(20 * 1000);
    }
    if (!result.ok) result.error = "fork failed";
    result.records = SyslogRecords();
    coord_testing::SyslogListen(nullptr);
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

std::string rl_log_expected_prefix(const std::string& module, int pid, int tid, int level) {
    return module + " pid" + std::to_string(pid) + ",tid" + std::to_string(tid) + ",l" +
           std::to_string(level) + ": ";
}
