// LD_PRELOAD shim of the simulated device.
//
// Programs inside the device open ordinary files at the device paths
// (/dev/mtdN, /dev/misc0, /dev/fb0); the shim recognises them by inode and
// turns ioctl(), write() and read() on them into requests to the devsim
// supervisor, which holds the flash chip and records the misc requests. The
// frame buffer is answered here (its memory is the file itself, mapped
// shared). The sleeps of the program are divided by DEVSIM_SPEED.
//
// No exceptions, no allocation on the request path; errors are reported as
// the device would (a negative result and errno).
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <mtd/mtd-abi.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "protocol.h"

namespace {

using namespace devsim_proto;

enum Kind { kOther, kMtdFile, kMiscFile, kFbFile };

struct KnownFile {
  dev_t dev = 0;
  ino_t ino = 0;
  bool present = false;
};

constexpr int kMtdCount = 9;
KnownFile g_mtd[kMtdCount];
KnownFile g_misc, g_fb;
double g_speed = 1.0;
// The chip's times per 64 KiB (erase, program, read), before the speed divides them.
double g_erase_ms = 0, g_program_ms = 0, g_read_ms = 0;

int g_ctl = -1;
pthread_mutex_t g_ctl_lock = PTHREAD_MUTEX_INITIALIZER;

using ioctl_fn = int (*)(int, unsigned long, ...);
using write_fn = ssize_t (*)(int, const void*, size_t);
using read_fn = ssize_t (*)(int, void*, size_t);
using nanosleep_fn = int (*)(const struct timespec*, struct timespec*);
using clock_nanosleep_fn = int (*)(clockid_t, int, const struct timespec*, struct timespec*);

ioctl_fn real_ioctl;
write_fn real_write;
read_fn real_read;
nanosleep_fn real_nanosleep;
clock_nanosleep_fn real_clock_nanosleep;

void Remember(KnownFile* f, const char* path) {
  struct stat st;
  if (stat(path, &st) == 0) {
    f->dev = st.st_dev;
    f->ino = st.st_ino;
    f->present = true;
  }
}

// After fork the child must not share the parent's connection: requests of
// the two would interleave on one stream.
void ForgetConnection() {
  if (g_ctl >= 0) close(g_ctl);
  g_ctl = -1;
  pthread_mutex_init(&g_ctl_lock, nullptr);
}

__attribute__((constructor)) void ShimInit() {
  real_ioctl = reinterpret_cast<ioctl_fn>(dlsym(RTLD_NEXT, "ioctl"));
  real_write = reinterpret_cast<write_fn>(dlsym(RTLD_NEXT, "write"));
  real_read = reinterpret_cast<read_fn>(dlsym(RTLD_NEXT, "read"));
  real_nanosleep = reinterpret_cast<nanosleep_fn>(dlsym(RTLD_NEXT, "nanosleep"));
  real_clock_nanosleep =
      reinterpret_cast<clock_nanosleep_fn>(dlsym(RTLD_NEXT, "clock_nanosleep"));
  char path[32];
  for (int i = 0; i < kMtdCount; ++i) {
    snprintf(path, sizeof path, "/dev/mtd%d", i);
    Remember(&g_mtd[i], path);
  }
  Remember(&g_misc, "/dev/misc0");
  Remember(&g_fb, "/dev/fb0");
  const char* speed = getenv("DEVSIM_SPEED");
  if (speed != nullptr) {
    double s = strtod(speed, nullptr);
    if (s > 0) g_speed = s;
  }
  const struct {
    const char* name;
    double* ms;
  } times[] = {{"DEVSIM_ERASE_MS", &g_erase_ms}, {"DEVSIM_PROGRAM_MS", &g_program_ms}, {"DEVSIM_READ_MS", &g_read_ms}};
  for (const auto& t : times) {
    const char* text = getenv(t.name);
    double ms = text != nullptr ? strtod(text, nullptr) : 0;
    if (ms > 0) *t.ms = ms;
  }
  pthread_atfork(nullptr, nullptr, ForgetConnection);
}

bool Same(const KnownFile& f, const struct stat& st) {
  return f.present && f.dev == st.st_dev && f.ino == st.st_ino;
}

Kind Classify(int fd, int* mtd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kOther;
  for (int i = 0; i < kMtdCount; ++i) {
    if (Same(g_mtd[i], st)) {
      *mtd = i;
      return kMtdFile;
    }
  }
  if (Same(g_misc, st)) return kMiscFile;
  if (Same(g_fb, st)) return kFbFile;
  return kOther;
}

bool SendAll(int fd, const void* data, size_t len) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = send(fd, p, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool RecvAll(int fd, void* data, size_t len) {
  char* p = static_cast<char*>(data);
  while (len > 0) {
    ssize_t n = recv(fd, p, len, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

int Connect() {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  struct sockaddr_un addr;
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  strncpy(addr.sun_path, kCtlPath, sizeof addr.sun_path - 1);
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One request/reply exchange. Returns the reply's result, with errno set
// from the reply on failure (EIO when the supervisor cannot be reached).
// `in`/`in_len` receive the reply payload (at most in_len bytes kept).
long Call(uint32_t op, uint32_t dev, uint64_t a, uint64_t b, const void* out, uint32_t out_len,
          void* in, uint32_t in_len, uint64_t* value) {
  int saved = errno;
  pthread_mutex_lock(&g_ctl_lock);
  if (g_ctl < 0) g_ctl = Connect();
  Request rq{kMagic, op, dev, out_len, a, b};
  Reply rp{};
  bool ok = g_ctl >= 0 && SendAll(g_ctl, &rq, sizeof rq) &&
            (out_len == 0 || SendAll(g_ctl, out, out_len)) && RecvAll(g_ctl, &rp, sizeof rp);
  if (ok && rp.len > 0) {
    char sink[4096];
    uint32_t left = rp.len;
    uint32_t keep = rp.len < in_len ? rp.len : in_len;
    ok = keep == 0 || RecvAll(g_ctl, in, keep);
    left -= keep;
    while (ok && left > 0) {
      uint32_t n = left < sizeof sink ? left : static_cast<uint32_t>(sizeof sink);
      ok = RecvAll(g_ctl, sink, n);
      left -= n;
    }
  }
  if (!ok && g_ctl >= 0) {
    close(g_ctl);
    g_ctl = -1;
  }
  pthread_mutex_unlock(&g_ctl_lock);
  if (!ok) {
    errno = EIO;
    return -1;
  }
  if (value != nullptr) *value = rp.value;
  if (rp.result < 0) {
    errno = rp.err;
    return -1;
  }
  errno = saved;
  return rp.result;
}

// Waits as long as the chip takes for `bytes` at `ms_per_block` per 64 KiB.
void ChipWait(double ms_per_block, uint64_t bytes) {
  if (ms_per_block <= 0 || bytes == 0) return;
  double seconds = ms_per_block / 1000.0 * static_cast<double>(bytes) / 65536.0 / g_speed;
  struct timespec t;
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>((seconds - static_cast<double>(t.tv_sec)) * 1e9);
  real_nanosleep(&t, nullptr);
}

// Erases through the supervisor; the caller then waits as long as the chip's
// erase would take ([flash] erase_ms per 64 KiB block).
int Erase(int mtd, uint64_t start, uint64_t length) {
  int r = static_cast<int>(Call(kMtdErase, static_cast<uint32_t>(mtd), start, length, nullptr, 0, nullptr, 0, nullptr));
  if (r == 0) ChipWait(g_erase_ms, length);
  return r;
}

int MtdIoctl(int mtd, uint32_t req, void* arg) {
  switch (req) {
    case kMipsMemGetInfo:
    case kHostMemGetInfo: {
      uint64_t size = 0;
      if (Call(kMtdInfo, static_cast<uint32_t>(mtd), 0, 0, nullptr, 0, nullptr, 0, &size) < 0) {
        return -1;
      }
      struct mtd_info_user info;
      memset(&info, 0, sizeof info);
      info.type = MTD_NORFLASH;
      info.flags = MTD_CAP_NORFLASH;
      info.size = static_cast<uint32_t>(size);
      info.erasesize = 65536;
      info.writesize = 1;
      memcpy(arg, &info, sizeof info);
      return 0;
    }
    case kMipsMemErase:
    case kHostMemErase: {
      struct erase_info_user e;
      memcpy(&e, arg, sizeof e);
      return Erase(mtd, e.start, e.length);
    }
    case kHostMemErase64: {
      struct erase_info_user64 e;
      memcpy(&e, arg, sizeof e);
      return Erase(mtd, e.start, e.length);
    }
    case kMipsRepairCheck:
    case kHostRepairCheck:
      return static_cast<int>(
          Call(kMtdRepairCheck, static_cast<uint32_t>(mtd), 0, 0, nullptr, 0, nullptr, 0, nullptr));
    case kMipsAddrRepair:
    case kHostAddrRepair: {
      if (arg == nullptr) {
        errno = EFAULT;
        return -1;
      }
      uint32_t w[2];
      memcpy(w, arg, sizeof w);
      return static_cast<int>(
          Call(kMtdAddrRepair, static_cast<uint32_t>(mtd), w[0], w[1], nullptr, 0, nullptr, 0, nullptr));
    }
    default:
      errno = ENOTTY;
      return -1;
  }
}

int MiscIoctl(uint32_t req, void* arg) {
  bool is_read = MiscIsRead(req);
  // A write request carries the 32-bit value itself as the argument.
  int32_t passed = is_read ? 0 : static_cast<int32_t>(reinterpret_cast<intptr_t>(arg));
  uint64_t value = 0;
  long r = Call(kMisc, 0, req, static_cast<uint64_t>(static_cast<int64_t>(passed)), nullptr, 0,
                nullptr, 0, &value);
  if (r < 0) return -1;
  if (is_read && arg != nullptr) {
    int32_t v = static_cast<int32_t>(value);
    memcpy(arg, &v, sizeof v);
  }
  return 0;
}

int FbIoctl(uint32_t req, void* arg) {
  if (req == FBIOGET_FSCREENINFO) {
    struct fb_fix_screeninfo fix;
    memset(&fix, 0, sizeof fix);
    strncpy(fix.id, "devsim-lcd", sizeof fix.id - 1);
    fix.smem_len = 1056;
    fix.type = FB_TYPE_PACKED_PIXELS;
    fix.visual = FB_VISUAL_MONO10;
    fix.line_length = 0;  // rows are not padded: 132 bits each
    memcpy(arg, &fix, sizeof fix);
    return 0;
  }
  if (req == FBIOGET_VSCREENINFO) {
    struct fb_var_screeninfo var;
    memset(&var, 0, sizeof var);
    var.xres = var.xres_virtual = 132;
    var.yres = var.yres_virtual = 64;
    var.bits_per_pixel = 1;
    var.grayscale = 1;
    memcpy(arg, &var, sizeof var);
    return 0;
  }
  if (req == FBIOPUT_VSCREENINFO || req == FBIOBLANK) return 0;
  errno = ENOTTY;
  return -1;
}

off_t Position(int fd) { return lseek(fd, 0, SEEK_CUR); }

ssize_t MtdWrite(int fd, int mtd, const void* buf, size_t count) {
  off_t pos = Position(fd);
  if (pos < 0) return -1;
  const char* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < count) {
    uint32_t chunk = count - done > kMaxPayload ? kMaxPayload : static_cast<uint32_t>(count - done);
    long n = Call(kMtdWrite, static_cast<uint32_t>(mtd), static_cast<uint64_t>(pos) + done, 0,
                  p + done, chunk, nullptr, 0, nullptr);
    if (n < 0) {
      if (done > 0) break;
      return -1;
    }
    done += static_cast<size_t>(n);
    if (static_cast<uint32_t>(n) < chunk) break;
  }
  lseek(fd, pos + static_cast<off_t>(done), SEEK_SET);
  ChipWait(g_program_ms, done);
  return static_cast<ssize_t>(done);
}

ssize_t MtdRead(int fd, int mtd, void* buf, size_t count) {
  off_t pos = Position(fd);
  if (pos < 0) return -1;
  uint32_t chunk = count > kMaxPayload ? kMaxPayload : static_cast<uint32_t>(count);
  long n = Call(kMtdRead, static_cast<uint32_t>(mtd), static_cast<uint64_t>(pos), chunk, nullptr,
                0, buf, chunk, nullptr);
  if (n < 0) return -1;
  lseek(fd, pos + n, SEEK_SET);
  ChipWait(g_read_ms, static_cast<uint64_t>(n));
  return n;
}

struct timespec Scale(const struct timespec* in) {
  double total = (static_cast<double>(in->tv_sec) + in->tv_nsec / 1e9) / g_speed;
  struct timespec out;
  out.tv_sec = static_cast<time_t>(total);
  out.tv_nsec = static_cast<long>((total - static_cast<double>(out.tv_sec)) * 1e9);
  if (out.tv_nsec >= 1000000000L) out.tv_nsec = 999999999L;
  return out;
}

}  // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  // A request passed as int arrives sign-extended: compare 32 bits only.
  uint32_t req = static_cast<uint32_t>(request);
  int mtd = -1;
  switch (Classify(fd, &mtd)) {
    case kMtdFile:
      return MtdIoctl(mtd, req, arg);
    case kMiscFile:
      return MiscIoctl(req, arg);
    case kFbFile:
      return FbIoctl(req, arg);
    case kOther:
      break;
  }
  if (req == kMipsFionbio) return real_ioctl(fd, FIONBIO, arg);
  return real_ioctl(fd, request, arg);
}

ssize_t write(int fd, const void* buf, size_t count) {
  int mtd = -1;
  if (fd > 2 && Classify(fd, &mtd) == kMtdFile) return MtdWrite(fd, mtd, buf, count);
  return real_write(fd, buf, count);
}

ssize_t read(int fd, void* buf, size_t count) {
  int mtd = -1;
  if (fd > 2 && Classify(fd, &mtd) == kMtdFile) return MtdRead(fd, mtd, buf, count);
  return real_read(fd, buf, count);
}

int nanosleep(const struct timespec* req, struct timespec* rem) {
  if (g_speed == 1.0 || req == nullptr) return real_nanosleep(req, rem);
  struct timespec s = Scale(req);
  return real_nanosleep(&s, nullptr);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* req, struct timespec* rem) {
  if (g_speed == 1.0 || req == nullptr) return real_clock_nanosleep(clock, flags, req, rem);
  struct timespec rel = *req;
  if (flags & TIMER_ABSTIME) {
    struct timespec now;
    clock_gettime(clock, &now);
    rel.tv_sec = req->tv_sec - now.tv_sec;
    rel.tv_nsec = req->tv_nsec - now.tv_nsec;
    if (rel.tv_nsec < 0) {
      rel.tv_nsec += 1000000000L;
      rel.tv_sec -= 1;
    }
    if (rel.tv_sec < 0) return 0;
  }
  struct timespec s = Scale(&rel);
  return real_clock_nanosleep(clock, 0, &s, nullptr);
}

int usleep(useconds_t usec) {
  struct timespec t = {static_cast<time_t>(usec / 1000000), static_cast<long>(usec % 1000000) * 1000};
  return nanosleep(&t, nullptr);
}

unsigned int sleep(unsigned int seconds) {
  struct timespec t = {static_cast<time_t>(seconds), 0};
  nanosleep(&t, nullptr);
  return 0;
}

}  // extern "C"
