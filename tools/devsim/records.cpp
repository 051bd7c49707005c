#include "records.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "picture.h"

namespace devsim {

using json = nlohmann::json;

namespace {

// "Mmm dd hh:mm:ss " as syslog() writes it.
bool IsTimestamp(const std::string& s, size_t at) {
  if (s.size() < at + 16) return false;
  const char* p = s.c_str() + at;
  return std::isalpha(static_cast<unsigned char>(p[0])) && p[3] == ' ' && p[6] == ' ' && p[9] == ':' &&
         p[12] == ':' && p[15] == ' ';
}

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace

bool ParseSyslog(const std::string& d, SyslogLine* out) {
  if (d.size() < 3 || d[0] != '<') return false;
  size_t close = d.find('>');
  if (close == std::string::npos || close < 2 || close > 4) return false;
  int pri = 0;
  for (size_t i = 1; i < close; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(d[i]))) return false;
    pri = pri * 10 + (d[i] - '0');
  }
  size_t at = close + 1;
  if (IsTimestamp(d, at)) at += 16;
  // The tag ("ident[pid]: ", possibly empty) ends at the first ": " before
  // any space.
  size_t colon = d.find(": ", at);
  size_t space = d.find(' ', at);
  if (colon != std::string::npos && (space == std::string::npos || colon < space)) at = colon + 2;
  std::string message = d.substr(at);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\0')) message.pop_back();
  out->priority = pri & 7;
  out->facility = pri >> 3;
  out->message = message;
  return true;
}

std::string IpcJson(int64_t t_ms, int receiver, const std::string& b) {
  json j;
  j["t_ms"] = t_ms;
  j["receiver"] = receiver;
  bool ok = b.size() >= 20 && b.size() <= 2068 && Le32(b, 0) == b.size();
  if (!ok) {
    j["raw"] = Hex(b.data(), b.size());
  } else {
    j["length"] = static_cast<int32_t>(Le32(b, 0));
    j["msg"] = static_cast<int32_t>(Le32(b, 4));
    j["sender"] = static_cast<int32_t>(Le32(b, 8));
    j["wparam"] = static_cast<int32_t>(Le32(b, 12));
    j["lparam"] = static_cast<int32_t>(Le32(b, 16));
    j["data"] = Hex(b.data() + 20, b.size() - 20);
  }
  return j.dump();
}

bool Records::Open(const std::string& out_dir) {
  out_ = out_dir;
  syslog_.open(out_ + "/syslog.jsonl");
  ipc_.open(out_ + "/ipc.jsonl");
  misc_.open(out_ + "/misc.jsonl");
  return syslog_ && ipc_ && misc_;
}

int64_t Records::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0_).count();
}

void Records::Line(std::ofstream& out, const std::string& text) {
  out << text << '\n';
  out.flush();
}

void Records::Syslog(const std::string& datagram) {
  SyslogLine l;
  json j;
  j["t_ms"] = NowMs();
  if (ParseSyslog(datagram, &l)) {
    j["priority"] = l.priority;
    j["facility"] = l.facility;
    j["message"] = l.message;
  } else {
    j["priority"] = nullptr;
    j["facility"] = nullptr;
    j["message"] = datagram;
  }
  // Messages are bytes, not necessarily UTF-8: replace what is not.
  Line(syslog_, j.dump(-1, ' ', false, json::error_handler_t::replace));
}

void Records::Ipc(int receiver, const std::string& bytes) { Line(ipc_, IpcJson(NowMs(), receiver, bytes)); }

void Records::Misc(uint32_t request, int64_t value, int result) {
  char req[16];
  std::snprintf(req, sizeof req, "0x%08X", request);
  json j;
  j["t_ms"] = NowMs();
  j["request"] = req;
  j["value"] = value;
  j["result"] = result;
  Line(misc_, j.dump());
}

int Records::AddFrame(const uint8_t* bytes, size_t len) {
  Frame f;
  f.t_ms = NowMs();
  f.bytes.assign(picture::kFrameBytes, 0);
  std::memcpy(f.bytes.data(), bytes, std::min<size_t>(len, picture::kFrameBytes));
  frames_.push_back(std::move(f));
  const int n = static_cast<int>(frames_.size());
  // The text art goes out at once, so that a run can be watched while it
  // goes on; PNGs and frames.txt follow at the end (WriteFrames).
  if (!out_.empty()) {
    std::string dir = out_ + "/frames";
    if (n == 1) mkdir(dir.c_str(), 0755);
    char name[32];
    std::snprintf(name, sizeof name, "/%04d.txt", n);
    std::ofstream(dir + name) << picture::ToText(frames_.back().bytes.data());
  }
  return n;
}

bool Records::WriteFrames(std::string* error) const {
  std::string dir = out_ + "/frames";
  mkdir(dir.c_str(), 0755);
  std::ofstream all(out_ + "/frames.txt");
  for (size_t i = 0; i < frames_.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%04u", static_cast<unsigned>(i + 1));
    std::string text = picture::ToText(frames_[i].bytes.data());
    if (!picture::WritePng(dir + "/" + name + ".png", frames_[i].bytes.data(), 1, error)) return false;
    all << "frame " << (i + 1) << " t_ms " << frames_[i].t_ms << "\n" << text << "\n";
  }
  return static_cast<bool>(all);
}

}  // namespace devsim
