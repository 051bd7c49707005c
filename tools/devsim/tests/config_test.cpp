// device.ini reading: accepted entries land in the description, bad ones
// name file, section and key.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "config.h"
#include "hostfs.h"

namespace devsim {

using namespace hostfs;
namespace {

class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() {
    char tmpl[] = "/tmp/dscfg-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~ConfigTest() override { RemoveTree(dir_); }
  bool Load(const std::string& ini, DeviceConfig* cfg, std::string* error) {
    WriteText(dir_ + "/device.ini", ini);
    return LoadDevice(dir_, cfg, error);
  }
  std::string dir_;
};

TEST_F(ConfigTest, FullDescription) {
  WriteText(dir_ + "/k.bin", "kernel");
  WriteText(dir_ + "/p.rom", "rom");
  DeviceConfig c;
  std::string err;
  ASSERT_TRUE(Load("[device]\n"
                   "hwver = 1.2.3.4.5.6.7.8   ; comment\n"
                   "software = 9.9.9.9,2026\n"
                   "kernel_mtd_repair = no\n"
                   "listen = 3, 11\n"
                   "speed = 60\n"
                   "timeout = 12.5\n"
                   "keys = 35@5s, 12@frame3, 1@0.25s\n"
                   "argv0 = /tmp/upgrader_tool\n"
                   "[bootloader]\n"
                   "Z = last\n"
                   "mtd0 = 0x90000000,0x90020000\n"
                   "A = first\n"
                   "[flash]\nfill = 0x00\nmtd2 = k.bin\nerase_ms = 700\nprogram_ms = 100\nread_ms = 2.5\n"
                   "[shm]\nrom = p.rom\nstate = -2\nkey = 0x1079B\n"
                   "[semaphores]\n0xB012 = 15\n0xC004 = 0\n"
                   "[faults]\nerase = mtd2:3, mtd4:0\nwrite = mtd5:0\nshort_write = mtd6:1\n"
                   "weak_write = mtd1:2, mtd2:7:always\n"
                   "memgetinfo = mtd3\nmissing = /dev/mtd4, /dev/fb0\nmisc = watchdog\n"
                   "killapps = fail\ncopy_bin = fail\ntmp_full = yes\n",
                   &c, &err))
      << err;
  EXPECT_EQ(c.hwver, "1.2.3.4.5.6.7.8");
  EXPECT_EQ(c.software, "9.9.9.9,2026");
  EXPECT_FALSE(c.kernel_mtd_repair);
  EXPECT_EQ(c.listen, (std::vector<int>{3, 11}));
  EXPECT_EQ(c.speed, 60);
  EXPECT_EQ(c.timeout, 12.5);
  ASSERT_EQ(c.keys.size(), 3u);
  EXPECT_EQ(c.keys[0].code, 35);
  EXPECT_FALSE(c.keys[0].at_frame);
  EXPECT_EQ(c.keys[0].when, 5000);
  EXPECT_TRUE(c.keys[1].at_frame);
  EXPECT_EQ(c.keys[1].when, 3);
  EXPECT_EQ(c.keys[2].when, 250);
  EXPECT_EQ(c.argv0, "/tmp/upgrader_tool");
  ASSERT_EQ(c.bootloader.size(), 3u);
  EXPECT_EQ(c.bootloader[0], std::make_pair(std::string("Z"), std::string("last")));
  EXPECT_EQ(c.bootloader[2].first, "A");
  EXPECT_EQ(c.fill, 0);
  EXPECT_EQ(c.flash_files.at(2), dir_ + "/k.bin");
  EXPECT_EQ(c.shm_rom, dir_ + "/p.rom");
  EXPECT_EQ(c.shm_state, -2);
  EXPECT_EQ(c.shm_key, 0x1079Bu);
  ASSERT_EQ(c.semaphores.size(), 2u);
  EXPECT_EQ(c.semaphores[0].key, 0xB012u);
  EXPECT_EQ(c.semaphores[0].seconds, 15);
  ASSERT_EQ(c.erase_faults.size(), 2u);
  EXPECT_EQ(c.erase_faults[1].mtd, 4);
  EXPECT_EQ(c.erase_faults[0].block, 3);
  EXPECT_EQ(c.short_write_faults[0].mtd, 6);
  EXPECT_EQ(c.erase_ms, 700);
  EXPECT_EQ(c.program_ms, 100);
  EXPECT_EQ(c.read_ms, 2.5);
  ASSERT_EQ(c.weak_write_faults.size(), 2u);
  EXPECT_FALSE(c.weak_write_faults[0].always);
  EXPECT_EQ(c.weak_write_faults[0].block, 2);
  EXPECT_TRUE(c.weak_write_faults[1].always);
  EXPECT_EQ(c.weak_write_faults[1].block, 7);
  EXPECT_FALSE(c.erase_faults[0].always);
  EXPECT_EQ(c.memgetinfo_faults, (std::vector<int>{3}));
  EXPECT_EQ(c.missing, (std::vector<std::string>{"/dev/mtd4", "/dev/fb0"}));
  EXPECT_EQ(c.misc_fault, "watchdog");
  EXPECT_TRUE(c.killapps_fail && c.copy_bin_fail && c.tmp_full);
}

TEST_F(ConfigTest, DefaultsAndBootloaderSection) {
  DeviceConfig c;
  std::string err;
  ASSERT_TRUE(Load("", &c, &err));
  EXPECT_EQ(c.bootloader, DefaultBootloader());
  DeviceConfig empty;
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
      {"[device]\nkeys = 35\n", "[device] keys"},
      {"[device]\nkeys = 35@frame\n", "[device] keys"},
      {"[device]\nargv0 = relative\n", "[device] argv0"},
      {"[device]\nkernel_mtd_repair = maybe\n", "[device] kernel_mtd_repair"},
      {"[device]\ncolour = red\n", "[device] colour"},
      {"[flash]\nfill = 256\n", "[flash] fill"},
      {"[flash]\nmtd9 = x\n", "[flash] mtd9"},
      {"[flash]\nmtd1 = missing.bin\n", "[flash] mtd1"},
      {"[shm]\nrom = missing.rom\n", "[shm] rom"},
      {"[shm]\nstate = 0x1FFFFFFFF\n", "[shm] state"},
      {"[semaphores]\n0xB012 = soon\n", "[semaphores] 0xB012"},
      {"[faults]\nerase = mtd2\n", "[faults] erase"},
      {"[faults]\nwrite = mtd2:-1\n", "[faults] write"},
      {"[faults]\nwrite = mtd2:1:always\n", "[faults] write"},
      {"[faults]\nweak_write = mtd2:1:often\n", "[faults] weak_write"},
      {"[flash]\nread_ms = -3\n", "[flash] read_ms"},
      {"[faults]\nmemgetinfo = 3\n", "[faults] memgetinfo"},
      {"[faults]\nmisc = sometimes\n", "[faults] misc"},
      {"[faults]\nmissing = dev/fb0\n", "[faults] missing"},
      {"[other]\nx = 1\n", "[other] x"},
  };
  for (const auto& c : cases) {
    DeviceConfig cfg;
    std::string err;
    EXPECT_FALSE(Load(c.ini, &cfg, &err)) << c.ini;
    EXPECT_EQ(err, dir_ + "/device.ini: " + c.where + err.substr(err.find(c.where) + strlen(c.where)))
        << c.ini;
    EXPECT_NE(err.find(c.where), std::string::npos) << err;
  }
}

TEST(ParseKeysTest, Forms) {
  std::vector<KeyEvent> k;
  ASSERT_TRUE(ParseKeys(" 35@5s,12@frame0 , 0x20@1.5s", &k));
  ASSERT_EQ(k.size(), 3u);
  EXPECT_EQ(k[2].code, 32);
  EXPECT_EQ(k[2].when, 1500);
  EXPECT_TRUE(k[1].at_frame);
  EXPECT_EQ(k[1].when, 0);
  for (const char* bad : {"35@", "@5s", "35@5", "35@-1s", "35@framex", "x@1s", "70000@1s"}) {
    std::vector<KeyEvent> out;
    EXPECT_FALSE(ParseKeys(bad, &out)) << bad;
  }
}

}  // namespace
}  // namespace devsim
