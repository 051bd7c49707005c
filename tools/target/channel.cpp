#include "channel.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace target {
namespace {
int g_fd = -1;
}

bool ChannelOpen() {
  g_fd = open("/run/records", O_WRONLY | O_NOCTTY);
  return g_fd >= 0;
}

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void ChannelLine(const std::string& kind, const std::string& rest) {
  if (g_fd < 0) return;
  std::string line = kind + " " + std::to_string(NowMs()) + " " + rest + "\n";
  size_t off = 0;
  while (off < line.size()) {
    ssize_t n = write(g_fd, line.data() + off, line.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c >= 0x7f) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

}  // namespace target
