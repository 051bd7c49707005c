// What a run records in OUT_DIR while it runs: syslog.jsonl, ipc.jsonl,
// misc.jsonl and the captured frames (written out at the end).
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "hex.h"

namespace devsim {

struct Frame {
  int64_t t_ms = 0;
  std::vector<uint8_t> bytes;  // 1056 bytes
};

// A syslog datagram split into its parts; false when it has no "<PRI>".
struct SyslogLine {
  int priority = 0;
  int facility = 0;
  std::string message;
};
bool ParseSyslog(const std::string& datagram, SyslogLine* out);

// An IPC connection's bytes as a record; malformed when the length does not
// match what came or lies outside 20..2068.
std::string IpcJson(int64_t t_ms, int receiver, const std::string& bytes);

class Records {
 public:
  // Opens the jsonl files in out_dir (created by the caller).
  bool Open(const std::string& out_dir);
  void StartClock() { t0_ = std::chrono::steady_clock::now(); }
  int64_t NowMs() const;

  void Syslog(const std::string& datagram);
  void Ipc(int receiver, const std::string& bytes);
  void Misc(uint32_t request, int64_t value, int result);
  // Keeps a frame and writes its frames/NNNN.txt at once; returns its number.
  int AddFrame(const uint8_t* bytes, size_t len);

  // frames/NNNN.png and frames.txt (the text files are written as frames come).
  bool WriteFrames(std::string* error) const;
  int frame_count() const { return static_cast<int>(frames_.size()); }

 private:
  void Line(std::ofstream& out, const std::string& json);
  std::string out_;
  std::chrono::steady_clock::time_point t0_ = std::chrono::steady_clock::now();
  std::ofstream syslog_, ipc_, misc_;
  std::vector<Frame> frames_;
};

}  // namespace devsim
