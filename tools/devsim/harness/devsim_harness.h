// devsim_harness: drive the simulated device from a host gtest binary.
//
// A Device owns a fresh device directory (device.ini + rootfs/) and an output
// directory under a short temporary path. Run() starts `devsim run DIR OUT ...`
// and loads what the run recorded; the accessors then read those records.
// Both directories are removed when the Device is destroyed, unless the
// environment variable DEVSIM_KEEP is set (then their path is printed).
//
// Host-only code: std::string, containers and iostreams are fine here.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace devsim {

// <build>/bin: where devsim, its shim, the installer and probe programs live.
// The environment variable DEVSIM_BIN_DIR overrides the built-in path.
std::string BinDir();

// What a run left of a System V object (result.json's "sysv"): a semaphore's
// value (of semaphore 0), or a segment's size.
struct SysvObject {
  bool exists = false;
  long value = 0;  // semaphore: 1 free, 0 taken; segment: size in bytes
};

// Every System V object a run left, by key as result.json writes it ("0xB012",
// "0xA130" ...): the phone's keys always, other keys when the run made them.
struct Sysv {
  std::map<std::string, SysvObject> semaphores;
  std::map<std::string, SysvObject> shm;
  // The entry of `key`; one that does not exist when the run did not record it.
  SysvObject Semaphore(const std::string& key) const;
  SysvObject Segment(const std::string& key) const;
};

// One window of result.json's "flash_ops".
struct FlashOps {
  long erases = 0;  // 64 KiB blocks erased
  long writes = 0;
  long bytes_written = 0;
  long bytes_read = 0;
};

// result.json of a run.
struct Result {
  std::string outcome;                        // "rebooted" "exited" "timeout" "crashed"
  std::optional<int> exit_status;             // the program's own exit status
  std::optional<int> signal;                  // signal that ended it
  std::optional<std::string> reboot_command;  // "/tmp/reboot" "reboot" ...
  int duration_ms = 0;
  int frames = 0;
  int killapps_runs = 0;
  Sysv sysv;  // read once every process of the device had ended
  std::map<std::string, FlashOps> flash_ops;  // "mtdN" -> what the chip did there
};

// One line of syslog.jsonl.
struct LogLine {
  int priority = 0;  // 0..7
  std::string message;  // text after the syslog header
};

// One line of ipc.jsonl. `data` holds the message's data bytes; a
// connection that sent a malformed message has only the receiver.
struct IpcRecord {
  int receiver = 0;  // listener id (the N of /var/ipc/N)
  int length = 0, msg = 0, sender = 0, wparam = 0, lparam = 0;
  std::string data;
  bool malformed = false;
};

// One line of misc.jsonl: a request on /dev/misc0.
struct MiscRecord {
  uint32_t request = 0;
  long value = 0;
  int result = 0;
};

class Device {
 public:
  // `name` only labels the temporary directories (keep it short).
  explicit Device(const std::string& name);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Replaces device.ini with this text.
  void Ini(const std::string& device_ini_text);
  // Writes rootfs/<device_path> (parents created) with the given mode.
  void File(const std::string& device_path, const std::string& bytes, int mode = 0644);
  // Writes a file beside device.ini (package, flash image ...); returns its
  // absolute path, usable in device.ini (relative names resolve there too)
  // and in options such as --rom.
  std::string HostFile(const std::string& name, const std::string& bytes);

  // Runs `devsim run DIR OUT options... [-- args...]` and returns devsim's exit
  // status (0: the run happened, 1: simulator failure, 2: bad device.ini).
  // On 0 the records are loaded; devsim's stderr is kept in Stderr().
  int Run(const std::vector<std::string>& options = {},
          const std::vector<std::string>& args = {});
  // Shorthand: Run({"--exec", program, options...}, args).
  int Exec(const std::string& program, const std::vector<std::string>& args = {},
           const std::vector<std::string>& options = {});

  // Runs a /bin/sh script (busybox sh of the device) inside the device.
  int Shell(const std::string& script, const std::vector<std::string>& options = {});

  const Result& result() const { return result_; }
  // The program's stdout and stderr (OUT/console.log).
  std::string Console() const;
  const std::string& Stderr() const { return stderr_; }

  std::vector<LogLine> Syslog() const;
  bool LogContains(const std::string& text) const;  // any message containing text
  std::vector<IpcRecord> Ipc() const;
  std::vector<MiscRecord> Misc() const;

  int FrameCount() const;
  // Frame n (1-based, as frames/NNNN.txt): 64 lines of 132 '#'/'.' joined
  // with '\n' (no trailing newline). Empty when the frame does not exist.
  std::string FrameText(int n) const;

  // env.txt's variables.
  std::string EnvValue(const std::string& name) const;  // "" when absent
  bool EnvHas(const std::string& name) const;

  std::string Flash() const;          // flash.img, the whole 8 MiB chip
  std::string Window(int mtd) const;  // bytes of mtdN's window as the run ended
  // mtdN's window (start, end addresses) as the run ended; (0, 0) when unlisted.
  std::pair<unsigned long, unsigned long> WindowRange(int mtd) const;

  // OUT/device/<path>: the device's /config and /tmp at the end.
  std::string DeviceFile(const std::string& path) const;
  bool DeviceFileExists(const std::string& path) const;

  std::string OutDir() const { return out_; }
  std::string Dir() const { return dir_; }

 private:
  std::string base_, dir_, out_;
  Result result_;
  std::string stderr_;
  std::optional<std::string> EnvLine(const std::string& name) const;  // value of a listed variable
};

std::string ReadFile(const std::string& path);  // "" when unreadable, for tests

}  // namespace devsim
