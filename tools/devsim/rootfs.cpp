#include "rootfs.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hostfs.h"

namespace devsim {

using namespace hostfs;
namespace {

const char* const kBusybox = "/bin/busybox";
const char* const kHostLibs = "/usr/lib/x86_64-linux-gnu";
const char* const kLoader = "/lib64/ld-linux-x86-64.so.2";
const char* const kHostDevs[] = {"null", "zero", "random", "urandom", "full"};
// Applets that would restart the device behind the simulator's back.
const char* const kRemovedApplets[] = {"reboot", "halt", "poweroff", "init", "linuxrc"};

bool IsRemoved(const std::string& name) {
  for (const char* r : kRemovedApplets) {
    if (name == r) return true;
  }
  return false;
}

bool ListApplets(std::vector<std::string>* out, std::string* error) {
  FILE* p = popen("/bin/busybox --list", "r");
  if (p == nullptr) {
    *error = "cannot run /bin/busybox --list";
    return false;
  }
  char line[256];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::string name = line;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (!name.empty()) out->push_back(name);
  }
  if (pclose(p) != 0 || out->size() < 10) {
    *error = "/bin/busybox --list failed (is busybox-static installed?)";
    return false;
  }
  return true;
}

std::string KillappsStub(bool fail) {
  std::string s =
      "#!/bin/sh\n"
      "# Stand-in for the phone's application stop script: records that it ran.\n"
      "echo \"killapps.sh $*\" >> " + std::string(kKillappsLog) + "\n"
      "logger -t killapps.sh \"killapps.sh ran" + std::string(fail ? " (failing)" : "") + "\"\n";
  s += fail ? "exit 1\n" : "exit 0\n";
  return s;
}

bool Symlink(const std::string& target, const std::string& path) {
  unlink(path.c_str());
  return symlink(target.c_str(), path.c_str()) == 0;
}

bool CopyIn(const std::string& from, const std::string& to, std::string* error) {
  if (!Exists(from)) return true;
  if (!CopyTree(from, to)) {
    *error = "cannot copy " + from + " into the device";
    return false;
  }
  return true;
}

}  // namespace

bool DisableApplets(std::string* bytes, const std::vector<std::string>& applets, std::string* error) {
  std::string table;
  for (const std::string& a : applets) table += a + '\0';
  size_t at = bytes->find(table);
  if (at == std::string::npos || at == 0 || (*bytes)[at - 1] != '\0') {
    *error = "busybox applet table not found: refusing to build a device whose reboot applet may be reachable";
    return false;
  }
  size_t pos = at;
  for (const std::string& a : applets) {
    if (IsRemoved(a)) (*bytes)[pos + a.size() - 1] = '~';  // keeps length; no such command exists
    pos += a.size() + 1;
  }
  return true;
}

bool BuildRootfs(const DeviceConfig& cfg, const RootfsPaths& p, std::string* error) {
  const std::string& r = p.root;
  for (const char* d : {"bin", "sbin", "usr/bin", "usr/sbin", "usr/local/bin", "usr/lib/x86_64-linux-gnu",
                        "usr/lib/devsim", "lib64", "dev/input", "dev/.devsim/proc", "proc", "etc", "config",
                        "tmp", "var/ipc", "var/run", "var/tmp", "app/scripts", "basic/bin", "root"}) {
    if (!MakeDirs(r + "/" + d)) {
      *error = "cannot create " + r + "/" + d;
      return false;
    }
  }
  chmod((r + "/tmp").c_str(), 01777);
  if (!Symlink("usr/lib", r + "/lib") || !Symlink(std::string(kHostLibs) + "/ld-linux-x86-64.so.2", r + kLoader)) {
    *error = "cannot link the library folders";
    return false;
  }
  // busybox with its dangerous applets renamed, and one link per applet.
  std::vector<std::string> applets;
  std::string bb;
  if (!ListApplets(&applets, error)) return false;
  if (!ReadText(kBusybox, &bb)) {
    *error = std::string("cannot read ") + kBusybox;
    return false;
  }
  if (!DisableApplets(&bb, applets, error) || !WriteText(r + "/bin/busybox", bb, 0755)) {
    if (error->empty()) *error = "cannot write the device's busybox";
    return false;
  }
  for (const std::string& a : applets) {
    if (a == "busybox" || IsRemoved(a)) continue;
    Symlink("busybox", r + "/bin/" + a);
  }
  // The simulator's own pieces.
  std::string shim, reboot;
  if (!ReadText(p.bin_dir + "/libdevsim_shim.so", &shim) || !ReadText(p.bin_dir + "/devsim_reboot", &reboot)) {
    *error = "libdevsim_shim.so or devsim_reboot missing beside devsim in " + p.bin_dir;
    return false;
  }
  WriteText(r + kShimPath, shim, 0755);
  WriteText(r + "/sbin/reboot", reboot, 0755);
  WriteText(r + "/app/scripts/killapps.sh", KillappsStub(cfg.killapps_fail), 0755);
  // Device files: the shim recognises them by inode.
  WriteText(r + "/dev/fb0", std::string(1056, '\0'), 0666);
  WriteText(r + "/dev/misc0", "", 0666);
  for (int i = 0; i < 9; ++i) WriteText(r + "/dev/mtd" + std::to_string(i), "", 0666);
  Symlink("/proc/.devsim/mtdblock", r + "/dev/mtdblock");
  for (const char* d : kHostDevs) WriteText(r + "/dev/" + d, "", 0666);
  WriteText(r + "/dev/.devsim/killapps.log", "", 0666);
  if (mkfifo((r + "/dev/input/event0").c_str(), 0666) != 0) {
    *error = "cannot create the keypad pipe";
    return false;
  }
  if (cfg.copy_bin_fail) WriteText(r + kCopyFault, "", 0644);
  // The device's own files, except the folders that become tmpfs mounts.
  std::string src = cfg.dir + "/rootfs";
  if (Exists(src) && !CopyTree(src, r, {"tmp", "config", "etc"})) {
    *error = "cannot copy " + src + " into the device";
    return false;
  }
  return true;
}

