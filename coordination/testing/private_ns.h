// Test helper: run a test body in a forked child inside private namespaces, so
// that fixed System V keys, /var/ipc and /dev/log are the child's own and the
// machine's objects are never touched.
//
// Host-only test code: std::function, std::string and containers are fine.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace coord_testing {

enum : unsigned {
    kPrivateIpc = 1u << 0,     // fresh System V IPC namespace (no semaphores, no segments)
    kPrivateVar = 1u << 1,     // private mount namespace with an empty tmpfs on /var
    kCaptureSyslog = 1u << 2,  // private mount namespace, tmpfs on /dev, /dev/log captured
};

// Runs `body` in a forked child that first entered the namespaces named by
// `flags`. gtest assertions inside `body` count in the child: the child exits 1
// when the current test has a failure, and the child is killed after 60 s.
// Returns true when the child exited 0. Use: EXPECT_TRUE(RunIsolated(...)).
bool RunIsolated(unsigned flags, const std::function<void()>& body);

// Moves the calling process into the namespaces named by `flags`, as
// RunIsolated's child does before its body; exits with status 3 when that
// fails. With `sink`, kCaptureSyslog links /dev/log to the socket another
// process bound at that path (SyslogListen) instead of capturing here.
void EnterNamespaces(unsigned flags, const char* sink = nullptr);

// Receives syslog messages on a datagram socket bound at `path` (replacing
// the one before and the messages it received; null: none). False when the
// socket cannot be bound.
bool SyslogListen(const char* path);

// Runs `body` in a forked child of the caller (inheriting its namespaces) and
// returns the child's exit status, or -1 when it did not exit normally.
int RunChild(const std::function<int()>& body);

// Inside a kCaptureSyslog child (or after SyslogListen): every syslog message
// received so far.
std::vector<std::string> SyslogLines();
// True when a received message contains `text`; waits up to `wait_ms` for
// messages still on their way (a reader thread logs asynchronously).
bool SyslogContains(const std::string& text, int wait_ms = 0);
// Forgets the messages received so far.
void SyslogClear();

}  // namespace coord_testing
