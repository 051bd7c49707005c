#include "sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostfs.h"

namespace devsim {

using namespace hostfs;

bool EnterNamespaces(std::string* error) {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWIPC | CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWUTS) != 0) {
    *error = std::string("cannot enter the device's namespaces: ") + std::strerror(errno);
    return false;
  }
  if (!WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
      !WriteText("/proc/self/setgroups", "deny\n") ||
      !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n")) {
    *error = "cannot map the device's root user";
    return false;
  }
  return true;
}

namespace {

[[noreturn]] void Die(int status_fd, const char* what) {
  dprintf(status_fd, "error %s: %s\n", what, std::strerror(errno));
  _exit(127);
}

[[noreturn]] void InitMain(const InitSpec& s) {
  // PID 1 of the device dies with the supervisor (its parent lies outside
  // the PID namespace, so getppid() reads 0 here and cannot tell).
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (mount("proc", s.real_proc.c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    Die(s.status_fd, "mount proc");
  }
  // The copy fault binds a file whose reads fail into /bin. Done here, not
  // by the supervisor: the source lies on the FUSE mount it serves.
  if (!s.copy_fault_target.empty() &&
      mount(s.copy_fault_source.c_str(), s.copy_fault_target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    Die(s.status_fd, "bind the /bin copy fault");
  }
  sethostname("phone", 5);
  if (chroot(s.root.c_str()) != 0 || chdir("/") != 0) Die(s.status_fd, "chroot");

  std::vector<char*> argv, envp;
  for (const std::string& a : s.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : s.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_t child = fork();
  if (child < 0) Die(s.status_fd, "fork");
  if (child == 0) {
    close(s.status_fd);
    if (s.console_fd >= 0) {
      dup2(s.console_fd, 1);
      dup2(s.console_fd, 2);
      close(s.console_fd);
    }
    int in = open("/dev/null", O_RDONLY);
    if (in >= 0 && in != 0) {
      dup2(in, 0);
      close(in);
    }
    signal(SIGPIPE, SIG_DFL);
    execve(s.program.c_str(), argv.data(), envp.data());
    dprintf(2, "devsim: cannot start %s: %s\n", s.program.c_str(), std::strerror(errno));
    _exit(127);
  }
  if (s.console_fd >= 0) close(s.console_fd);
  // PID 1 reaps every process of the device; the run ends when the program
  // and everything it left running have ended.
  int program_status = -1;
  for (;;) {
    int st = 0;
    pid_t p = wait(&st);
    if (p < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p == child) program_status = st;
  }
  dprintf(s.status_fd, "status %d\n", program_status);
  _exit(0);
}

}  // namespace

pid_t StartInit(const InitSpec& setup, std::string* error) {
  pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start the device: ") + std::strerror(errno);
    return -1;
  }
  if (pid == 0) InitMain(setup);
  return pid;
}

}  // namespace devsim
