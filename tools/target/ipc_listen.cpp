// The phone's other processes as IPC peers: one listening socket per id under
// /var/ipc, every connection read to its end and recorded as it came.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "channel.h"
#include "target_phone.h"

namespace target {

int IpcListenMain(int argc, char** argv) {
  mkdir("/var/ipc", 0777);
  std::vector<pollfd> fds;
  std::vector<int> ids;
  for (int i = 1; i < argc; ++i) {
    int id = std::atoi(argv[i]);
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/var/ipc/%d", id);
    unlink(addr.sun_path);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 64) != 0) {
      std::perror("ipc: listen");
      return 1;
    }
    chmod(addr.sun_path, 0777);
    fds.push_back({s, POLLIN, 0});
    ids.push_back(id);
  }
  for (;;) {
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      int c = accept(fds[i].fd, nullptr, nullptr);
      if (c < 0) continue;
      // The sender writes its one message and closes; wait at most a second.
      timeval tv{1, 0};
      setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      std::string bytes;
      char buf[4096];
      ssize_t n;
      while ((n = read(c, buf, sizeof buf)) > 0 && bytes.size() < 65536) bytes.append(buf, static_cast<size_t>(n));
      close(c);
      if (!bytes.empty()) ChannelLine("ipc", std::to_string(ids[i]) + " " + Hex(bytes.data(), bytes.size()));
    }
  }
}

}  // namespace target
