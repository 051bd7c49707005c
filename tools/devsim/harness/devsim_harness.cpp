// Implementation of the devsim test harness: directories, the devsim process,
// and readers for the records of OUT_DIR.
#include "devsim_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <nlohmann/json.hpp>

#include "hostfs.h"

#ifndef DEVSIM_BIN_DIR
#error "DEVSIM_BIN_DIR must name the build's bin directory"
#endif

namespace devsim {
namespace {

using json = nlohmann::json;

// The records of a .jsonl file, each line made into a T by `make`.
template <typename T, typename Make>
std::vector<T> ReadJsonLines(const std::string& path, Make make) {
  std::vector<T> out;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    const json j = json::parse(line, nullptr, false);
    if (!line.empty() && !j.is_discarded()) out.push_back(make(j));
  }
  return out;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return out;
}

std::optional<int> OptInt(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return std::nullopt;
  return it->get<int>();
}

// {"0xB012": {"exists": true, "value": 1}, ...} -> key -> object.
std::map<std::string, SysvObject> SysvObjects(const json& j, const char* field) {
  std::map<std::string, SysvObject> out;
  if (!j.is_object()) return out;
  for (const auto& [key, o] : j.items()) {
    SysvObject obj;
    obj.exists = o.value("exists", false);
    if (o.contains(field) && o[field].is_number()) obj.value = o[field].get<long>();
    out[key] = obj;
  }
  return out;
}

}  // namespace

SysvObject Sysv::Semaphore(const std::string& key) const { return semaphores.count(key) ? semaphores.at(key) : SysvObject{}; }
SysvObject Sysv::Segment(const std::string& key) const { return shm.count(key) ? shm.at(key) : SysvObject{}; }

std::string BinDir() {
  const char* env = std::getenv("DEVSIM_BIN_DIR");
  return (env && *env) ? env : DEVSIM_BIN_DIR;
}

std::string ReadFile(const std::string& path) {
  std::string out;
  return hostfs::ReadText(path, &out) ? out : "";
}

Device::Device(const std::string& name) {
  std::string tmpl = "/tmp/dh-" + name.substr(0, 12) + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) {
    std::perror("devsim harness: mkdtemp");
    std::abort();
  }
  base_ = buf.data();
  dir_ = base_ + "/dev";
  out_ = base_ + "/out";
  mkdir(dir_.c_str(), 0755);
  hostfs::WriteText(dir_ + "/device.ini", "", 0644);
}

Device::~Device() {
  if (std::getenv("DEVSIM_KEEP")) {
    std::fprintf(stderr, "devsim harness: kept %s\n", base_.c_str());
    return;
  }
  hostfs::RemoveTree(base_);
}

void Device::Ini(const std::string& text) { hostfs::WriteText(dir_ + "/device.ini", text, 0644); }

void Device::File(const std::string& device_path, const std::string& bytes, int mode) {
  std::string rel = device_path;
  while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
  hostfs::WriteText(dir_ + "/rootfs/" + rel, bytes, mode);
}

std::string Device::HostFile(const std::string& name, const std::string& bytes) {
  hostfs::WriteText(dir_ + "/" + name, bytes, 0644);
  return dir_ + "/" + name;
}

int Device::Run(const std::vector<std::string>& options, const std::vector<std::string>& args) {
  result_ = Result{};
  hostfs::RemoveTree(out_);
  std::vector<std::string> argv = {BinDir() + "/devsim", "run", dir_, out_};
  argv.insert(argv.end(), options.begin(), options.end());
  if (!args.empty()) {
    argv.push_back("--");
    argv.insert(argv.end(), args.begin(), args.end());
  }
  std::string err_path = base_ + "/devsim.stderr";
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t actions;  // devsim's stderr into err_path
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  stderr_ = ReadFile(err_path);
  int rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (rc != 0) return rc;
  json j = json::parse(ReadFile(out_ + "/result.json"), nullptr, false);
  if (j.is_object()) {
    result_.outcome = j.value("outcome", "");
    result_.exit_status = OptInt(j, "exit_status");
    result_.signal = OptInt(j, "signal");
    if (j.contains("reboot_command") && j["reboot_command"].is_string()) {
      result_.reboot_command = j["reboot_command"].get<std::string>();
    }
    result_.duration_ms = j.value("duration_ms", 0);
    result_.frames = j.value("frames", 0);
    result_.killapps_runs = j.value("killapps_runs", 0);
    if (j.contains("sysv") && j["sysv"].is_object()) {
      result_.sysv.semaphores = SysvObjects(j["sysv"].value("semaphores", json::object()), "value");
      result_.sysv.shm = SysvObjects(j["sysv"].value("shm", json::object()), "size");
    }
    if (j.contains("flash_ops") && j["flash_ops"].is_object()) {
      for (auto& [name, o] : j["flash_ops"].items()) {
        result_.flash_ops[name] = {o.value("erases", 0L), o.value("writes", 0L), o.value("bytes_written", 0L),
                                   o.value("bytes_read", 0L)};
      }
    }
  }
  return rc;
}

