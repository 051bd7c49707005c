// rom_format: the byte format of ROM packages and the length-checked building
// blocks that read it.
//
// A package is one block of `package_len` bytes: a ROM header, `partition_num`
// partition headers back to back, and partition data addressed by the headers.
// Every multi-byte field is an unsigned 32-bit little-endian word. Readers copy
// the headers field by field into Rom_Header / Partition_Header (byte-wise, so
// the package's alignment does not matter) and never read a byte at or beyond
// `package_len`: each range is tested with the rom_check_* functions below
// before it is read.
//
// Results: 0 on success or an upd_msg_e code (negative). A failing test logs one
// error line (through rl_log) that names the range and the package length, and
// leaves the same text, without the newline, in g_rom_error. The code's own line
// (update_msg_printf) is left to the caller, which reports each failure once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "upd_msg.h"

inline constexpr uint32_t ROM_MAGIC = 0x4B524F4D;   // "KROM"; stored as 4D 4F 52 4B
inline constexpr uint32_t PART_MAGIC = 0x4B504154;  // "KPAT"; stored as 54 41 50 4B

inline constexpr uint32_t ROM_HEADER_LEN = 140;       // bytes copied into Rom_Header
inline constexpr uint32_t PART_HEADER_LEN = 44;       // bytes copied into Partition_Header
inline constexpr uint32_t ROM_HEADER_SIZE = 128;      // rom_header_size of the current format
inline constexpr uint32_t ROM_HEADER_SIZE_MIN_SCRAMBLED = 128;  // below: nothing scrambled
inline constexpr uint32_t ROM_HEADER_SIZE_MAX = 164;  // above: descrambling would leave Rom_Header
inline constexpr uint32_t PART_HEADER_SIZE = 32;      // partition_header_size of the 44-byte layout
inline constexpr uint32_t ROM_PARTITION_MAX = 16;
inline constexpr uint32_t ROM_MATCH_ID_LEN = 16;

// partition_id: 0..PART_ID_FLASH_MAX name an MTD partition, PART_ID_SPECIAL and
// above a special partition (never written to flash), the rest are invalid.
inline constexpr uint32_t PART_ID_FLASH_MAX = 6;
inline constexpr uint32_t PART_ID_SPECIAL = 255;

// partition_type of special partitions.
inline constexpr uint32_t PART_TYPE_UPGRADER_TOOL = 1;
inline constexpr uint32_t PART_TYPE_MTD_CONFIG = 2;
inline constexpr uint32_t PART_TYPE_CONFIG_MODIFY = 3;

// process_type 1 forces the write whatever the versions say.
inline constexpr uint32_t ROM_PROCESS_FORCED = 1;

// Offsets inside the ROM header used by the scrambling.
inline constexpr uint32_t ROM_OFF_SCRAMBLED = 0x0C;  // first scrambled byte
inline constexpr uint32_t ROM_SCRAMBLE_TAIL = 36;    // header bytes after the scrambled range
inline constexpr uint32_t ROM_OFF_PARTITION_NUM = 0x14;
inline constexpr uint32_t ROM_OFF_ROM_SIZE = 0x24;
inline constexpr uint32_t ROM_OFF_ROM_CHECKSUM = 0x28;
inline constexpr uint32_t ROM_OFF_SHADOW_PARTITION_NUM = 0x6C;
inline constexpr uint32_t ROM_OFF_SHADOW_ROM_CHECKSUM = 0x70;
inline constexpr uint32_t ROM_OFF_SHADOW_ROM_SIZE = 0x74;

