// devsim's own system tests: small probes and shell commands run inside the
// simulated device and the records of each run are checked.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
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

TEST_F(DeviceTest, ProgramExitStatusAndSyslogPriorities) {
  Script("probe log 3 'first error'\nprobe log 6 'then info'\nlogger -p user.warn shell-line\nexit 7");
  EXPECT_EQ(dev_.result().outcome, "exited");
  EXPECT_EQ(dev_.result().exit_status, 7);
  EXPECT_FALSE(dev_.result().reboot_command.has_value());
  auto log = dev_.Syslog();
  ASSERT_EQ(log.size(), 3u) << dev_.Console();
  EXPECT_EQ(log[0].message, "first error");
  EXPECT_EQ(log[0].priority, 3);
  EXPECT_EQ(log[0].facility, 1);
  EXPECT_EQ(log[1].message, "then info");
  EXPECT_EQ(log[1].priority, 6);
  EXPECT_EQ(log[2].message, "shell-line");
  EXPECT_EQ(log[2].priority, 4);
}

// Point 2: erase, NOR programming, read back through /dev/mtdN and
// /dev/mtdblock/N, ENOSPC past the window, EINVAL on unaligned erases.
TEST_F(DeviceTest, FlashEraseProgramAndReadBack) {
  dev_.Ini("[flash]\nfill = 0x00\n");
  Script(
      "probe mtd-info 3\n"
      "probe mtd-info 3 host\n"
      "probe mtd-erase 3 0 0x10000\n"
      "probe mtd-write 3 16 0x5A 4\n"
      "probe mtd-write 3 16 0xA5 4\n"  // onto programmed bytes: only clears bits
      "probe mtd-read 3 14 8\n"
      "probe mtd-erase 3 0x100 0x10000\n"
      "probe mtd-write 3 0x10000 0x11 1\n"
      "cat /dev/mtdblock/3 > /tmp/copy3\n"
      "wc -c < /tmp/copy3\n");
  std::string out = dev_.Console();
  EXPECT_NE(out.find("size=65536 erasesize=65536 type=3\nsize=65536 erasesize=65536 type=3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("wrote 4 pos 20\nwrote 4 pos 20\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ffff00000000ffff"), std::string::npos) << out;  // 0x5A & 0xA5 = 0
  EXPECT_NE(out.find("erase error EINVAL"), std::string::npos) << out;
  EXPECT_NE(out.find("write error ENOSPC"), std::string::npos) << out;
  std::string win = dev_.Window(3);
  ASSERT_EQ(win.size(), 0x10000u);
  EXPECT_EQ(win.substr(14, 8), std::string("\xff\xff\0\0\0\0\xff\xff", 8));
  EXPECT_EQ(dev_.DeviceFile("tmp/copy3"), win);
  // Outside the window nothing changed.
  EXPECT_EQ(dev_.Window(4), std::string(0x80000, '\0'));
  // What the chip counted: refused requests are not counted, the block
  // device's reads are.
  const auto& ops = dev_.result().flash_ops;
  ASSERT_EQ(ops.count("mtd3"), 1u);
  EXPECT_EQ(ops.at("mtd3").erases, 1);
  EXPECT_EQ(ops.at("mtd3").writes, 2);
  EXPECT_EQ(ops.at("mtd3").bytes_written, 8);
  EXPECT_EQ(ops.at("mtd3").bytes_read, 8 + 0x10000);
  EXPECT_EQ(ops.count("mtd4"), 0u) << "a window no request reached is not listed";
}

// The host's flashcp (host request codes) runs against the same chip.
TEST_F(DeviceTest, FlashcpWritesThroughTheHostRequestCodes) {
  struct stat st;
  if (stat("/usr/sbin/flashcp", &st) != 0) GTEST_SKIP() << "mtd-utils not installed";
  std::string image;
  for (int i = 0; i < 70000; ++i) image.push_back(static_cast<char>(i * 7 + i / 251));
  dev_.File("/tmp/img.bin", image);
  ASSERT_EQ(dev_.Exec("/usr/sbin/flashcp", {"-v", "/tmp/img.bin", "/dev/mtd2"}), 0) << dev_.Stderr();
  EXPECT_EQ(dev_.result().exit_status, 0) << dev_.Console();
  std::string win = dev_.Window(2);
  EXPECT_EQ(win.substr(0, image.size()), image);
  EXPECT_EQ(win.substr(image.size(), 0x20000 - image.size()), std::string(0x20000 - image.size(), '\xff'));
}

// Point 12: injected erase, write and short-write faults, MEMGETINFO failing.
TEST_F(DeviceTest, FlashFaults) {
  dev_.Ini(
      "[faults]\nerase = mtd2:1\nwrite = mtd5:0\nshort_write = mtd6:1\nmemgetinfo = mtd7\n");
  Script(
      "probe mtd-erase 2 0 0x10000\n"
      "probe mtd-erase 2 0x10000 0x10000\n"
      "probe mtd-write 5 8 0 8\n"
      "probe mtd-write 5 0x10000 0 8\n"
      "probe mtd-write 6 0x10000 0 8\n"
      "probe mtd-info 7\n");
  std::string out = dev_.Console();
  EXPECT_NE(out.find("erased\nerase error EIO\n"), std::string::npos) << out;
  EXPECT_NE(out.find("write error EIO\nwrote 8 pos 65544\n"), std::string::npos) << out;
  EXPECT_NE(out.find("wrote 4 pos 65540\n"), std::string::npos) << out;
  EXPECT_NE(out.find("memgetinfo error EIO"), std::string::npos) << out;
  std::string w6 = dev_.Window(6);
  EXPECT_EQ(w6.substr(0x10000, 8), std::string("\0\0\0\0\xff\xff\xff\xff", 8));
}

// Point 2: a moved window; the repair check refused on a device without it.
TEST_F(DeviceTest, PartitionMove) {
  Script("probe mtd-repair 4 check\nprobe mtd-repair 4 0x600000 0x20000\nprobe mtd-info 4\n"
         "probe mtd-write 4 0 0 2\n");
  std::string out = dev_.Console();
  EXPECT_NE(out.find("supported\nmoved\nsize=131072"), std::string::npos) << out;
  EXPECT_NE(devsim::ReadFile(dev_.OutDir() + "/partitions.json").find("\"mtd4\": {\n    \"end\": \"0x90620000\",\n    \"start\": \"0x90600000\""),
            std::string::npos);
  EXPECT_EQ(dev_.Flash().substr(0x600000, 3), std::string("\0\0\xff", 3));

  Device old("nomove");
  InstallProbe(&old);
  old.Ini("[device]\nkernel_mtd_repair = no\n");
  ASSERT_EQ(old.Shell("probe mtd-repair 4 check\nprobe mtd-repair 4 0x600000 0x20000\n"), 0);
  EXPECT_NE(old.Console().find("check error ENOTTY\nrepair error ENOTTY"), std::string::npos) << old.Console();
}

// Point 3: the variable store lists, sets, appends and deletes; versions refuse writes.
TEST_F(DeviceTest, BootloaderVariables) {
  dev_.Ini("[device]\nhwver = 9.8.7\nsoftware = 2.0.0.1,x\n[bootloader]\nA = 1\nB = two words\nmtd0 = 0x90000000,0x90010000\n");
  Script(
      "cat /proc/avalanche/env\n"
      "echo \"B changed\" > /proc/avalanche/env\n"
      "echo \"C new\" > /proc/avalanche/env\n"
      "echo \"A\" > /proc/avalanche/env\n"
      "cat /proc/avalanche/env\n"
      "cat /proc/misc/hwver /proc/ver/software\n"
      "echo x > /proc/misc/hwver || echo refused\n");
  EXPECT_EQ(dev_.Console(),
            "A 1\nB two words\nmtd0 0x90000000,0x90010000\n"
            "B changed\nmtd0 0x90000000,0x90010000\nC new\n"
            "9.8.7\n2.0.0.1,x\n" +
                dev_.Console().substr(dev_.Console().find("9.8.7\n2.0.0.1,x\n") + 16));
  EXPECT_NE(dev_.Console().find("refused"), std::string::npos);
  EXPECT_EQ(dev_.Env(), "B changed\nmtd0 0x90000000,0x90010000\nC new\n");
  EXPECT_EQ(dev_.EnvValue("C"), "new");
  EXPECT_FALSE(dev_.EnvHas("A"));
}

// Point 4: two refreshes give two frames with the contents of the moment.
TEST_F(DeviceTest, FrameBufferRefreshCapturesFrames) {
  Script("probe fb 0x00 0x01 0xFF\n");
  EXPECT_NE(dev_.Console().find("smem_len=1056 xres=132 yres=64 bpp=1"), std::string::npos) << dev_.Console();
  ASSERT_EQ(dev_.FrameCount(), 3);
  std::string blank(132, '.'), dotted;
  for (int x = 0; x < 132; ++x) dotted += (x % 8 == 0) ? '#' : '.';
  EXPECT_EQ(dev_.FrameText(1).substr(0, 132), blank);
  EXPECT_EQ(dev_.FrameText(2).substr(0, 132), dotted);
  std::string full = dev_.FrameText(3);
  EXPECT_EQ(full.size(), 64u * 133 - 1);
  EXPECT_EQ(full.find('.'), std::string::npos);
  EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 63);
}

// Point 5: misc requests are recorded with their values; faults fail them.
TEST_F(DeviceTest, MiscRequestsRecorded) {
  Script("probe misc 0x80044D05 0\nprobe misc 0x80044D07 5\nprobe misc 0x40044D08\nprobe misc 0x80044D09 1\n");
  auto misc = dev_.Misc();
  ASSERT_EQ(misc.size(), 4u);
  EXPECT_EQ(misc[0].request, 0x80044D05u);
  EXPECT_EQ(misc[0].value, 0);
  EXPECT_EQ(misc[1].value, 5);
  EXPECT_EQ(misc[2].request, 0x40044D08u);
  EXPECT_EQ(misc[2].value, 5);  // the LED mask set before
  EXPECT_EQ(misc[3].value, 1);
  for (const auto& m : misc) EXPECT_EQ(m.result, 0);

  Device bad("miscfault");
  InstallProbe(&bad);
  bad.Ini("[faults]\nmisc = watchdog\n");
  ASSERT_EQ(bad.Shell("probe misc 0x80044D05 0\nprobe misc 0x80044D07 1\n"), 0);
  EXPECT_NE(bad.Console().find("misc error EIO\ndone\n"), std::string::npos) << bad.Console();
  ASSERT_EQ(bad.Misc().size(), 2u);
  EXPECT_EQ(bad.Misc()[0].result, -1);
  EXPECT_EQ(bad.Misc()[1].result, 0);
}

// Point 6: scripted keys arrive as press + release events, by time and by frame.
TEST_F(DeviceTest, KeysInjected) {
  Script("probe keys 2\nprobe fb 0 0\nprobe keys 2\n", {"--keys", "35@0.5s, 12@frame2", "--speed", "10"});
  EXPECT_EQ(dev_.Console().substr(0, 96).find("type 1 code 35 value 1\ntype 1 code 35 value 0\n"), 0u) << dev_.Console();
  EXPECT_NE(dev_.Console().find("bpp=1\ntype 1 code 12 value 1\ntype 1 code 12 value 0\n"), std::string::npos)
      << dev_.Console();
}

// Point 8: IPC listeners record each message; unlisted ids refuse.
TEST_F(DeviceTest, IpcMessagesRecorded) {
  dev_.Ini("[device]\nlisten = 2, 4\n");
  Script("probe ipc 4 3 1 2 hi\nprobe ipc 2 7 -1 0\nprobe ipc 5 1 1 1\nprintf 'abc' | nc local:/var/ipc/2 || true\n");
  auto ipc = dev_.Ipc();
  std::string out = dev_.Console();
  EXPECT_NE(out.find("sent\nsent\nconnect error"), std::string::npos) << out;
  ASSERT_GE(ipc.size(), 2u);
  EXPECT_EQ(ipc[0].receiver, 4);
  EXPECT_EQ(ipc[0].length, 22);
  EXPECT_EQ(ipc[0].msg, 3);
  EXPECT_EQ(ipc[0].sender, 6);
  EXPECT_EQ(ipc[0].wparam, 1);
  EXPECT_EQ(ipc[0].lparam, 2);
  EXPECT_EQ(ipc[0].data, "hi");
  EXPECT_EQ(ipc[1].receiver, 2);
  EXPECT_EQ(ipc[1].wparam, -1);
  EXPECT_EQ(ipc[1].data, "");
}

// Point 9: a reboot ends the run at once; nothing after it runs.
TEST_F(DeviceTest, RebootEndsTheRun) {
  Script("cp /sbin/reboot /tmp/\necho before\n/tmp/reboot\necho after\ntouch /config/after\n");
  EXPECT_EQ(dev_.result().outcome, "rebooted");
  EXPECT_EQ(dev_.result().reboot_command, "/tmp/reboot");
  EXPECT_FALSE(dev_.result().exit_status.has_value());
  EXPECT_EQ(dev_.Console(), "before\n");
  EXPECT_FALSE(dev_.DeviceFileExists("config/after"));

  Script("reboot\necho after\n");
  EXPECT_EQ(dev_.result().outcome, "rebooted");
  EXPECT_EQ(dev_.result().reboot_command, "reboot");
  // The busybox applets that could restart a real device do not exist.
  Script("busybox reboot; echo $?; halt; echo $?; poweroff; echo $?; busybox init; echo $?\n");
  EXPECT_EQ(dev_.result().outcome, "exited");
  EXPECT_EQ(dev_.Console().find("0\n"), std::string::npos) << dev_.Console();
}

// Point 9: killapps stub records its runs and fails when told.
TEST_F(DeviceTest, KillappsStub) {
  dev_.Ini("[faults]\nkillapps = fail\n");
  Script("/app/scripts/killapps.sh; echo rc=$?\n");
  EXPECT_NE(dev_.Console().find("rc=1"), std::string::npos);
  EXPECT_TRUE(dev_.LogContains("killapps.sh ran"));
}

// Point 11: the time limit holds; sleeps are divided by the speed factor.
TEST_F(DeviceTest, TimeoutAndSpeed) {
  Script("sleep 30\n", {"--timeout", "1"});
  EXPECT_EQ(dev_.result().outcome, "timeout");
  EXPECT_FALSE(dev_.result().exit_status.has_value());
  EXPECT_LT(dev_.result().duration_ms, 5000);
  EXPECT_GE(dev_.result().duration_ms, 1000);

  Script("probe sleep 20\n", {"--speed", "100"});
  unsigned long s = 0, us = 0;
  ASSERT_EQ(std::sscanf(dev_.Console().c_str(), "sleep %lu usleep %lu", &s, &us), 2) << dev_.Console();
  EXPECT_GE(s, 190u);
  EXPECT_LT(s, 10000u);  // far below the 20 s asked for
  EXPECT_GE(us, 190u);
  EXPECT_LT(us, 10000u);
}

// Point 10: the shared segment and a semaphore held for a while.
TEST_F(DeviceTest, SharedMemoryAndSemaphores) {
  std::string rom = dev_.HostFile("p.rom", "MORKpackage");
  dev_.Ini("[shm]\nrom = p.rom\nstate = -3\n[semaphores]\n0xB012 = 20\n0xC004 = 0\n");
  Script("probe shm 0xA130 11\nprobe sem try 0xC004\nprobe sem try 0xB012\nprobe sem wait 0xB012\n"
         "probe log 6 taken\n",
         {"--speed", "10"});
  std::string out = dev_.Console();
  EXPECT_NE(out.find("size 8388608 mode 666 state -3 rom MORKpackage"), std::string::npos) << out;
  EXPECT_NE(out.find("semop error EAGAIN\nsemop error EAGAIN\ntaken after"), std::string::npos) << out;
  // Released 20 device seconds (2 s at speed 10) after the start.
  auto log = dev_.Syslog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_GE(log[0].t_ms, 2000);
  EXPECT_LT(log[0].t_ms, 15000);
  // What the run left: the segment; 0xC004 still held; 0xB012 given back by the
  // undo record when its taker ended; the phone's other keys absent.
  const devsim::Sysv& sysv = dev_.result().sysv;
  EXPECT_TRUE(sysv.Segment("0xA130").exists);
  EXPECT_EQ(sysv.Segment("0xA130").value, 8388608);
  EXPECT_FALSE(sysv.Segment("0x1079B").exists);
  EXPECT_EQ(sysv.Semaphore("0xA130").value, 1) << "the filler's memory semaphore, free";
  EXPECT_TRUE(sysv.Semaphore("0xC004").exists);
  EXPECT_EQ(sysv.Semaphore("0xC004").value, 0);
  EXPECT_EQ(sysv.Semaphore("0xB012").value, 1);
  EXPECT_FALSE(sysv.Semaphore("0xC002").exists);
  EXPECT_EQ(sysv.semaphores.count("0xC003"), 1u) << "the phone's keys are listed when absent";

  // A reboot while a process holds a semaphore with an undo record: the record
  // is read once that process has ended. A key of the program's own is listed.
  dev_.Ini("[semaphores]\n0xB012 = 1\n");
  Script("probe sem-create 0x1234\nprobe sem hold 0xB012 > /tmp/held &\n"
         "until grep -q taken /tmp/held; do sleep 1; done\nreboot\n",
         {"--speed", "10"});
  EXPECT_EQ(dev_.result().outcome, "rebooted");
  const devsim::Sysv& after = dev_.result().sysv;
  EXPECT_EQ(after.Semaphore("0xB012").value, 1);
  EXPECT_TRUE(after.Semaphore("0x1234").exists);
  EXPECT_EQ(after.Semaphore("0x1234").value, 0);
  EXPECT_FALSE(after.Segment("0xA130").exists);
}

// Point 1 + 10: fixed keys in parallel runs do not meet; the host's are untouched.
TEST_F(DeviceTest, ParallelRunsHaveTheirOwnSemaphores) {
  std::string before = HostIpcs();
  Device other("parallel");
  InstallProbe(&other);
  std::thread t([&] { other.Shell("probe sem-create 0xC002\nsleep 1\n"); });
  Script("probe sem-create 0xC002\nsleep 1\n");
  t.join();
  EXPECT_NE(dev_.Console().find("created and taken"), std::string::npos) << dev_.Console();
  EXPECT_NE(other.Console().find("created and taken"), std::string::npos) << other.Console();
  EXPECT_EQ(HostIpcs(), before);
}

// Points 1 + 13: the device's /tmp, /config, /etc are its own; files come in
// from rootfs/; the program runs under the argv[0] asked for.
TEST_F(DeviceTest, RootfsAndIsolation) {
  dev_.File("/app/version.conf", "[Version]\nRomVersion=1.2.3.4\n");
  dev_.File("/config/keep.cfg", "x=1\n");
  dev_.File("/tmp/in.txt", "in\n");
  Script("cat /app/version.conf /tmp/in.txt\necho out > /tmp/out.txt\nmkdir -p /tmp/bin && echo skip > /tmp/bin/x\n"
         "umount /etc/; umount /config/; echo umount=$?\nls /config | wc -l\necho $0\n",
         {"--argv0", "/tmp/upgrader_tool"});
  std::string out = dev_.Console();
  EXPECT_NE(out.find("[Version]\nRomVersion=1.2.3.4\nin\n"), std::string::npos) << out;
  EXPECT_NE(out.find("umount=0\n0\n/tmp/upgrader_tool\n"), std::string::npos) << out;
  EXPECT_EQ(dev_.DeviceFile("tmp/out.txt"), "out\n");
  EXPECT_FALSE(dev_.DeviceFileExists("tmp/bin"));
  struct stat st;
  EXPECT_NE(stat("/tmp/in.txt", &st), 0) << "the device's /tmp leaked to the host";
}

// Point 12: missing device files, a failing copy of /bin, a full /tmp.
TEST_F(DeviceTest, FileFaults) {
  dev_.Ini("[faults]\nmissing = /dev/mtd4, /proc/misc/hwver, /dev/mtdblock/3\ncopy_bin = fail\ntmp_full = yes\n");
  Script("ls /dev/mtd4 || echo no-mtd4\ncat /proc/misc/hwver || echo no-hwver\ncat /dev/mtdblock/3 >/dev/null || echo no-blk3\n"
         "cp /bin/ /tmp/ -rf; echo cp=$?\necho data > /tmp/x; echo write=$?\n");
  std::string out = dev_.Console();
  EXPECT_NE(out.find("no-mtd4"), std::string::npos) << out;
  EXPECT_NE(out.find("no-hwver"), std::string::npos) << out;
  EXPECT_NE(out.find("no-blk3"), std::string::npos) << out;
  EXPECT_EQ(out.find("cp=0"), std::string::npos) << out;
  EXPECT_EQ(out.find("write=0"), std::string::npos) << out;
}

// A bad device description names file, section and key.
TEST_F(DeviceTest, BadDescriptionExitsTwo) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[device]\nspeed = fast\n", "[device] speed"},
      {"[faults]\nerase = mtd9:1\n", "[faults] erase"},
      {"[flash]\nmtd2 = nothere.bin\n", "[flash] mtd2"},
      {"[device]\nkeys = 35@soon\n", "[device] keys"},
      {"[gadgets]\nx = 1\n", "[gadgets] x"},
      {"[semaphores]\nkey = 3\n", "[semaphores] key"},
  };
  for (const auto& [ini, where] : cases) {
    dev_.Ini(ini);
    EXPECT_EQ(dev_.Shell("exit 0"), 2) << ini;
    EXPECT_NE(dev_.Stderr().find("device.ini: " + where), std::string::npos) << dev_.Stderr();
  }
}