bool MountDevice(const DeviceConfig& cfg, const RootfsPaths& p, std::string* error) {
  const std::string& r = p.root;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *error = "cannot make the mount tree private";
    return false;
  }
  std::string libs = r + kHostLibs;
  if (mount(kHostLibs, libs.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
      mount(nullptr, libs.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY | MS_REC, nullptr) != 0) {
    *error = "cannot bind the host libraries";
    return false;
  }
  for (const char* d : kHostDevs) {
    std::string host = std::string("/dev/") + d, dev = r + "/dev/" + d;
    if (mount(host.c_str(), dev.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *error = "cannot bind " + host;
      return false;
    }
  }
  for (const char* d : {"etc", "config", "tmp"}) {
    std::string target = r + "/" + d;
    const char* opts = std::strcmp(d, "tmp") == 0 ? "mode=1777" : "mode=0755";
    if (mount("tmpfs", target.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, opts) != 0) {
      *error = "cannot mount tmpfs on " + target;
      return false;
    }
    if (!CopyIn(cfg.dir + "/rootfs/" + d, target, error)) return false;
  }
  WriteText(r + "/etc/hostname", "phone\n");
  WriteText(r + "/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n");
  WriteText(r + "/etc/group", "root:x:0:\n");
  return true;
}

bool PlaceProgram(const DeviceConfig& cfg, const RootfsPaths& p, const std::string& host_program,
                  const std::string& device_path, std::string* error) {
  std::string bytes;
  if (!ReadText(host_program, &bytes)) {
    *error = "cannot read program " + host_program;
    return false;
  }
  if (!WriteText(p.root + device_path, bytes, 0755)) {
    *error = "cannot place the program at " + device_path;
    return false;
  }
  if (!cfg.rom_file.empty()) {
    std::string rom;
    if (!ReadText(cfg.rom_file, &rom) || !WriteText(p.root + "/tmp/upgrade.rom", rom, 0644)) {
      *error = "cannot place " + cfg.rom_file + " as /tmp/upgrade.rom";
      return false;
    }
  }
  return true;
}

bool FillTmp(const RootfsPaths& p, std::string* error) {
  std::string tmp = p.root + "/tmp";
  struct statvfs vs;
  if (statvfs(tmp.c_str(), &vs) != 0) {
    *error = "cannot measure /tmp";
    return false;
  }
  unsigned long used = (vs.f_blocks - vs.f_bfree) * vs.f_frsize;
  std::string opts = "size=" + std::to_string(used + 4096);
  if (mount(nullptr, tmp.c_str(), nullptr, MS_REMOUNT | MS_NOSUID | MS_NODEV, opts.c_str()) != 0) {
    *error = "cannot shrink /tmp";
    return false;
  }
  FILE* f = std::fopen((tmp + "/.devsim-full").c_str(), "w");
  if (f != nullptr) {
    static const char kPage[4096] = {};
    while (std::fwrite(kPage, 1, sizeof kPage, f) == sizeof kPage) {
    }
    std::fclose(f);
  }
  return true;
}

void RemoveMissing(const DeviceConfig& cfg, const RootfsPaths& p) {
  for (const std::string& path : cfg.missing) {
    if (path.rfind("/proc/", 0) == 0 || path.rfind("/dev/mtdblock/", 0) == 0) continue;  // hidden by procfs
    RemoveTree(p.root + path);
  }
}

}  // namespace devsim