// Host copy of the ROM header (the first 140 bytes of the package, whatever
// rom_header_size says), descrambled by rom_descramble_header.
struct Rom_Header {
    uint32_t magic_num;            // 0x00 ROM_MAGIC
    uint32_t rom_header_size;      // 0x04 header bytes after the first 12
    uint32_t rom_header_checksum;  // 0x08 makes the header XOR come out 0
    uint32_t rom_type;             // 0x0C logged only
    uint32_t process_type;         // 0x10 1 = forced upgrade
    uint32_t partition_num;        // 0x14 number of partition headers (plain)
    uint32_t device_id;            // 0x18 hardware id the package is built for
    uint32_t oem_id;               // 0x1C
    uint32_t rom_version;          // 0x20 a.b.c.d, a in the top byte
    uint32_t rom_size;             // 0x24 bytes covered by rom_checksum (plain)
    uint32_t rom_checksum;         // 0x28 XOR of the data words (plain)
    uint8_t match_id[16];          // 0x2C hardware sub-ids the package fits
    uint32_t mid_version;          // 0x3C 0 = normal package, else MID mode
    uint32_t sw_protect;           // 0x40 protection flag
    uint8_t reserved1[36];         // 0x44
    uint32_t ext_magic_num;        // 0x68 ROM_MAGIC when rom_header_size >= 128
    uint32_t shadow_partition_num; // 0x6C stream word of 0x14
    uint32_t shadow_rom_checksum;  // 0x70 stream word of 0x28
    uint32_t shadow_rom_size;      // 0x74 stream word of 0x24
    uint32_t reserved2;            // 0x78
    uint8_t scramble_key[16];      // 0x7C only the first byte is used
};
static_assert(sizeof(Rom_Header) == ROM_HEADER_LEN);
static_assert(offsetof(Rom_Header, match_id) == 0x2C);
static_assert(offsetof(Rom_Header, ext_magic_num) == 0x68);
static_assert(offsetof(Rom_Header, shadow_partition_num) == ROM_OFF_SHADOW_PARTITION_NUM);
static_assert(offsetof(Rom_Header, shadow_rom_checksum) == ROM_OFF_SHADOW_ROM_CHECKSUM);
static_assert(offsetof(Rom_Header, shadow_rom_size) == ROM_OFF_SHADOW_ROM_SIZE);
static_assert(offsetof(Rom_Header, scramble_key) == 0x7C);

// Host copy of one partition header (44 bytes).
struct Partition_Header {
    uint32_t magic_num;                  // 0x00 PART_MAGIC
    uint32_t partition_header_size;      // 0x04 header bytes after the first 12
    uint32_t partition_header_checksum;  // 0x08 makes the header XOR come out 0
    uint32_t partition_type;             // 0x0C 0 for flash partitions
    uint32_t process_type;               // 0x10 1 = forced
    uint32_t partition_data_type;        // 0x14 logged only
    uint32_t partition_id;               // 0x18 MTD number or special (>= 255)
    uint32_t partition_version;          // 0x1C a.b.c.d
    uint32_t partition_size;             // 0x20 data bytes
    uint32_t partition_checksum;         // 0x24 XOR of the data words
    uint32_t partition_offset;           // 0x28 data offset from the package start
};
static_assert(sizeof(Partition_Header) == PART_HEADER_LEN);
static_assert(offsetof(Partition_Header, partition_offset) == 0x28);

// Text of the last failure reported by a function of this module (no newline);
// empty until the first failure.
extern char g_rom_error[160];

// ---- words and copies (no range tests: the caller has tested the range) ----

// The little-endian word at p, any alignment.
uint32_t rom_le32(const uint8_t* p);
// XOR of `words` little-endian words starting at p (0 for 0 words).
uint32_t rom_xor32(const uint8_t* p, uint32_t words);
// Copies 140 bytes into *out, field by field; no descrambling.
void rom_copy_header(Rom_Header* out, const uint8_t* src);
// Copies 44 bytes into *out, field by field.
void rom_copy_part_header(Partition_Header* out, const uint8_t* src);
// The reverse copies: write the records as 140 / 44 little-endian bytes.
void rom_store_header(uint8_t* dst, const Rom_Header* h);
void rom_store_part_header(uint8_t* dst, const Partition_Header* p);

// Descrambles the copy *h in place (never the package): with rom_header_size
// 128..164 the words at 0x14/0x24/0x28 are swapped with the stream words kept
// at 0x6C/0x74/0x70, the rom_header_size - 36 bytes from 0x0C are descrambled
// with scramble_key, and the words are swapped back, so partition_num, rom_size
// and rom_checksum keep their plain values and the shadow fields hold their
// descrambled ones. Below 128 nothing is changed and the warning
// "ignore aes decrypt, invalid rom header size %d.\n" is logged. Returns 0, or
// UPD_MSG_ROM_HEADER_CHECKSUM_ERR (nothing changed) for a size that
// rom_check_header_size refuses.
int rom_descramble_header(Rom_Header* h);

// ---- checksums over the package as stored (ranges tested by the caller) ----

