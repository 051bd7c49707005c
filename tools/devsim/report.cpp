// `devsim report`: the records of a run as one web page that a firmware
// engineer can open from disk or attach to a bug report. Everything is inline
// so that the page shows the same wherever it is opened.
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "flash.h"
#include "hostfs.h"
#include "picture.h"
#include "rundir.h"

namespace devsim {

namespace {

using json = nlohmann::json;
using hostfs::ReadText;

// The LCD frames are encoded at this scale; the player shows them twice as
// large again (a whole multiple keeps the pixels square).
constexpr int kFrameScale = 2;
constexpr int kBlocks = static_cast<int>(kFlashSize / kEraseBlock);

std::string Esc(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    out.push_back(kDigits[v >> 18]);
    out.push_back(kDigits[(v >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kDigits[v & 63] : '=');
  }
  return out;
}

std::string Seconds(int64_t ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f s", static_cast<double>(ms) / 1000);
  return buf;
}

std::string Bytes(uint64_t n) {
  char buf[32];
  if (n >= (1u << 20)) {
    std::snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(n) / (1u << 20));
  } else if (n >= 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KiB", static_cast<double>(n) / 1024);
  } else {
    std::snprintf(buf, sizeof buf, "%u B", static_cast<unsigned>(n));
  }
  return buf;
}

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

const char* const kPriorityNames[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:0 24px 40px;color:#1d2433;background:#fbfbf8}
h1{font-size:20px;margin:18px 0 4px}h2{font-size:16px;margin:28px 0 8px;border-bottom:1px solid #c9ccd4}
.outcome{font-size:15px}.outcome b{padding:1px 6px;border-radius:3px;color:#fff;background:#5a6478}
.o-rebooted b{background:#2e7d4f}.o-exited b{background:#3b5ea8}.o-timeout b,.o-crashed b{background:#b3261e}
.dim{color:#687086}pre,code{font:12px/1.35 ui-monospace,monospace}
pre.ini{background:#f0f1ec;padding:8px 12px;border:1px solid #dde0e6;max-height:220px;overflow:auto;display:inline-block;min-width:420px}
.wide{overflow-x:auto}
table{border-collapse:collapse;font-size:13px}td,th{padding:2px 10px 2px 0;text-align:left;vertical-align:top}
th{color:#687086;font-weight:600}tbody tr:nth-child(odd){background:#f1f2ee}
td.data{word-break:break-all;max-width:560px}
.player{display:none;margin-bottom:10px}.js .player{display:flex;gap:16px;align-items:flex-end}
#screen{width:528px;height:256px;image-rendering:pixelated;border:6px solid #3a4150;border-radius:6px;background:#5b6270}
.controls button{font-size:14px;min-width:40px;margin-right:4px}
.strip{position:relative;display:flex;gap:8px;overflow-x:auto;padding:6px 2px 10px}
.shot{margin:0;flex:none;text-align:center;font-size:12px;color:#687086;cursor:pointer}
.shot img{display:block;border:3px solid transparent;border-radius:3px}.shot.cur img{border-color:#e08a00}
.shot.cur{color:#1d2433;font-weight:600}
.chip td{padding:1px 10px 1px 0;white-space:nowrap}
.b{display:inline-block;width:12px;height:16px;margin:0 2px 2px 0;border-radius:2px;vertical-align:middle;background:#cdd1da}
.b.changed{background:#e08a00}.b.written{background:#2e7d4f}.b.erased{background:#6fa8dc}
.b.left{background:#fff;box-shadow:inset 0 0 0 1px #aab0bd}.b.unknown{background:#fff;box-shadow:inset 0 0 0 1px #b3261e}
.legend span{margin-right:14px}.before td{color:#687086}
.filter label{margin-right:12px;white-space:nowrap}
.p0 td,.p1 td,.p2 td,.p3 td{color:#b3261e}.p4 td{color:#9a5b00}.p7 td{color:#687086}
)";

// Selects a frame by click or key, and plays the frames with the pauses they
// had on the device (shortened or lengthened to stay watchable); FILE#frameN
// opens at frame N. The syslog filter hides the priorities whose box is
// unticked.
const char kScript[] = R"(
(function () {
  document.body.classList.add('js');
  var boxes = document.querySelectorAll('.filter input');
  var log = document.getElementById('syslog-table');
  boxes.forEach(function (b) {
    b.addEventListener('change', function () { log.classList.toggle('hide-' + b.value, !b.checked); });
  });
  var shots = Array.prototype.slice.call(document.querySelectorAll('.shot'));
  if (!shots.length) return;
  var strip = document.querySelector('.strip'), screen = document.getElementById('screen');
  var pos = document.getElementById('pos'), play = document.getElementById('play');
  var cur = 0, timer = null;
  function show(i) {
    shots[cur].classList.remove('cur');
    cur = Math.max(0, Math.min(shots.length - 1, i));
    var s = shots[cur];
    s.classList.add('cur');
    screen.src = s.querySelector('img').src;
    pos.textContent = 'frame ' + (cur + 1) + ' of ' + shots.length + ' \u00b7 ' + s.dataset.time;
    if (s.offsetLeft < strip.scrollLeft || s.offsetLeft + s.offsetWidth > strip.scrollLeft + strip.clientWidth)
      strip.scrollLeft = s.offsetLeft - (strip.clientWidth - s.offsetWidth) / 2;
  }
  function stop() { clearTimeout(timer); timer = null; play.textContent = '\u25b6 play'; }
  function tick() {
    if (cur + 1 >= shots.length) { stop(); return; }
    var wait = shots[cur + 1].dataset.ms - shots[cur].dataset.ms;
    timer = setTimeout(function () { show(cur + 1); tick(); }, Math.max(120, Math.min(1500, wait || 400)));
  }
  function toggle() {
    if (timer) { stop(); return; }
    if (cur + 1 >= shots.length) show(0);
    play.textContent = '\u275a\u275a pause';
    tick();
  }
  play.addEventListener('click', toggle);
  document.getElementById('prev').addEventListener('click', function () { stop(); show(cur - 1); });
  document.getElementById('next').addEventListener('click', function () { stop(); show(cur + 1); });
  shots.forEach(function (s, i) { s.addEventListener('click', function () { stop(); show(i); }); });
  document.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey) return;
    if (e.key === 'ArrowRight') { stop(); show(cur + 1); }
    else if (e.key === 'ArrowLeft') { stop(); show(cur - 1); }
    else if (e.key === 'Home') { stop(); show(0); }
    else if (e.key === 'End') { stop(); show(shots.length - 1); }
    else if (e.key === ' ' && e.target.tagName !== 'BUTTON') toggle();
    else return;
    e.preventDefault();
  });
  var start = /^#frame(\d+)$/.exec(location.hash);
  show(start ? start[1] - 1 : 0);
})();
)";

struct Page {
  std::string out_dir;
  json result;
  std::ostringstream html;
};

void Outcome(Page& p) {
  const json& r = p.result;
  std::string outcome = Field(r, "outcome");
  p.html << "<h1>devsim run</h1>\n<p class=\"outcome o-" << Esc(outcome) << "\">outcome <b>" << Esc(outcome)
         << "</b> &middot; exit status " << Esc(Field(r, "exit_status")) << " &middot; signal "
         << Esc(Field(r, "signal")) << " &middot; reboot command " << Esc(Field(r, "reboot_command"))
         << " &middot; " << Esc(Field(r, "duration_ms")) << " ms &middot; " << Esc(Field(r, "frames"))
         << " frames &middot; killapps runs " << Esc(Field(r, "killapps_runs")) << "</p>\n<p class=\"dim\">"
         << Esc(p.out_dir) << "</p>\n";
}

void Device(Page& p) {
  p.html << "<h2>Device</h2>\n";
  std::string command, ini;
  bool have_command = ReadText(p.out_dir + "/command.txt", &command);
  bool have_ini = ReadText(p.out_dir + "/device.ini", &ini);
  if (!have_command && !have_ini) {
    p.html << "<p class=\"dim\">The run did not record its device description.</p>\n";
    return;
  }
  if (have_command) p.html << "<p><code>" << Esc(command) << "</code></p>\n";
  if (ini.empty()) {
    p.html << "<p class=\"dim\">device.ini: none (every key at its default)</p>\n";
  } else {
    p.html << "<pre class=\"ini\">" << Esc(ini) << "</pre>\n";
  }
}

// Frame number -> t_ms, from the headers of frames.txt.
std::map<int, int64_t> FrameTimes(const std::string& out_dir) {
  std::map<int, int64_t> times;
  std::string text;
  ReadText(out_dir + "/frames.txt", &text);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    int n = 0;
    long long t = 0;
    if (std::sscanf(line.c_str(), "frame %d t_ms %lld", &n, &t) == 2) times[n] = t;
  }
  return times;
}

bool Frames(Page& p, std::string* error) {
  const int count = p.result.value("frames", 0);
  p.html << "<h2>LCD: " << count << " frames</h2>\n";
  if (count == 0) {
    p.html << "<p class=\"dim\">Nothing was drawn.</p>\n";
    return true;
  }
  p.html << "<div class=\"player\"><img id=\"screen\" alt=\"the selected frame\"><div class=\"controls\">"
            "<p id=\"pos\"></p><button id=\"prev\" title=\"previous (left arrow)\">&#9664;</button>"
            "<button id=\"play\">&#9654; play</button><button id=\"next\" title=\"next (right arrow)\">&#9654;"
            "</button><p class=\"dim\">&larr; &rarr; step, space plays and pauses, a click on a frame shows it"
            "</p></div></div>\n<div class=\"strip\">\n";
  auto times = FrameTimes(p.out_dir);
  for (int n = 1; n <= count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/frames/%04d.txt", n);
    auto t = times.find(n);
    std::string when = t == times.end() ? "time unknown" : Seconds(t->second);
    std::string text;
    if (!ReadText(p.out_dir + name, &text)) {
      p.html << "<p class=\"dim\">" << name + 1 << " is missing</p>\n";
      continue;
    }
    uint8_t frame[picture::kFrameBytes];
    picture::FromText(text, frame);
    std::string png;
    if (!picture::EncodePng(frame, kFrameScale, &png, error)) return false;
    p.html << "<figure class=\"shot\" data-ms=\"" << (t == times.end() ? 0 : t->second) << "\" data-time=\""
           << when << "\"><img class=\"frame\" width=\"" << picture::kWidth * kFrameScale << "\" height=\""
           << picture::kHeight * kFrameScale << "\" alt=\"frame " << n << "\" src=\"data:image/png;base64,"
           << Base64(png) << "\"><figcaption>" << n << " &middot; " << when << "</figcaption></figure>\n";
  }
  p.html << "</div>\n";
  return true;
}

struct NamedWindow {
  std::string name;
  uint32_t start = 0, end = 0;
};

// The windows of a partitions.json in address order.
std::vector<NamedWindow> Windows(const std::string& path) {
  std::string text;
  ReadText(path, &text);
  json parts = json::parse(text, nullptr, false);
  std::vector<NamedWindow> out;
  if (!parts.is_object()) return out;
  for (auto& [name, w] : parts.items()) {
    if (!w.is_object()) continue;
    NamedWindow nw{name, static_cast<uint32_t>(std::strtoul(w.value("start", "0").c_str(), nullptr, 16)),
                   static_cast<uint32_t>(std::strtoul(w.value("end", "0").c_str(), nullptr, 16))};
    if (nw.start < kFlashBase || nw.end <= nw.start || nw.end > kFlashBase + kFlashSize) continue;
    out.push_back(nw);
  }
  std::sort(out.begin(), out.end(), [](const NamedWindow& a, const NamedWindow& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  return out;
}

struct Chip {
  bool known = false;            // both images there and of the chip's size
  std::vector<int> changed;      // bytes changed in each block
  std::vector<bool> all_erased;  // the block ends as 0xFF throughout
};

Chip CompareChip(const std::string& out_dir) {
  Chip c;
  std::string before, after;
  ReadText(out_dir + "/flash.start.img", &before);
  ReadText(out_dir + "/flash.img", &after);
  if (before.size() != kFlashSize || after.size() != kFlashSize) return c;
  c.known = true;
  c.changed.assign(kBlocks, 0);
  c.all_erased.assign(kBlocks, true);
  for (size_t i = 0; i < kFlashSize; ++i) {
    const size_t b = i / kEraseBlock;
    c.changed[b] += before[i] != after[i];
    if (static_cast<uint8_t>(after[i]) != 0xFF) c.all_erased[b] = false;
  }
  return c;
}

// One window's flash operations as result.json's "flash_ops" has them.
struct Ops {
  int64_t erases = 0, writes = 0, bytes_written = 0, bytes_read = 0;
  bool touched() const { return erases > 0 || writes > 0; }
};

Ops WindowOps(const json& flash_ops, const std::string& name) {
  Ops o;
  auto it = flash_ops.find(name);
  if (it == flash_ops.end() || !it->is_object()) return o;
  auto num = [&](const char* key) {
    auto f = it->find(key);
    return f != it->end() && f->is_number() ? f->get<int64_t>() : int64_t{0};
  };
  o.erases = num("erases");
  o.writes = num("writes");
  o.bytes_written = num("bytes_written");
  o.bytes_read = num("bytes_read");
  return o;
}

// A block's mark. With the window's flash operations known, a changed block
// is told apart as erased (left all 0xFF) or written, and a block of a window
// that was neither erased nor written as left in place.
const char* BlockState(const Chip& chip, int b, const Ops* ops) {
  if (!chip.known) return "unknown";
  const bool changed = chip.changed[static_cast<size_t>(b)] > 0;
  if (ops == nullptr) return changed ? "changed" : "unchanged";
  if (!ops->touched()) return changed ? "changed" : "left";
  if (!changed) return "unchanged";
  return chip.all_erased[static_cast<size_t>(b)] ? "erased" : "written";
}

void Cells(Page& p, const Chip& chip, const std::vector<int>& blocks, const Ops* ops) {
  for (int b : blocks) {
    const char* state = BlockState(chip, b, ops);
    p.html << "<i class=\"b " << state << "\" title=\"block " << b << " at "
           << Hex32(kFlashBase + static_cast<uint32_t>(b) * kEraseBlock) << ": ";
    if (chip.known) {
      p.html << chip.changed[static_cast<size_t>(b)] << " bytes changed";
    } else {
      p.html << "contents not recorded";
    }
    p.html << "\"></i>";
  }
}

std::vector<int> BlocksOf(const NamedWindow& w) {
  std::vector<int> out;
  for (uint32_t a = (w.start - kFlashBase) / kEraseBlock * kEraseBlock; a < w.end - kFlashBase; a += kEraseBlock) {
    out.push_back(static_cast<int>(a / kEraseBlock));
  }
  return out;
}

std::string Range(const NamedWindow& w) {
  return Hex32(w.start) + "&ndash;" + Hex32(w.end) + " &middot; " + Bytes(w.end - w.start);
}

void ChipMap(Page& p) {
  p.html << "<h2>Flash chip: one cell per 64 KiB block</h2>\n";
  const Chip chip = CompareChip(p.out_dir);
  auto after = Windows(p.out_dir + "/partitions.json");
  auto before = Windows(p.out_dir + "/partitions.start.json");
  auto flash_ops = p.result.find("flash_ops");
  const bool have_ops = flash_ops != p.result.end() && flash_ops->is_object();
  p.html << "<p class=\"legend\">";
  if (have_ops) {
    p.html << "<span><i class=\"b written\"></i> written</span><span><i class=\"b erased\"></i> erased</span>"
              "<span><i class=\"b left\"></i> left in place</span>";
  }
  p.html << "<span><i class=\"b changed\"></i> changed</span><span><i class=\"b\"></i> unchanged</span>";
  if (!chip.known) p.html << "<span><i class=\"b unknown\"></i> contents not recorded</span>";
  if (!have_ops) p.html << "<span class=\"dim\">(this run recorded no flash operations)</span>";
  p.html << "</p>\n<div class=\"wide\"><table class=\"chip\"><tbody>\n";
  std::vector<bool> covered(kBlocks, false);
  auto row = [&](const std::string& label, const std::string& where, const std::string& ops_text,
                 const std::vector<int>& blocks, const Ops* ops, bool is_before) {
    p.html << "<tr" << (is_before ? " class=\"before\"" : "") << "><td>" << label << "</td><td>" << where
           << "</td><td>" << ops_text << "</td><td class=\"cells\">";
    Cells(p, chip, blocks, ops);
    p.html << "</td></tr>\n";
  };
  for (const NamedWindow& w : after) {
    auto was = std::find_if(before.begin(), before.end(), [&](const NamedWindow& b) { return b.name == w.name; });
    const bool moved = was != before.end() && (was->start != w.start || was->end != w.end);
    if (moved) row(Esc(w.name) + " before", Range(*was), "moved", BlocksOf(*was), nullptr, true);
    Ops ops = have_ops ? WindowOps(*flash_ops, w.name) : Ops{};
    std::string ops_text;
    if (have_ops) {
      ops_text = ops.touched() || ops.bytes_read
                     ? std::to_string(ops.erases) + " erases &middot; " + std::to_string(ops.writes) + " writes (" +
                           Bytes(static_cast<uint64_t>(ops.bytes_written)) + ") &middot; " +
                           Bytes(static_cast<uint64_t>(ops.bytes_read)) + " read"
                     : "not erased or written";
    }
    auto blocks = BlocksOf(w);
    for (int b : blocks) covered[static_cast<size_t>(b)] = true;
    row("<b>" + Esc(w.name) + "</b>" + (moved ? " after" : ""), Range(w), ops_text, blocks,
        have_ops ? &ops : nullptr, false);
  }
  for (const NamedWindow& w : before) {
    auto now = std::find_if(after.begin(), after.end(), [&](const NamedWindow& a) { return a.name == w.name; });
    if (now == after.end()) row(Esc(w.name) + " before", Range(w), "gone", BlocksOf(w), nullptr, true);
  }
  std::vector<int> outside;
  for (int b = 0; b < kBlocks; ++b) {
    if (!covered[static_cast<size_t>(b)]) outside.push_back(b);
  }
  if (!outside.empty()) {
    row("outside", "in no window", Bytes(outside.size() * uint64_t{kEraseBlock}), outside, nullptr, false);
  }
  p.html << "</tbody></table></div>\n";
}

void Variables(Page& p) {
  std::string before, after;
  ReadText(p.out_dir + "/env.start.txt", &before);
  ReadText(p.out_dir + "/env.txt", &after);
  auto changes = ChangedVariables(before, after);
  p.html << "<h2>Bootloader variables changed: " << changes.size() << "</h2>\n";
  if (changes.empty()) return;
  p.html << "<table><thead><tr><th></th><th>name</th><th>before</th><th>after</th></tr></thead><tbody>\n";
  for (const VarChange& c : changes) {
    const char* what = c.kind == '+' ? "added" : c.kind == '-' ? "deleted" : "changed";
    p.html << "<tr><td>" << what << "</td><td>" << Esc(c.name) << "</td><td>" << Esc(c.before) << "</td><td>"
           << Esc(c.after) << "</td></tr>\n";
  }
  p.html << "</tbody></table>\n";
}

// A table of JSON-lines records, one column per key; `data` columns break
// anywhere (long hex).
void RecordTable(Page& p, const std::string& title, const std::vector<json>& records,
                 const std::vector<std::pair<const char*, const char*>>& columns) {
  p.html << "<h2>" << title << ": " << records.size() << "</h2>\n";
  if (records.empty()) return;
  p.html << "<table><thead><tr>";
  for (const auto& c : columns) p.html << "<th>" << c.second << "</th>";
  p.html << "</tr></thead><tbody>\n";
  for (const json& r : records) {
    p.html << "<tr>";
    for (const auto& c : columns) {
      const std::string key = c.first;
      p.html << (key == "data" || key == "raw" ? "<td class=\"data\"><code>" : "<td>") << Esc(Field(r, c.first))
             << (key == "data" || key == "raw" ? "</code></td>" : "</td>");
    }
    p.html << "</tr>\n";
  }
  p.html << "</tbody></table>\n";
}

void Ipc(Page& p) {
  auto records = JsonLines(p.out_dir + "/ipc.jsonl");
  std::vector<json> good, malformed;
  for (json& r : records) (r.contains("raw") ? malformed : good).push_back(std::move(r));
  RecordTable(p, "IPC messages", good,
              {{"t_ms", "t (ms)"}, {"receiver", "to id"}, {"msg", "msg"}, {"wparam", "wparam"},
               {"lparam", "lparam"}, {"sender", "from"}, {"length", "length"}, {"data", "data (hex)"}});
  if (!malformed.empty()) {
    RecordTable(p, "Malformed IPC connections", malformed,
                {{"t_ms", "t (ms)"}, {"receiver", "to id"}, {"raw", "bytes (hex)"}});
  }
}

void Syslog(Page& p) {
  auto lines = JsonLines(p.out_dir + "/syslog.jsonl");
  int counts[9] = {};  // [8]: lines without a priority
  for (const json& l : lines) {
    auto pri = l.find("priority");
    int n = pri != l.end() && pri->is_number_integer() ? pri->get<int>() : 8;
    ++counts[n >= 0 && n < 8 ? n : 8];
  }
  p.html << "<h2>Syslog: " << lines.size() << " lines</h2>\n";
  if (lines.empty()) return;
  p.html << "<p class=\"filter\">show: ";
  for (int n = 0; n < 9; ++n) {
    if (counts[n] == 0) continue;
    p.html << "<label><input type=\"checkbox\" checked value=\"p" << n << "\"> " << (n < 8 ? std::to_string(n) : "?")
           << " " << (n < 8 ? kPriorityNames[n] : "no priority") << " (" << counts[n] << ")</label>";
  }
  p.html << "</p>\n<style>";
  for (int n = 0; n < 9; ++n) p.html << ".hide-p" << n << " tr.p" << n << (n < 8 ? "," : "{display:none}");
  p.html << "</style>\n<table id=\"syslog-table\"><thead><tr><th>t (ms)</th><th>priority</th><th>facility</th>"
            "<th>message</th></tr></thead><tbody>\n";
  for (const json& l : lines) {
    auto pri = l.find("priority");
    int n = pri != l.end() && pri->is_number_integer() ? pri->get<int>() : 8;
    if (n < 0 || n > 7) n = 8;
    p.html << "<tr class=\"p" << n << "\"><td>" << Esc(Field(l, "t_ms")) << "</td><td>"
           << (n < 8 ? std::to_string(n) + " " + kPriorityNames[n] : "-") << "</td><td>" << Esc(Field(l, "facility"))
           << "</td><td>" << Esc(Field(l, "message")) << "</td></tr>\n";
  }
  p.html << "</tbody></table>\n";
}

}  // namespace

int Report(const std::string& out_dir, const std::string& html_path) {
  Page p;
  p.out_dir = out_dir;
  std::string text;
  if (!ReadText(out_dir + "/result.json", &text)) {
    std::fprintf(stderr, "devsim report: %s holds no run (no result.json)\n", out_dir.c_str());
    return 1;
  }
  p.result = json::parse(text, nullptr, false);
  if (!p.result.is_object()) p.result = json::object();
  p.html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>devsim run: "
         << Esc(Field(p.result, "outcome")) << "</title>\n<style>" << kStyle << "</style></head>\n<body>\n";
  Outcome(p);
  Device(p);
  std::string error;
  if (!Frames(p, &error)) {
    std::fprintf(stderr, "devsim report: %s\n", error.c_str());
    return 1;
  }
  ChipMap(p);
  Variables(p);
  Ipc(p);
  RecordTable(p, "Misc requests", JsonLines(out_dir + "/misc.jsonl"),
              {{"t_ms", "t (ms)"}, {"request", "request"}, {"value", "value"}, {"result", "result"}});
  Syslog(p);
  p.html << "<script>" << kScript << "</script>\n</body></html>\n";
  if (!hostfs::WriteText(html_path, p.html.str())) {
    std::fprintf(stderr, "devsim report: cannot write %s\n", html_path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace devsim
