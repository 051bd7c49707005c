// The device's NOR flash: one 8 MiB chip at 0x90000000 with 64 KiB erase
// blocks, seen through the partition windows mtd0..mtd8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config.h"

namespace devsim {

inline constexpr uint32_t kFlashBase = 0x90000000u;
inline constexpr uint32_t kFlashSize = 8u << 20;
inline constexpr uint32_t kEraseBlock = 0x10000u;
inline constexpr int kPartitions = 9;

struct Window {
  uint32_t start = 0;  // flash address; start == end: no partition
  uint32_t end = 0;
  uint32_t size() const { return end - start; }
};

// Parses a bootloader "start,end" value (hex); false when it does not name
// a range inside the chip.
bool ParseWindow(const std::string& value, Window* out);

class Flash {
 public:
  // Results are 0 or a count on success, -errno on failure.
  explicit Flash(const DeviceConfig& cfg);

  // Windows from the bootloader listing; flash files written at their start.
  // Returns false with `error` when a file does not fit its window.
  bool Load(const DeviceConfig& cfg, std::string* error);

  int64_t Info(int mtd) const;  // window size
  int Erase(int mtd, uint64_t start, uint64_t length);
  int64_t Write(int mtd, uint64_t offset, const uint8_t* data, uint32_t len);
  int64_t Read(int mtd, uint64_t offset, uint32_t len, std::vector<uint8_t>* out) const;
  int RepairCheck(int mtd) const;
  int AddrRepair(int mtd, uint64_t offset, uint64_t size);

  const std::vector<uint8_t>& chip() const { return chip_; }
  const Window& window(int mtd) const { return windows_[mtd]; }
  std::string WindowBytes(int mtd) const;

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
  std::vector<int> info_faults_;
};

}  // namespace devsim
