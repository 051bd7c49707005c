// The phone's /proc: a FUSE file system mounted over /proc that serves the
// vendor files (avalanche/env, misc/hwver, ver/software, glcd/refresh) and
// passes every other path through to the kernel's own procfs, mounted
// elsewhere. Every file is opened for direct I/O: procfs files report size 0.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel.h"
#include "envstore.h"
#include "fuse_session.h"
#include "target_phone.h"

namespace target {
namespace {

constexpr size_t kFrameBytes = 1056;

enum class Virtual { kNone, kDir, kEnv, kHwver, kSoftware, kRefresh };

struct VirtualEntry {
  const char* path;
  Virtual kind;
};
// The vendor entries; "misc" hides the kernel's own /proc/misc file, as the
// phone's kernel has a directory there.
const VirtualEntry kVirtual[] = {
    {"avalanche", Virtual::kDir}, {"avalanche/env", Virtual::kEnv},     {"misc", Virtual::kDir},
    {"misc/hwver", Virtual::kHwver}, {"ver", Virtual::kDir},            {"ver/software", Virtual::kSoftware},
    {"glcd", Virtual::kDir},      {"glcd/refresh", Virtual::kRefresh},
};

Virtual VirtualKind(const std::string& path) {
  for (const auto& v : kVirtual) {
    if (path == v.path) return v.kind;
  }
  return Virtual::kNone;
}

struct DirListing {
  std::vector<std::pair<std::string, unsigned>> entries;  // name, DT_ type
};

class VendorFs {
 public:
  VendorFs(int fd, std::string real, std::string config) : session_(fd), real_(std::move(real)) {
    ReadText(config + "/hwver", &hwver_);
    ReadText(config + "/software", &software_);
    std::string env;
    ReadText(config + "/env", &env);
    env_.Apply(env);
    paths_.push_back("");  // node 1: the root
    paths_.push_back("");
    fb_ = open("/dev/fb0", O_RDONLY);
  }

  void Serve() {
    ChannelLine("env", JsonString(env_.Listing()));
    FuseRequest req;
    while (session_.Next(&req)) Handle(req);
  }

 private:
  static void ReadText(const std::string& path, std::string* out) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
  }

  uint64_t NodeOf(const std::string& path) {
    auto it = ids_.find(path);
    if (it != ids_.end()) return it->second;
    paths_.push_back(path);
    ids_[path] = paths_.size() - 1;
    return paths_.size() - 1;
  }

  bool PathOf(uint64_t node, std::string* path) const {
    if (node == 0 || node >= paths_.size()) return false;
    *path = paths_[node];
    return true;
  }

  std::string Real(const std::string& path) const { return path.empty() ? real_ : real_ + "/" + path; }

  std::string VirtualText(Virtual kind) const {
    switch (kind) {
      case Virtual::kEnv: return env_.Listing();
      case Virtual::kHwver: return hwver_;
      case Virtual::kSoftware: return software_;
      default: return "";
    }
  }

  // Attributes of `path`; an errno on failure.
  int Attr(const std::string& path, uint64_t node, fuse_attr* attr) {
    std::memset(attr, 0, sizeof *attr);
    attr->ino = node;
    attr->blksize = 4096;
    Virtual kind = VirtualKind(path);
    if (kind == Virtual::kDir) {
      attr->mode = S_IFDIR | 0555;
      attr->nlink = 2;
      return 0;
    }
    if (kind != Virtual::kNone) {
      attr->mode = S_IFREG | (kind == Virtual::kRefresh ? 0200 : kind == Virtual::kEnv ? 0644 : 0444);
      attr->nlink = 1;
      attr->size = VirtualText(kind).size();
      return 0;
    }
    struct stat st{};
    if (lstat(Real(path).c_str(), &st) != 0) return errno;
    attr->mode = st.st_mode;
    attr->nlink = static_cast<uint32_t>(st.st_nlink);
    attr->uid = st.st_uid;
    attr->gid = st.st_gid;
    attr->size = static_cast<uint64_t>(st.st_size);
    attr->atime = static_cast<uint64_t>(st.st_atime);
    attr->mtime = static_cast<uint64_t>(st.st_mtime);
    attr->ctime = static_cast<uint64_t>(st.st_ctime);
    return 0;
  }

