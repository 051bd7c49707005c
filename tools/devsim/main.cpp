// devsim: run a program (by default the installer) inside a simulated desk
// phone and record everything the device would show. See docs/devsim.md.
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config.h"
#include "hostfs.h"
#include "report.h"
#include "show.h"
#include "supervisor.h"

namespace {

const char kUsage[] =
    "usage: devsim run DEVICE_DIR OUT_DIR [options] [-- ARGS...]\n"
    "       devsim show OUT_DIR\n"
    "       devsim report OUT_DIR -o FILE.html\n"
    "       devsim --help\n"
    "\n"
    "Runs the installer (or any program) inside a simulated phone: own user, mount,\n"
    "IPC, PID, network and UTS namespaces, a busybox root file system, an 8 MiB NOR\n"
    "flash at 0x90000000 behind /dev/mtd0..8, the bootloader variables in\n"
    "/proc/avalanche/env, the LCD (/dev/fb0 + /proc/glcd/refresh), the misc device,\n"
    "the keypad, syslog, IPC listeners on /var/ipc/N and a reboot that ends the run.\n"
    "\n"
    "DEVICE_DIR holds device.ini (every key optional) and optionally rootfs/ (files\n"
    "copied into the device, e.g. rootfs/app/version.conf, rootfs/config/...):\n"
    "  [device]      hwver, software, kernel_mtd_repair = yes|no, listen = 1,2,...,\n"
    "                speed (the program's sleeps are divided by it), timeout (wall\n"
    "                seconds), keys = CODE@Ns, CODE@frameN, ..., argv0 = /basic/bin/upgrader\n"
    "  [bootloader]  variables in listing order (mtd0..mtd8 = \"start,end\" give the\n"
    "                partition windows); without the section a default layout is used\n"
    "  [flash]       fill = 0xFF, erase_ms = N (one block erase; divided by speed),\n"
    "                mtdN = FILE (written at the window's start)\n"
    "  [shm]         rom = FILE, state = N, key = 0xA130 (shared-memory mode)\n"
    "  [semaphores]  0xKEY = SECONDS (held by another process; 0 = whole run)\n"
    "  [faults]      erase / write / short_write = mtdN:BLOCK,...; memgetinfo / short_read = mtdN,...;\n"
    "                missing = PATH,...; misc = fail|watchdog; killapps = fail;\n"
    "                copy_bin = fail; tmp_full = yes\n"
    "Relative file names resolve in DEVICE_DIR.\n"
    "\n"
    "Options (override device.ini):\n"
    "  --rom FILE        file mode: FILE becomes /tmp/upgrade.rom and the argument\n"
    "  --shm FILE        shared-memory mode with FILE in the segment\n"
    "  --state N         state word of the segment\n"
    "  --keys LIST       key script, as keys= above\n"
    "  --speed N         divide the program's sleeps by N\n"
    "  --timeout S       wall-time limit in seconds\n"
    "  --argv0 PATH      path the program is started as\n"
    "  --installer PATH  installer binary (default: upgrader beside devsim)\n"
    "  --exec PROGRAM    run this host program inside the device instead\n"
    "  --report FILE     write the run's web page to FILE afterwards (as devsim report)\n"
    "  -- ARGS...        the program's arguments\n"
    "\n"
    "OUT_DIR receives result.json, syslog.jsonl, ipc.jsonl, misc.jsonl, frames/\n"
    "(NNNN.txt text art, NNNN.png), frames.txt, env.txt, flash.img,\n"
    "partitions.json (and env.start.txt, flash.start.img, partitions.start.json\n"
    "as the run began), console.log (the program's stdout/stderr) and device/\n"
    "(/config and /tmp at the end, without /tmp/bin), device.ini and command.txt\n"
    "(the description and the command line the run was given). `devsim report`\n"
    "makes one self-contained HTML page of it. docs/devsim.md has the record\n"
    "formats and a worked example.\n"
    "\n"
    "Exit status: 0 the run happened (whatever its outcome), 1 the simulator\n"
    "failed, 2 bad device description or usage.\n";

int Usage(const char* why) {
  std::fprintf(stderr, "devsim: %s\n\n%s", why, kUsage);
  return 2;
}

std::string SelfDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string path = buf;
  return path.substr(0, path.rfind('/'));
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// Applies the options after DEVICE_DIR OUT_DIR; false with a message on bad use.
bool ApplyOptions(int argc, char** argv, int first, devsim::DeviceConfig* cfg, std::string* error) {
  for (int i = first; i < argc; ++i) {
    std::string opt = argv[i];
    if (opt == "--") {
      cfg->has_args = true;
      for (++i; i < argc; ++i) cfg->args.push_back(argv[i]);
      break;
    }
    if (i + 1 >= argc) {
      *error = "option " + opt + " needs a value";
      return false;
    }
    std::string v = argv[++i];
    double d = 0;
    int64_t n = 0;
    if (opt == "--rom") {
      cfg->rom_file = Absolute(v);
    } else if (opt == "--shm") {
      cfg->shm_rom = Absolute(v);
    } else if (opt == "--state") {
      if (!devsim::ParseInt(v, &n) || n < INT32_MIN || n > INT32_MAX) {
        *error = "--state: expected a 32-bit integer";
        return false;
      }
      cfg->shm_state = static_cast<int32_t>(n);
    } else if (opt == "--keys") {
      cfg->keys.clear();
      if (!devsim::ParseKeys(v, &cfg->keys)) {
        *error = "--keys: expected code@Ns or code@frameN, comma separated";
        return false;
      }
    } else if (opt == "--speed") {
      if (!devsim::ParseNumber(v, &d) || d <= 0) {
        *error = "--speed: expected a number above 0";
        return false;
      }
      cfg->speed = d;
    } else if (opt == "--timeout") {
      if (!devsim::ParseNumber(v, &d) || d <= 0) {
        *error = "--timeout: expected seconds above 0";
        return false;
      }
      cfg->timeout = d;
    } else if (opt == "--argv0") {
      if (v.empty() || v[0] != '/') {
        *error = "--argv0: expected an absolute path";
        return false;
      }
      cfg->argv0 = v;
      cfg->argv0_given = true;
    } else if (opt == "--installer") {
      cfg->installer = Absolute(v);
    } else if (opt == "--exec") {
      cfg->exec_program = Absolute(v);
    } else {
      *error = "unknown option " + opt;
      return false;
    }
  }
  return true;
}

pid_t g_run_pid = -1;

// Ctrl-C reaches the run too (same process group); a SIGTERM is passed on.
// Either way this process stays to remove the work directory.
void PassOn(int sig) {
  if (g_run_pid > 0) kill(g_run_pid, sig);
}

// Waits for the run's process; kills it when it outlives the time limit by
// far (the run enforces the limit itself; this guards against a hang).
int WaitRun(pid_t pid, double timeout) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int limit_ms = static_cast<int>(std::min((timeout + 30) * 1000, 2e9));
    int r;
    while ((r = poll(&p, 1, limit_ms)) < 0 && errno == EINTR) {
    }
    if (r == 0) {
      std::fprintf(stderr, "devsim: the run did not end; killed\n");
      kill(pid, SIGKILL);
    }
    close(pidfd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Takes `--report FILE` out of the options (before any `--`): it is for
// this command, not for the device.
bool TakeReportOption(int* argc, char** argv, std::string* report) {
  for (int i = 4; i < *argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--report") != 0) continue;
    if (i + 1 >= *argc) return false;
    *report = Absolute(argv[i + 1]);
    std::copy(argv + i + 2, argv + *argc, argv + i);
    *argc -= 2;
    return true;
  }
  return true;
}

// The description and the command line, kept beside the records so that a
// report made later still tells what the run was given.
void RecordDescription(const std::string& dir, const std::string& out, int argc, char** argv) {
  std::string ini, command = "devsim";
  hostfs::ReadText(dir + "/device.ini", &ini);
  for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
  hostfs::WriteText(out + "/device.ini", ini);
  hostfs::WriteText(out + "/command.txt", command + "\n");
}

int Run(int argc, char** argv) {
  if (argc < 4) return Usage("run needs DEVICE_DIR and OUT_DIR");
  devsim::DeviceConfig cfg;
  std::string error, report;
  if (!TakeReportOption(&argc, argv, &report)) return Usage("option --report needs a value");
  std::string dir = Absolute(argv[2]);
  if (!devsim::LoadDevice(dir, &cfg, &error)) {
    std::fprintf(stderr, "devsim: %s\n", error.c_str());
    return 2;
  }
  if (!ApplyOptions(argc, argv, 4, &cfg, &error)) return Usage(error.c_str());
  std::string bin = SelfDir();
  if (cfg.installer.empty()) cfg.installer = bin + "/upgrader";
  std::string program = cfg.exec_program.empty() ? cfg.installer : cfg.exec_program;
  if (access(program.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "devsim: program %s not found%s\n", program.c_str(),
                 cfg.exec_program.empty() ? " (build the upgrader target, or use --installer / --exec)" : "");
    return 1;
  }
  for (const std::string* f : {&cfg.rom_file, &cfg.shm_rom}) {
    if (!f->empty() && access(f->c_str(), R_OK) != 0) {
      std::fprintf(stderr, "devsim: cannot read %s\n", f->c_str());
      return 2;
    }
  }
  // A short work path: socket paths inside it must fit 108 bytes.
  char work[] = "/tmp/ds-XXXXXX";
  if (mkdtemp(work) == nullptr) {
    std::perror("devsim: mkdtemp");
    return 1;
  }
  devsim::RunPaths paths{work, Absolute(argv[3]), bin};
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("devsim: fork");
    hostfs::RemoveTree(work);
    return 1;
  }
  if (pid == 0) _exit(devsim::RunDevice(cfg, paths));
  g_run_pid = pid;
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, PassOn);
  int rc = WaitRun(pid, cfg.timeout);
  // The run's mounts lived in its own mount namespace, gone with it: only
  // the plain tree is left to remove.
  if (!std::getenv("DEVSIM_KEEP_WORK")) hostfs::RemoveTree(work);
  if (rc != 0) return rc;
  RecordDescription(dir, paths.out, argc, argv);
  return report.empty() ? 0 : devsim::Report(paths.out, report);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("missing command");
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cmd == "run") return Run(argc, argv);
  if (cmd == "show") {
    if (argc != 3) return Usage("show needs OUT_DIR");
    return devsim::Show(argv[2]);
  }
  if (cmd == "report") {
    if (argc != 5 || std::strcmp(argv[3], "-o") != 0) return Usage("report needs OUT_DIR -o FILE.html");
    return devsim::Report(argv[2], argv[4]);
  }
  return Usage(("unknown command " + cmd).c_str());
}
