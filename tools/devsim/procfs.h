// The device's /proc: a FUSE file system served from the supervisor's own
// poll loop. It holds the bootloader variable store (avalanche/env), the
// hardware and software version texts (misc/hwver, ver/software), the LCD
// refresh file (glcd/refresh) and, under .devsim/, the MTD block devices
// that /dev/mtdblock points to. Any other name is a link into the kernel's
// own proc mounted at `real_proc` (so /proc/self works).
//
// Every answer reports the exact content length with zero cache timeouts
// and direct I/O: busybox cat stops at the size getattr gives.
#pragma once

#include <functional>
#include <set>
#include <string>

struct fuse_session;

namespace devsim {

class EnvStore;
class Flash;

struct ProcfsState {
  EnvStore* env = nullptr;
  Flash* flash = nullptr;
  std::string hwver, software;
  std::set<std::string> hidden;  // paths below /proc that the device lacks, e.g. "misc/hwver"
  std::set<int> short_read;      // mtdblock numbers whose next read pass ends at half the window
  std::string real_proc;         // in-device path of the kernel's proc
  std::function<void()> on_refresh;  // a "1" was written to glcd/refresh
  std::function<void(const std::string&)> on_env_write;  // what was written to avalanche/env
};

class Procfs {
 public:
  explicit Procfs(ProcfsState* state) : state_(state) {}
  ~Procfs();
  // Mounts on `mountpoint` (the caller must be inside its mount namespace).
  bool Mount(const std::string& mountpoint, std::string* error);
  int fd() const;
  // Serves one request; call when fd() is readable. False once the session ended.
  bool Process();
  void Unmount();

 private:
  ProcfsState* state_;
  fuse_session* se_ = nullptr;
  void* ctx_ = nullptr;  // the tree and state the callbacks see
  bool mounted_ = false;
};

}  // namespace devsim
