// The description of a simulated device: device.ini plus the command-line
// options that override it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace devsim {

struct BlockFault {
  int mtd = 0;
  int block = 0;        // 64 KiB block of the partition's window
  bool always = false;  // weak_write: every write touching the block, not only the first
};

struct KeyEvent {
  int code = 0;
  bool at_frame = false;  // true: after frame `when`; false: `when` device ms after start
  int64_t when = 0;
};

struct SemHold {
  uint32_t key = 0;
  double seconds = 0;  // device seconds; 0 = the whole run
};

struct DeviceConfig {
  std::string dir;  // the device directory
  // [device]
  std::string hwver = "53.2.0.0.5.0.0.0";
  std::string software = "1.2.3.4,20261206";
  bool kernel_mtd_repair = true;
  std::vector<int> listen = {1, 2, 3, 4, 5, 7, 8, 9, 10, 11};
  double speed = 1;
  double timeout = 300;
  std::vector<KeyEvent> keys;
  std::string argv0 = "/basic/bin/upgrader";
  // [bootloader], in listing order
  std::vector<std::pair<std::string, std::string>> bootloader;
  // [flash]
  uint8_t fill = 0xFF;
  double erase_ms = 0;    // time one 64 KiB block erase takes (divided by speed)
  double program_ms = 0;  // time programming 64 KiB takes (divided by speed)
  double read_ms = 0;     // time reading 64 KiB takes (divided by speed)
  std::map<int, std::string> flash_files;  // mtd index -> host path
  // [shm]
  std::string shm_rom;  // host path; empty: no segment
  int32_t shm_state = 0;
  uint32_t shm_key = 0xA130;
  // [semaphores]
  std::vector<SemHold> semaphores;
  // [faults]
  std::vector<BlockFault> erase_faults, write_faults, short_write_faults, weak_write_faults;
  std::vector<int> memgetinfo_faults;
  std::vector<int> short_read_faults;  // /dev/mtdblock/N: the first read pass ends at half the window
  std::vector<std::string> missing;
  std::string misc_fault;  // "", "fail" or "watchdog"
  bool killapps_fail = false;
  bool copy_bin_fail = false;
  bool tmp_full = false;
  // Command line.
  std::string rom_file;      // --rom: placed as /tmp/upgrade.rom
  std::string installer;     // --installer or <bin>/upgrader
  std::string exec_program;  // --exec
  bool argv0_given = false;  // --argv0 on the command line (also applies to --exec)
  bool has_args = false;
  std::vector<std::string> args;  // after --
};

// The bootloader listing a device gets when device.ini has no [bootloader].
std::vector<std::pair<std::string, std::string>> DefaultBootloader();

// Reads DIR/device.ini (a missing file is an empty description). On a bad
// entry returns false with `error` naming file, section and key.
bool LoadDevice(const std::string& dir, DeviceConfig* cfg, std::string* error);

// Parsers shared by device.ini and the command line; false on bad text.
bool ParseKeys(const std::string& text, std::vector<KeyEvent>* out);
bool ParseNumber(const std::string& text, double* out);
bool ParseInt(const std::string& text, int64_t* out);  // decimal or 0x hex

}  // namespace devsim
