// Copies, descrambling, checksums and length-checked range tests of ROM packages.
#include "rom_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "aes.h"
#include "rl_log.h"

char g_rom_error[160];

namespace {

// Keeps the failure text for tools; no log line.
void rom_note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void rom_note(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(g_rom_error, sizeof(g_rom_error), fmt, ap);
    va_end(ap);
}

// Keeps the failure text and logs it as the one error line of the failure.
#define ROM_FAIL(code, ...)                   \
    do {                                      \
        rom_note(__VA_ARGS__);                \
        rl_log_err("%s\n", g_rom_error);      \
        return (code);                        \
    } while (0)

void rom_put_le32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The words of Rom_Header that are byte arrays: copied as bytes, not as words.
bool rom_is_byte_field(uint32_t off) {
    return (off >= offsetof(Rom_Header, match_id) && off < offsetof(Rom_Header, mid_version)) ||
           (off >= offsetof(Rom_Header, reserved1) && off < offsetof(Rom_Header, ext_magic_num)) ||
           off >= offsetof(Rom_Header, scramble_key);
}

// True when [start, start + len) lies inside a package of package_len bytes.
// 64-bit sums: a huge size field must not wrap around into the package.
bool rom_fits(uint64_t start, uint64_t len, uint32_t package_len) {
    return start + len <= package_len;
}

}  // namespace

uint32_t rom_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// XOR works column by column on the bytes, so the words are summed as the host
// loads them (8 bytes at a time where it can, any alignment) and only the
// 4-byte result is read as a little-endian word: the same value on any host,
// at the speed of a plain load loop instead of one assembly per word.
uint32_t rom_xor32(const uint8_t* p, uint32_t words) {
    uint64_t wide = 0;
    uint32_t i = 0;
    for (; i + 2 <= words; i += 2) {
        uint64_t w;
        memcpy(&w, p + 4 * i, 8);
        wide ^= w;
    }
    uint8_t halves[8];
    memcpy(halves, &wide, 8);
    uint8_t column[4];
    memset(column, 0, 4);
    if (i < words) memcpy(column, p + 4 * i, 4);
    for (int b = 0; b < 4; ++b) column[b] ^= halves[b] ^ halves[4 + b];
    return rom_le32(column);
}

void rom_copy_header(Rom_Header* out, const uint8_t* src) {
    auto* o = reinterpret_cast<uint8_t*>(out);
    for (uint32_t off = 0; off < ROM_HEADER_LEN; off += 4) {
        if (rom_is_byte_field(off)) {
            memcpy(o + off, src + off, 4);
        } else {
            uint32_t w = rom_le32(src + off);
            memcpy(o + off, &w, 4);
        }
    }
}

void rom_store_header(uint8_t* dst, const Rom_Header* h) {
    const auto* in = reinterpret_cast<const uint8_t*>(h);
    for (uint32_t off = 0; off < ROM_HEADER_LEN; off += 4) {
        if (rom_is_byte_field(off)) {
            memcpy(dst + off, in + off, 4);
        } else {
            uint32_t w;
            memcpy(&w, in + off, 4);
            rom_put_le32(dst + off, w);
        }
    }
}

void rom_copy_part_header(Partition_Header* out, const uint8_t* src) {
    auto* o = reinterpret_cast<uint8_t*>(out);
    for (uint32_t off = 0; off < PART_HEADER_LEN; off += 4) {
        uint32_t w = rom_le32(src + off);
        memcpy(o + off, &w, 4);
    }
}

void rom_store_part_header(uint8_t* dst, const Partition_Header* p) {
    const auto* in = reinterpret_cast<const uint8_t*>(p);
    for (uint32_t off = 0; off < PART_HEADER_LEN; off += 4) {
        uint32_t w;
        memcpy(&w, in + off, 4);
        rom_put_le32(dst + off, w);
    }
}

