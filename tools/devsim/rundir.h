// Reading what a run left in OUT_DIR, for `devsim show` and `devsim report`.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace devsim {

// The objects of a JSON-lines file in order; lines that do not parse are
// left out, a missing file gives none.
std::vector<nlohmann::json> JsonLines(const std::string& path);

// A field as text: strings as they are, other values as JSON, "-" when the
// field is absent or null.
std::string Field(const nlohmann::json& j, const char* key);

// One difference between two variable listings ("name value" lines).
struct VarChange {
  char kind;  // '+' added, '~' changed, '-' deleted
  std::string name;
  std::string before, after;  // before is empty for '+', after for '-'
};

// What the run changed in the listing: added and changed variables in the
// order of `after`, then deleted ones by name.
std::vector<VarChange> ChangedVariables(const std::string& before, const std::string& after);

}  // namespace devsim
