#include "supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "envstore.h"
#include "flash.h"
#include "hostfs.h"
#include "procfs.h"
#include "records.h"
#include "rootfs.h"
#include "sandbox.h"
#include "shim/protocol.h"
#include "sysv.h"

namespace devsim {

using namespace hostfs;
namespace {

using json = nlohmann::json;
using namespace devsim_proto;

// The semaphore that guards the shared ROM buffer, whichever key the segment has.
constexpr int kMemorySemKey = 0xA130;

int BindSocket(const std::string& path, int type, std::string* error) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    *error = "socket path too long: " + path;
    return -1;
  }
  std::strcpy(addr.sun_path, path.c_str());
  int fd = socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (type == SOCK_STREAM && listen(fd, 128) != 0)) {
    *error = "cannot bind " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  chmod(path.c_str(), 0777);
  return fd;
}

struct IpcConn {
  int fd;
  int receiver;
  std::string bytes;
};

struct CtlConn {
  int fd;
  std::string in;
};

// {"mtd0": {"start": "0x90000000", "end": "0x90020000"}, ...} for the
// partitions that have a window.
std::string PartitionsJson(const Flash& flash) {
  json parts = json::object();
  for (int i = 0; i < kPartitions; ++i) {
    const Window& w = flash.window(i);
    if (w.size() == 0) continue;
    char s[16], e[16];
    std::snprintf(s, sizeof s, "0x%08X", w.start);
    std::snprintf(e, sizeof e, "0x%08X", w.end);
    parts["mtd" + std::to_string(i)] = {{"start", s}, {"end", e}};
  }
  return parts.dump(2) + "\n";
}

// {"mtd1": {"erases": n, "writes": n, "bytes_written": n, "bytes_read": n,
// "first_erase_ms": t or null, "last_write_ms": t or null}, ...} for every
// window a request reached.
json FlashOpsJson(const Flash& flash) {
  json all = json::object();
  for (int i = 0; i < kPartitions; ++i) {
    const FlashOps& o = flash.ops(i);
    if (!o.opened) continue;
    json w = {{"erases", o.erases}, {"writes", o.writes}, {"bytes_written", o.bytes_written},
              {"bytes_read", o.bytes_read}, {"first_erase_ms", nullptr}, {"last_write_ms", nullptr}};
    if (o.first_erase_ms >= 0) w["first_erase_ms"] = o.first_erase_ms;
    if (o.last_write_ms >= 0) w["last_write_ms"] = o.last_write_ms;
    all["mtd" + std::to_string(i)] = w;
  }
  return all;
}

class Device {
 public:
  Device(const DeviceConfig& cfg, const RunPaths& paths)
      : cfg_(cfg), paths_(paths), root_(paths.work + "/r"), flash_(cfg), env_(cfg.bootloader) {
    flash_.SetClock([this] { return rec_.NowMs(); });
  }
  int Run();

 private:
  bool Prepare(std::string* error);
  bool CreateIpcObjects(std::string* error);
  bool Start(std::string* error);
  void Loop();
  void Finish();

  void OnCtlData(CtlConn* c);
  void Handle(const Request& rq, const std::string& payload, CtlConn* c);
  void Reply(CtlConn* c, int64_t result, uint64_t value, const std::string& payload = "");
  void HandleMisc(uint32_t request, int64_t passed, CtlConn* c);
  void OnRefresh();
  void Key(int code);
  void Reboot(const std::string& command);
  void Kill();

  int64_t DeviceMsToWall(double device_ms) const { return static_cast<int64_t>(device_ms / cfg_.speed); }

  const DeviceConfig& cfg_;
  RunPaths paths_;
  std::string root_;
  Records rec_;
  Flash flash_;
  EnvStore env_;
  ProcfsState pstate_;
  std::unique_ptr<Procfs> procfs_;