// The installer start: copied to argv0, the package as /tmp/upgrade.rom.
TEST_F(DeviceTest, InstallerStartInFileAndSharedMemoryMode) {
  std::string installer = dev_.HostFile("fake-installer", "#!/bin/sh\necho \"$0 [$*]\"\ncat \"$1\"\nexit 4\n");
  std::string rom = dev_.HostFile("pkg.rom", "PACKAGE");
  ASSERT_EQ(dev_.Run({"--installer", installer, "--rom", rom}), 0) << dev_.Stderr();
  EXPECT_EQ(dev_.Console(), "/basic/bin/upgrader [/tmp/upgrade.rom]\nPACKAGE");
  EXPECT_EQ(dev_.result().exit_status, 4);
  ASSERT_EQ(dev_.Run({"--installer", installer, "--rom", rom, "--argv0", "/tmp/upgrader_tool"}, {"a", "b"}), 0);
  EXPECT_EQ(dev_.Console().substr(0, 28), "/tmp/upgrader_tool [a b]\ncat");
  ASSERT_EQ(dev_.Run({"--installer", installer, "--shm", rom, "--state", "2"}), 0);
  EXPECT_EQ(dev_.Console().substr(0, 23), "/basic/bin/upgrader []\n") << "shared-memory mode has no argument";
  // Without an installer to run, the simulator says so.
  EXPECT_EQ(dev_.Run({"--installer", dev_.Dir() + "/none"}), 1);
  EXPECT_NE(dev_.Stderr().find("none not found"), std::string::npos) << dev_.Stderr();
}