  void Handle(const FuseRequest& req) {
    const fuse_in_header& h = req.header;
    std::string path;
    switch (h.opcode) {
      case FUSE_INIT: {
        const auto* in = reinterpret_cast<const fuse_init_in*>(req.arg);
        fuse_init_out out{};
        out.major = FUSE_KERNEL_VERSION;
        out.minor = FUSE_KERNEL_MINOR_VERSION;
        out.max_readahead = in->max_readahead;
        out.max_write = 65536;
        out.max_background = 4;
        out.congestion_threshold = 3;
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_FORGET:
      case FUSE_BATCH_FORGET:
      case FUSE_INTERRUPT:
        return;  // no answer expected
      case FUSE_LOOKUP: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        std::string name(reinterpret_cast<const char*>(req.arg));
        std::string child = path.empty() ? name : path + "/" + name;
        Virtual parent = VirtualKind(path);
        if (parent == Virtual::kDir && VirtualKind(child) == Virtual::kNone) return session_.ReplyError(req, ENOENT);
        fuse_entry_out out{};
        out.nodeid = NodeOf(child);
        int err = Attr(child, out.nodeid, &out.attr);
        if (err) return session_.ReplyError(req, err);
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_GETATTR:
      case FUSE_SETATTR: {  // truncation by a shell redirection: nothing to cut
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        fuse_attr_out out{};
        int err = Attr(path, h.nodeid, &out.attr);
        if (err) return session_.ReplyError(req, err);
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_READLINK: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        std::string target;
        if (path == "self" || path == "thread-self") {
          // The asking process, not this server.
          unsigned tgid = Tgid(h.pid);
          target = path == "self" ? std::to_string(tgid) : std::to_string(tgid) + "/task/" + std::to_string(h.pid);
        } else {
          char buf[4096];
          ssize_t n = readlink(Real(path).c_str(), buf, sizeof buf);
          if (n < 0) return session_.ReplyError(req, errno);
          target.assign(buf, static_cast<size_t>(n));
        }
        session_.Reply(req, target.data(), target.size());
        return;
      }
      case FUSE_OPEN: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        const auto* in = reinterpret_cast<const fuse_open_in*>(req.arg);
        fuse_open_out out{};
        out.open_flags = FOPEN_DIRECT_IO;
        if (VirtualKind(path) != Virtual::kNone) {
          out.fh = 0;
        } else {
          int fd = open(Real(path).c_str(), static_cast<int>(in->flags & O_ACCMODE) | O_CLOEXEC);
          if (fd < 0) return session_.ReplyError(req, errno);
          out.fh = static_cast<uint64_t>(fd) + 1;
        }
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_READ: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        const auto* in = reinterpret_cast<const fuse_read_in*>(req.arg);
        if (in->fh == 0) {
          std::string text = VirtualText(VirtualKind(path));
          size_t off = in->offset < text.size() ? static_cast<size_t>(in->offset) : text.size();
          size_t len = std::min<size_t>(in->size, text.size() - off);
          return session_.Reply(req, text.data() + off, len);
        }
        std::vector<char> buf(in->size);
        ssize_t n = pread(static_cast<int>(in->fh - 1), buf.data(), buf.size(), static_cast<off_t>(in->offset));
        if (n < 0) return session_.ReplyError(req, errno);
        session_.Reply(req, buf.data(), static_cast<size_t>(n));
        return;
      }
      case FUSE_WRITE: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        const auto* in = reinterpret_cast<const fuse_write_in*>(req.arg);
        const char* data = reinterpret_cast<const char*>(req.arg) + sizeof(fuse_write_in);
        std::string written(data, in->size);
        fuse_write_out out{};
        out.size = in->size;
        if (in->fh != 0) {
          ssize_t n = write(static_cast<int>(in->fh - 1), data, in->size);
          if (n < 0) return session_.ReplyError(req, errno);
          out.size = static_cast<uint32_t>(n);
        } else {
          switch (VirtualKind(path)) {
            case Virtual::kEnv:
              env_.Apply(written);
              ChannelLine("env", JsonString(env_.Listing()));
              break;
            case Virtual::kRefresh:
              for (char c : written) {
                if (c == '1') CaptureFrame();
              }
              break;
            default:
              return session_.ReplyError(req, EACCES);
          }
        }
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_RELEASE: {
        const auto* in = reinterpret_cast<const fuse_release_in*>(req.arg);
        if (in->fh != 0) close(static_cast<int>(in->fh - 1));
        session_.Reply(req, nullptr, 0);
        return;
      }
      case FUSE_OPENDIR: {
        if (!PathOf(h.nodeid, &path)) return session_.ReplyError(req, ENOENT);
        DirListing listing;
        if (!ListDir(path, &listing)) return session_.ReplyError(req, errno ? errno : ENOENT);
        dirs_.push_back(std::move(listing));
        fuse_open_out out{};
        out.fh = dirs_.size();
        session_.Reply(req, &out, sizeof out);
        return;
      }
      case FUSE_READDIR: {
        const auto* in = reinterpret_cast<const fuse_read_in*>(req.arg);
        if (in->fh == 0 || in->fh > dirs_.size()) return session_.ReplyError(req, EBADF);
        const DirListing& d = dirs_[in->fh - 1];
        std::vector<char> out;
        for (size_t i = static_cast<size_t>(in->offset); i < d.entries.size(); ++i) {
          const auto& [name, type] = d.entries[i];
          size_t len = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + name.size());
          if (out.size() + len > in->size) break;
          size_t at = out.size();
          out.resize(at + len, 0);
          auto* de = reinterpret_cast<fuse_dirent*>(out.data() + at);
          de->ino = 0xffffffff;
          de->off = i + 1;
          de->namelen = static_cast<uint32_t>(name.size());
          de->type = type;
          std::memcpy(out.data() + at + FUSE_NAME_OFFSET, name.data(), name.size());
        }
        session_.Reply(req, out.data(), out.size());
        return;
      }
      case FUSE_RELEASEDIR: {
        const auto* in = reinterpret_cast<const fuse_release_in*>(req.arg);
        if (in->fh > 0 && in->fh <= dirs_.size()) dirs_[in->fh - 1].entries.clear();
        session_.Reply(req, nullptr, 0);
        return;
      }
      case FUSE_FLUSH:
      case FUSE_ACCESS:
      case FUSE_FSYNC:
        session_.Reply(req, nullptr, 0);
        return;
      case FUSE_STATFS: {
        fuse_statfs_out out{};
        out.st.bsize = 4096;
        out.st.namelen = 255;
        session_.Reply(req, &out, sizeof out);
        return;
      }
      default:
        session_.ReplyError(req, ENOSYS);
    }
  }

