#define FUSE_USE_VERSION 34
#include "procfs.h"

#include <fuse_lowlevel.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "envstore.h"
#include "flash.h"

namespace devsim {
namespace {

enum class Kind { kDir, kEnv, kHwver, kSoftware, kRefresh, kMtdBlock, kIoError, kLink };

struct Node {
  fuse_ino_t parent;
  std::string name;
  std::string path;  // below /proc, "" for the root
  Kind kind;
  int mtd = -1;
  std::string target;  // kLink
};

// The fixed tree; inode = index + 1 (the root is inode 1).
struct Tree {
  std::vector<Node> nodes;
  std::map<std::string, fuse_ino_t> links;  // unknown root names -> link inode

  fuse_ino_t Add(fuse_ino_t parent, const std::string& name, Kind kind, int mtd = -1) {
    std::string path = parent == 0 ? "" : nodes[parent - 1].path.empty() ? name : nodes[parent - 1].path + "/" + name;
    nodes.push_back({parent, name, path, kind, mtd, ""});
    return nodes.size();
  }
  Tree() {
    fuse_ino_t root = Add(0, "", Kind::kDir);
    fuse_ino_t av = Add(root, "avalanche", Kind::kDir);
    Add(av, "env", Kind::kEnv);
    fuse_ino_t misc = Add(root, "misc", Kind::kDir);
    Add(misc, "hwver", Kind::kHwver);
    fuse_ino_t ver = Add(root, "ver", Kind::kDir);
    Add(ver, "software", Kind::kSoftware);
    fuse_ino_t glcd = Add(root, "glcd", Kind::kDir);
    Add(glcd, "refresh", Kind::kRefresh);
    fuse_ino_t ds = Add(root, ".devsim", Kind::kDir);
    fuse_ino_t blk = Add(ds, "mtdblock", Kind::kDir);
    for (int i = 0; i < kPartitions; ++i) Add(blk, std::to_string(i), Kind::kMtdBlock, i);
    Add(ds, "ioerror", Kind::kIoError);
  }
  Node* Get(fuse_ino_t ino) { return ino >= 1 && ino <= nodes.size() ? &nodes[ino - 1] : nullptr; }
};

struct Context {
  ProcfsState* state;
  Tree tree;
};

Context* Ctx(fuse_req_t req) { return static_cast<Context*>(fuse_req_userdata(req)); }

std::string WithNewline(const std::string& s) { return !s.empty() && s.back() == '\n' ? s : s + "\n"; }

// Whole content of small files; mtdblock content is read in slices.
std::string Content(Context* c, const Node& n) {
  switch (n.kind) {
    case Kind::kEnv: return c->state->env->Listing();
    case Kind::kHwver: return WithNewline(c->state->hwver);
    case Kind::kSoftware: return WithNewline(c->state->software);
    default: return "";
  }
}

bool Hidden(Context* c, const Node& n) {
  for (const std::string& h : c->state->hidden) {
    if (n.path == h || n.path.rfind(h + "/", 0) == 0) return true;
  }
  return false;
}

struct stat Attr(Context* c, fuse_ino_t ino, const Node& n) {
  struct stat st;
  std::memset(&st, 0, sizeof st);
  st.st_ino = ino;
  st.st_nlink = 1;
  switch (n.kind) {
    case Kind::kDir:
      st.st_mode = S_IFDIR | 0555;
      st.st_nlink = 2;
      break;
    case Kind::kLink:
      st.st_mode = S_IFLNK | 0777;
      st.st_size = static_cast<off_t>(n.target.size());
      break;
    case Kind::kEnv:
    case Kind::kRefresh:
      st.st_mode = S_IFREG | 0644;
      st.st_size = static_cast<off_t>(Content(c, n).size());
      break;
    case Kind::kMtdBlock:
      st.st_mode = S_IFREG | 0444;
      st.st_size = c->state->flash->window(n.mtd).size();
      break;
    case Kind::kIoError:
      st.st_mode = S_IFREG | 0444;
      st.st_size = 1;
      break;
    default:
      st.st_mode = S_IFREG | 0444;
      st.st_size = static_cast<off_t>(Content(c, n).size());
      break;
  }
  return st;
}

void ReplyEntry(fuse_req_t req, fuse_ino_t ino, const Node& n) {
  fuse_entry_param e;
  std::memset(&e, 0, sizeof e);
  e.ino = ino;
  e.attr = Attr(Ctx(req), ino, n);
  e.attr_timeout = 0;
  e.entry_timeout = 0;
  fuse_reply_entry(req, &e);
}

void OpLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  Context* c = Ctx(req);
  for (size_t i = 0; i < c->tree.nodes.size(); ++i) {
    const Node& n = c->tree.nodes[i];
    if (n.parent == parent && n.kind != Kind::kLink && n.name == name) {
      if (Hidden(c, n)) break;
      ReplyEntry(req, i + 1, n);
      return;
    }
  }
  if (parent == 1 && !c->state->real_proc.empty() && std::strchr(name, '/') == nullptr &&
      !c->state->hidden.count(name)) {
    bool known = false;
    for (const Node& n : c->tree.nodes) known = known || (n.parent == 1 && n.kind != Kind::kLink && n.name == name);
    if (!known) {
      auto it = c->tree.links.find(name);
      fuse_ino_t ino;
      if (it == c->tree.links.end()) {
        ino = c->tree.Add(1, name, Kind::kLink);
        c->tree.nodes[ino - 1].target = c->state->real_proc + "/" + name;
        c->tree.links[name] = ino;
      } else {
        ino = it->second;
      }
      ReplyEntry(req, ino, c->tree.nodes[ino - 1]);
      return;
    }
  }
  fuse_reply_err(req, ENOENT);
}

void OpGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
  Context* c = Ctx(req);
  Node* n = c->tree.Get(ino);
  if (n == nullptr) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  struct stat st = Attr(c, ino, *n);
  fuse_reply_attr(req, &st, 0);
}