int Device::Exec(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& options) {
  std::vector<std::string> opts = {"--exec", program};
  opts.insert(opts.end(), options.begin(), options.end());
  return Run(opts, args);
}

int Device::Shell(const std::string& script, const std::vector<std::string>& options) {
  std::string path = base_ + "/script.sh";
  hostfs::WriteText(path, "#!/bin/sh\n" + script + "\n", 0755);
  return Exec(path, {}, options);
}

std::string Device::Console() const { return ReadFile(out_ + "/console.log"); }

std::vector<LogLine> Device::Syslog() const {
  return ReadJsonLines<LogLine>(out_ + "/syslog.jsonl", [](const json& j) {  // priority null: unparsed line
    return LogLine{j["priority"].is_number() ? j["priority"].get<int>() : 0, j.value("message", "")};
  });
}

bool Device::LogContains(const std::string& text) const {
  for (const LogLine& l : Syslog()) {
    if (l.message.find(text) != std::string::npos) return true;
  }
  return false;
}

std::vector<IpcRecord> Device::Ipc() const {
  return ReadJsonLines<IpcRecord>(out_ + "/ipc.jsonl", [](const json& j) {
    return IpcRecord{j.value("receiver", 0), j.value("length", 0), j.value("msg", 0), j.value("sender", 0),
                     j.value("wparam", 0), j.value("lparam", 0), FromHex(j.value("data", "")), j.contains("raw")};
  });
}

std::vector<MiscRecord> Device::Misc() const {
  return ReadJsonLines<MiscRecord>(out_ + "/misc.jsonl", [](const json& j) {
    return MiscRecord{static_cast<uint32_t>(std::strtoul(j.value("request", "0").c_str(), nullptr, 16)),
                      j.value("value", 0L), j.value("result", 0)};
  });
}

int Device::FrameCount() const { return result_.frames; }

std::string Device::FrameText(int n) const {
  char name[32];
  std::snprintf(name, sizeof name, "/frames/%04d.txt", n);
  std::string text = ReadFile(out_ + name);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// env.txt lists "NAME VALUE" (or a bare NAME) per line.
std::optional<std::string> Device::EnvLine(const std::string& name) const {
  std::istringstream in(ReadFile(out_ + "/env.txt"));
  std::string line;
  while (std::getline(in, line)) {
    if (line == name) return "";
    if (line.rfind(name + " ", 0) == 0) return line.substr(name.size() + 1);
  }
  return std::nullopt;
}

bool Device::EnvHas(const std::string& name) const { return EnvLine(name).has_value(); }
std::string Device::EnvValue(const std::string& name) const { return EnvLine(name).value_or(""); }

std::string Device::Flash() const { return ReadFile(out_ + "/flash.img"); }

std::pair<unsigned long, unsigned long> Device::WindowRange(int mtd) const {
  json j = json::parse(ReadFile(out_ + "/partitions.json"), nullptr, false);
  std::string key = "mtd" + std::to_string(mtd);
  if (!j.is_object() || !j.contains(key)) return {0, 0};
  return {std::strtoul(j[key].value("start", "0").c_str(), nullptr, 16),
          std::strtoul(j[key].value("end", "0").c_str(), nullptr, 16)};
}

std::string Device::Window(int mtd) const {
  const auto [start, end] = WindowRange(mtd);
  const unsigned long base = 0x90000000UL;
  std::string flash = Flash();
  if (start < base || end < start || end - base > flash.size()) return "";
  return flash.substr(start - base, end - start);
}

std::string Device::DeviceFile(const std::string& path) const {
  return ReadFile(out_ + "/device/" + path);
}

bool Device::DeviceFileExists(const std::string& path) const {
  struct stat st;
  return lstat((out_ + "/device/" + path).c_str(), &st) == 0;
}

}  // namespace devsim
