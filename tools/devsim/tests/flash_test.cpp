// NOR physics and partition windows of the simulated chip.
#include <gtest/gtest.h>

#include <cerrno>

#include "flash.h"

namespace devsim {
namespace {

DeviceConfig Layout() {
  DeviceConfig c;
  c.bootloader = {{"mtd0", "0x90000000,0x90020000"},
                  {"mtd1", "0x90020000,0x90040000"},
                  {"mtd2", "0x907F0000,0x90800000"},
                  {"mtd3", "0x90050000,0x90040000"},   // end before start: no window
                  {"mtd4", "0x90000000,0x90800001"}};  // past the chip: no window
  return c;
}

// A flash loaded from the description; the test stops when loading fails.
#define LOADED(name, cfg) \
  Flash name(cfg);  \
  {                 \
    std::string load_error; \
    ASSERT_TRUE(name.Load(cfg, &load_error)) << load_error; \
  }

TEST(WindowTest, Parse) {
  const struct {
    const char* text;
    bool ok;
    uint32_t start, end;
  } cases[] = {
      {"0x90000000,0x90020000", true, 0x90000000, 0x90020000},
      {"90010000,90020000", true, 0x90010000, 0x90020000},
      {" 0x90000000 , 0x90800000", true, 0x90000000, 0x90800000},
      {"0x8FFF0000,0x90020000", false, 0, 0},
      {"0x90020000,0x90020000", false, 0, 0},
      {"0x90000000", false, 0, 0},
      {"0x90000000,0x90020000x", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const auto& c : cases) {
    Window w;
    EXPECT_EQ(ParseWindow(c.text, &w), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(w.start, c.start) << c.text;
      EXPECT_EQ(w.end, c.end) << c.text;
    }
  }
}

TEST(FlashTest, WindowsFromTheListing) {
  DeviceConfig c = Layout();
  LOADED(f, c)
  EXPECT_EQ(f.Info(0), 0x20000);
  EXPECT_EQ(f.Info(2), 0x10000);
  EXPECT_EQ(f.Info(3), 0);
  EXPECT_EQ(f.Info(4), 0);
  EXPECT_EQ(f.Info(9), -ENODEV);
  EXPECT_EQ(f.Write(3, 0, reinterpret_cast<const uint8_t*>("x"), 1), -ENOSPC);
}

TEST(FlashTest, ProgrammingOnlyClearsBits) {
  DeviceConfig c = Layout();
  c.fill = 0x0F;
  LOADED(f, c)
  const uint8_t data[] = {0xFF, 0x3C, 0x00};
  EXPECT_EQ(f.Write(1, 5, data, 3), 3);
  std::vector<uint8_t> out;
  EXPECT_EQ(f.Read(1, 4, 5, &out), 5);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x0F, 0x0F, 0x0C, 0x00, 0x0F}));
  EXPECT_EQ(f.Erase(1, 0, 0x10000), 0);
  f.Write(1, 5, data, 3);
  f.Read(1, 5, 3, &out);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0x3C, 0x00}));
  // mtd1 starts at chip offset 0x20000.
  EXPECT_EQ(f.chip()[0x20006], 0x3C);
  EXPECT_EQ(f.chip()[0x1FFFF], 0x0F);
}

TEST(FlashTest, EraseArguments) {
  DeviceConfig c = Layout();
  LOADED(f, c)
  const struct {
    uint64_t start, len;
    int result;
  } cases[] = {
      {0, 0x10000, 0},        {0x10000, 0x10000, 0},   {0, 0x20000, 0},
      {0x100, 0x10000, -EINVAL}, {0, 0x8000, -EINVAL}, {0x10000, 0x20000, -EINVAL},
      {0x20000, 0x10000, -EINVAL}, {0, 0, -EINVAL},
  };
  for (const auto& k : cases) EXPECT_EQ(f.Erase(0, k.start, k.len), k.result) << k.start << "+" << k.len;
}

TEST(FlashTest, WritesStopAtTheWindowEnd) {
  DeviceConfig c = Layout();
  c.fill = 0xFF;
  LOADED(f, c)
  std::vector<uint8_t> zeros(16, 0);
  EXPECT_EQ(f.Write(2, 0x10000 - 4, zeros.data(), 16), 4);
  EXPECT_EQ(f.Write(2, 0x10000, zeros.data(), 16), -ENOSPC);
  std::vector<uint8_t> out;
  EXPECT_EQ(f.Read(2, 0x10000 - 2, 16, &out), 2);
  EXPECT_EQ(f.Read(2, 0x10000, 16, &out), 0);
}

