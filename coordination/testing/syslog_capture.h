// Test support: observe what really reaches the system logger.
//
// run_capturing_syslog() forks the body's own process into the capturing
// namespace of private_ns.h (a tmpfs over /dev whose /dev/log leads to a socket
// of the caller). Every record the body's process (and its threads and
// children) sends to the system logger is collected and handed back to the
// caller; the host's /dev and its logger are never touched.
//
// The body runs in a process of its own: global state it changes (the log
// facility's variables, signal actions) dies with it, so every capture starts
// from the test process's state. The body may end its process itself (_exit, a
// signal); otherwise its process exits with status 0 when the body returns.
// The test process must not hold the log facility open itself.
//
// Needs root (CAP_SYS_ADMIN) for the namespace; `ok` is false with a reason
// when the caller's set-up fails; a failed namespace ends the body's process
// with status 3 before the body runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct SyslogRecord {
    std::string raw;      // the datagram as sent, e.g. "<11>Dec  6 20:15:24 : msg"
    int priority = -1;    // the number between '<' and '>' (facility bits included)
    std::string tag;      // the syslog tag (ident) before ": "
    std::string message;  // the text after the tag's ": "
};

struct SyslogCapture {
    bool ok = false;          // socket and body process were set up
    std::string error;        // why not, when !ok
    int pid = 0;              // process id of the body's process
    int wait_status = 0;      // the body process's wait status
    bool timed_out = false;   // the body process was killed after the time limit
    std::vector<SyslogRecord> records;  // in arrival order

    // Messages of all records, in order (convenience for comparisons).
    std::vector<std::string> messages() const;
};

// Runs `body` in its own process inside a private namespace and collects what
// reaches /dev/log until that process has ended. A body still running after
// `timeout_seconds` is killed (timed_out set).
SyslogCapture run_capturing_syslog(const std::function<void()>& body, int timeout_seconds = 120);

// Inside a coord_testing::RunIsolated child with kCaptureSyslog: every record
// received so far, parsed (private_ns.h's SyslogLines gives the raw texts).
std::vector<SyslogRecord> SyslogRecords();

// The prefix the log facility puts before every message:
// "<module> pid<P>,tid<T>,l<L>: ".
std::string rl_log_expected_prefix(const std::string& module, int pid, int tid, int level);
