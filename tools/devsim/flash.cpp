// NOR physics of the simulated chip: erase sets a block to 0xFF, programming
// can only clear bits, every access stays inside its partition window.
#include "flash.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace devsim {

bool ParseWindow(const std::string& value, Window* out) {
  unsigned int start = 0, end = 0;
  char tail = 0;
  if (std::sscanf(value.c_str(), " %x , %x %c", &start, &end, &tail) != 2) return false;
  if (start < kFlashBase || end <= start || end > kFlashBase + kFlashSize) return false;
  out->start = start;
  out->end = end;
  return true;
}

Flash::Flash(const DeviceConfig& cfg)
    : chip_(kFlashSize, cfg.fill),
      repair_(cfg.kernel_mtd_repair),
      erase_faults_(cfg.erase_faults),
      write_faults_(cfg.write_faults),
      short_write_faults_(cfg.short_write_faults),
      weak_write_faults_(cfg.weak_write_faults),
      info_faults_(cfg.memgetinfo_faults) {}

bool Flash::Load(const DeviceConfig& cfg, std::string* error) {
  for (const auto& [name, value] : cfg.bootloader) {
    if (name.size() == 4 && name.compare(0, 3, "mtd") == 0 && name[3] >= '0' && name[3] <= '8') {
      Window w;
      if (ParseWindow(value, &w)) windows_[name[3] - '0'] = w;
    }
  }
  for (const auto& [mtd, path] : cfg.flash_files) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Window& w = windows_[mtd];
    if (bytes.size() > w.size()) {
      *error = "device.ini: [flash] mtd" + std::to_string(mtd) + ": " + path + " (" +
               std::to_string(bytes.size()) + " bytes) does not fit the partition window (" +
               std::to_string(w.size()) + " bytes)";
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), chip_.begin() + (w.start - kFlashBase));
  }
  return true;
}

bool Flash::Hits(const std::vector<BlockFault>& faults, int mtd, uint64_t offset, uint64_t len) const {
  if (len == 0) return false;
  uint64_t first = offset / kEraseBlock, last = (offset + len - 1) / kEraseBlock;
  for (const BlockFault& f : faults) {
    if (f.mtd == mtd && static_cast<uint64_t>(f.block) >= first && static_cast<uint64_t>(f.block) <= last) {
      return true;
    }
  }
  return false;
}

bool Flash::TakeFault(std::vector<BlockFault>* faults, int mtd, uint64_t offset, uint64_t len) {
  for (auto it = faults->begin(); it != faults->end(); ++it) {
    if (Hits({*it}, mtd, offset, len)) {
      faults->erase(it);
      return true;
    }
  }
  return false;
}

int64_t Flash::Info(int mtd) {
  if (!Valid(mtd)) return -ENODEV;
  ops_[mtd].opened = true;
  for (int f : info_faults_) {
    if (f == mtd) return -EIO;
  }
  return windows_[mtd].size();
}

int Flash::Erase(int mtd, uint64_t start, uint64_t length) {
  if (!Valid(mtd)) return -ENODEV;
  ops_[mtd].opened = true;
  const Window& w = windows_[mtd];
  if (length == 0 || start % kEraseBlock != 0 || length % kEraseBlock != 0 ||
      start + length > w.size()) {
    return -EINVAL;
  }
  if (Hits(erase_faults_, mtd, start, length)) return -EIO;
  std::fill_n(chip_.begin() + (w.start - kFlashBase + start), length, 0xFF);
  ops_[mtd].erases += length / kEraseBlock;
  if (ops_[mtd].first_erase_ms < 0 && now_) ops_[mtd].first_erase_ms = now_();
  return 0;
}

int64_t Flash::Write(int mtd, uint64_t offset, const uint8_t* data, uint32_t len) {
  if (!Valid(mtd)) return -ENODEV;
  const Window& w = windows_[mtd];
  ops_[mtd].opened = true;
  if (len == 0) return 0;
  if (offset >= w.size()) return -ENOSPC;
  if (Hits(write_faults_, mtd, offset, len)) return -EIO;
  uint64_t n = std::min<uint64_t>(len, w.size() - offset);
  // A short write is a single event, as on a real chip: the first write
  // touching the block stores half, the writer goes on with the rest.
  if (TakeFault(&short_write_faults_, mtd, offset, n)) n = n / 2;
  // A weak write (a worn block) leaves every 256th byte of the window
  // unprogrammed and still reports success.
  bool weak = false;
  for (auto it = weak_write_faults_.begin(); it != weak_write_faults_.end() && !weak; ++it) {
    if (!Hits({*it}, mtd, offset, n)) continue;
    weak = true;
    if (!it->always) weak_write_faults_.erase(it);
  }
  uint8_t* p = chip_.data() + (w.start - kFlashBase + offset);
  for (uint64_t i = 0; i < n; ++i) {
    if (weak && (offset + i) % kWeakStride == 0) continue;
    p[i] &= data[i];  // programming clears bits only
  }
  ops_[mtd].writes += 1;
  ops_[mtd].bytes_written += n;
  if (now_) ops_[mtd].last_write_ms = now_();
  return static_cast<int64_t>(n);
}

int64_t Flash::Read(int mtd, uint64_t offset, uint32_t len, std::vector<uint8_t>* out) {
  if (!Valid(mtd)) return -ENODEV;
  const Window& w = windows_[mtd];
  ops_[mtd].opened = true;
  out->clear();
  if (offset >= w.size()) return 0;
  uint64_t n = std::min<uint64_t>(len, w.size() - offset);
  auto from = chip_.begin() + (w.start - kFlashBase + offset);
  out->assign(from, from + static_cast<long>(n));
  ops_[mtd].bytes_read += n;
  return static_cast<int64_t>(n);
}

int Flash::RepairCheck(int mtd) const {
  if (!Valid(mtd)) return -ENODEV;
  return repair_ ? 0 : -ENOTTY;
}

int Flash::AddrRepair(int mtd, uint64_t offset, uint64_t size) {
  if (!Valid(mtd)) return -ENODEV;
  if (!repair_) return -ENOTTY;
  if (size == 0 || offset % kEraseBlock != 0 || size % kEraseBlock != 0 || offset + size > kFlashSize) {
    return -EINVAL;
  }
  windows_[mtd].start = kFlashBase + static_cast<uint32_t>(offset);
  windows_[mtd].end = windows_[mtd].start + static_cast<uint32_t>(size);
  return 0;
}

std::string Flash::WindowBytes(int mtd) const {
  const Window& w = windows_[mtd];
  if (w.size() == 0) return "";
  auto from = chip_.begin() + (w.start - kFlashBase);
  return std::string(from, from + w.size());
}

}  // namespace devsim
