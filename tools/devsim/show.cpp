// `devsim show`: reads OUT_DIR the way a firmware engineer would look at a
// phone after an upgrade: how it ended, what the LCD showed, what was
// broadcast, which variables and partitions changed.
#include "show.h"

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "hostfs.h"
#include "rundir.h"

namespace devsim {

using namespace hostfs;
namespace {

using json = nlohmann::json;

void ShowFrames(const std::string& out_dir, int frames) {
  for (int n = 1; n <= frames; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/frames/%04d.txt", n);
    std::string text;
    ReadText(out_dir + name, &text);
    std::printf("\nframe %d:\n%s", n, text.c_str());
  }
}

void ShowIpc(const std::string& out_dir) {
  auto records = JsonLines(out_dir + "/ipc.jsonl");
  std::printf("\nIPC messages: %zu\n", records.size());
  for (const json& r : records) {
    if (r.contains("raw")) {
      std::printf("  t=%sms to %s: malformed, bytes %s\n", Field(r, "t_ms").c_str(), Field(r, "receiver").c_str(),
                  Field(r, "raw").c_str());
    } else {
      std::printf("  t=%sms to %s: msg %s wparam %s lparam %s from %s data %s\n", Field(r, "t_ms").c_str(),
                  Field(r, "receiver").c_str(), Field(r, "msg").c_str(), Field(r, "wparam").c_str(),
                  Field(r, "lparam").c_str(), Field(r, "sender").c_str(), Field(r, "data").c_str());
    }
  }
}

// Variables: what the run changed against the listing it started with
// (recorded by devsim in env.start.txt).
void ShowVariables(const std::string& out_dir) {
  std::string before, after;
  ReadText(out_dir + "/env.start.txt", &before);
  ReadText(out_dir + "/env.txt", &after);
  std::printf("\nbootloader variables changed:\n");
  auto changes = ChangedVariables(before, after);
  for (const VarChange& c : changes) {
    if (c.kind == '+') {
      std::printf("  + %s = %s\n", c.name.c_str(), c.after.c_str());
    } else if (c.kind == '~') {
      std::printf("  ~ %s: %s -> %s\n", c.name.c_str(), c.before.c_str(), c.after.c_str());
    } else {
      std::printf("  - %s (was %s)\n", c.name.c_str(), c.before.c_str());
    }
  }
  if (changes.empty()) std::printf("  none\n");
}

void ShowPartitions(const std::string& out_dir) {
  std::string start_img, end_img, parts_text, start_parts_text;
  ReadText(out_dir + "/flash.start.img", &start_img);
  ReadText(out_dir + "/flash.img", &end_img);
  ReadText(out_dir + "/partitions.json", &parts_text);
  ReadText(out_dir + "/partitions.start.json", &start_parts_text);
  json parts = json::parse(parts_text, nullptr, false);
  json start_parts = json::parse(start_parts_text, nullptr, false);
  std::printf("\npartitions changed or moved:\n");
  if (!parts.is_object()) return;
  int shown = 0;
  for (auto& [name, w] : parts.items()) {
    unsigned long s = std::stoul(w.value("start", "0"), nullptr, 16), e = std::stoul(w.value("end", "0"), nullptr, 16);
    std::string moved;
    if (start_parts.is_object() && start_parts.contains(name) && start_parts[name] != w) {
      moved = " (moved from " + start_parts[name].value("start", "?") + ".." + start_parts[name].value("end", "?") + ")";
    }
    std::string state = "unchanged";
    const unsigned long base = 0x90000000UL;
    if (start_img.size() != end_img.size() || e > base + end_img.size() || s < base) {
      state = "?";
    } else {
      size_t diff = 0;
      for (unsigned long i = s - base; i < e - base; ++i) diff += start_img[i] != end_img[i];
      if (diff) state = std::to_string(diff) + " bytes changed";
    }
    if (state == "unchanged" && moved.empty()) continue;
    ++shown;
    std::printf("  %-5s %s..%s %s%s\n", name.c_str(), w.value("start", "?").c_str(), w.value("end", "?").c_str(),
                state.c_str(), moved.c_str());
  }
  if (shown == 0) std::printf("  none\n");
}

// What the run left of the System V objects (result.json's "sysv").
void ShowSysv(const json& r) {
  std::printf("\nSystem V objects at the end:\n");
  if (!r.contains("sysv")) return;
  const struct {
    const char *kind, *what, *field, *unit;
  } kinds[] = {{"semaphores", "semaphore", "value", ""}, {"shm", "segment", "size", " bytes"}};
  for (const auto& k : kinds) {
    if (!r["sysv"].contains(k.kind)) continue;
    for (const auto& [key, o] : r["sysv"][k.kind].items()) {
      if (o.value("exists", false)) {
        std::printf("  %-9s %-7s %s %s%s\n", k.what, key.c_str(), k.field, Field(o, k.field).c_str(), k.unit);
      } else {
        std::printf("  %-9s %-7s none\n", k.what, key.c_str());
      }
    }
  }
}

// What the chip did in each window a request reached (result.json's flash_ops).
void ShowFlashOps(const json& result) {
  std::printf("\nflash operations:\n");
  if (!result.contains("flash_ops") || !result["flash_ops"].is_object() || result["flash_ops"].empty()) {
    std::printf("  none\n");
    return;
  }
  for (auto& [name, o] : result["flash_ops"].items()) {
    std::printf("  %-5s %s blocks erased, %s writes, %s bytes written, %s bytes read\n", name.c_str(),
                Field(o, "erases").c_str(), Field(o, "writes").c_str(), Field(o, "bytes_written").c_str(),
                Field(o, "bytes_read").c_str());
  }
}

}  // namespace

int Show(const std::string& out_dir) {
  std::string text;
  if (!ReadText(out_dir + "/result.json", &text)) {
    std::fprintf(stderr, "devsim show: %s holds no run (no result.json)\n", out_dir.c_str());
    return 1;
  }
  json r = json::parse(text, nullptr, false);
  std::printf("outcome %s, exit status %s, signal %s, reboot command %s, %s ms, %s frames\n",
              Field(r, "outcome").c_str(), Field(r, "exit_status").c_str(), Field(r, "signal").c_str(),
              Field(r, "reboot_command").c_str(), Field(r, "duration_ms").c_str(), Field(r, "frames").c_str());
  auto log = JsonLines(out_dir + "/syslog.jsonl");
  std::printf("syslog lines: %zu (syslog.jsonl), misc requests: %zu (misc.jsonl), killapps runs: %s\n",
              log.size(), JsonLines(out_dir + "/misc.jsonl").size(), Field(r, "killapps_runs").c_str());
  ShowFrames(out_dir, r.value("frames", 0));
  ShowIpc(out_dir);
  ShowVariables(out_dir);
  ShowPartitions(out_dir);
  ShowSysv(r);
  ShowFlashOps(r);
  return 0;
}

}  // namespace devsim
