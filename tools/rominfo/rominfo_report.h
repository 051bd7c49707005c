// rominfo_report: the device-independent part of the package check, run over a
// package file, and its text and JSON reports.
//
// The checks run in the installer's order, using the same building blocks
// (rom_format.h): ROM header copy and descrambling, magics, partition count,
// header and data checksums with their ranges, then each partition header,
// its checksum, its data range and checksum, and its id and type. The first
// failure ends the analysis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rom_format.h"

struct RomInfoPartition {
    uint32_t header_offset = 0;  // where the partition header starts
    Partition_Header header{};
};

struct RomInfoReport {
    uint32_t length = 0;        // package length
    bool have_header = false;   // header holds the descrambled copy
    Rom_Header header{};
    std::vector<RomInfoPartition> partitions;  // headers read so far, package order
    int code = 0;               // 0 well-formed, else the first failing upd_msg_e code
    std::string message;        // what was wrong (empty when well-formed)
};

// Runs the checks over `len` bytes at `pkg`; reads nothing outside them.
RomInfoReport rominfo_analyze(const uint8_t* pkg, uint32_t len);

// "a.b.c.d" of a version word, a from the top byte.
std::string rominfo_version(uint32_t v);

// Human-readable report, several lines, ending with the verdict line.
std::string rominfo_text(const RomInfoReport& r, const std::string& file);

// One JSON object: "file", "length", "valid", "error" (name or null),
// "message" (or null), "rom_header" (fields, or null when not read) and
// "partitions" (array).
std::string rominfo_json(const RomInfoReport& r, const std::string& file);