void OpSetattr(fuse_req_t req, fuse_ino_t ino, struct stat*, int, fuse_file_info* fi) {
  // Only truncation reaches here in practice (echo > opens with O_TRUNC);
  // the files keep their content, as procfs files do.
  OpGetattr(req, ino, fi);
}

void OpReadlink(fuse_req_t req, fuse_ino_t ino) {
  Node* n = Ctx(req)->tree.Get(ino);
  if (n == nullptr || n->kind != Kind::kLink) {
    fuse_reply_err(req, EINVAL);
    return;
  }
  fuse_reply_readlink(req, n->target.c_str());
}

void OpOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  Context* c = Ctx(req);
  Node* n = c->tree.Get(ino);
  if (n == nullptr || Hidden(c, *n)) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  bool writing = (fi->flags & O_ACCMODE) != O_RDONLY;
  bool writable = n->kind == Kind::kEnv || n->kind == Kind::kRefresh;
  if (n->kind == Kind::kDir) {
    fuse_reply_err(req, EISDIR);
    return;
  }
  if (writing && !writable) {
    fuse_reply_err(req, EACCES);
    return;
  }
  fi->direct_io = 1;
  fi->keep_cache = 0;
  fuse_reply_open(req, fi);
}

void OpRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
  Context* c = Ctx(req);
  Node* n = c->tree.Get(ino);
  if (n == nullptr) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  if (n->kind == Kind::kIoError) {
    fuse_reply_err(req, EIO);
    return;
  }
  if (n->kind == Kind::kMtdBlock) {
    std::vector<uint8_t> out;
    uint32_t len = size > (1u << 20) ? (1u << 20) : static_cast<uint32_t>(size);
    if (c->state->short_read.count(n->mtd) != 0) {
      // A copy cut short once, as by a full /tmp: end of file at half the window.
      const uint64_t half = c->state->flash->window(n->mtd).size() / 2;
      if (static_cast<uint64_t>(off) >= half) {
        c->state->short_read.erase(n->mtd);
        fuse_reply_buf(req, nullptr, 0);
        return;
      }
      len = static_cast<uint32_t>(std::min<uint64_t>(len, half - static_cast<uint64_t>(off)));
    }
    c->state->flash->Read(n->mtd, static_cast<uint64_t>(off), len, &out);
    fuse_reply_buf(req, reinterpret_cast<const char*>(out.data()), out.size());
    return;
  }
  std::string content = Content(c, *n);
  if (off < 0 || static_cast<size_t>(off) >= content.size()) {
    fuse_reply_buf(req, nullptr, 0);
    return;
  }
  size_t n_bytes = std::min(size, content.size() - static_cast<size_t>(off));
  fuse_reply_buf(req, content.data() + off, n_bytes);
}

