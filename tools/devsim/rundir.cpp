#include "rundir.h"

#include <fstream>
#include <map>
#include <sstream>

namespace devsim {

using json = nlohmann::json;

std::vector<json> JsonLines(const std::string& path) {
  std::vector<json> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    json j = json::parse(line, nullptr, false);
    if (!j.is_discarded()) out.push_back(j);
  }
  return out;
}

std::string Field(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return "-";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

namespace {

// "name value" lines -> map, keeping the listing order in `order`.
std::map<std::string, std::string> Vars(const std::string& listing, std::vector<std::string>* order) {
  std::map<std::string, std::string> vars;
  std::istringstream in(listing);
  std::string line;
  while (std::getline(in, line)) {
    size_t sp = line.find(' ');
    std::string name = line.substr(0, sp);
    if (order) order->push_back(name);
    vars[name] = sp == std::string::npos ? "" : line.substr(sp + 1);
  }
  return vars;
}

}  // namespace

std::vector<VarChange> ChangedVariables(const std::string& before, const std::string& after) {
  std::vector<std::string> order;
  auto b = Vars(before, nullptr), a = Vars(after, &order);
  std::vector<VarChange> out;
  for (const std::string& name : order) {
    auto it = b.find(name);
    if (it == b.end()) {
      out.push_back({'+', name, "", a[name]});
    } else if (it->second != a[name]) {
      out.push_back({'~', name, it->second, a[name]});
    }
  }
  for (const auto& [name, value] : b) {
    if (!a.count(name)) out.push_back({'-', name, value, ""});
  }
  return out;
}

}  // namespace devsim
