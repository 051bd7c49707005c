// NOR physics and partition windows of the simulated chip.
#include <gtest/gtest.h>

#include <cerrno>

#include "flash.h"
#include "temp_dir.h"

namespace devsim {
namespace {

// mtd0 0..0x20000, mtd1 0x20000..0x40000, mtd2 the chip's last block; mtd3
// and mtd4 name no window.
DeviceConfig Layout() {
  DeviceConfig c;
  c.bootloader = {{"mtd0", "0x90000000,0x90020000"}, {"mtd1", "0x90020000,0x90040000"},
                  {"mtd2", "0x907F0000,0x90800000"}, {"mtd3", "0x90050000,0x90040000"},
                  {"mtd4", "0x90000000,0x90800001"}};
  return c;
}

Flash Loaded(const DeviceConfig& c) {
  Flash f(c);
  std::string error;
  EXPECT_TRUE(f.Load(c, &error)) << error;
  return f;
}

const std::vector<uint8_t> kZeros(0x20000, 0);

TEST(WindowTest, Parse) {
  const struct {
    const char* text;
    uint32_t start, end;  // 0, 0: refused
  } cases[] = {
      {"0x90000000,0x90020000", 0x90000000, 0x90020000}, {"90010000,90020000", 0x90010000, 0x90020000},
      {" 0x90000000 , 0x90800000", 0x90000000, 0x90800000}, {"0x8FFF0000,0x90020000", 0, 0},
      {"0x90020000,0x90020000", 0, 0}, {"0x90000000", 0, 0}, {"0x90000000,0x90020000x", 0, 0}, {"", 0, 0},
  };
  for (const auto& c : cases) {
    Window w;
    EXPECT_EQ(ParseWindow(c.text, &w), c.start != 0) << c.text;
    EXPECT_EQ(w.start, c.start) << c.text;
    EXPECT_EQ(w.end, c.end) << c.text;
  }
}

TEST(FlashTest, WindowsFromTheListing) {
  Flash f = Loaded(Layout());
  EXPECT_EQ(f.Info(0), 0x20000);
  EXPECT_EQ(f.Info(2), 0x10000);
  EXPECT_EQ(f.Info(3), 0);
  EXPECT_EQ(f.Info(4), 0);
  EXPECT_EQ(f.Info(9), -ENODEV);
  EXPECT_EQ(f.Write(3, 0, kZeros.data(), 1), -ENOSPC);
}

// Erase sets exactly the blocks asked for to 0xFF; programming clears bits
// only; requests stop at the window's end.
TEST(FlashTest, EraseAndProgram) {
  DeviceConfig c = Layout();
  c.fill = 0x0F;
  Flash f = Loaded(c);
  const uint8_t data[] = {0xFF, 0x3C, 0x00};
  EXPECT_EQ(f.Write(1, 5, data, 3), 3);
  std::vector<uint8_t> out;
  EXPECT_EQ(f.Read(1, 4, 5, &out), 5);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x0F, 0x0F, 0x0C, 0x00, 0x0F}));
  EXPECT_EQ(f.Erase(1, 0x10000, 0x10000), 0);
  EXPECT_EQ(f.WindowBytes(1), std::string(0x10000, '\x0f').replace(5, 3, "\x0f\x0c\x00", 3) +
                                  std::string(0x10000, '\xff'));
  f.Write(1, 0x10005, data, 3);
  f.Read(1, 0x10005, 3, &out);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0x3C, 0x00}));
  EXPECT_EQ(f.chip()[0x30006], 0x3C) << "mtd1 starts at chip offset 0x20000";
  EXPECT_EQ(f.chip()[0x40000], 0x0F);
  EXPECT_EQ(f.Write(2, 0x10000 - 4, kZeros.data(), 16), 4);
  EXPECT_EQ(f.Write(2, 0x10000, kZeros.data(), 16), -ENOSPC);
  EXPECT_EQ(f.Read(2, 0x10000 - 2, 16, &out), 2);
  EXPECT_EQ(f.Read(2, 0x10000, 16, &out), 0);
}

TEST(FlashTest, EraseArguments) {
  Flash f = Loaded(Layout());
  const struct {
    uint64_t start, len;
    int result;
  } cases[] = {
      {0, 0x10000, 0},           {0x10000, 0x10000, 0}, {0, 0x20000, 0},
      {0x100, 0x10000, -EINVAL}, {0, 0x8000, -EINVAL},  {0x10000, 0x20000, -EINVAL},
      {0x20000, 0x10000, -EINVAL}, {0, 0, -EINVAL},
  };
  for (const auto& k : cases) EXPECT_EQ(f.Erase(0, k.start, k.len), k.result) << k.start << "+" << k.len;
}