int rom_descramble_header(Rom_Header* h) {
    if (rom_check_header_size(h->rom_header_size) != 0) {
        return UPD_MSG_ROM_HEADER_CHECKSUM_ERR;
    }
    if (h->rom_header_size < ROM_HEADER_SIZE_MIN_SCRAMBLED) {
        rl_log_warn("ignore aes decrypt, invalid rom header size %d.\n",
                    static_cast<int>(h->rom_header_size));
        return 0;
    }
    // Work on the little-endian image so the byte stream is the package's on any host.
    uint8_t b[ROM_HEADER_LEN];
    rom_store_header(b, h);
    uint8_t plain_num[4], plain_size[4], plain_sum[4];
    memcpy(plain_num, b + ROM_OFF_PARTITION_NUM, 4);
    memcpy(plain_size, b + ROM_OFF_ROM_SIZE, 4);
    memcpy(plain_sum, b + ROM_OFF_ROM_CHECKSUM, 4);
    memcpy(b + ROM_OFF_PARTITION_NUM, b + ROM_OFF_SHADOW_PARTITION_NUM, 4);
    memcpy(b + ROM_OFF_ROM_SIZE, b + ROM_OFF_SHADOW_ROM_SIZE, 4);
    memcpy(b + ROM_OFF_ROM_CHECKSUM, b + ROM_OFF_SHADOW_ROM_CHECKSUM, 4);
    // The key may lie inside the range (sizes above 128): use the stored byte.
    const uint8_t key = b[offsetof(Rom_Header, scramble_key)];
    aes_decrypt(&key, b + ROM_OFF_SCRAMBLED, h->rom_header_size - ROM_SCRAMBLE_TAIL,
                b + ROM_OFF_SCRAMBLED);
    memcpy(b + ROM_OFF_SHADOW_PARTITION_NUM, b + ROM_OFF_PARTITION_NUM, 4);
    memcpy(b + ROM_OFF_SHADOW_ROM_SIZE, b + ROM_OFF_ROM_SIZE, 4);
    memcpy(b + ROM_OFF_SHADOW_ROM_CHECKSUM, b + ROM_OFF_ROM_CHECKSUM, 4);
    memcpy(b + ROM_OFF_PARTITION_NUM, plain_num, 4);
    memcpy(b + ROM_OFF_ROM_SIZE, plain_size, 4);
    memcpy(b + ROM_OFF_ROM_CHECKSUM, plain_sum, 4);
    rom_copy_header(h, b);
    return 0;
}

uint32_t rom_header_sum(const uint8_t* package, const Rom_Header* h) {
    return rom_xor32(package + 8, h->rom_header_size / 4 + 1);
}

uint32_t rom_data_sum(const uint8_t* package, const Rom_Header* h) {
    return rom_xor32(package + h->rom_header_size + 12, h->rom_size / 4);
}

uint32_t rom_part_header_sum(const uint8_t* package, uint32_t offset, const Partition_Header* p) {
    return rom_xor32(package + offset + 8, p->partition_header_size / 4 + 1);
}

uint32_t rom_part_data_sum(const uint8_t* package, const Partition_Header* p) {
    return rom_xor32(package + p->partition_offset, p->partition_size / 4);
}

int rom_check_package_len(uint32_t package_len) {
    if (!rom_fits(0, ROM_HEADER_LEN, package_len)) {
        ROM_FAIL(UPD_MSG_ARG_ADDR_ERR, "rom header range 0x0+0x%x beyond package length 0x%x",
                 ROM_HEADER_LEN, package_len);
    }
    return 0;
}

int rom_check_header_size(uint32_t rom_header_size) {
    if (rom_header_size > ROM_HEADER_SIZE_MAX || rom_header_size % 4 != 0) {
        ROM_FAIL(UPD_MSG_ROM_HEADER_CHECKSUM_ERR,
                 "rom header size 0x%x above 0x%x or not a multiple of 4", rom_header_size,
                 ROM_HEADER_SIZE_MAX);
    }
    return 0;
}

int rom_check_header_range(const Rom_Header* h, uint32_t package_len) {
    if (!rom_fits(0, uint64_t{h->rom_header_size} + 12, package_len)) {
        ROM_FAIL(UPD_MSG_ARG_ADDR_ERR, "rom header range 0x0+0x%llx beyond package length 0x%x",
                 static_cast<unsigned long long>(h->rom_header_size) + 12, package_len);
    }
    return 0;
}

int rom_check_data_range(const Rom_Header* h, uint32_t package_len) {
    uint64_t start = uint64_t{h->rom_header_size} + 12;
    if (!rom_fits(start, h->rom_size, package_len)) {
        ROM_FAIL(UPD_MSG_ROM_CHECKSUM_ERR, "rom data range 0x%llx+0x%x beyond package length 0x%x",
                 static_cast<unsigned long long>(start), h->rom_size, package_len);
    }
    return 0;
}

int rom_check_part_header_range(uint32_t offset, uint32_t package_len) {
    if (!rom_fits(offset, PART_HEADER_LEN, package_len)) {
        ROM_FAIL(UPD_MSG_PART_HEADER_CHECKSUM_ERR,
                 "partition header range 0x%x+0x%x beyond package length 0x%x", offset,
                 PART_HEADER_LEN, package_len);
    }
    return 0;
}

int rom_check_part_header_size_range(const Partition_Header* p, uint32_t offset,
                                     uint32_t package_len) {
    if (p->partition_header_size % 4 != 0) {
        ROM_FAIL(UPD_MSG_PART_HEADER_CHECKSUM_ERR, "partition header size 0x%x not a multiple of 4",
                 p->partition_header_size);
    }
    uint64_t len = uint64_t{p->partition_header_size} + 12;
    if (!rom_fits(offset, len, package_len)) {
        ROM_FAIL(UPD_MSG_PART_HEADER_CHECKSUM_ERR,
                 "partition header range 0x%x+0x%llx beyond package length 0x%x", offset,
                 static_cast<unsigned long long>(len), package_len);
    }
    return 0;
}

