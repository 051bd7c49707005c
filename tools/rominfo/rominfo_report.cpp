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

std::string byte_list(const uint8_t* b, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += (i ? "," : "") + std::to_string(b[i]);
    }
    return s;
}

// The fields of the ROM header in record order: name and text form.
std::vector<std::pair<std::string, std::string>> header_fields(const Rom_Header& h) {
    return {
        {"magic_num", hex(h.magic_num)},
        {"rom_header_size", std::to_string(h.rom_header_size)},
        {"rom_header_checksum", hex(h.rom_header_checksum)},
        {"rom_type", std::to_string(h.rom_type)},
        {"process_type", std::to_string(h.process_type)},
        {"partition_num", std::to_string(h.partition_num)},
        {"device_id", std::to_string(h.device_id)},
        {"oem_id", std::to_string(h.oem_id)},
        {"rom_version", rominfo_version(h.rom_version)},
        {"rom_size", hex(h.rom_size)},
        {"rom_checksum", hex(h.rom_checksum)},
        {"match_id", byte_list(h.match_id, sizeof(h.match_id))},
        {"mid_version", std::to_string(h.mid_version)},
        {"sw_protect", std::to_string(h.sw_protect)},
        {"ext_magic_num", hex(h.ext_magic_num)},
        {"shadow_partition_num", std::to_string(h.shadow_partition_num)},
        {"shadow_rom_checksum", hex(h.shadow_rom_checksum)},
        {"shadow_rom_size", hex(h.shadow_rom_size)},
        {"scramble_key", std::to_string(h.scramble_key[0])},
    };
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
        for (const auto& [name, value] : header_fields(r.header)) {
            out += "  " + name + ": " + value + "\n";
        }
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
    using json = nlohmann::ordered_json;
    json j;
    j["file"] = file;
    j["length"] = r.length;
    j["valid"] = r.code == 0;
    const char* name = upd_msg_name(r.code);
    j["error"] = r.code == 0 || name == nullptr ? json(nullptr) : json(name);
    j["code"] = r.code;
    j["message"] = r.code == 0 ? json(nullptr) : json(r.message);
    if (r.have_header) {
        const Rom_Header& h = r.header;
        j["rom_header"] = {
            {"magic_num", h.magic_num},
            {"rom_header_size", h.rom_header_size},
            {"rom_header_checksum", h.rom_header_checksum},
            {"rom_type", h.rom_type},
            {"process_type", h.process_type},
            {"partition_num", h.partition_num},
            {"device_id", h.device_id},
            {"oem_id", h.oem_id},
            {"rom_version", rominfo_version(h.rom_version)},
            {"rom_size", h.rom_size},
            {"rom_checksum", h.rom_checksum},
            {"match_id", std::vector<int>(h.match_id, h.match_id + sizeof(h.match_id))},
            {"mid_version", h.mid_version},
            {"sw_protect", h.sw_protect},
            {"ext_magic_num", h.ext_magic_num},
            {"shadow_partition_num", h.shadow_partition_num},
            {"shadow_rom_checksum", h.shadow_rom_checksum},
            {"shadow_rom_size", h.shadow_rom_size},
            {"scramble_key", h.scramble_key[0]},
        };
    } else {
        j["rom_header"] = nullptr;
    }
    json parts = json::array();
    for (const RomInfoPartition& part : r.partitions) {
        const Partition_Header& p = part.header;
        parts.push_back({
            {"header_offset", part.header_offset},
            {"magic_num", p.magic_num},
            {"partition_header_size", p.partition_header_size},
            {"partition_header_checksum", p.partition_header_checksum},
            {"partition_type", p.partition_type},
            {"process_type", p.process_type},
            {"partition_data_type", p.partition_data_type},
            {"partition_id", p.partition_id},
            {"partition_version", rominfo_version(p.partition_version)},
            {"partition_size", p.partition_size},
            {"partition_checksum", p.partition_checksum},
            {"partition_offset", p.partition_offset},
        });
    }
    j["partitions"] = parts;
    return j.dump(2) + "\n";
}
