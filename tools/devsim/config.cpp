// device.ini reader (libinih enumerates the entries; this file judges them).
#include "config.h"

#include <ini.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace devsim {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = Trim(text.substr(start, comma - start));
    if (!item.empty()) out.push_back(item);
    start = comma + 1;
  }
  return out;
}

bool ParseBool(const std::string& text, bool* out) {
  if (text == "yes" || text == "1" || text == "true" || text == "on") {
    *out = true;
    return true;
  }
  if (text == "no" || text == "0" || text == "false" || text == "off") {
    *out = false;
    return true;
  }
  return false;
}

// "mtdN" -> N (0..8).
bool ParseMtd(const std::string& text, int* out) {
  int64_t n = 0;
  if (text.size() < 4 || text.compare(0, 3, "mtd") != 0 || !ParseInt(text.substr(3), &n) ||
      n < 0 || n > 8) {
    return false;
  }
  *out = static_cast<int>(n);
  return true;
}

// "mtdN:K" items; with `always_allowed` also "mtdN:K:always".
bool ParseBlockFaults(const std::string& text, std::vector<BlockFault>* out, bool always_allowed = false) {
  for (std::string item : SplitList(text)) {
    BlockFault f;
    const size_t last = item.rfind(':');
    if (always_allowed && last != std::string::npos && Trim(item.substr(last + 1)) == "always") {
      item.erase(last);
      f.always = true;
    }
    size_t colon = item.find(':');
    int64_t block = 0;
    if (colon == std::string::npos || !ParseMtd(Trim(item.substr(0, colon)), &f.mtd) ||
        !ParseInt(Trim(item.substr(colon + 1)), &block) || block < 0 || block > 127) {
      return false;
    }
    f.block = static_cast<int>(block);
    out->push_back(f);
  }
  return true;
}

