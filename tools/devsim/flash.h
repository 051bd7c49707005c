// The device's NOR flash: one 8 MiB chip at 0x90000000 with 64 KiB erase
// blocks, seen through the partition windows mtd0..mtd8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config.h"

namespace devsim {

inline constexpr uint32_t kFlashBase = 0x90000000u;
inline constexpr uint32_t kFlashSize = 8u << 20;
inline constexpr uint32_t kEraseBlock = 0x10000u;
inline constexpr int kPartitions = 9;
inline constexpr uint32_t kWeakStride = 256;  // a weak write skips every 256th byte

struct Window {
  uint32_t start = 0;  // flash address; start == end: no partition
  uint32_t end = 0;
  uint32_t size() const { return end - start; }
};

// Parses a bootloader "start,end" value (hex); false when it does not name
// a range inside the chip.
bool ParseWindow(const std::string& value, Window* out);

// What the chip did in one window, for result.json's "flash_ops".
struct FlashOps {
  bool opened = false;  // some request reached the window
  uint64_t erases = 0;  // 64 KiB blocks erased
  uint64_t writes = 0;  // write requests that stored bytes
  uint64_t bytes_written = 0;
  uint64_t bytes_read = 0;
  int64_t first_erase_ms = -1;  // on the run's clock, when the chip took them; -1: none
  int64_t last_write_ms = -1;
};

class Flash {
 public:
  // Results are 0 or a count on success, -errno on failure.
  explicit Flash(const DeviceConfig& cfg);

  // Windows from the bootloader listing; flash files written at their start.
  // Returns false with `error` when a file does not fit its window.
  bool Load(const DeviceConfig& cfg, std::string* error);
  // The run's clock (milliseconds) for the times in FlashOps.
  void SetClock(std::function<int64_t()> now) { now_ = std::move(now); }

  // Each request marks the window opened and counts in its FlashOps.
  int64_t Info(int mtd);  // window size
  int Erase(int mtd, uint64_t start, uint64_t length);
  int64_t Write(int mtd, uint64_t offset, const uint8_t* data, uint32_t len);
  int64_t Read(int mtd, uint64_t offset, uint32_t len, std::vector<uint8_t>* out);
  int RepairCheck(int mtd) const;
  int AddrRepair(int mtd, uint64_t offset, uint64_t size);

  const std::vector<uint8_t>& chip() const { return chip_; }
  const Window& window(int mtd) const { return windows_[mtd]; }
  std::string WindowBytes(int mtd) const;
  const FlashOps& ops(int mtd) const { return ops_[mtd]; }

 private:
  bool Valid(int mtd) const { return mtd >= 0 && mtd < kPartitions; }
  bool Hits(const std::vector<BlockFault>& faults, int mtd, uint64_t offset, uint64_t len) const;
  // Removes and reports the first fault of `faults` that the range touches.
  bool TakeFault(std::vector<BlockFault>* faults, int mtd, uint64_t offset, uint64_t len);

  std::vector<uint8_t> chip_;
  Window windows_[kPartitions];
  bool repair_ = true;
  std::vector<BlockFault> erase_faults_, write_faults_;
  std::vector<BlockFault> short_write_faults_;  // each one is spent by the write it shortens
  std::vector<BlockFault> weak_write_faults_;   // spent by their first write unless `always`
  std::vector<int> info_faults_;
  FlashOps ops_[kPartitions];
  std::function<int64_t()> now_;
};

}  // namespace devsim
