// The device's reboot command (/sbin/reboot, and its copy /tmp/reboot).
// Tells the devsim supervisor which command asked, then waits: the
// supervisor ends the whole device at once, as a restart would. Linked
// statically so that it runs from any copy without the shim.
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "shim/protocol.h"

int main(int argc, char** argv) {
  (void)argc;
  const char* cmd = argv[0] ? argv[0] : "reboot";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  strncpy(addr.sun_path, devsim_proto::kCtlPath, sizeof addr.sun_path - 1);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 1;
  devsim_proto::Request rq{devsim_proto::kMagic, devsim_proto::kReboot, 0,
                           static_cast<uint32_t>(strlen(cmd)), 0, 0};
  if (write(fd, &rq, sizeof rq) != static_cast<ssize_t>(sizeof rq)) return 1;
  if (write(fd, cmd, rq.len) != static_cast<ssize_t>(rq.len)) return 1;
  for (;;) pause();
}
