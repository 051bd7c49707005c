// device.ini reading: accepted entries land in the description, bad ones
// name file, section and key (or the line that is not an INI line).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config.h"
#include "temp_dir.h"

namespace devsim {
namespace {

class ConfigTest : public ::testing::Test {
 protected:
  bool Load(const std::string& ini, DeviceConfig* cfg, std::string* error) {
    TempDir::write(dir_.file("device.ini"), ini);
    return LoadDevice(dir_.path(), cfg, error);
  }
  TempDir dir_{"dscfg"};
};

// "code@ms" or "code@frameN" per key, space separated.
std::string Keys(const std::vector<KeyEvent>& keys) {
  std::string out;
  for (const KeyEvent& k : keys) out += std::to_string(k.code) + (k.at_frame ? "@frame" : "@") + std::to_string(k.when) + " ";
  return out;
}

// "mtdN:K" (":always") per fault, space separated.
std::string Faults(const std::vector<BlockFault>& faults) {
  std::string out;
  for (const BlockFault& f : faults) {
    out += "mtd" + std::to_string(f.mtd) + ":" + std::to_string(f.block) + (f.always ? ":always " : " ");
  }
  return out;
}

TEST_F(ConfigTest, FullDescription) {
  TempDir::write(dir_.file("k.bin"), "kernel");
  TempDir::write(dir_.file("p.rom"), "rom");
  DeviceConfig c;
  std::string err;
  ASSERT_TRUE(Load("[device]\nhwver = 1.2.3.4.5.6.7.8   ; comment\nsoftware = 9.9.9.9,2026\nkernel_mtd_repair = no\n"
                   "listen = 3, 11\nspeed = 60\ntimeout = 12.5\nkeys = 35@5s,12@frame3 , 0x20@0.25s,1@frame0\n"
                   "argv0 = /tmp/upgrader_tool\n[bootloader]\nZ = last\nmtd0 = 0x90000000,0x90020000\nA = first\n"
                   "[flash]\nfill = 0x00\nmtd2 = k.bin\nerase_ms = 700\nprogram_ms = 100\nread_ms = 2.5\n"
                   "[shm]\nrom = p.rom\nstate = -2\nkey = 0x1079B\n"
                   "[semaphores]\n0xB012 = 15\n0xC004 = 0\n"
                   "[faults]\nerase = mtd2:3, mtd4:0\nwrite = mtd5:0\nshort_write = mtd6:1\n"
                   "weak_write = mtd1:2, mtd2:7:always\nmemgetinfo = mtd3\nshort_read = mtd8, mtd1\n"
                   "missing = /dev/mtd4, /dev/fb0\nmisc = watchdog\nkillapps = fail\ncopy_bin = fail\ntmp_full = yes\n",
                   &c, &err))
      << err;
  EXPECT_EQ(c.hwver, "1.2.3.4.5.6.7.8");
  EXPECT_EQ(c.software, "9.9.9.9,2026");
  EXPECT_FALSE(c.kernel_mtd_repair);
  EXPECT_EQ(c.listen, (std::vector<int>{3, 11}));
  EXPECT_EQ(c.speed, 60);
  EXPECT_EQ(c.timeout, 12.5);
  EXPECT_EQ(Keys(c.keys), "35@5000 12@frame3 32@250 1@frame0 ");
  EXPECT_EQ(c.argv0, "/tmp/upgrader_tool");
  EXPECT_EQ(c.bootloader, (std::vector<std::pair<std::string, std::string>>{
                              {"Z", "last"}, {"mtd0", "0x90000000,0x90020000"}, {"A", "first"}}));
  EXPECT_EQ(c.fill, 0);
  EXPECT_EQ(c.flash_files, (std::map<int, std::string>{{2, dir_.file("k.bin")}}));
  EXPECT_EQ(c.erase_ms, 700);
  EXPECT_EQ(c.program_ms, 100);
  EXPECT_EQ(c.read_ms, 2.5);
  EXPECT_EQ(c.shm_rom, dir_.file("p.rom"));
  EXPECT_EQ(c.shm_state, -2);
  EXPECT_EQ(c.shm_key, 0x1079Bu);
  ASSERT_EQ(c.semaphores.size(), 2u);
  EXPECT_EQ(c.semaphores[0].key, 0xB012u);
  EXPECT_EQ(c.semaphores[0].seconds, 15);
  EXPECT_EQ(c.semaphores[1].key, 0xC004u);
  EXPECT_EQ(Faults(c.erase_faults), "mtd2:3 mtd4:0 ");
  EXPECT_EQ(Faults(c.write_faults), "mtd5:0 ");
  EXPECT_EQ(Faults(c.short_write_faults), "mtd6:1 ");
  EXPECT_EQ(Faults(c.weak_write_faults), "mtd1:2 mtd2:7:always ");
  EXPECT_EQ(c.memgetinfo_faults, (std::vector<int>{3}));
  EXPECT_EQ(c.short_read_faults, (std::vector<int>{8, 1}));
  EXPECT_EQ(c.missing, (std::vector<std::string>{"/dev/mtd4", "/dev/fb0"}));
  EXPECT_EQ(c.misc_fault, "watchdog");
  EXPECT_TRUE(c.killapps_fail && c.copy_bin_fail && c.tmp_full);
}

TEST_F(ConfigTest, DefaultsAndBootloaderSection) {
  DeviceConfig c, empty;
  std::string err;
  ASSERT_TRUE(Load("", &c, &err));
  EXPECT_EQ(c.bootloader, DefaultBootloader());
  ASSERT_TRUE(Load("[bootloader]\n", &empty, &err));
  EXPECT_TRUE(empty.bootloader.empty()) << "an empty section means a device without variables";
}

TEST_F(ConfigTest, BadEntriesNameSectionAndKey) {
  const struct {
    const char* ini;
    const char* where;
  } cases[] = {
      {"[device]\nspeed = 0\n", "[device] speed"},
      {"[device]\ntimeout = -1\n", "[device] timeout"},
      {"[device]\nlisten = 1,x\n", "[device] listen"},
      {"[device]\nkeys = 35@frame\n", "[device] keys"},
      {"[device]\nargv0 = relative\n", "[device] argv0"},
      {"[device]\nkernel_mtd_repair = maybe\n", "[device] kernel_mtd_repair"},
      {"[device]\ncolour = red\n", "[device] colour"},
      {"[flash]\nfill = 256\n", "[flash] fill"},
      {"[flash]\nmtd9 = x\n", "[flash] mtd9"},
      {"[flash]\nmtd1 = missing.bin\n", "[flash] mtd1"},
      {"[flash]\nread_ms = -3\n", "[flash] read_ms"},
      {"[shm]\nrom = missing.rom\n", "[shm] rom"},
      {"[shm]\nstate = 0x1FFFFFFFF\n", "[shm] state"},
      {"[semaphores]\n0xB012 = soon\n", "[semaphores] 0xB012"},
      {"[faults]\nerase = mtd2\n", "[faults] erase"},
      {"[faults]\nerase = mtd9:1\n", "[faults] erase"},
      {"[faults]\nwrite = mtd2:-1\n", "[faults] write"},
      {"[faults]\nwrite = mtd2:1:always\n", "[faults] write"},
      {"[faults]\nweak_write = mtd2:1:often\n", "[faults] weak_write"},
      {"[faults]\nmemgetinfo = 3\n", "[faults] memgetinfo"},
      {"[faults]\nmisc = sometimes\n", "[faults] misc"},
      {"[faults]\nmissing = dev/fb0\n", "[faults] missing"},
      {"[other]\nx = 1\n", "[other] x"},
      {"[device]\nspeed = 2\nno equals sign\n", "line 3: not an INI line"},
  };
  for (const auto& c : cases) {
    DeviceConfig cfg;
    std::string err;
    EXPECT_FALSE(Load(c.ini, &cfg, &err)) << c.ini;
    EXPECT_EQ(err.rfind(dir_.file("device.ini: ") + c.where, 0), 0u) << err;
  }
}

// Accepted forms: see FullDescription.
TEST(ParseKeysTest, RefusedForms) {
  for (const char* bad : {"35", "35@", "@5s", "35@5", "35@-1s", "35@framex", "x@1s", "70000@1s"}) {
    std::vector<KeyEvent> out;
    EXPECT_FALSE(ParseKeys(bad, &out)) << bad;
  }
}

}  // namespace
}  // namespace devsim