std::string Resolve(const std::string& dir, const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  return dir + "/" + path;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Loader {
  DeviceConfig* cfg;
  std::string error;
  bool saw_bootloader = false;

  bool Fail(const std::string& section, const std::string& key, const std::string& why) {
    if (error.empty()) error = "device.ini: [" + section + "] " + key + ": " + why;
    return false;
  }

  bool Device(const std::string& key, const std::string& v) {
    if (key == "hwver") {
      cfg->hwver = v;
    } else if (key == "software") {
      cfg->software = v;
    } else if (key == "kernel_mtd_repair") {
      if (!ParseBool(v, &cfg->kernel_mtd_repair)) return Fail("device", key, "expected yes or no");
    } else if (key == "listen") {
      cfg->listen.clear();
      for (const std::string& item : SplitList(v)) {
        int64_t id = 0;
        if (!ParseInt(item, &id) || id < 1 || id > 99) {
          return Fail("device", key, "expected ids 1..99, got \"" + item + "\"");
        }
        cfg->listen.push_back(static_cast<int>(id));
      }
    } else if (key == "speed") {
      if (!ParseNumber(v, &cfg->speed) || cfg->speed <= 0) return Fail("device", key, "expected a number above 0");
    } else if (key == "timeout") {
      if (!ParseNumber(v, &cfg->timeout) || cfg->timeout <= 0) return Fail("device", key, "expected seconds above 0");
    } else if (key == "keys") {
      cfg->keys.clear();
      if (!ParseKeys(v, &cfg->keys)) return Fail("device", key, "expected code@Ns or code@frameN, comma separated");
    } else if (key == "argv0") {
      if (v.empty() || v[0] != '/') return Fail("device", key, "expected an absolute path");
      cfg->argv0 = v;
    } else {
      return Fail("device", key, "unknown key");
    }
    return true;
  }

  bool Flash(const std::string& key, const std::string& v) {
    int mtd = 0;
    if (key == "fill") {
      int64_t n = 0;
      if (!ParseInt(v, &n) || n < 0 || n > 255) return Fail("flash", key, "expected a byte value");
      cfg->fill = static_cast<uint8_t>(n);
    } else if (key == "erase_ms" || key == "program_ms" || key == "read_ms") {
      double ms = 0;
      if (!ParseNumber(v, &ms) || ms < 0 || ms > 60000) return Fail("flash", key, "expected milliseconds (0..60000)");
      (key == "erase_ms" ? cfg->erase_ms : key == "program_ms" ? cfg->program_ms : cfg->read_ms) = ms;
    } else if (ParseMtd(key, &mtd)) {
      std::string path = Resolve(cfg->dir, v);
      if (!IsFile(path)) return Fail("flash", key, "no such file: " + path);
      cfg->flash_files[mtd] = path;
    } else {
      return Fail("flash", key, "unknown key (fill, erase_ms, program_ms, read_ms or mtd0..mtd8)");
    }
    return true;
  }

  bool Shm(const std::string& key, const std::string& v) {
    int64_t n = 0;
    if (key == "rom") {
      std::string path = Resolve(cfg->dir, v);
      if (!IsFile(path)) return Fail("shm", key, "no such file: " + path);
      cfg->shm_rom = path;
    } else if (key == "state") {
      if (!ParseInt(v, &n) || n < INT32_MIN || n > INT32_MAX) return Fail("shm", key, "expected a 32-bit integer");
      cfg->shm_state = static_cast<int32_t>(n);
    } else if (key == "key") {
      if (!ParseInt(v, &n) || n <= 0 || n > INT32_MAX) return Fail("shm", key, "expected a key such as 0xA130");
      cfg->shm_key = static_cast<uint32_t>(n);
    } else {
      return Fail("shm", key, "unknown key (rom, state, key)");
    }
    return true;
  }

  bool Semaphore(const std::string& key, const std::string& v) {
    int64_t k = 0;
    SemHold h;
    if (!ParseInt(key, &k) || k <= 0 || k > INT32_MAX) return Fail("semaphores", key, "expected a key such as 0xB012");
    if (!ParseNumber(v, &h.seconds) || h.seconds < 0) return Fail("semaphores", key, "expected seconds (0 = whole run)");
    h.key = static_cast<uint32_t>(k);
    cfg->semaphores.push_back(h);
    return true;
  }

  bool Faults(const std::string& key, const std::string& v) {
    bool ok = true;
    if (key == "erase") {
      ok = ParseBlockFaults(v, &cfg->erase_faults);
    } else if (key == "write") {
      ok = ParseBlockFaults(v, &cfg->write_faults);
    } else if (key == "short_write") {
      ok = ParseBlockFaults(v, &cfg->short_write_faults);
    } else if (key == "weak_write") {
      ok = ParseBlockFaults(v, &cfg->weak_write_faults, true);
    } else if (key == "memgetinfo") {
      for (const std::string& item : SplitList(v)) {
        int mtd = 0;
        if (!ParseMtd(item, &mtd)) return Fail("faults", key, "expected mtdN list");
        cfg->memgetinfo_faults.push_back(mtd);
      }
    } else if (key == "short_read") {
      for (const std::string& item : SplitList(v)) {
        int mtd = 0;
        if (!ParseMtd(item, &mtd)) return Fail("faults", key, "expected mtdN list");
        cfg->short_read_faults.push_back(mtd);
      }
    } else if (key == "missing") {
      for (const std::string& item : SplitList(v)) {
        if (item[0] != '/') return Fail("faults", key, "expected absolute device paths");
        cfg->missing.push_back(item);
      }
    } else if (key == "misc") {
      if (v != "fail" && v != "watchdog" && v != "no") return Fail("faults", key, "expected fail or watchdog");
      cfg->misc_fault = v == "no" ? "" : v;
    } else if (key == "killapps") {
      if (v != "fail" && v != "no") return Fail("faults", key, "expected fail");
      cfg->killapps_fail = v == "fail";
    } else if (key == "copy_bin") {
      if (v != "fail" && v != "no") return Fail("faults", key, "expected fail");
      cfg->copy_bin_fail = v == "fail";
    } else if (key == "tmp_full") {
      ok = ParseBool(v, &cfg->tmp_full);
    } else {
      return Fail("faults", key, "unknown key");
    }
    return ok || Fail("faults", key, "cannot read \"" + v + "\"");
  }

  bool Entry(const std::string& section, const std::string& key, const std::string& value) {
    std::string v = Trim(value);
    if (section == "device") return Device(key, v);
    if (section == "bootloader") {
      saw_bootloader = true;
      cfg->bootloader.emplace_back(key, v);
      return true;
    }
    if (section == "flash") return Flash(key, v);
    if (section == "shm") return Shm(key, v);
    if (section == "semaphores") return Semaphore(key, v);
    if (section == "faults") return Faults(key, v);
    return Fail(section, key, "unknown section");
  }
};

int Handler(void* user, const char* section, const char* name, const char* value) {
  Loader* l = static_cast<Loader*>(user);
  if (name == nullptr) {  // a section header of its own
    if (std::strcmp(section, "bootloader") == 0) l->saw_bootloader = true;
    return 1;
  }
  return l->Entry(section, name, value) ? 1 : 0;
}

bool MentionsSection(const std::string& path, const std::string& section) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return false;
  char line[512];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f) != nullptr) {
    found = Trim(line) == "[" + section + "]";
  }
  std::fclose(f);
  return found;
}

}  // namespace

