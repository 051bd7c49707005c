// Namespaces of a run and the device's PID 1.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace devsim {

// Enters new user, mount, IPC, PID, network and UTS namespaces, mapping the
// caller's uid/gid to root inside. The user namespace is always new (also
// as root): a reboot request inside can then never reach the host. The
// caller's children are born in the new PID namespace.
bool EnterNamespaces(std::string* error);

struct InitSpec {
  std::string root;                 // host path of the device's root
  std::string real_proc;            // host path where the kernel's proc goes
  std::string copy_fault_target;    // host path to bind the unreadable file on ("" = none)
  std::string copy_fault_source;    // host path of the unreadable file
  std::string program;              // in-device path to execute
  std::vector<std::string> argv;    // argv[0] first
  std::vector<std::string> env;     // NAME=value
  int status_fd = -1;               // init writes "<wait status>\n" here at the end
  int console_fd = -1;              // stdout/stderr of the program
};

// Forks the device's PID 1. It mounts proc, applies the /bin copy fault,
// chroots, starts the program, reaps every process until none is left and
// then reports the program's wait status and exits. Returns its pid.
pid_t StartInit(const InitSpec& setup, std::string* error);

}  // namespace devsim
