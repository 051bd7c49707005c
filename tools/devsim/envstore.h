// The bootloader variable store behind /proc/avalanche/env.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace devsim {

class EnvStore {
 public:
  explicit EnvStore(std::vector<std::pair<std::string, std::string>> vars) : vars_(std::move(vars)) {}

  // Every variable as a "name value\n" line, in listing order.
  std::string Listing() const;
  // Applies what a program wrote: per line, "name value" sets (a new name is
  // appended to the listing), "name" alone deletes. Blank lines are ignored.
  void Apply(const std::string& written);
  const std::vector<std::pair<std::string, std::string>>& vars() const { return vars_; }

 private:
  std::vector<std::pair<std::string, std::string>> vars_;
};

}  // namespace devsim
