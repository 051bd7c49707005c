// devsim_probe: a small program the system tests run inside the simulated
// device to exercise its devices the way the installer does (plain open,
// ioctl with the phone's request codes, write, mmap, semop ...). One
// command per run; results go to stdout, one line each.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <linux/fb.h>
#include <mtd/mtd-abi.h>

#include "shim/protocol.h"

namespace {

using namespace devsim_proto;

long Num(const char* s) { return strtol(s, nullptr, 0); }

int Fail(const char* what) {
  printf("%s error %s\n", what, strerrorname_np(errno));
  return 1;
}

int OpenMtd(const char* n, int flags) {
  char path[32];
  snprintf(path, sizeof path, "/dev/mtd%s", n);
  return open(path, flags);
}

int64_t NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int MtdInfo(char** a) {
  int fd = OpenMtd(a[0], O_RDWR);
  if (fd < 0) return Fail("open");
  mtd_info_user info{};
  // The installer passes the MIPS request code; flashcp the host's.
  unsigned long req = a[1] && strcmp(a[1], "host") == 0 ? MEMGETINFO : kMipsMemGetInfo;
  if (ioctl(fd, req, &info) != 0) return Fail("memgetinfo");
  printf("size=%u erasesize=%u type=%u\n", info.size, info.erasesize, info.type);
  return 0;
}

int MtdErase(char** a) {
  int fd = OpenMtd(a[0], O_RDWR);
  if (fd < 0) return Fail("open");
  erase_info_user e{static_cast<uint32_t>(Num(a[1])), static_cast<uint32_t>(Num(a[2]))};
  // Passed as int: the request arrives sign-extended.
  int req = static_cast<int>(kMipsMemErase);
  if (ioctl(fd, req, &e) != 0) return Fail("erase");
  printf("erased\n");
  return 0;
}

// mtd-write N OFFSET BYTE COUNT: COUNT bytes of value BYTE at OFFSET.
int MtdWrite(char** a) {
  int fd = OpenMtd(a[0], O_RDWR);
  if (fd < 0) return Fail("open");
  size_t count = static_cast<size_t>(Num(a[3]));
  char* buf = static_cast<char*>(malloc(count));
  memset(buf, static_cast<int>(Num(a[2])), count);
  if (lseek(fd, Num(a[1]), SEEK_SET) < 0) return Fail("lseek");
  ssize_t n = write(fd, buf, count);
  free(buf);
  if (n < 0) return Fail("write");
  printf("wrote %zd pos %ld\n", n, static_cast<long>(lseek(fd, 0, SEEK_CUR)));
  return 0;
}

int MtdRead(char** a) {
  int fd = OpenMtd(a[0], O_RDONLY);
  if (fd < 0) return Fail("open");
  size_t len = static_cast<size_t>(Num(a[2]));
  unsigned char buf[256];
  if (len > sizeof buf) len = sizeof buf;
  lseek(fd, Num(a[1]), SEEK_SET);
  ssize_t n = read(fd, buf, len);
  if (n < 0) return Fail("read");
  for (ssize_t i = 0; i < n; ++i) printf("%02x", buf[i]);
  printf("\n");
  return 0;
}

int MtdRepair(char** a) {
  int fd = OpenMtd(a[0], O_RDWR);
  if (fd < 0) return Fail("open");
  if (strcmp(a[1], "check") == 0) {
    if (ioctl(fd, kMipsRepairCheck, nullptr) != 0) return Fail("check");
    printf("supported\n");
    return 0;
  }
  uint32_t w[2] = {static_cast<uint32_t>(Num(a[1])), static_cast<uint32_t>(Num(a[2]))};
  if (ioctl(fd, kMipsAddrRepair, w) != 0) return Fail("repair");
  printf("moved\n");
  return 0;
}

// fb PATTERN: fills the mapped frame buffer with the byte and refreshes.
int Fb(char** a) {
  int fd = open("/dev/fb0", O_RDWR);
  if (fd < 0) return Fail("open");
  fb_fix_screeninfo fix{};
  fb_var_screeninfo var{};
  if (ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0) return Fail("fix");
  if (ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0) return Fail("var");
  void* p = mmap(nullptr, fix.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return Fail("mmap");
  for (int i = 0; a[i] != nullptr; ++i) {
    memset(p, static_cast<int>(Num(a[i])), fix.smem_len);
    int r = open("/proc/glcd/refresh", O_WRONLY);
    if (r < 0 || write(r, "1", 1) != 1) return Fail("refresh");
    close(r);
  }
  printf("smem_len=%u xres=%u yres=%u bpp=%u\n", fix.smem_len, var.xres, var.yres, var.bits_per_pixel);
  return 0;
}

int Misc(char** a) {
  int fd = open("/dev/misc0", O_RDWR);
  if (fd < 0) return Fail("open");
  uint32_t req = static_cast<uint32_t>(Num(a[0]));
  if (MiscIsRead(req)) {
    int v = 0;
    if (ioctl(fd, req, &v) != 0) return Fail("misc");
    printf("value %d\n", v);
  } else {
    if (ioctl(fd, req, Num(a[1])) != 0) return Fail("misc");
    printf("done\n");
  }
  return 0;
}

int Keys(char** a) {
  int fd = open("/dev/input/event0", O_RDONLY);
  if (fd < 0) return Fail("open");
  for (long i = 0; i < Num(a[0]); ++i) {
    unsigned char ev[16];
    if (read(fd, ev, sizeof ev) != 16) return Fail("read");
    int code = ev[10] | ev[11] << 8, type = ev[8] | ev[9] << 8;
    int value = ev[12] | ev[13] << 8 | ev[14] << 16 | ev[15] << 24;
    printf("type %d code %d value %d\n", type, code, value);
  }
  return 0;
}

// sem try|wait|hold KEY: take the semaphore without an undo record (try), or
// with one (wait); hold takes it as wait does and keeps it until killed.
int Sem(char** a) {
  int id = semget(static_cast<key_t>(Num(a[1])), 1, 0666);
  if (id < 0) return Fail("semget");
  sembuf op{0, -1, static_cast<short>(strcmp(a[0], "try") == 0 ? IPC_NOWAIT : SEM_UNDO)};
  int64_t t0 = NowMs();
  if (semop(id, &op, 1) != 0) return Fail("semop");
  printf("taken after %lld ms\n", static_cast<long long>(NowMs() - t0));
  while (strcmp(a[0], "hold") == 0) pause();
  return 0;
}

int SemCreate(char** a) {
  int id = semget(static_cast<key_t>(Num(a[0])), 1, IPC_CREAT | IPC_EXCL | 0666);
  if (id < 0) return Fail("semget");
  if (semctl(id, 0, SETVAL, 1) != 0) return Fail("setval");
  sembuf op{0, -1, IPC_NOWAIT};
  if (semop(id, &op, 1) != 0) return Fail("semop");
  printf("created and taken\n");
  return 0;
}

// ipc ID MSG WPARAM LPARAM [DATA]: one message as the device's senders write it.
int Ipc(char** a) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  int one = 1;
  if (ioctl(fd, kMipsFionbio, &one) != 0) return Fail("fionbio");
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "/var/ipc/%s", a[0]);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Fail("connect");
  unsigned char msg[2068] = {};
  size_t dlen = a[4] ? strlen(a[4]) : 0;
  int32_t words[5] = {static_cast<int32_t>(20 + dlen), static_cast<int32_t>(Num(a[1])), 6,
                      static_cast<int32_t>(Num(a[2])), static_cast<int32_t>(Num(a[3]))};
  memcpy(msg, words, sizeof words);
  if (dlen) memcpy(msg + 20, a[4], dlen);
  if (write(fd, msg, 20 + dlen) < 0) return Fail("write");
  close(fd);
  printf("sent\n");
  return 0;
}

