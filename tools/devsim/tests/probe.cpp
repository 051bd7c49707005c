// devsim_probe: a small program the system tests run inside the simulated
// device to exercise its devices the way the installer does (plain open,
// ioctl with the phone's request codes, write, semop ...). One
// command per run; results go to stdout, one line each.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/sem.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <mtd/mtd-abi.h>

#include "shim/protocol.h"

namespace {

using namespace devsim_proto;

long Num(const char* s) { return strtol(s, nullptr, 0); }

int Fail(const char* what) {
  printf("%s error %s\n", what, strerrorname_np(errno));
  return 1;
}

int MtdInfo(int fd, char** a) {
  mtd_info_user info{};
  // The installer passes the MIPS request code; flashcp the host's.
  unsigned long req = a[1] && strcmp(a[1], "host") == 0 ? MEMGETINFO : kMipsMemGetInfo;
  if (ioctl(fd, req, &info) != 0) return Fail("memgetinfo");
  printf("size=%u erasesize=%u type=%u\n", info.size, info.erasesize, info.type);
  return 0;
}

int MtdErase(int fd, char** a) {
  erase_info_user e{static_cast<uint32_t>(Num(a[1])), static_cast<uint32_t>(Num(a[2]))};
  // Passed as int: the request arrives sign-extended.
  int req = static_cast<int>(kMipsMemErase);
  if (ioctl(fd, req, &e) != 0) return Fail("erase");
  printf("erased\n");
  return 0;
}

// mtd-write N OFFSET BYTE COUNT: COUNT bytes of value BYTE at OFFSET.
int MtdWrite(int fd, char** a) {
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

int MtdRepair(int fd, char** a) {
  uint32_t w[2] = {static_cast<uint32_t>(Num(a[1])), static_cast<uint32_t>(Num(a[2]))};
  if (ioctl(fd, kMipsAddrRepair, w) != 0) return Fail("repair");
  printf("moved\n");
  return 0;
}

int Misc(int fd, char** a) {
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

int SemCreate(int, char** a) {
  int id = semget(static_cast<key_t>(Num(a[0])), 1, IPC_CREAT | IPC_EXCL | 0666);
  if (id < 0) return Fail("semget");
  if (semctl(id, 0, SETVAL, 1) != 0) return Fail("setval");
  sembuf op{0, -1, IPC_NOWAIT};
  if (semop(id, &op, 1) != 0) return Fail("semop");
  printf("created and taken\n");
  return 0;
}

// ipc ID MSG WPARAM LPARAM [DATA]: one message as the device's senders write it.
int Ipc(int, char** a) {
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

// sleep SECONDS: sleep() and then usleep() for as long, as the installer waits.
int Sleep(int, char** a) {
  sleep(static_cast<unsigned>(Num(a[0])));
  usleep(static_cast<useconds_t>(Num(a[0]) * 1000000));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  struct {
    const char* name;
    const char* device;  // opened read-write and passed in; "%s" is the first argument
    int (*fn)(int, char**);
  } const kCommands[] = {
      {"mtd-info", "/dev/mtd%s", MtdInfo},   {"mtd-erase", "/dev/mtd%s", MtdErase},
      {"mtd-write", "/dev/mtd%s", MtdWrite}, {"mtd-repair", "/dev/mtd%s", MtdRepair},
      {"misc", "/dev/misc0", Misc},          {"sem-create", nullptr, SemCreate},
      {"ipc", nullptr, Ipc},                 {"sleep", nullptr, Sleep},
  };
  for (const auto& c : kCommands) {
    // The tests' scripts give every command its arguments.
    if (argc >= 3 && strcmp(argv[1], c.name) == 0) {
      int fd = -1;
      if (c.device != nullptr) {
        char path[32];
        snprintf(path, sizeof path, c.device, argv[2]);
        if ((fd = open(path, O_RDWR)) < 0) return Fail("open");
      }
      return c.fn(fd, argv + 2);
    }
  }
  fprintf(stderr, "unknown command or no arguments\n");
  return 2;
}