  int log_fd_ = -1, ctl_fd_ = -1, key_fd_ = -1, status_fd_ = -1, pidfd_ = -1;
  std::map<int, int> listeners_;  // fd -> id
  std::vector<IpcConn> ipc_conns_;
  std::vector<CtlConn> ctl_conns_;
  pid_t init_ = -1;
  std::vector<int> sem_ids_;
  std::vector<bool> sem_released_;
  std::vector<bool> key_sent_;

  std::string status_text_;
  bool ended_ = false;
  bool timed_out_ = false;
  std::optional<std::string> reboot_command_;
  int64_t end_ms_ = 0;
  int32_t led_ = 0, backlight_ = 0;
  std::string start_env_, start_partitions_, start_chip_;
};

bool Device::Prepare(std::string* error) {
  RootfsPaths rp{paths_.bin_dir, root_};
  if (!flash_.Load(cfg_, error)) return false;
  start_env_ = env_.Listing();
  start_partitions_ = PartitionsJson(flash_);
  start_chip_.assign(flash_.chip().begin(), flash_.chip().end());
  if (!BuildRootfs(cfg_, rp, error)) return false;
  // Sockets are bound before the namespaces are entered (path-based sockets
  // stay reachable from inside).
  if ((log_fd_ = BindSocket(root_ + "/dev/log", SOCK_DGRAM, error)) < 0) return false;
  if ((ctl_fd_ = BindSocket(root_ + kCtlPath, SOCK_STREAM, error)) < 0) return false;
  for (int id : cfg_.listen) {
    int fd = BindSocket(root_ + "/var/ipc/" + std::to_string(id), SOCK_STREAM, error);
    if (fd < 0) return false;
    listeners_[fd] = id;
  }
  // The keypad: opened read-write so that events written before the reader
  // opens are kept and no write ever blocks.
  key_fd_ = open((root_ + "/dev/input/event0").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (key_fd_ < 0) {
    *error = "cannot open the keypad pipe";
    return false;
  }
  if (!EnterNamespaces(error)) return false;
  if (!MountDevice(cfg_, rp, error)) return false;

  pstate_.env = &env_;
  pstate_.flash = &flash_;
  pstate_.hwver = cfg_.hwver;
  pstate_.software = cfg_.software;
  pstate_.real_proc = kRealProc;
  for (const std::string& m : cfg_.missing) {
    if (m.rfind("/proc/", 0) == 0) pstate_.hidden.insert(m.substr(6));
    if (m.rfind("/dev/mtdblock/", 0) == 0) pstate_.hidden.insert(".devsim/mtdblock/" + m.substr(14));
  }
  pstate_.short_read.insert(cfg_.short_read_faults.begin(), cfg_.short_read_faults.end());
  pstate_.on_refresh = [this] { OnRefresh(); };
  procfs_ = std::make_unique<Procfs>(&pstate_);
  if (!procfs_->Mount(root_ + "/proc", error)) return false;
  return CreateIpcObjects(error);
}

bool Device::CreateIpcObjects(std::string* error) {
  if (!cfg_.shm_rom.empty()) {
    std::string rom;
    if (!ReadText(cfg_.shm_rom, &rom) || rom.size() > 0x800000 - 8) {
      *error = "device.ini: [shm] rom: " + cfg_.shm_rom + " is unreadable or larger than the segment";
      return false;
    }
    int id = shmget(static_cast<key_t>(cfg_.shm_key), 0x800000, IPC_CREAT | 0666);
    void* p = id < 0 ? reinterpret_cast<void*>(-1) : shmat(id, nullptr, 0);
    if (p == reinterpret_cast<void*>(-1)) {
      *error = std::string("cannot create the shared segment: ") + std::strerror(errno);
      return false;
    }
    uint8_t* b = static_cast<uint8_t*>(p);
    uint32_t s = static_cast<uint32_t>(cfg_.shm_state);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(s >> (8 * i));
    std::memcpy(b + 8, rom.data(), rom.size());
    shmdt(p);
  }
  for (const SemHold& h : cfg_.semaphores) {
    // Created taken (value 0), as another process of the device would hold it.
    int id = semget(static_cast<key_t>(h.key), 1, IPC_CREAT | IPC_EXCL | 0666);
    if (id < 0 || semctl(id, 0, SETVAL, 0) != 0) {
      *error = std::string("cannot create semaphore: ") + std::strerror(errno);
      return false;
    }
    sem_ids_.push_back(id);
    sem_released_.push_back(false);
  }
  // The process that filled the buffer guarded it with the memory semaphore and
  // gave it back: the installer finds that semaphore existing and free, as on
  // the phone (unless [semaphores] made it held).
  if (!cfg_.shm_rom.empty()) {
    int id = semget(static_cast<key_t>(kMemorySemKey), 1, IPC_CREAT | IPC_EXCL | 0666);
    if (id < 0 ? errno != EEXIST : semctl(id, 0, SETVAL, 1) != 0) {
      *error = std::string("cannot create the memory semaphore: ") + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool Device::Start(std::string* error) {
  RootfsPaths rp{paths_.bin_dir, root_};
  InitSpec s;
  s.root = root_;
  s.real_proc = root_ + kRealProc;
  if (cfg_.copy_bin_fail) {
    s.copy_fault_target = root_ + kCopyFault;
    s.copy_fault_source = root_ + "/proc/.devsim/ioerror";
  }
  std::string host_program, device_path;
  if (!cfg_.exec_program.empty()) {
    host_program = cfg_.exec_program;
    std::string base = host_program.substr(host_program.rfind('/') + 1);
    device_path = cfg_.argv0_given ? cfg_.argv0 : "/usr/local/bin/" + base;
    s.argv.push_back(device_path);
  } else {
    host_program = cfg_.installer;
    device_path = cfg_.argv0;
    s.argv.push_back(cfg_.argv0);
    if (!cfg_.has_args && !cfg_.rom_file.empty()) s.argv.push_back("/tmp/upgrade.rom");
  }
  if (!cfg_.exec_program.empty() && cfg_.argv0_given) s.argv[0] = cfg_.argv0;
  for (const std::string& a : cfg_.args) s.argv.push_back(a);
  s.program = device_path;
  if (!PlaceProgram(cfg_, rp, host_program, device_path, error)) return false;
  if (cfg_.tmp_full && !FillTmp(rp, error)) return false;
  RemoveMissing(cfg_, rp);

  char speed[32];
  std::snprintf(speed, sizeof speed, "%g", cfg_.speed);
  s.env = {"PATH=/sbin:/usr/sbin:/bin:/usr/bin:/usr/local/bin", "HOME=/root", "TERM=dumb",
           std::string("LD_PRELOAD=") + kShimPath, std::string("DEVSIM_SPEED=") + speed};
  // The chip's times, waited for by the shim after each request.
  const std::pair<const char*, double> times[] = {
      {"DEVSIM_ERASE_MS=", cfg_.erase_ms}, {"DEVSIM_PROGRAM_MS=", cfg_.program_ms}, {"DEVSIM_READ_MS=", cfg_.read_ms}};
  for (const auto& [name, ms] : times) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", ms);
    if (ms > 0) s.env.push_back(name + std::string(value));
  }
  // Sanitizer builds of programs: the shim is loaded before the runtime.
  std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
  if (const char* a = getenv("ASAN_OPTIONS")) asan += std::string(":") + a;
  s.env.push_back(asan);
  for (const char* pass : {"UBSAN_OPTIONS", "LSAN_OPTIONS", "GTEST_COLOR"}) {
    if (const char* v = getenv(pass)) s.env.push_back(std::string(pass) + "=" + v);
  }
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) {
    *error = "pipe failed";
    return false;
  }
  s.status_fd = pipefd[1];
  s.console_fd = open((paths_.out + "/console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  rec_.StartClock();
  init_ = StartInit(s, error);
  close(pipefd[1]);
  if (s.console_fd >= 0) close(s.console_fd);
  status_fd_ = pipefd[0];
  fcntl(status_fd_, F_SETFL, O_NONBLOCK);
  if (init_ < 0) return false;
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, init_, 0));
  return true;
}

void Device::Reply(CtlConn* c, int64_t result, uint64_t value, const std::string& payload) {
  devsim_proto::Reply rp{};
  rp.result = result < 0 ? -1 : static_cast<int32_t>(result);
  rp.err = result < 0 ? static_cast<int32_t>(-result) : 0;
  rp.value = value;
  rp.len = static_cast<uint32_t>(payload.size());
  std::string out(reinterpret_cast<const char*>(&rp), sizeof rp);
  out += payload;
  // The client waits for this reply; the socket is blocking for this write.
  int flags = fcntl(c->fd, F_GETFL);
  fcntl(c->fd, F_SETFL, flags & ~O_NONBLOCK);
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = send(c->fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  fcntl(c->fd, F_SETFL, flags);
}

void Device::HandleMisc(uint32_t request, int64_t passed, CtlConn* c) {
  bool fail = cfg_.misc_fault == "fail" || (cfg_.misc_fault == "watchdog" && request == kMiscWatchdog);
  int64_t value = passed;
  int result = 0;
  switch (request) {
    case kMiscWatchdog:
      break;
    case kMiscSetLed:
      if (!fail) led_ = static_cast<int32_t>(passed);
      break;
    case kMiscGetLed:
      value = led_;
      break;
    case kMiscSetBacklight:
      if (!fail) backlight_ = static_cast<int32_t>(passed);
      break;
    case kMiscGetBacklight:
      value = backlight_;
      break;
    case kMiscSetExtLed:
      break;
    default:
      result = -ENOTTY;
  }
  if (fail && result == 0) result = -EIO;
  rec_.Misc(request, value, result < 0 ? -1 : 0);
  Reply(c, result, static_cast<uint64_t>(value));
}

void Device::Handle(const Request& rq, const std::string& payload, CtlConn* c) {
  int mtd = static_cast<int>(rq.dev);
  switch (rq.op) {
    case kMtdInfo: {
      int64_t size = flash_.Info(mtd);
      Reply(c, size < 0 ? size : 0, size < 0 ? 0 : static_cast<uint64_t>(size));
      return;
    }
    case kMtdErase:
      Reply(c, flash_.Erase(mtd, rq.a, rq.b), 0);
      return;
    case kMtdWrite:
      Reply(c, flash_.Write(mtd, rq.a, reinterpret_cast<const uint8_t*>(payload.data()),
                            static_cast<uint32_t>(payload.size())),
            0);
      return;
    case kMtdRead: {
      std::vector<uint8_t> out;
      int64_t n = flash_.Read(mtd, rq.a, static_cast<uint32_t>(std::min<uint64_t>(rq.b, kMaxPayload)), &out);
      Reply(c, n, 0, std::string(out.begin(), out.end()));
      return;
    }
    case kMtdRepairCheck:
      Reply(c, flash_.RepairCheck(mtd), 0);
      return;
    case kMtdAddrRepair:
      Reply(c, flash_.AddrRepair(mtd, rq.a, rq.b), 0);
      return;
    case kMisc:
      HandleMisc(static_cast<uint32_t>(rq.a), static_cast<int64_t>(rq.b), c);
      return;
    case kReboot:
      Reboot(payload);
      return;
    default:
      Reply(c, -EINVAL, 0);
  }
}

void Device::OnCtlData(CtlConn* c) {
  while (c->in.size() >= sizeof(Request)) {
    Request rq;
    std::memcpy(&rq, c->in.data(), sizeof rq);
    if (rq.magic != kMagic || rq.len > kMaxPayload) {
      c->in.clear();
      close(c->fd);
      c->fd = -1;
      return;
    }
    if (c->in.size() < sizeof rq + rq.len) return;
    std::string payload = c->in.substr(sizeof rq, rq.len);
    c->in.erase(0, sizeof rq + rq.len);
    Handle(rq, payload, c);
    if (ended_) return;
  }
}

void Device::OnRefresh() {
  std::string fb;
  ReadText(root_ + "/dev/fb0", &fb);
  int n = rec_.AddFrame(reinterpret_cast<const uint8_t*>(fb.data()), fb.size());
  for (size_t i = 0; i < cfg_.keys.size(); ++i) {
    if (cfg_.keys[i].at_frame && !key_sent_[i] && cfg_.keys[i].when <= n) {
      key_sent_[i] = true;
      Key(cfg_.keys[i].code);
    }
  }
}

void Device::Key(int code) {
  // Two 16-byte events as the phone's keypad driver delivers them: u32 sec,
  // u32 usec, u16 type (1 = key), u16 code, s32 value (1 press, 0 release).
  uint8_t ev[32] = {};
  int64_t ms = rec_.NowMs();
  for (int i = 0; i < 2; ++i) {
    uint8_t* e = ev + 16 * i;
    uint32_t sec = static_cast<uint32_t>(ms / 1000), usec = static_cast<uint32_t>(ms % 1000 * 1000);
    uint32_t words[2] = {sec, usec};
    for (int w = 0; w < 2; ++w) {
      for (int b = 0; b < 4; ++b) e[w * 4 + b] = static_cast<uint8_t>(words[w] >> (8 * b));
    }
    e[8] = 1;
    e[10] = static_cast<uint8_t>(code);
    e[11] = static_cast<uint8_t>(code >> 8);
    e[12] = i == 0 ? 1 : 0;
  }
  if (write(key_fd_, ev, sizeof ev) != static_cast<ssize_t>(sizeof ev)) {
    std::fprintf(stderr, "devsim: keypad buffer full, key %d lost\n", code);
  }
}

void Device::Reboot(const std::string& command) {
  if (!reboot_command_) reboot_command_ = command;
  Kill();
}

void Device::Kill() {
  if (init_ > 0 && !ended_) {
    kill(init_, SIGKILL);  // the kernel ends everything in the PID namespace
    end_ms_ = rec_.NowMs();
    ended_ = true;
  }
}

void Device::Loop() {
  key_sent_.assign(cfg_.keys.size(), false);
  const int64_t timeout_ms = static_cast<int64_t>(cfg_.timeout * 1000);
  bool init_gone = false;
  bool fuse_alive = true;
  while (!init_gone) {
    int64_t now = rec_.NowMs();
    int64_t next = timeout_ms;
    if (!ended_ && now >= timeout_ms) {
      timed_out_ = true;
      Kill();
    }
    for (size_t i = 0; i < cfg_.keys.size(); ++i) {
      if (cfg_.keys[i].at_frame || key_sent_[i]) continue;
      int64_t due = DeviceMsToWall(static_cast<double>(cfg_.keys[i].when));
      if (due <= now) {
        key_sent_[i] = true;
        Key(cfg_.keys[i].code);
      } else {
        next = std::min(next, due);
      }
    }
    for (size_t i = 0; i < sem_ids_.size(); ++i) {
      if (sem_released_[i] || cfg_.semaphores[i].seconds <= 0) continue;
      int64_t due = DeviceMsToWall(cfg_.semaphores[i].seconds * 1000);
      if (due <= now) {
        semctl(sem_ids_[i], 0, SETVAL, 1);
        sem_released_[i] = true;
      } else {
        next = std::min(next, due);
      }
    }
    std::vector<pollfd> fds;
    auto add = [&](int fd) { fds.push_back({fd, POLLIN, 0}); };
    add(pidfd_);
    add(status_fd_);
    add(fuse_alive ? procfs_->fd() : -1);
    add(log_fd_);
    add(ctl_fd_);
    for (auto& [fd, id] : listeners_) add(fd);
    for (auto& c : ipc_conns_) add(c.fd);
    for (auto& c : ctl_conns_) add(c.fd);
    // Connections accepted below join the next poll: only these have an entry.
    const size_t ipc_polled = ipc_conns_.size();
    const size_t ctl_polled = ctl_conns_.size();
    int wait_ms = static_cast<int>(std::clamp<int64_t>(next - now, 0, 1000));
    if (ended_) wait_ms = 50;
    int n = poll(fds.data(), fds.size(), wait_ms);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    size_t i = 0;
    if (fds[i++].revents) {
      int st = 0;
      if (waitpid(init_, &st, WNOHANG) == init_) init_gone = true;
    }
    if (fds[i++].revents) {
      char buf[256];
      ssize_t r = read(status_fd_, buf, sizeof buf);
      if (r > 0) status_text_.append(buf, static_cast<size_t>(r));
    }
    if (fds[i++].revents & (POLLIN | POLLERR | POLLHUP)) {
      if (!procfs_->Process()) fuse_alive = false;
    }
    if (fds[i++].revents) {
      char buf[8192];
      ssize_t r;
      while ((r = recv(log_fd_, buf, sizeof buf, 0)) > 0) rec_.Syslog(std::string(buf, static_cast<size_t>(r)));
    }
    if (fds[i++].revents) {
      int fd;
      while ((fd = accept4(ctl_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
        // A reply is sent blocking, but a client that stops reading (a
        // stopped process) must not stall the device: give up after 2 s.
        timeval limit{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        ctl_conns_.push_back({fd, ""});
      }
    }
    for (auto& [lfd, id] : listeners_) {
      if (fds[i++].revents) {
        int fd;
        while ((fd = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
          ipc_conns_.push_back({fd, id, ""});
        }
      }
    }
    for (size_t k = 0; k < ipc_polled; ++k) {
      IpcConn& c = ipc_conns_[k];
      if (!fds[i++].revents) continue;
      char buf[4096];
      ssize_t r;
      while ((r = read(c.fd, buf, sizeof buf)) > 0) {
        if (c.bytes.size() < 65536) c.bytes.append(buf, static_cast<size_t>(r));
      }
      if (r == 0 || (r < 0 && errno != EAGAIN)) {
        rec_.Ipc(c.receiver, c.bytes);
        close(c.fd);
        c.fd = -1;
      }
    }
    for (size_t k = 0; k < ctl_polled; ++k) {
      CtlConn& c = ctl_conns_[k];
      if (!fds[i++].revents || c.fd < 0) continue;
      char buf[65536];
      ssize_t r = 0;
      while (c.fd >= 0 && (r = read(c.fd, buf, sizeof buf)) > 0) {
        c.in.append(buf, static_cast<size_t>(r));
        OnCtlData(&c);
      }
      if (c.fd >= 0 && (r == 0 || (r < 0 && errno != EAGAIN))) {
        close(c.fd);
        c.fd = -1;
      }
    }
    std::erase_if(ipc_conns_, [](const IpcConn& c) { return c.fd < 0; });
    std::erase_if(ctl_conns_, [](const CtlConn& c) { return c.fd < 0; });
  }
  if (!ended_) end_ms_ = rec_.NowMs();
  // Messages still on their way when the device ended: connections waiting in
  // a listener's queue, and bytes of open connections not read yet (every
  // sender is gone, so each read ends at the connection's end).
  for (auto& [lfd, id] : listeners_) {
    int fd;
    while ((fd = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
      ipc_conns_.push_back({fd, id, ""});
    }
  }
  for (auto& c : ipc_conns_) {
    char buf[4096];
    ssize_t n;
    while ((n = read(c.fd, buf, sizeof buf)) > 0) {
      if (c.bytes.size() < 65536) c.bytes.append(buf, static_cast<size_t>(n));
    }
    if (!c.bytes.empty()) rec_.Ipc(c.receiver, c.bytes);
    close(c.fd);
  }
  char buf[256];
  ssize_t r;
  while ((r = read(status_fd_, buf, sizeof buf)) > 0) status_text_.append(buf, static_cast<size_t>(r));
}

void Device::Finish() {
  json result;
  int status = -1;
  bool have_status = std::sscanf(status_text_.c_str(), "status %d", &status) == 1 && status >= 0;
  if (status_text_.rfind("error ", 0) == 0) {
    std::fprintf(stderr, "devsim: device start failed: %s", status_text_.c_str() + 6);
  }
  result["exit_status"] = nullptr;
  result["signal"] = nullptr;
  result["reboot_command"] = nullptr;
  if (reboot_command_) {
    result["outcome"] = "rebooted";
    result["reboot_command"] = *reboot_command_;
  } else if (timed_out_) {
    result["outcome"] = "timeout";
  } else if (have_status && WIFEXITED(status)) {
    result["outcome"] = "exited";
    result["exit_status"] = WEXITSTATUS(status);
  } else if (have_status && WIFSIGNALED(status)) {
    result["outcome"] = "crashed";
    result["signal"] = WTERMSIG(status);
  } else {
    result["outcome"] = "crashed";
  }
  result["duration_ms"] = end_ms_;
  result["frames"] = rec_.frame_count();
  std::string runs;
  ReadText(root_ + kKillappsLog, &runs);
  result["killapps_runs"] = std::count(runs.begin(), runs.end(), '\n');
  // Read here, inside the device's IPC namespace, after every process of the
  // device has ended: what the next program on the phone would find.
  result["sysv"] = SysvRecord();
  result["flash_ops"] = FlashOpsJson(flash_);
  WriteText(paths_.out + "/result.json", result.dump(2) + "\n");

  WriteText(paths_.out + "/env.txt", env_.Listing());
  WriteText(paths_.out + "/flash.img", std::string(flash_.chip().begin(), flash_.chip().end()));
  WriteText(paths_.out + "/partitions.json", PartitionsJson(flash_));
  // The starting state, for `devsim show` to tell what the run changed.
  WriteText(paths_.out + "/env.start.txt", start_env_);
  WriteText(paths_.out + "/partitions.start.json", start_partitions_);
  WriteText(paths_.out + "/flash.start.img", start_chip_);
  std::string error;
  if (!rec_.WriteFrames(&error)) std::fprintf(stderr, "devsim: %s\n", error.c_str());
  MakeDirs(paths_.out + "/device");
  CopyTree(root_ + "/config", paths_.out + "/device/config");
  CopyTree(root_ + "/tmp", paths_.out + "/device/tmp", {"bin", ".devsim-full"});
}

int Device::Run() {
  std::string error;
  if (!MakeDirs(paths_.out) || !rec_.Open(paths_.out)) {
    std::fprintf(stderr, "devsim: cannot write to %s\n", paths_.out.c_str());
    return 1;
  }
  if (!Prepare(&error) || !Start(&error)) {
    std::fprintf(stderr, "devsim: %s\n", error.c_str());
    if (init_ > 0) {
      kill(init_, SIGKILL);
      waitpid(init_, nullptr, 0);
    }
    return error.rfind("device.ini", 0) == 0 ? 2 : 1;
  }
  Loop();
  if (waitpid(init_, nullptr, WNOHANG) == 0) {
    kill(init_, SIGKILL);
    waitpid(init_, nullptr, 0);
  }
  procfs_->Unmount();
  Finish();
  return 0;
}

}  // namespace

int RunDevice(const DeviceConfig& cfg, const RunPaths& paths) {
  signal(SIGPIPE, SIG_IGN);
  Device d(cfg, paths);
  return d.Run();
}

}  // namespace devsim