int Sleep(char** a) {
  int64_t t0 = NowMs();
  sleep(static_cast<unsigned>(Num(a[0])));
  int64_t t1 = NowMs();
  usleep(static_cast<useconds_t>(Num(a[0]) * 1000000));
  int64_t t2 = NowMs();
  printf("sleep %lld usleep %lld\n", static_cast<long long>(t1 - t0), static_cast<long long>(t2 - t1));
  return 0;
}

int Shm(char** a) {
  int id = shmget(static_cast<key_t>(Num(a[0])), 0, 0);
  if (id < 0) return Fail("shmget");
  shmid_ds ds{};
  shmctl(id, IPC_STAT, &ds);
  unsigned char* p = static_cast<unsigned char*>(shmat(id, nullptr, SHM_RDONLY));
  if (p == reinterpret_cast<unsigned char*>(-1)) return Fail("shmat");
  int32_t state;
  memcpy(&state, p + 4, 4);
  printf("size %zu mode %o state %d rom %.*s\n", static_cast<size_t>(ds.shm_segsz), ds.shm_perm.mode & 0777, state,
         static_cast<int>(Num(a[1])), reinterpret_cast<char*>(p + 8));
  return 0;
}

// log LEVEL TEXT: as the installer's log layer does it (empty ident,
// facility LOG_USER, priority = level).
int Log(char** a) {
  openlog("", LOG_NDELAY, LOG_USER);
  syslog(static_cast<int>(Num(a[0])), "%s", a[1]);
  closelog();
  printf("logged\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2) {
    fprintf(stderr, "usage: devsim_probe COMMAND ARGS...\n");
    return 2;
  }
  struct {
    const char* name;
    int args;
    int (*fn)(char**);
  } const kCommands[] = {
      {"mtd-info", 1, MtdInfo}, {"mtd-erase", 3, MtdErase}, {"mtd-write", 4, MtdWrite},
      {"mtd-read", 3, MtdRead}, {"mtd-repair", 2, MtdRepair}, {"fb", 1, Fb},
      {"misc", 1, Misc},        {"keys", 1, Keys},           {"sem", 2, Sem},
      {"sem-create", 1, SemCreate}, {"ipc", 4, Ipc},         {"sleep", 1, Sleep},
      {"shm", 2, Shm},          {"log", 2, Log},
  };
  for (const auto& c : kCommands) {
    if (strcmp(argv[1], c.name) == 0) {
      if (argc - 2 < c.args) {
        fprintf(stderr, "%s needs %d arguments\n", c.name, c.args);
        return 2;
      }
      return c.fn(argv + 2);
    }
  }
  fprintf(stderr, "unknown command %s\n", argv[1]);
  return 2;
}
