// The device's root file system, built in the run's work directory.
//
// Before the namespaces: BuildRootfs() lays out the tree (busybox applets,
// the shim, the reboot command, the killapps stub, device files, the
// device directory's rootfs/ copy). Inside the mount namespace:
// MountDevice() binds the host libraries read-only, mounts tmpfs on /etc,
// /config and /tmp and fills them, and binds the harmless host character
// devices (null, zero, random, urandom, full).
#pragma once

#include <string>

#include "config.h"

namespace devsim {

struct RootfsPaths {
  std::string bin_dir;  // where devsim, its shim and the reboot program live
  std::string root;     // <work>/r
};

// In-device paths of the simulator's own pieces.
inline constexpr const char* kShimPath = "/usr/lib/devsim/libdevsim_shim.so";
inline constexpr const char* kRealProc = "/dev/.devsim/proc";
inline constexpr const char* kCopyFault = "/bin/.devsim-copy-fault";
inline constexpr const char* kKillappsLog = "/dev/.devsim/killapps.log";

bool BuildRootfs(const DeviceConfig& cfg, const RootfsPaths& p, std::string* error);
bool MountDevice(const DeviceConfig& cfg, const RootfsPaths& p, std::string* error);
// Places the program (and --rom package) and applies the /tmp and missing
// faults; run after MountDevice.
bool PlaceProgram(const DeviceConfig& cfg, const RootfsPaths& p, const std::string& host_program,
                  const std::string& device_path, std::string* error);
// Makes /tmp full: its tmpfs shrinks to what it holds plus one page, which
// a filler file then takes.
bool FillTmp(const RootfsPaths& p, std::string* error);
// Removes the device files named by the `missing` fault (outside /proc).
void RemoveMissing(const DeviceConfig& cfg, const RootfsPaths& p);

// The applet names of the busybox binary `bytes` (from `busybox --list`),
// with the reboot, halt, poweroff, init and linuxrc applets renamed in the
// binary's name table so that neither the shell nor `busybox NAME` can
// reach them. False when the table is not where the list says.
bool DisableApplets(std::string* bytes, const std::vector<std::string>& applets, std::string* error);

}  // namespace devsim
