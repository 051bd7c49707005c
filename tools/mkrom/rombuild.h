// rombuild: builds ROM packages in memory, for mkrom and for tests that need
// packages (valid or deliberately broken) without running a tool.
//
// A package built here is what the installer reads: the ROM header (scrambled
// when rom_header_size is 128), the partition headers back to back, then each
// partition's data at the next 4-byte boundary, zero padding up to a multiple of
// 4 at the end, and correct checksums throughout. rom_size covers everything
// after the ROM header.
//
//   RomPackageSpec desc;
//   desc.device_id = 53;
//   desc.match_id[0] = 3;
//   desc.partitions.push_back({.partition_id = 2, .partition_version = rombuild_version(1, 0, 0, 7),
//                              .data = {1, 2, 3, 4}});
//   std::vector<uint8_t> pkg = rombuild_package(desc);
//
// Broken packages, three ways:
//  - fields the builder normally sets (magics, partition_num, sizes, offsets,
//    partition_checksum) can be changed in `tweak`, which runs after the layout
//    and the partition data checksums are settled; afterwards the partition
//    header checksums, rom_checksum (over the tweaked rom_size range, as far as
//    it lies in the package) and the ROM header checksum are computed and the
//    header is scrambled, so the package is consistent except for the tweak;
//  - bytes of the finished package can be changed directly (checksums then no
//    longer match);
//  - after changing bytes, rombuild_fix_checksums makes every checksum match
//    again, so only the changed content is wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rom_format.h"

struct RomPartitionSpec {
    uint32_t partition_type = 0;       // 0 flash; 1 upgrader tool, 2 MTD config, 3 config modify
    uint32_t process_type = 0;         // 1 = forced
    uint32_t partition_data_type = 0;
    uint32_t partition_id = 0;         // 0..6 MTD number, 255 and above special
    uint32_t partition_version = 0;    // see rombuild_version
    std::vector<uint8_t> data;         // any length; partition_size is its length
};

struct RomPackageSpec {
    uint32_t rom_header_size = ROM_HEADER_SIZE;  // 128 (scrambled) or a multiple of 4 below 128
    uint32_t rom_type = 0;
    uint32_t process_type = 0;
    uint32_t device_id = 0;
    uint32_t oem_id = 0;
    uint32_t rom_version = 0;
    uint8_t match_id[ROM_MATCH_ID_LEN] = {};
    uint32_t mid_version = 0;
    uint32_t sw_protect = 0;
    uint8_t scramble_key = 0;  // first key byte; the other 15 are written as 0
    std::vector<RomPartitionSpec> partitions;  // any number; the installer refuses more than 16
    // Optional: edits the descrambled ROM header and the partition headers (in
    // package order) just before the header checksums are computed.
    std::function<void(Rom_Header&, std::vector<Partition_Header>&)> tweak;
};

// Offsets of a built package, for tests that change bytes.
struct RomLayout {
    uint32_t header_len = 0;                  // rom_header_size + 12
    std::vector<uint32_t> part_header_offset; // where each partition header starts
    std::vector<uint32_t> data_offset;        // where each partition's data starts
    uint32_t length = 0;                      // package length
};

// Packs a.b.c.d (each 0..255) into a version word, a in the top byte.
constexpr uint32_t rombuild_version(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a & 0xFF) << 24 | (b & 0xFF) << 16 | (c & 0xFF) << 8 | (d & 0xFF);
}

// Builds the package of `desc` into *out. Returns false with a reason in *error
// (when not null) for a rom_header_size that is not a multiple of 4 or above
// 128, or for data that does not fit in a 32-bit package.
bool rombuild_package(const RomPackageSpec& desc, std::vector<uint8_t>* out,
                      RomLayout* layout, std::string* error);
// Convenience form for tests: the package, or an empty vector on failure.
std::vector<uint8_t> rombuild_package(const RomPackageSpec& desc, RomLayout* layout = nullptr);

// Scrambles `len` bytes (the inverse of aes_decrypt with key byte `key`):
// rotate right by key % len, then substitute through the inverse table.
void rombuild_scramble(uint8_t key, uint8_t* dst, uint32_t len, const uint8_t* src);

// Writes the stored form of the descrambled header `h` into the first
// h.rom_header_size + 12 bytes of `dst`: for size 128 the scrambled range with
// the stream words of 0x14/0x24/0x28 moved to 0x6C/0x74/0x70 and the plain
// partition_num, rom_size and rom_checksum in their places (the shadow fields of
// `h` are ignored); below 128 the fields as given, cut at the header's end. Sets
// rom_header_checksum so that the header checksum comes out 0. Returns false
// (nothing written) for sizes above 128 or not a multiple of 4.
bool rombuild_encode_header(const Rom_Header& h, uint8_t* dst, std::string* error);

// Recomputes, in the stored package, every partition data checksum, every
// partition header checksum, the ROM data checksum and the ROM header checksum
// (re-scrambling the header), following the headers as stored. Ranges outside
// the package are left alone. Returns false when the ROM header itself cannot
// be read or encoded.
bool rombuild_fix_checksums(std::vector<uint8_t>* pkg, std::string* error);

// Reads a whole file (at most 4 GiB, the largest package) into *out. Returns
// false with "cannot read '<path>': <reason>" or "'<path>' is larger than
// 4 GiB" in *why.
bool rombuild_read_file(const std::string& path, std::vector<uint8_t>* out, std::string* why);