void OpWrite(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t, fuse_file_info*) {
  Context* c = Ctx(req);
  Node* n = c->tree.Get(ino);
  if (n == nullptr) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  std::string data(buf, size);
  if (n->kind == Kind::kEnv) {
    // Applied before the write returns: a listing read right after sees it.
    c->state->env->Apply(data);
    if (c->state->on_env_write) c->state->on_env_write(data);
  } else if (n->kind == Kind::kRefresh) {
    // The writer waits until the frame has been taken.
    if (!data.empty() && data[0] == '1' && c->state->on_refresh) c->state->on_refresh();
  } else {
    fuse_reply_err(req, EACCES);
    return;
  }
  fuse_reply_write(req, size);
}

void OpReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
  Context* c = Ctx(req);
  Node* dir = c->tree.Get(ino);
  if (dir == nullptr || dir->kind != Kind::kDir) {
    fuse_reply_err(req, ENOTDIR);
    return;
  }
  std::vector<std::pair<std::string, fuse_ino_t>> entries = {{".", ino}, {"..", dir->parent ? dir->parent : ino}};
  for (size_t i = 0; i < c->tree.nodes.size(); ++i) {
    const Node& n = c->tree.nodes[i];
    if (n.parent == ino && n.kind != Kind::kLink && n.name[0] != '.' && !Hidden(c, n)) {
      entries.emplace_back(n.name, i + 1);
    }
  }
  std::vector<char> buf(size);
  size_t used = 0;
  for (size_t i = static_cast<size_t>(off); i < entries.size(); ++i) {
    struct stat st;
    std::memset(&st, 0, sizeof st);
    st.st_ino = entries[i].second;
    st.st_mode = Attr(c, entries[i].second, *c->tree.Get(entries[i].second)).st_mode;
    size_t need = fuse_add_direntry(req, buf.data() + used, size - used, entries[i].first.c_str(), &st,
                                    static_cast<off_t>(i + 1));
    if (need > size - used) break;
    used += need;
  }
  fuse_reply_buf(req, buf.data(), used);
}

}  // namespace

Procfs::~Procfs() {
  Unmount();
  if (se_ != nullptr) fuse_session_destroy(se_);
  delete static_cast<Context*>(ctx_);
}

bool Procfs::Mount(const std::string& mountpoint, std::string* error) {
  static fuse_lowlevel_ops ops;
  std::memset(&ops, 0, sizeof ops);
  ops.lookup = OpLookup;
  ops.getattr = OpGetattr;
  ops.setattr = OpSetattr;
  ops.readlink = OpReadlink;
  ops.open = OpOpen;
  ops.read = OpRead;
  ops.write = OpWrite;
  ops.readdir = OpReaddir;
  static const char* argv[] = {"devsim", "-o", "fsname=devsim-proc,subtype=devsim"};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
  Context* ctx = new Context{state_, Tree()};
  ctx_ = ctx;
  se_ = fuse_session_new(&args, &ops, sizeof ops, ctx);
  if (se_ == nullptr) {
    *error = "FUSE session could not be created";
    return false;
  }
  if (fuse_session_mount(se_, mountpoint.c_str()) != 0) {
    *error = "FUSE mount on " + mountpoint + " failed (is /dev/fuse usable?)";
    return false;
  }
  mounted_ = true;
  return true;
}

int Procfs::fd() const { return se_ ? fuse_session_fd(se_) : -1; }

bool Procfs::Process() {
  fuse_buf buf;
  std::memset(&buf, 0, sizeof buf);
  int r = fuse_session_receive_buf(se_, &buf);
  if (r == -EINTR || r == -EAGAIN) return true;
  if (r <= 0) {
    std::free(buf.mem);
    return false;
  }
  fuse_session_process_buf(se_, &buf);
  std::free(buf.mem);
  return !fuse_session_exited(se_);
}

void Procfs::Unmount() {
  if (se_ != nullptr && mounted_) fuse_session_unmount(se_);
  mounted_ = false;
}

}  // namespace devsim