bool ParseInt(const std::string& text, int64_t* out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseNumber(const std::string& text, double* out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (*end != '\0' || v != v) return false;
  *out = v;
  return true;
}

bool ParseKeys(const std::string& text, std::vector<KeyEvent>* out) {
  for (const std::string& item : SplitList(text)) {
    size_t at = item.find('@');
    if (at == std::string::npos) return false;
    int64_t code = 0;
    if (!ParseInt(item.substr(0, at), &code) || code < 0 || code > 0xFFFF) return false;
    std::string when = Trim(item.substr(at + 1));
    KeyEvent k;
    k.code = static_cast<int>(code);
    if (when.rfind("frame", 0) == 0) {
      int64_t n = 0;
      if (!ParseInt(when.substr(5), &n) || n < 0) return false;
      k.at_frame = true;
      k.when = n;
    } else {
      double s = 0;
      if (when.size() < 2 || when.back() != 's' || !ParseNumber(when.substr(0, when.size() - 1), &s) || s < 0) {
        return false;
      }
      k.when = static_cast<int64_t>(s * 1000);
    }
    out->push_back(k);
  }
  return true;
}

std::vector<std::pair<std::string, std::string>> DefaultBootloader() {
  return {{"MID_VERSION", "0"},
          {"SW_OEM", "0"},
          {"SW_protect", "0"},
          {"mtd0", "0x90000000,0x90020000"},
          {"mtd1", "0x90120000,0x90500000"},
          {"mtd2", "0x90020000,0x90120000"},
          {"mtd3", "0x90500000,0x90510000"},
          {"mtd4", "0x90510000,0x90590000"},
          {"mtd5", "0x90590000,0x90690000"},
          {"mtd6", "0x90690000,0x90790000"},
          {"mtd7", "0x90790000,0x907F0000"},
          {"mtd8", "0x907F0000,0x90800000"}};
}

bool LoadDevice(const std::string& dir, DeviceConfig* cfg, std::string* error) {
  cfg->dir = dir;
  std::string path = dir + "/device.ini";
  Loader loader{cfg, "", false};
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = dir + ": not a device directory";
    return false;
  }
  if (stat(path.c_str(), &st) == 0) {
    int rc = ini_parse(path.c_str(), Handler, &loader);
    if (rc < 0) {
      *error = path + ": cannot read";
      return false;
    }
    if (!loader.error.empty()) {
      *error = dir + "/" + loader.error;
      return false;
    }
    if (rc > 0) {
      *error = path + ": line " + std::to_string(rc) + ": not an INI line";
      return false;
    }
  }
  // An empty [bootloader] section means a device without variables; only a
  // description without the section gets the default listing.
  if (!loader.saw_bootloader && !MentionsSection(path, "bootloader")) {
    cfg->bootloader = DefaultBootloader();
  }
  return true;
}

}  // namespace devsim