TEST(FlashTest, InjectedFaults) {
  DeviceConfig c = Layout();
  c.erase_faults = {{0, 1}};
  c.write_faults = {{1, 1}};
  c.short_write_faults = {{0, 0}};
  c.memgetinfo_faults = {2};
  Flash f = Loaded(c);
  EXPECT_EQ(f.Erase(0, 0, 0x10000), 0);
  EXPECT_EQ(f.Erase(0, 0x10000, 0x10000), -EIO);
  EXPECT_EQ(f.Erase(0, 0, 0x20000), -EIO) << "a range covering the block fails";
  EXPECT_EQ(f.Write(1, 0, kZeros.data(), 0x10000), 0x10000);
  EXPECT_EQ(f.Write(1, 0xFFFF, kZeros.data(), 2), -EIO);
  EXPECT_EQ(f.Write(0, 0x10, kZeros.data(), 8), 4);
  EXPECT_EQ(f.chip()[0x13], 0x00);
  EXPECT_EQ(f.chip()[0x14], 0xFF) << "the unstored half stays as it was";
  EXPECT_EQ(f.Write(0, 0x14, kZeros.data(), 4), 4) << "a short write happens once";
  EXPECT_EQ(f.Write(0, 0x10000, kZeros.data(), 8), 8);
  EXPECT_EQ(f.Info(2), -EIO);
  EXPECT_EQ(f.Info(1), 0x20000);
}

TEST(FlashTest, WeakWrites) {
  DeviceConfig c = Layout();
  c.weak_write_faults = {{0, 1, false}, {1, 0, true}};
  Flash f = Loaded(c);
  // Reported as stored, but every 256th byte kept its bits.
  EXPECT_EQ(f.Write(0, 0x10000, kZeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x10000], 0xFF);
  EXPECT_EQ(f.chip()[0x10001], 0x00);
  EXPECT_EQ(f.chip()[0x10100], 0xFF);
  EXPECT_EQ(f.Erase(0, 0x10000, 0x10000), 0);
  EXPECT_EQ(f.Write(0, 0x10000, kZeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x10000], 0x00) << "once: the next write programs";
  // mtd1 (chip offset 0x20000): weak every time.
  EXPECT_EQ(f.Write(1, 0, kZeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.Erase(1, 0, 0x10000), 0);
  EXPECT_EQ(f.Write(1, 0, kZeros.data(), 0x200), 0x200);
  EXPECT_EQ(f.chip()[0x20100], 0xFF);
}

TEST(FlashTest, MovingWindows) {
  DeviceConfig c = Layout();
  Flash f = Loaded(c);
  EXPECT_EQ(f.RepairCheck(0), 0);
  EXPECT_EQ(f.AddrRepair(1, 0x700000, 0x20000), 0);
  EXPECT_EQ(f.window(1).start, 0x90700000u);
  EXPECT_EQ(f.window(1).end, 0x90720000u);
  EXPECT_EQ(f.AddrRepair(1, 0x7F0000, 0x20000), -EINVAL);
  EXPECT_EQ(f.AddrRepair(1, 0x700100, 0x10000), -EINVAL);
  EXPECT_EQ(f.AddrRepair(1, 0x700000, 0), -EINVAL);
  EXPECT_EQ(f.window(1).start, 0x90700000u) << "a refused move leaves the window";
  c.kernel_mtd_repair = false;
  Flash old = Loaded(c);
  EXPECT_EQ(old.RepairCheck(0), -ENOTTY);
  EXPECT_EQ(old.AddrRepair(1, 0x700000, 0x20000), -ENOTTY);
}

TEST(FlashTest, FlashFileMustFitItsWindow) {
  TempDir dir("dsflash");
  DeviceConfig c = Layout();
  ASSERT_TRUE(TempDir::write(dir.file("k.bin"), std::string(0x10001, 'k')));
  c.flash_files[2] = dir.file("k.bin");
  std::string err;
  EXPECT_FALSE(Flash(c).Load(c, &err));
  EXPECT_NE(err.find("[flash] mtd2"), std::string::npos) << err;
  c.flash_files = {{1, dir.file("k.bin")}};
  Flash g = Loaded(c);
  EXPECT_EQ(g.chip()[0x20000 + 0x10000], 'k');
  EXPECT_EQ(g.chip()[0x20000 + 0x10001], 0xFF);
}

}  // namespace
}  // namespace devsim
