// File helpers shared by the host tools (devsim and its test harness).
#pragma once

#include <string>
#include <vector>

namespace hostfs {

bool MakeDirs(const std::string& path, int mode = 0755);
bool WriteText(const std::string& path, const std::string& bytes, int mode = 0644);
bool ReadText(const std::string& path, std::string* out);
// Copies a regular file (mode kept) or a whole tree (files, dirs, symlinks).
bool CopyTree(const std::string& from, const std::string& to, const std::vector<std::string>& skip = {});
bool RemoveTree(const std::string& path);
bool Exists(const std::string& path);

}  // namespace hostfs