// A program killed by a signal is "crashed"; a crash never hangs devsim.
TEST_F(DeviceTest, CrashIsRecorded) {
  Script("kill -SEGV $$\n");
  EXPECT_EQ(dev_.result().outcome, "crashed");
  EXPECT_EQ(dev_.result().signal, 11);
  EXPECT_FALSE(dev_.result().exit_status.has_value());
}

// A background process left running keeps the run going until it ends.
TEST_F(DeviceTest, RunWaitsForLeftoverProcesses) {
  Script("(sleep 1; echo late > /config/late) &\nexit 0\n");
  EXPECT_EQ(dev_.result().outcome, "exited");
  EXPECT_EQ(dev_.DeviceFile("config/late"), "late\n");
  EXPECT_GE(dev_.result().duration_ms, 1000);
}

// Point 13: a gtest binary runs in-process inside the device with its filter.
TEST_F(DeviceTest, GtestBinaryInsideTheDevice) {
  ASSERT_EQ(dev_.Exec(devsim::BinDir() + "/devsim_unit_test", {"--gtest_filter=EnvStoreTest.*"}), 0);
  EXPECT_EQ(dev_.result().exit_status, 0) << dev_.Console();
  EXPECT_NE(dev_.Console().find("[  PASSED  ] 1 test."), std::string::npos) << dev_.Console();
}

