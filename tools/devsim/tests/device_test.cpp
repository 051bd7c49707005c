// devsim's own system tests: what the simulated device itself promises (how a
// run ends, the chip through the device files, records, isolation from the
// host, `devsim show`). The installer's device tests use every other device
// feature through devsim.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devsim_harness.h"

namespace {

using devsim::Device;

// The host's System V objects, as the kernel lists them.
std::string HostIpcs() {
  return devsim::ReadFile("/proc/sysvipc/sem") + devsim::ReadFile("/proc/sysvipc/shm") +
         devsim::ReadFile("/proc/sysvipc/msg");
}

// Installs the probe program in the device as /usr/bin/probe.
void InstallProbe(Device* dev) {
  dev->File("/usr/bin/probe", devsim::ReadFile(devsim::BinDir() + "/devsim_probe"), 0755);
}

// A device with the probe program installed.
class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() : dev_(::testing::UnitTest::GetInstance()->current_test_info()->name()) { InstallProbe(&dev_); }
  // Runs the script and expects it to have exited by itself.
  void Script(const std::string& script, const std::vector<std::string>& options = {}) {
    ASSERT_EQ(dev_.Shell(script, options), 0) << dev_.Stderr();
  }
  Device dev_;
};

// How a run ends, as result.json records it.
TEST_F(DeviceTest, Outcomes) {
  const struct {
    const char* script;
    std::vector<std::string> options;
    std::string outcome;
    int code;              // exit status, or the signal of a crash
    int min_ms, max_ms;    // the run's duration
    const char* console;   // nullptr: not checked
    const char* reboot;    // the reboot command; "": none
  } cases[] = {
      {"kill -SEGV $$", {}, "crashed", 11, 0, 60000, nullptr, ""},
      // The program's sleeps (2 x 10 s) are divided by the speed factor.
      {"probe sleep 10", {"--speed", "100"}, "exited", 0, 190, 5000, "", ""},
      // A process left running keeps the run going until it ends.
      {"(sleep 1; echo late) &", {}, "exited", 0, 1000, 60000, "late\n", ""},
      // A reboot ends the run at once, also from a copy of the command.
      {"cp /sbin/reboot /tmp/\necho before\n/tmp/reboot\necho after", {}, "rebooted", -1, 0, 60000, "before\n", "/tmp/reboot"},
      // The busybox applets that could restart a real device do not exist.
      {"busybox reboot || halt || poweroff || busybox init || exit 3", {}, "exited", 3, 0, 60000, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Script(c.script, c.options);
    const devsim::Result& r = dev_.result();
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.exit_status.value_or(-1), c.outcome == "exited" ? c.code : -1);
    EXPECT_EQ(r.signal.value_or(-1), c.outcome == "crashed" ? c.code : -1);
    EXPECT_EQ(r.reboot_command.value_or(""), c.reboot);
    EXPECT_GE(r.duration_ms, c.min_ms);
    EXPECT_LT(r.duration_ms, c.max_ms);
    if (c.console != nullptr) {
      EXPECT_EQ(dev_.Console(), c.console);
    }
  }
}

// The chip through /dev/mtdN (the phone's and the host's request codes) and
// /dev/mtdblock/N: erase, programming that only clears bits, refused requests
// with their errno, an injected fault, what the chip counted (moving a window:
// ShowSummarisesTheRun).
TEST_F(DeviceTest, FlashThroughTheDeviceFiles) {
  dev_.Ini("[flash]\nfill = 0x00\n[faults]\nwrite = mtd5:0\n");
  Script("probe mtd-info 3\nprobe mtd-info 3 host\nprobe mtd-erase 3 0 0x10000\n"
         "probe mtd-write 3 16 0x5A 4\nprobe mtd-write 3 16 0xA5 4\n"
         "probe mtd-erase 3 0x100 0x10000\nprobe mtd-write 3 0x10000 0x11 1\nprobe mtd-write 5 8 0 8\n"
         "cat /dev/mtdblock/3 > /tmp/copy3\n");
  EXPECT_EQ(dev_.Console(),
            "size=65536 erasesize=65536 type=3\nsize=65536 erasesize=65536 type=3\nerased\n"
            "wrote 4 pos 20\nwrote 4 pos 20\nerase error EINVAL\nwrite error ENOSPC\n"
            "write error EIO\n");
  std::string erased(0x10000, '\xff');
  EXPECT_EQ(dev_.Window(3), erased.replace(16, 4, 4, '\0'));
  EXPECT_EQ(dev_.DeviceFile("tmp/copy3"), dev_.Window(3));
  // Refused requests are not counted, the block device's reads are.
  const auto& ops = dev_.result().flash_ops;
  ASSERT_EQ(ops.count("mtd3"), 1u);
  EXPECT_EQ(ops.at("mtd3").erases, 1);
  EXPECT_EQ(ops.at("mtd3").writes, 2);
  EXPECT_EQ(ops.at("mtd3").bytes_written, 8);
  EXPECT_EQ(ops.at("mtd3").bytes_read, 0x10000);
  EXPECT_EQ(ops.count("mtd2"), 0u) << "a window no request reached is not listed";
}