// XOR of rom_header_size / 4 + 1 words from offset 8: 0 for an intact header.
uint32_t rom_header_sum(const uint8_t* package, const Rom_Header* h);
// XOR of rom_size / 4 words from rom_header_size + 12: equals h->rom_checksum
// for intact data.
uint32_t rom_data_sum(const uint8_t* package, const Rom_Header* h);
// XOR of partition_header_size / 4 + 1 words from offset + 8, where offset is
// the partition header's place in the package: 0 for an intact header.
uint32_t rom_part_header_sum(const uint8_t* package, uint32_t offset, const Partition_Header* p);
// XOR of partition_size / 4 words from partition_offset: equals
// p->partition_checksum for intact data.
uint32_t rom_part_data_sum(const uint8_t* package, const Partition_Header* p);

// ---- range tests: 0 when the range lies inside the package, else the code ----

// UPD_MSG_ARG_ADDR_ERR when the package cannot hold the 140-byte header copy.
int rom_check_package_len(uint32_t package_len);
// UPD_MSG_ROM_HEADER_CHECKSUM_ERR when rom_header_size is above 164 or not a
// multiple of 4.
int rom_check_header_size(uint32_t rom_header_size);
// UPD_MSG_ARG_ADDR_ERR when the header's rom_header_size + 12 bytes (the
// range of the header checksum) do not fit in the package.
int rom_check_header_range(const Rom_Header* h, uint32_t package_len);
// UPD_MSG_ROM_CHECKSUM_ERR when the rom_size bytes from rom_header_size + 12 do
// not fit in the package.
int rom_check_data_range(const Rom_Header* h, uint32_t package_len);
// UPD_MSG_PART_HEADER_CHECKSUM_ERR when the 44 bytes of a partition header at
// `offset` do not fit in the package.
int rom_check_part_header_range(uint32_t offset, uint32_t package_len);
// UPD_MSG_PART_HEADER_CHECKSUM_ERR when partition_header_size is not a
// multiple of 4 (every later header would lie at an unaligned offset) or the
// header at `offset` with its own partition_header_size + 12 bytes (the range
// of its checksum) does not fit in the package. After it passed,
// rom_next_part_offset cannot overflow and stays a multiple of 4.
int rom_check_part_header_size_range(const Partition_Header* p, uint32_t offset,
                                     uint32_t package_len);
// UPD_MSG_PART_CHECKSUM_ERR when partition_offset is not a multiple of 4 or the
// partition_size bytes from it do not fit in the package.
int rom_check_part_data_range(const Partition_Header* p, uint32_t package_len);

// Where the partition header after the one at `offset` starts.
uint32_t rom_first_part_offset(const Rom_Header* h);
uint32_t rom_next_part_offset(uint32_t offset, const Partition_Header* p);

// ---- the structural checks, composed in the package check's order ----
// Neither calls update_msg_printf; both leave the failure text in g_rom_error.

// Reads the ROM header of a package of `package_len` bytes into *h: the length
// (UPD_MSG_ARG_ADDR_ERR), the first word (UPD_MSG_ARG_ADDR_ERR), the copy, the
// header size (UPD_MSG_ROM_HEADER_CHECKSUM_ERR) and the descrambling; then
// ext_magic_num when rom_header_size >= 128 (UPD_MSG_ROM_HEADER_KROM_ERR),
// partition_num (UPD_MSG_PART_NUM_ERR), the copied magic_num
// (UPD_MSG_ROM_HEADER_KROM_ERR), the header range and checksum
// (UPD_MSG_ARG_ADDR_ERR, UPD_MSG_ROM_HEADER_CHECKSUM_ERR), the data range and
// checksum (UPD_MSG_ROM_CHECKSUM_ERR). *h is filled as far as the check got.
int rom_check_header(const uint8_t* package, uint32_t package_len, Rom_Header* h);

// Reads the partition header at `offset` into *p and checks it: range
// (UPD_MSG_PART_HEADER_CHECKSUM_ERR), magic (UPD_MSG_PART_HEADER_KPAT_ERR),
// header checksum range and value (UPD_MSG_PART_HEADER_CHECKSUM_ERR), data
// range, alignment and checksum (UPD_MSG_PART_CHECKSUM_ERR; a wrong checksum
// also logs "partition_checksum_cal:%x checksum:%x\n" at error level).
int rom_check_part(const uint8_t* package, uint32_t package_len, uint32_t offset,
                   Partition_Header* p);

// The device-independent tests of a flash partition (partition_id below 255):
// partition_id above 6 gives UPD_MSG_PARTITION_ID_ERROR, a partition_type other
// than 0 UPD_MSG_PARTITION_TYPE_ERROR. Special partitions pass.
int rom_check_part_id(const Partition_Header* p);