TEST(FlashTest, InjectedFaults) {
  DeviceConfig c = Layout();
  c.erase_faults = {{0, 1}};
  c.write_faults = {{1, 1}};
  c.short_write_faults = {{0, 0}};
  c.memgetinfo_faults = {2};
  c.fill = 0xFF;
  LOADED(f, c)
  EXPECT_EQ(f.Erase(0, 0, 0x10000), 0);
  EXPECT_EQ(f.Erase(0, 0x10000, 0x10000), -EIO);
  EXPECT_EQ(f.Erase(0, 0, 0x20000), -EIO) << "a range covering the block fails";
  std::vector<uint8_t> zeros(0x20000, 0);
  EXPECT_EQ(f.Write(1, 0, zeros.data(), 0x10000), 0x10000);
  EXPECT_EQ(f.Write(1, 0xFFFF, zeros.data(), 2), -EIO);
  EXPECT_EQ(f.Write(0, 0x10, zeros.data(), 8), 4);
  EXPECT_EQ(f.chip()[0x13], 0x00);
  EXPECT_EQ(f.chip()[0x14], 0xFF) << "the unstored half stays as it was";
  EXPECT_EQ(f.Write(0, 0x14, zeros.data(), 4), 4) << "a short write happens once";
  EXPECT_EQ(f.Write(0, 0x10000, zeros.data(), 8), 8);
  EXPECT_EQ(f.Info(2), -EIO);
  EXPECT_EQ(f.Info(1), 0x20000);
}

TEST(FlashTest, WeakWritesAndWhatEachWindowCounts) {
  DeviceConfig c = Layout();
  c.fill = 0xFF;
  c.weak_write_faults = {{0, 1, false}, {1, 0, true}};
  LOADED(f, c)
  std::vector<uint8_t> zeros(0x200, 0);
  // Reported as stored, but every 256th byte kept its bits.
  EXPECT_EQ(f.Write(0, 0x10000, zeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x10000], 0xFF);
  EXPECT_EQ(f.chip()[0x10001], 0x00);
  EXPECT_EQ(f.chip()[0x10100], 0xFF);
  EXPECT_EQ(f.Erase(0, 0x10000, 0x10000), 0);
  EXPECT_EQ(f.Write(0, 0x10000, zeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x10000], 0x00) << "once: the next write programs";
  // mtd1 (chip offset 0x20000): weak every time.
  EXPECT_EQ(f.Write(1, 0, zeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.Erase(1, 0, 0x10000), 0);
  EXPECT_EQ(f.Write(1, 0, zeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x20100], 0xFF);
  std::vector<uint8_t> out;
  EXPECT_EQ(f.Read(0, 0xFF00, 0x200, &out), 0x200);
  EXPECT_EQ(f.Erase(0, 0x100, 0x10000), -EINVAL);
  const FlashOps& o = f.ops(0);
  EXPECT_TRUE(o.opened);
  EXPECT_EQ(o.erases, 1u);
  EXPECT_EQ(o.writes, 2u);
  EXPECT_EQ(o.bytes_written, 0x400u);
  EXPECT_EQ(o.bytes_read, 0x200u);
  EXPECT_EQ(f.ops(1).erases, 1u);
  EXPECT_FALSE(f.ops(2).opened);
}

TEST(FlashTest, MovingWindows) {
  DeviceConfig c = Layout();
  LOADED(f, c)
  EXPECT_EQ(f.RepairCheck(0), 0);
  EXPECT_EQ(f.AddrRepair(1, 0x700000, 0x20000), 0);
  EXPECT_EQ(f.window(1).start, 0x90700000u);
  EXPECT_EQ(f.window(1).end, 0x90720000u);
  EXPECT_EQ(f.AddrRepair(1, 0x7F0000, 0x20000), -EINVAL);
  EXPECT_EQ(f.AddrRepair(1, 0x700100, 0x10000), -EINVAL);
  EXPECT_EQ(f.AddrRepair(1, 0x700000, 0), -EINVAL);
  EXPECT_EQ(f.window(1).start, 0x90700000u) << "a refused move leaves the window";

  c.kernel_mtd_repair = false;
  LOADED(old, c)
  EXPECT_EQ(old.RepairCheck(0), -ENOTTY);
  EXPECT_EQ(old.AddrRepair(1, 0x700000, 0x20000), -ENOTTY);
}

TEST(FlashTest, FlashFileMustFitItsWindow) {
  DeviceConfig c = Layout();
  char tmpl[] = "/tmp/dsflash-XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  std::string big(0x10001, 'k');
  ASSERT_EQ(write(fd, big.data(), big.size()), static_cast<ssize_t>(big.size()));
  close(fd);
  c.flash_files[2] = tmpl;
  Flash f(c);
  std::string err;
  EXPECT_FALSE(f.Load(c, &err));
  EXPECT_NE(err.find("[flash] mtd2"), std::string::npos) << err;
  c.flash_files.clear();
  c.flash_files[1] = tmpl;
  Flash g(c);
  EXPECT_TRUE(g.Load(c, &err)) << err;
  EXPECT_EQ(g.chip()[0x20000 + 0x10000], 'k');
  EXPECT_EQ(g.chip()[0x20000 + 0x10001], 0xFF);
  unlink(tmpl);
}

}  // namespace
}  // namespace devsim
