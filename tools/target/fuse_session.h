// The kernel's FUSE request protocol, spoken directly on /dev/fuse or
// /dev/cuse: read one request, answer it. Only what the vendor files and the
// misc device need.
#pragma once

#include <linux/fuse.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace target {

struct FuseRequest {
  fuse_in_header header;
  const uint8_t* arg;  // the request's arguments after the header
  size_t arg_len;
};

class FuseSession {
 public:
  explicit FuseSession(int fd) : fd_(fd) {}
  // Blocks for the next request; false when the channel has ended.
  bool Next(FuseRequest* req);
  // An answer carrying `len` bytes of `data` (may be 0), or an error (errno > 0).
  void Reply(const FuseRequest& req, const void* data, size_t len);
  void ReplyError(const FuseRequest& req, int error);
  int fd() const { return fd_; }

 private:
  int fd_;
  std::vector<uint8_t> buf_ = std::vector<uint8_t>(FUSE_MIN_READ_BUFFER + 65536);
};

}  // namespace target
