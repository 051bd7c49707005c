// Package analysis for rominfo and its two report forms.
#include "rominfo_report.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof(buf), "0x%x", v);
    return buf;
}

// One field of a record as both reports show it: JSON gets the number (or the
// version text), text gets hex, decimal or a.b.c.d.
enum class Shown { Dec, Hex, Version };
struct Field {
    const char* name;
    uint32_t value;
    Shown shown;
};

std::vector<Field> header_fields(const Rom_Header& h) {
    return {
        {"magic_num", h.magic_num, Shown::Hex},
        {"rom_header_size", h.rom_header_size, Shown::Dec},
        {"rom_header_checksum", h.rom_header_checksum, Shown::Hex},
        {"rom_type", h.rom_type, Shown::Dec},
        {"process_type", h.process_type, Shown::Dec},
        {"partition_num", h.partition_num, Shown::Dec},
        {"device_id", h.device_id, Shown::Dec},
        {"oem_id", h.oem_id, Shown::Dec},
        {"rom_version", h.rom_version, Shown::Version},
        {"rom_size", h.rom_size, Shown::Hex},
        {"rom_checksum", h.rom_checksum, Shown::Hex},
        {"mid_version", h.mid_version, Shown::Dec},
        {"sw_protect", h.sw_protect, Shown::Dec},
        {"ext_magic_num", h.ext_magic_num, Shown::Hex},
        {"shadow_partition_num", h.shadow_partition_num, Shown::Dec},
        {"shadow_rom_checksum", h.shadow_rom_checksum, Shown::Hex},
        {"shadow_rom_size", h.shadow_rom_size, Shown::Hex},
        {"scramble_key", h.scramble_key[0], Shown::Dec},
    };
}

std::vector<Field> partition_fields(const RomInfoPartition& part) {
    const Partition_Header& p = part.header;
    return {
        {"header_offset", part.header_offset, Shown::Hex},
        {"magic_num", p.magic_num, Shown::Hex},
        {"partition_header_size", p.partition_header_size, Shown::Dec},
        {"partition_header_checksum", p.partition_header_checksum, Shown::Hex},
        {"partition_type", p.partition_type, Shown::Dec},
        {"process_type", p.process_type, Shown::Dec},
        {"partition_data_type", p.partition_data_type, Shown::Dec},
        {"partition_id", p.partition_id, Shown::Dec},
        {"partition_version", p.partition_version, Shown::Version},
        {"partition_size", p.partition_size, Shown::Hex},
        {"partition_checksum", p.partition_checksum, Shown::Hex},
        {"partition_offset", p.partition_offset, Shown::Hex},
    };
}

std::string text_of(const Field& f) {
    switch (f.shown) {
    case Shown::Hex: return hex(f.value);
    case Shown::Version: return rominfo_version(f.value);
    case Shown::Dec: break;
    }
    return std::to_string(f.value);
}

using json = nlohmann::ordered_json;

json json_of(const std::vector<Field>& fields) {
    json j = json::object();
    for (const Field& f : fields) {
        j[f.name] = f.shown == Shown::Version ? json(rominfo_version(f.value)) : json(f.value);
    }
    return j;
}

}  // namespace

std::string rominfo_version(uint32_t v) {
    char buf[20];
    snprintf(buf, sizeof(buf), "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return buf;
}

RomInfoReport rominfo_analyze(const uint8_t* pkg, uint32_t len) {
    RomInfoReport r;
    r.length = len;
    g_rom_error[0] = '\0';
    r.code = rom_check_header(pkg, len, &r.header);
    // The copy exists once the length and the first word passed.
    r.have_header = len >= ROM_HEADER_LEN && rom_le32(pkg) == ROM_MAGIC;
    if (r.code == 0) {
        uint32_t offset = rom_first_part_offset(&r.header);
        for (uint32_t k = 0; k < r.header.partition_num; ++k) {
            RomInfoPartition part;
            part.header_offset = offset;
            r.code = rom_check_part(pkg, len, offset, &part.header);
            if (uint64_t{offset} + PART_HEADER_LEN <= len) {
                r.partitions.push_back(part);
            }
            if (r.code == 0) {
                r.code = rom_check_part_id(&part.header);
            }
            if (r.code != 0) {
                break;
            }
            offset = rom_next_part_offset(offset, &part.header);
        }
    }
    if (r.code != 0) {
        r.message = g_rom_error;
    }
    return r;
}

std::string rominfo_text(const RomInfoReport& r, const std::string& file) {
    std::string out = file + ": " + std::to_string(r.length) + " bytes\n";
    if (r.have_header) {
        out += "rom header:\n";
        for (const Field& f : header_fields(r.header)) {
            out += std::string("  ") + f.name + ": " + text_of(f) + "\n";
        }
        out += "  match_id:";
        for (uint8_t id : r.header.match_id) {
            out += " " + std::to_string(id);
        }
        out += "\n";
    }
    if (!r.partitions.empty()) {
        char line[200];
        out += "partitions:\n";
        snprintf(line, sizeof(line), "  %-3s %-12s %4s %4s %4s %4s %-15s %10s %10s %10s\n", "#",
                 "header", "id", "type", "proc", "data", "version", "size", "offset", "checksum");
        out += line;
        for (size_t k = 0; k < r.partitions.size(); ++k) {
            const Partition_Header& p = r.partitions[k].header;
            snprintf(line, sizeof(line), "  %-3zu 0x%-10x %4u %4u %4u %4u %-15s %10s %10s %10s\n", k,
                     r.partitions[k].header_offset, p.partition_id, p.partition_type,
                     p.process_type, p.partition_data_type,
                     rominfo_version(p.partition_version).c_str(), hex(p.partition_size).c_str(),
                     hex(p.partition_offset).c_str(), hex(p.partition_checksum).c_str());
            out += line;
        }
    }
    if (r.code == 0) {
        out += "valid: yes (checksums and ranges verified)\n";
    } else {
        const char* name = upd_msg_name(r.code);
        out += std::string("valid: no, ") + (name ? name : "?") + " (" + std::to_string(r.code) +
               "): " + r.message + "\n";
    }
    return out;
}

std::string rominfo_json(const RomInfoReport& r, const std::string& file) {
    json j;
    j["file"] = file;
    j["length"] = r.length;
    j["valid"] = r.code == 0;
    const char* name = upd_msg_name(r.code);
    j["error"] = r.code == 0 || name == nullptr ? json(nullptr) : json(name);
    j["code"] = r.code;
    j["message"] = r.code == 0 ? json(nullptr) : json(r.message);
    if (r.have_header) {
        j["rom_header"] = json_of(header_fields(r.header));
        j["rom_header"]["match_id"] =
            std::vector<int>(r.header.match_id, r.header.match_id + sizeof(r.header.match_id));
    } else {
        j["rom_header"] = nullptr;
    }
    json parts = json::array();
    for (const RomInfoPartition& part : r.partitions) {
        parts.push_back(json_of(partition_fields(part)));
    }
    j["partitions"] = parts;
    return j.dump(2) + "\n";
}
