// Manifest reading through libinih: one handler call per key, checked as it
// arrives; completeness (required keys, gaps) checked at the end.
#include "manifest.h"

#include <ini.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace {

struct PartitionEntry {
    RomPartitionSpec desc;
    std::string file;
    std::set<std::string> keys;
    int line = 0;
};

struct ManifestState {
    std::string path;
    RomPackageSpec* desc = nullptr;
    std::set<std::string> rom_keys;
    bool have_rom = false;
    std::map<unsigned, PartitionEntry> parts;
    std::string error;  // first error, without the location prefix
    std::string error_where;  // "[section] key"
};

bool parse_u32(const char* s, uint32_t* out) {
    int base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    }
    if (*s == '\0') {
        return false;
    }
    for (const char* c = s; *c != '\0'; ++c) {
        bool ok = base == 16 ? isxdigit(static_cast<unsigned char>(*c)) != 0
                             : isdigit(static_cast<unsigned char>(*c)) != 0;
        if (!ok) {
            return false;
        }
    }
    errno = 0;
    unsigned long long v = strtoull(s, nullptr, base);
    if (errno != 0 || v > UINT32_MAX) {
        return false;
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

bool parse_byte(const char* s, uint8_t* out) {
    uint32_t v;
    if (!parse_u32(s, &v) || v > 255) {
        return false;
    }
    *out = static_cast<uint8_t>(v);
    return true;
}

// "a.b.c.d", each part 0..255 in decimal.
bool parse_version(const char* s, uint32_t* out) {
    uint32_t parts[4];
    std::string text(s);
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t dot = text.find('.', start);
        bool last = i == 3;
        if ((dot == std::string::npos) != last) {
            return false;
        }
        std::string piece = text.substr(start, last ? std::string::npos : dot - start);
        if (piece.empty() || piece.size() > 3 || piece.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        parts[i] = static_cast<uint32_t>(std::stoul(piece));
        if (parts[i] > 255) {
            return false;
        }
        start = dot + 1;
    }
    *out = rombuild_version(parts[0], parts[1], parts[2], parts[3]);
    return true;
}

// Comma-separated list of up to 16 numbers 0..255.
bool parse_match_id(const char* s, uint8_t* out) {
    std::string text(s);
    uint8_t ids[ROM_MATCH_ID_LEN] = {};
    size_t start = 0;
    unsigned n = 0;
    while (true) {
        size_t comma = text.find(',', start);
        std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t b = piece.find_first_not_of(" \t");
        size_t e = piece.find_last_not_of(" \t");
        piece = b == std::string::npos ? std::string() : piece.substr(b, e - b + 1);
        if (n == ROM_MATCH_ID_LEN || !parse_byte(piece.c_str(), &ids[n])) {
            return false;
        }
        ++n;
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    memcpy(out, ids, sizeof(ids));
    return true;
}

// Keeps the first error only: the parser goes on after a refusal but reports
// the line of the first one.
int set_error(ManifestState* st, const char* section, const char* name, const std::string& why) {
    if (!st->error.empty()) {
        return 0;
    }
    st->error_where = std::string("[") + section + "]" + (name[0] != '\0' ? std::string(" ") + name : "");
    st->error = why;
    return 0;
}

int rom_key(ManifestState* st, const char* name, const char* value) {
    RomPackageSpec& s = *st->desc;
    const std::string key(name);
    bool ok = true;
    if (key == "rom_type") {
        ok = parse_u32(value, &s.rom_type);
    } else if (key == "process_type") {
        ok = parse_u32(value, &s.process_type);
    } else if (key == "device_id") {
        ok = parse_u32(value, &s.device_id);
    } else if (key == "oem_id") {
        ok = parse_u32(value, &s.oem_id);
    } else if (key == "rom_version") {
        if (!parse_version(value, &s.rom_version)) {
            return set_error(st, "rom", name, "'" + std::string(value) + "' is not a version a.b.c.d (each 0..255)");
        }
    } else if (key == "match_id") {
        if (!parse_match_id(value, s.match_id)) {
            return set_error(st, "rom", name, "'" + std::string(value) + "' is not a comma list of up to 16 numbers 0..255");
        }
    } else if (key == "mid_version") {
        ok = parse_u32(value, &s.mid_version);
    } else if (key == "sw_protect") {
        ok = parse_u32(value, &s.sw_protect);
    } else if (key == "scramble_key") {
        if (!parse_byte(value, &s.scramble_key)) {
            return set_error(st, "rom", name, "'" + std::string(value) + "' is not a number 0..255");
        }
    } else if (key == "header_size") {
        ok = parse_u32(value, &s.rom_header_size);
        if (ok && s.rom_header_size != ROM_HEADER_SIZE && s.rom_header_size != 124) {
            return set_error(st, "rom", name, "'" + std::string(value) + "' is neither 128 nor 124");
        }
    } else {
        return set_error(st, "rom", name, "unknown key");
    }
    if (!ok) {
        return set_error(st, "rom", name, "'" + std::string(value) + "' is not a 32-bit number (decimal or 0x hex)");
    }
    return 1;
}

int partition_key(ManifestState* st, const char* section, PartitionEntry* e, const char* name,
                  const char* value) {
    const std::string key(name);
    bool ok = true;
    if (key == "id") {
        ok = parse_u32(value, &e->desc.partition_id);
    } else if (key == "type") {
        ok = parse_u32(value, &e->desc.partition_type);
    } else if (key == "process_type") {
        ok = parse_u32(value, &e->desc.process_type);
    } else if (key == "data_type") {
        ok = parse_u32(value, &e->desc.partition_data_type);
    } else if (key == "version") {
        if (!parse_version(value, &e->desc.partition_version)) {
            return set_error(st, section, name, "'" + std::string(value) + "' is not a version a.b.c.d (each 0..255)");
        }
    } else if (key == "file") {
        if (value[0] == '\0') {
            return set_error(st, section, name, "empty file name");
        }
        e->file = value;
    } else {
        return set_error(st, section, name, "unknown key");
    }
    if (!ok) {
        return set_error(st, section, name, "'" + std::string(value) + "' is not a 32-bit number (decimal or 0x hex)");
    }
    return 1;
}

// "partitionN" with N written without leading zeros; false for other names.
bool partition_index(const char* section, unsigned* index) {
    const char* prefix = "partition";
    size_t n = strlen(prefix);
    if (strncmp(section, prefix, n) != 0) {
        return false;
    }
    const char* digits = section + n;
    if (digits[0] == '\0' || (digits[0] == '0' && digits[1] != '\0') || strlen(digits) > 6) {
        return false;
    }
    for (const char* c = digits; *c != '\0'; ++c) {
        if (!isdigit(static_cast<unsigned char>(*c))) {
            return false;
        }
    }
    *index = static_cast<unsigned>(atoi(digits));
    return true;
}

int handler(void* user, const char* section, const char* name, const char* value) {
    auto* st = static_cast<ManifestState*>(user);
    if (section[0] == '\0') {
        return set_error(st, "", name, "key outside any section");
    }
    unsigned index = 0;
    bool is_rom = strcmp(section, "rom") == 0;
    bool is_part = !is_rom && partition_index(section, &index);
    if (!is_rom && !is_part) {
        return set_error(st, section, name, "unknown section (expected [rom] or [partition0] .. [partition15])");
    }
    if (is_part && index >= ROM_PARTITION_MAX) {
        return set_error(st, section, name, "more than 16 partitions ([partition0] .. [partition15])");
    }
    std::set<std::string>& keys = is_rom ? st->rom_keys : st->parts[index].keys;
    if (!keys.insert(name).second) {
        return set_error(st, section, name, "key given twice");
    }
    if (is_rom) {
        st->have_rom = true;
        return rom_key(st, name, value);
    }
    return partition_key(st, section, &st->parts[index], name, value);
}

std::string dir_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

bool rombuild_load_manifest(const std::string& path, RomPackageSpec* desc, std::string* error) {
    ManifestState st;
    st.path = path;
    st.desc = desc;
    *desc = RomPackageSpec{};
    int rc = ini_parse(path.c_str(), handler, &st);
    if (rc == -1) {
        *error = path + ": cannot open: " + strerror(errno);
        return false;
    }
    if (rc == -2) {
        *error = path + ": out of memory";
        return false;
    }
    if (rc > 0) {
        *error = path + ":" + std::to_string(rc) + ": " +
                 (st.error.empty() ? std::string("malformed line") : st.error_where + ": " + st.error);
        return false;
    }
    if (!st.have_rom) {
        *error = path + ": [rom]: section missing";
        return false;
    }
    for (const char* key : {"device_id", "rom_version", "match_id"}) {
        if (st.rom_keys.count(key) == 0) {
            *error = path + ": [rom] " + key + ": missing";
            return false;
        }
    }
    const std::string dir = dir_of(path);
    unsigned expected = 0;
    for (auto& [index, entry] : st.parts) {
        const std::string section = "[partition" + std::to_string(index) + "]";
        if (index != expected) {
            *error = path + ": " + section + ": [partition" + std::to_string(expected) +
                     "] missing (partitions are numbered without gaps)";
            return false;
        }
        ++expected;
        for (const char* key : {"id", "version", "file"}) {
            if (entry.keys.count(key) == 0) {
                *error = path + ": " + section + " " + key + ": missing";
                return false;
            }
        }
        const std::string file = entry.file[0] == '/' ? entry.file : dir + "/" + entry.file;
        std::string why;
        if (!rombuild_read_file(file, &entry.desc.data, &why)) {
            *error = path + ": " + section + " file: " + why;
            return false;
        }
        desc->partitions.push_back(std::move(entry.desc));
    }
    return true;
}