// Point 1: nothing a run does reaches the host's /dev, /var, /tmp or SysV objects.
TEST_F(DeviceTest, HostIsUntouched) {
  auto listing = [](const std::string& dir) {
    std::string out;
    if (DIR* d = opendir(dir.c_str())) {
      std::vector<std::string> names;
      while (dirent* e = readdir(d)) names.push_back(e->d_name);
      closedir(d);
      std::sort(names.begin(), names.end());
      for (auto& n : names) out += n + "\n";
    }
    return out;
  };
  std::string dev = listing("/dev"), var = listing("/var"), ipcs = HostIpcs();
  struct stat st;
  bool had_marker = stat("/tmp/devsim-host-marker", &st) == 0;
  Script("probe sem-create 0xC003\nprobe log 3 x\ntouch /dev/new /var/new /tmp/devsim-host-marker\n"
         "echo x > /etc/hostname\nrm -f /dev/null /dev/zero\nhostname other\n");
  EXPECT_EQ(listing("/dev"), dev);
  EXPECT_EQ(listing("/var"), var);
  EXPECT_EQ(HostIpcs(), ipcs);
  EXPECT_EQ(stat("/tmp/devsim-host-marker", &st) == 0, had_marker);
  EXPECT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// devsim show: outcome, frames, messages, changed variables and partitions.
TEST_F(DeviceTest, ShowSummarisesTheRun) {
  Script("echo 'NEWVAR 12' > /proc/avalanche/env\necho SW_OEM > /proc/avalanche/env\n"
         "echo 'MID_VERSION 3' > /proc/avalanche/env\n"
         "probe mtd-write 3 0 0 4\nprobe mtd-repair 5 0x700000 0x10000\nprobe fb 0xFF\nprobe ipc 4 3 1 2 hi\n"
         "probe sem-create 0xC002\nexit 5\n");
  std::string out_path = dev_.Dir() + "/show.txt";
  std::string cmd = devsim::BinDir() + "/devsim show " + dev_.OutDir() + " > " + out_path;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string show = devsim::ReadFile(out_path);
  for (const char* expected : {"outcome exited, exit status 5", "1 frames", "frame 1:\n" , "IPC messages: 1",
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
