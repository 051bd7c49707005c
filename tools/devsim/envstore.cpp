#include "envstore.h"

#include <algorithm>

namespace devsim {

std::string EnvStore::Listing() const {
  std::string out;
  for (const auto& [name, value] : vars_) out += name + " " + value + "\n";
  return out;
}

void EnvStore::Apply(const std::string& written) {
  size_t pos = 0;
  while (pos < written.size()) {
    size_t nl = written.find('\n', pos);
    if (nl == std::string::npos) nl = written.size();
    std::string line = written.substr(pos, nl - pos);
    pos = nl + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    line.erase(0, b);
    size_t sp = line.find_first_of(" \t");
    std::string name = line.substr(0, sp);
    auto it = std::find_if(vars_.begin(), vars_.end(), [&](const auto& v) { return v.first == name; });
    if (sp == std::string::npos) {
      if (it != vars_.end()) vars_.erase(it);
      continue;
    }
    std::string value = line.substr(line.find_first_not_of(" \t", sp));
    if (it != vars_.end()) {
      it->second = value;
    } else {
      vars_.emplace_back(name, value);
    }
  }
}

}  // namespace devsim
