// The record channel's one writer: a virtio port takes a single opener, so
// every record goes through a FIFO that this relay copies to the port. A
// blocking write to the port returns once the host has the bytes, so after
// forwarding an "end" line the relay powers the machine off itself, with
// nothing lost on the way.
#include <fcntl.h>
#include <sys/reboot.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "target_phone.h"

namespace target {

int RelayMain(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: target_phone relay FIFO PORT\n");
    return 2;
  }
  int in = open(argv[1], O_RDWR);  // also a writer: never sees end of file
  int out = open(argv[2], O_WRONLY | O_NOCTTY);
  if (in < 0 || out < 0) {
    std::perror("relay: open");
    return 1;
  }
  static char buf[65536];
  bool line_start = true;
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 1;
    bool end = false;
    for (ssize_t i = 0; i < n; ++i) {
      if (line_start && i + 4 <= n && buf[i] == 'e' && buf[i + 1] == 'n' && buf[i + 2] == 'd' && buf[i + 3] == ' ')
        end = true;
      line_start = buf[i] == '\n';
    }
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(out, buf + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return 1;
      off += w;
    }
    if (end) {
      sync();
      reboot(RB_POWER_OFF);
    }
  }
}

}  // namespace target