int rom_check_part_data_range(const Partition_Header* p, uint32_t package_len) {
    if (p->partition_offset % 4 != 0) {
        ROM_FAIL(UPD_MSG_PART_CHECKSUM_ERR, "partition data offset 0x%x not a multiple of 4",
                 p->partition_offset);
    }
    if (!rom_fits(p->partition_offset, p->partition_size, package_len)) {
        ROM_FAIL(UPD_MSG_PART_CHECKSUM_ERR,
                 "partition data range 0x%x+0x%x beyond package length 0x%x", p->partition_offset,
                 p->partition_size, package_len);
    }
    return 0;
}

uint32_t rom_first_part_offset(const Rom_Header* h) {
    return h->rom_header_size + 12;
}

uint32_t rom_next_part_offset(uint32_t offset, const Partition_Header* p) {
    return offset + p->partition_header_size + 12;
}

int rom_check_header(const uint8_t* package, uint32_t package_len, Rom_Header* h) {
    int rc = rom_check_package_len(package_len);
    if (rc != 0) {
        return rc;
    }
    uint32_t first = rom_le32(package);
    if (first != ROM_MAGIC) {
        rom_note("first word 0x%x is not the rom magic 0x%x", first, ROM_MAGIC);
        return UPD_MSG_ARG_ADDR_ERR;
    }
    rom_copy_header(h, package);
    rc = rom_descramble_header(h);
    if (rc != 0) {
        return rc;
    }
    if (h->rom_header_size >= ROM_HEADER_SIZE_MIN_SCRAMBLED && h->ext_magic_num != ROM_MAGIC) {
        rom_note("ext_magic_num 0x%x is not the rom magic 0x%x", h->ext_magic_num, ROM_MAGIC);
        return UPD_MSG_ROM_HEADER_KROM_ERR;
    }
    if (h->partition_num > ROM_PARTITION_MAX) {
        rom_note("partition_num %u above %u", h->partition_num, ROM_PARTITION_MAX);
        return UPD_MSG_PART_NUM_ERR;
    }
    if (h->magic_num != ROM_MAGIC) {
        rom_note("magic_num 0x%x is not the rom magic 0x%x", h->magic_num, ROM_MAGIC);
        return UPD_MSG_ROM_HEADER_KROM_ERR;
    }
    rc = rom_check_header_range(h, package_len);
    if (rc != 0) {
        return rc;
    }
    uint32_t sum = rom_header_sum(package, h);
    if (sum != 0) {
        rom_note("rom header checksum over 0x8+0x%x gives 0x%x, not 0",
                 (h->rom_header_size / 4 + 1) * 4, sum);
        return UPD_MSG_ROM_HEADER_CHECKSUM_ERR;
    }
    rc = rom_check_data_range(h, package_len);
    if (rc != 0) {
        return rc;
    }
    sum = rom_data_sum(package, h);
    if (sum != h->rom_checksum) {
        rom_note("rom data checksum 0x%x, rom_checksum 0x%x", sum, h->rom_checksum);
        return UPD_MSG_ROM_CHECKSUM_ERR;
    }
    return 0;
}

int rom_check_part(const uint8_t* package, uint32_t package_len, uint32_t offset,
                   Partition_Header* p) {
    int rc = rom_check_part_header_range(offset, package_len);
    if (rc != 0) {
        return rc;
    }
    rom_copy_part_header(p, package + offset);
    if (p->magic_num != PART_MAGIC) {
        rom_note("partition header at 0x%x: magic_num 0x%x is not 0x%x", offset, p->magic_num,
                 PART_MAGIC);
        return UPD_MSG_PART_HEADER_KPAT_ERR;
    }
    rc = rom_check_part_header_size_range(p, offset, package_len);
    if (rc != 0) {
        return rc;
    }
    uint32_t sum = rom_part_header_sum(package, offset, p);
    if (sum != 0) {
        rom_note("partition header at 0x%x: checksum gives 0x%x, not 0", offset, sum);
        return UPD_MSG_PART_HEADER_CHECKSUM_ERR;
    }
    rc = rom_check_part_data_range(p, package_len);
    if (rc != 0) {
        return rc;
    }
    sum = rom_part_data_sum(package, p);
    if (sum != p->partition_checksum) {
        rl_log_err("partition_checksum_cal:%x checksum:%x\n", sum, p->partition_checksum);
        rom_note("partition data at 0x%x: checksum 0x%x, partition_checksum 0x%x",
                 p->partition_offset, sum, p->partition_checksum);
        return UPD_MSG_PART_CHECKSUM_ERR;
    }
    return 0;
}

int rom_check_part_id(const Partition_Header* p) {
    if (p->partition_id >= PART_ID_SPECIAL) {
        return 0;
    }
    if (p->partition_id > PART_ID_FLASH_MAX) {
        rom_note("partition_id %u is neither a flash partition (0..%u) nor special (>= %u)",
                 p->partition_id, PART_ID_FLASH_MAX, PART_ID_SPECIAL);
        return UPD_MSG_PARTITION_ID_ERROR;
    }
    if (p->partition_type != 0) {
        rom_note("flash partition %u has partition_type %u, not 0", p->partition_id,
                 p->partition_type);
        return UPD_MSG_PARTITION_TYPE_ERROR;
    }
    return 0;
}