// Nothing a run does reaches the host's /dev, /var, /tmp or System V objects;
// /etc, /config and /tmp are the device's own mounts, filled from rootfs/; a
// parallel run creating the same fixed key does not meet this one.
TEST_F(DeviceTest, RunsAreIsolated) {
  auto listing = [](const char* dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.insert(e.path().filename());
    return names;
  };
  const auto dev = listing("/dev"), var = listing("/var");
  const std::string ipcs = HostIpcs();
  struct stat st;
  const bool had_marker = stat("/tmp/devsim-host-marker", &st) == 0;
  dev_.File("/tmp/in.txt", "in\n");
  dev_.File("/config/keep.cfg", "x=1\n");
  Device other("parallel");
  InstallProbe(&other);
  std::thread t([&] { other.Shell("probe sem-create 0xC002\nsleep 1\n"); });
  Script("probe sem-create 0xC002\ncat /tmp/in.txt /config/keep.cfg\nmkdir -p /tmp/bin && echo skip > /tmp/bin/x\n"
         "touch /dev/new /var/new /tmp/devsim-host-marker\necho x > /etc/hostname\nhostname other\n"
         "umount /etc/; umount /config/; echo umount=$?\nls /config | wc -l\nrm -f /dev/null /dev/zero\nsleep 1\n");
  t.join();
  EXPECT_NE(dev_.Console().find("created and taken\nin\nx=1\n"), std::string::npos) << dev_.Console();
  EXPECT_NE(dev_.Console().find("umount=0\n0\n"), std::string::npos) << dev_.Console();
  EXPECT_NE(other.Console().find("created and taken"), std::string::npos) << other.Console();
  EXPECT_FALSE(dev_.DeviceFileExists("tmp/bin"));
  EXPECT_EQ(listing("/dev"), dev);
  EXPECT_EQ(listing("/var"), var);
  EXPECT_EQ(HostIpcs(), ipcs);
  EXPECT_EQ(stat("/tmp/devsim-host-marker", &st) == 0, had_marker);
  EXPECT_NE(stat("/tmp/in.txt", &st), 0) << "the device's /tmp leaked to the host";
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// devsim itself refuses a bad description (2) and a missing installer (1).
TEST_F(DeviceTest, RefusedStarts) {
  dev_.Ini("[faults]\nerase = mtd9:1\n");
  EXPECT_EQ(dev_.Shell("exit 0"), 2);
  EXPECT_NE(dev_.Stderr().find("device.ini: [faults] erase"), std::string::npos) << dev_.Stderr();
  dev_.Ini("");
  EXPECT_EQ(dev_.Run({"--installer", dev_.Dir() + "/none"}), 1);
  EXPECT_NE(dev_.Stderr().find("none not found"), std::string::npos) << dev_.Stderr();
}

// devsim show: outcome, frames, messages, changed variables and partitions;
// the misc requests as recorded, with the value they carried or read back.
TEST_F(DeviceTest, ShowSummarisesTheRun) {
  Script("echo 'NEWVAR 12' > /proc/avalanche/env\necho SW_OEM > /proc/avalanche/env\n"
         "echo 'MID_VERSION 3' > /proc/avalanche/env\nprobe mtd-write 3 0 0 4\n"
         "probe mtd-repair 5 0x700000 0x10000\nhead -c 1056 /dev/zero | tr '\\0' '\\377' > /dev/fb0\n"
         "echo 1 > /proc/glcd/refresh\nprobe ipc 4 3 1 2 hi\nprobe ipc 6 1 1 1\nprobe sem-create 0xC002\n"
         "probe misc 0x80044D07 5\nprobe misc 0x40044D08\nexit 5\n");
  EXPECT_NE(dev_.Console().find("sent\nconnect error"), std::string::npos) << "6 is not listening";
  auto misc = dev_.Misc();
  ASSERT_EQ(misc.size(), 2u);
  EXPECT_EQ(misc[0].request, 0x80044D07u);
  EXPECT_EQ(misc[0].value, 5);
  EXPECT_EQ(misc[1].value, 5) << "the LED mask set before";
  EXPECT_EQ(misc[1].result, 0);
  std::string out_path = dev_.Dir() + "/show.txt";
  std::string cmd = devsim::BinDir() + "/devsim show " + dev_.OutDir() + " > " + out_path;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string show = devsim::ReadFile(out_path);
  for (const char* expected : {"outcome exited, exit status 5", "1 frames", "frame 1:\n" , "IPC messages: 1", "misc requests: 2",
                               "to 4: msg 3 wparam 1 lparam 2 from 6 data 6869", "  + NEWVAR = 12\n",
                               "  - SW_OEM (was 0)\n", "  ~ MID_VERSION: 0 -> 3\n",
                               "  mtd3  0x90500000..0x90510000 4 bytes changed\n",
                               "  mtd5  0x90700000..0x90710000 unchanged (moved from 0x90590000..0x90690000)\n",
                               "  semaphore 0xC002  value 0\n", "  semaphore 0xB012  none\n",
                               "  segment   0xA130  none\n"}) {
    EXPECT_NE(show.find(expected), std::string::npos) << expected << "\n" << show;
  }
  EXPECT_EQ(show.find("mtd4"), std::string::npos) << "unchanged partitions are not listed";
  EXPECT_NE(std::system((devsim::BinDir() + "/devsim show " + dev_.Dir() + "/nothing 2>/dev/null").c_str()), 0);
}

}  // namespace
