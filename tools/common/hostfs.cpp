#include "hostfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace hostfs {

bool MakeDirs(const std::string& path, int mode) {
  for (size_t pos = path.find('/', 1); ; pos = path.find('/', pos + 1)) {
    std::string part = path.substr(0, pos);
    if (!part.empty() && mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return true;
}

bool WriteText(const std::string& path, const std::string& bytes, int mode) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  fchmod(fd, static_cast<mode_t>(mode));
  return close(fd) == 0 && done == bytes.size();
}

bool ReadText(const std::string& path, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out->append(buf, static_cast<size_t>(n));
  close(fd);
  return n == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool CopyTree(const std::string& from, const std::string& to, const std::vector<std::string>& skip) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    char target[4096];
    ssize_t n = readlink(from.c_str(), target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    unlink(to.c_str());
    return symlink(target, to.c_str()) == 0;
  }
  if (S_ISDIR(st.st_mode)) {
    if (mkdir(to.c_str(), st.st_mode & 07777) != 0 && errno != EEXIST) return false;
    DIR* d = opendir(from.c_str());
    if (d == nullptr) return false;
    bool ok = true;
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
      ok = CopyTree(from + "/" + name, to + "/" + name) && ok;
    }
    closedir(d);
    return ok;
  }
  if (!S_ISREG(st.st_mode)) return true;  // sockets, fifos: not copied
  std::string bytes;
  return ReadText(from, &bytes) && WriteText(to, bytes, st.st_mode & 07777);
}

namespace {
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }
}  // namespace

bool RemoveTree(const std::string& path) {
  return nftw(path.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS | FTW_MOUNT) == 0;
}

}  // namespace hostfs
