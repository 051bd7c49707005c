// /dev/misc0 served through CUSE. The phone's misc driver takes the value
// itself as the ioctl argument (not a pointer), so the device asks for
// unrestricted ioctls: the kernel then hands over the raw argument instead of
// copying _IOC_SIZE bytes from it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "channel.h"
#include "fuse_session.h"
#include "target_phone.h"

namespace target {

int MiscDevMain(int, char**) {
  int fd = open("/dev/cuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror("miscdev: /dev/cuse");
    return 1;
  }
  FuseSession session(fd);
  FuseRequest req;
  while (session.Next(&req)) {
    switch (req.header.opcode) {
      case CUSE_INIT: {
        struct {
          cuse_init_out out;
          char info[16];
        } reply{};
        reply.out.major = FUSE_KERNEL_VERSION;
        reply.out.minor = FUSE_KERNEL_MINOR_VERSION;
        reply.out.flags = CUSE_UNRESTRICTED_IOCTL;
        reply.out.max_read = 4096;
        reply.out.max_write = 4096;
        static const char kDev[] = "DEVNAME=misc0";
        static_assert(sizeof kDev <= sizeof reply.info);
        for (size_t i = 0; i < sizeof kDev; ++i) reply.info[i] = kDev[i];
        session.Reply(req, &reply, sizeof reply.out + sizeof kDev);
        break;
      }
      case FUSE_OPEN: {
        fuse_open_out out{};
        session.Reply(req, &out, sizeof out);
        break;
      }
      case FUSE_IOCTL: {
        const auto* in = reinterpret_cast<const fuse_ioctl_in*>(req.arg);
        char line[96];
        // Requests that read a value get 0 back in the result only: nothing
        // on the installer's road asks for one.
        std::snprintf(line, sizeof line, "{\"request\":\"0x%08X\",\"value\":%ld,\"result\":0}", in->cmd,
                      static_cast<long>(static_cast<int32_t>(in->arg)));
        ChannelLine("misc", line);
        fuse_ioctl_out out{};
        session.Reply(req, &out, sizeof out);
        break;
      }
      case FUSE_RELEASE:
      case FUSE_FLUSH:
        session.Reply(req, nullptr, 0);
        break;
      case FUSE_INTERRUPT:
      case FUSE_FORGET:
        break;
      default:
        session.ReplyError(req, ENOSYS);
    }
  }
  return 0;
}

}  // namespace target
