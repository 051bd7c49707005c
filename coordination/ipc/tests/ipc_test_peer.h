// Raw peers for the IPC tests: a listener that records the bytes of each
// connection, a sender that writes arbitrary bytes in pieces, and a recording
// message handler. All paths are under the test's private /var.
#pragma once

#include <string>
#include <vector>

#include "ipc.h"

namespace ipc_test {

// Listens on /var/ipc/<id> (creating /var/ipc); returns the descriptor.
int ListenRaw(int id);
// Bytes of every connection already waiting on `fd` (none when nobody sent).
std::vector<std::string> AcceptPending(int fd);

// Connects to /var/ipc/<id> and writes `bytes` in pieces of `piece` bytes
// (pausing between pieces), then closes. False when the connect fails.
bool SendRaw(int id, const std::string& bytes, size_t piece = 0);

// A message laid out as on the wire (host byte order).
std::string Wire(int length, int msg, int sender, int wparam, int lparam,
                 const std::string& data = "");

// Handler that keeps a copy of each message's bytes.
int Record(const ipc_msg* msg, void* context);
struct Recorder;
Recorder* NewRecorder();
// Waits up to 5 s for at least `count` messages; returns what arrived.
std::vector<std::string> WaitMessages(Recorder* recorder, size_t count);

// Threads of this process, not counting the one qemu-user adds to emulated
// processes.
int ThreadCount();

// When >= 0, the next send() through libipc writes at most this many bytes.
extern int g_send_limit;

}  // namespace ipc_test
