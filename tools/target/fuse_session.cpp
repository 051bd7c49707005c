#include "fuse_session.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace target {

bool FuseSession::Next(FuseRequest* req) {
  for (;;) {
    ssize_t n = read(fd_, buf_.data(), buf_.size());
    if (n < 0 && (errno == EINTR || errno == ENOENT || errno == EAGAIN)) continue;  // ENOENT: interrupted request
    if (n < static_cast<ssize_t>(sizeof(fuse_in_header))) return false;
    std::memcpy(&req->header, buf_.data(), sizeof req->header);
    req->arg = buf_.data() + sizeof(fuse_in_header);
    req->arg_len = static_cast<size_t>(n) - sizeof(fuse_in_header);
    return true;
  }
}

void FuseSession::Reply(const FuseRequest& req, const void* data, size_t len) {
  fuse_out_header out{};
  out.len = static_cast<uint32_t>(sizeof out + len);
  out.unique = req.header.unique;
  iovec iov[2] = {{&out, sizeof out}, {const_cast<void*>(data), len}};
  ssize_t ignored = writev(fd_, iov, len ? 2 : 1);
  (void)ignored;  // a request whose caller has gone is answered with ENOENT; nothing to do
}

void FuseSession::ReplyError(const FuseRequest& req, int error) {
  fuse_out_header out{};
  out.len = sizeof out;
  out.error = -error;
  out.unique = req.header.unique;
  ssize_t ignored = write(fd_, &out, sizeof out);
  (void)ignored;
}

}  // namespace target