  unsigned Tgid(unsigned tid) const {
    std::ifstream in(real_ + "/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      unsigned v = 0;
      if (std::sscanf(line.c_str(), "Tgid: %u", &v) == 1) return v;
    }
    return tid;
  }

  bool ListDir(const std::string& path, DirListing* out) {
    out->entries.push_back({".", DT_DIR});
    out->entries.push_back({"..", DT_DIR});
    Virtual kind = VirtualKind(path);
    if (kind == Virtual::kDir) {
      for (const auto& v : kVirtual) {
        std::string p = v.path;
        if (p.rfind(path + "/", 0) == 0) out->entries.push_back({p.substr(path.size() + 1), DT_REG});
      }
      return true;
    }
    DIR* dir = opendir(Real(path).c_str());
    if (!dir) return false;
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (path.empty() && VirtualKind(name) != Virtual::kNone) continue;
      out->entries.push_back({name, e->d_type});
    }
    closedir(dir);
    if (path.empty()) {
      for (const auto& v : kVirtual) {
        if (v.kind == Virtual::kDir) out->entries.push_back({v.path, DT_DIR});
      }
    }
    return true;
  }

  // The LCD driver's transfer: the first 1056 bytes of the frame buffer.
  void CaptureFrame() {
    uint8_t frame[kFrameBytes] = {};
    if (fb_ < 0 || pread(fb_, frame, sizeof frame, 0) != static_cast<ssize_t>(sizeof frame)) {
      std::fprintf(stderr, "vendorfs: frame buffer read failed: %s\n", std::strerror(errno));
    }
    ChannelLine("frame", Hex(frame, sizeof frame));
  }

  FuseSession session_;
  std::string real_;
  std::string hwver_, software_;
  devsim::EnvStore env_{{}};  // the variables, with the simulated phone's write rules
  std::vector<std::string> paths_;
  std::map<std::string, uint64_t> ids_;
  std::vector<DirListing> dirs_;
  int fb_ = -1;
};

}  // namespace

int VendorFsMain(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: target_phone procfs MOUNTPOINT KERNEL_PROC CONFIG_DIR\n");
    return 2;
  }
  int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror("vendorfs: /dev/fuse");
    return 1;
  }
  std::string opts = "fd=" + std::to_string(fd) + ",rootmode=40555,user_id=0,group_id=0,allow_other";
  if (mount("proc", argv[1], "fuse.vendorfs", MS_NOSUID | MS_NODEV, opts.c_str()) != 0) {
    std::perror("vendorfs: mount");
    return 1;
  }
  VendorFs fs(fd, argv[2], argv[3]);
  fs.Serve();
  return 0;
}

}  // namespace target
