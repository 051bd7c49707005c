// In-memory package builder: layout, partition headers, header scrambling and
// the four checksums.
#include "rombuild.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "aes.h"

namespace {

constexpr uint32_t kScrambledLen = ROM_HEADER_SIZE - ROM_SCRAMBLE_TAIL;  // 92

void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint64_t align4(uint64_t v) {
    return (v + 3) & ~uint64_t{3};
}

bool fail(std::string* error, const std::string& why) {
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

bool fits(uint64_t start, uint64_t len, size_t total) {
    return start + len <= total;
}

// Sets the checksum word of the partition header at `off` so that its XOR
// comes out 0, when the header's whole range lies in the package.
void seal_part_header(std::vector<uint8_t>* pkg, uint32_t off) {
    Partition_Header p;
    rom_copy_part_header(&p, pkg->data() + off);
    if (!fits(off, uint64_t{p.partition_header_size} + 12, pkg->size())) {
        return;
    }
    put_le32(pkg->data() + off + 8, 0);
    put_le32(pkg->data() + off + 8, rom_part_header_sum(pkg->data(), off, &p));
}

// Computes rom_checksum over the header's rom_size range, cut at the package end.
uint32_t data_sum_clipped(const std::vector<uint8_t>& pkg, const Rom_Header& h) {
    uint64_t start = uint64_t{h.rom_header_size} + 12;
    if (start >= pkg.size()) {
        return 0;
    }
    uint64_t words = h.rom_size / 4;
    uint64_t room = (pkg.size() - start) / 4;
    return rom_xor32(pkg.data() + start, static_cast<uint32_t>(words < room ? words : room));
}

}  // namespace

void rombuild_scramble(uint8_t key, uint8_t* dst, uint32_t len, const uint8_t* src) {
    if (len == 0) {
        return;
    }
    uint8_t inverse[256];
    for (int x = 0; x < 256; ++x) {
        inverse[g_aes_decrypt[x]] = static_cast<uint8_t>(x);
    }
    // Descrambling rotates left by r after substituting, so scrambling rotates
    // right by r first: output byte (i + r) % len comes from input byte i.
    std::vector<uint8_t> tmp(src, src + len);
    uint32_t r = key % len;
    for (uint32_t i = 0; i < len; ++i) {
        dst[(i + r) % len] = inverse[tmp[i]];
    }
}

bool rombuild_encode_header(const Rom_Header& h, uint8_t* dst, std::string* error) {
    uint32_t rhs = h.rom_header_size;
    if (rhs % 4 != 0 || rhs > ROM_HEADER_SIZE) {
        return fail(error, "rom_header_size " + std::to_string(rhs) +
                               " cannot be built: a multiple of 4 up to 128 is needed");
    }
    uint8_t b[ROM_HEADER_LEN];
    rom_store_header(b, &h);
    if (rhs >= ROM_HEADER_SIZE_MIN_SCRAMBLED) {
        rombuild_scramble(h.scramble_key[0], b + ROM_OFF_SCRAMBLED, kScrambledLen,
                          b + ROM_OFF_SCRAMBLED);
        memcpy(b + ROM_OFF_SHADOW_PARTITION_NUM, b + ROM_OFF_PARTITION_NUM, 4);
        memcpy(b + ROM_OFF_SHADOW_ROM_SIZE, b + ROM_OFF_ROM_SIZE, 4);
        memcpy(b + ROM_OFF_SHADOW_ROM_CHECKSUM, b + ROM_OFF_ROM_CHECKSUM, 4);
        put_le32(b + ROM_OFF_PARTITION_NUM, h.partition_num);
        put_le32(b + ROM_OFF_ROM_SIZE, h.rom_size);
        put_le32(b + ROM_OFF_ROM_CHECKSUM, h.rom_checksum);
    }
    put_le32(b + 8, 0);
    put_le32(b + 8, rom_xor32(b + 8, rhs / 4 + 1));
    memcpy(dst, b, rhs + 12);
    return true;
}

bool rombuild_package(const RomPackageSpec& desc, std::vector<uint8_t>* out, RomLayout* layout,
                      std::string* error) {
    const uint32_t rhs = desc.rom_header_size;
    if (rhs % 4 != 0 || rhs > ROM_HEADER_SIZE) {
        return fail(error, "rom_header_size " + std::to_string(rhs) +
                               " cannot be built: a multiple of 4 up to 128 is needed");
    }
    RomLayout lay;
    lay.header_len = rhs + 12;
    const uint64_t count = desc.partitions.size();
    uint64_t pos = lay.header_len + count * PART_HEADER_LEN;
    for (uint64_t k = 0; k < count; ++k) {
        lay.part_header_offset.push_back(static_cast<uint32_t>(lay.header_len + k * PART_HEADER_LEN));
        pos = align4(pos);
        lay.data_offset.push_back(static_cast<uint32_t>(pos));
        pos += desc.partitions[k].data.size();
        if (pos > UINT32_MAX) {
            return fail(error, "package would exceed 4 GiB");
        }
    }
    pos = align4(pos);
    if (pos > UINT32_MAX) {
        return fail(error, "package would exceed 4 GiB");
    }
    lay.length = static_cast<uint32_t>(pos);

    std::vector<uint8_t> pkg(lay.length, 0);
    std::vector<Partition_Header> parts(count);
    for (uint64_t k = 0; k < count; ++k) {
        const RomPartitionSpec& ps = desc.partitions[k];
        if (!ps.data.empty()) {
            memcpy(pkg.data() + lay.data_offset[k], ps.data.data(), ps.data.size());
        }
        Partition_Header& p = parts[k];
        p = Partition_Header{};
        p.magic_num = PART_MAGIC;
        p.partition_header_size = PART_HEADER_SIZE;
        p.partition_type = ps.partition_type;
        p.process_type = ps.process_type;
        p.partition_data_type = ps.partition_data_type;
        p.partition_id = ps.partition_id;
        p.partition_version = ps.partition_version;
        p.partition_size = static_cast<uint32_t>(ps.data.size());
        p.partition_offset = lay.data_offset[k];
        p.partition_checksum = rom_part_data_sum(pkg.data(), &p);
    }

    Rom_Header h{};
    h.magic_num = ROM_MAGIC;
    h.rom_header_size = rhs;
    h.rom_type = desc.rom_type;
    h.process_type = desc.process_type;
    h.partition_num = static_cast<uint32_t>(count);
    h.device_id = desc.device_id;
    h.oem_id = desc.oem_id;
    h.rom_version = desc.rom_version;
    h.rom_size = lay.length - lay.header_len;
    memcpy(h.match_id, desc.match_id, sizeof(h.match_id));
    h.mid_version = desc.mid_version;
    h.sw_protect = desc.sw_protect;
    h.ext_magic_num = ROM_MAGIC;
    h.scramble_key[0] = desc.scramble_key;

    if (desc.tweak) {
        desc.tweak(h, parts);
    }
    for (uint64_t k = 0; k < count && k < parts.size(); ++k) {
        rom_store_part_header(pkg.data() + lay.part_header_offset[k], &parts[k]);
        seal_part_header(&pkg, lay.part_header_offset[k]);
    }
    h.rom_checksum = data_sum_clipped(pkg, h);
    if (!rombuild_encode_header(h, pkg.data(), error)) {
        return false;
    }
    *out = std::move(pkg);
    if (layout != nullptr) {
        *layout = std::move(lay);
    }
    return true;
}

std::vector<uint8_t> rombuild_package(const RomPackageSpec& desc, RomLayout* layout) {
    std::vector<uint8_t> pkg;
    if (!rombuild_package(desc, &pkg, layout, nullptr)) {
        pkg.clear();
    }
    return pkg;
}

bool rombuild_fix_checksums(std::vector<uint8_t>* pkg, std::string* error) {
    if (pkg->size() < ROM_HEADER_LEN || pkg->size() > UINT32_MAX) {
        return fail(error, "package too short to hold a rom header");
    }
    Rom_Header h;
    rom_copy_header(&h, pkg->data());
    if (h.rom_header_size % 4 != 0 || h.rom_header_size > ROM_HEADER_SIZE) {
        return fail(error, "rom_header_size " + std::to_string(h.rom_header_size) +
                               " cannot be rebuilt");
    }
    if (h.rom_header_size >= ROM_HEADER_SIZE_MIN_SCRAMBLED) {
        rom_descramble_header(&h);
    }
    const auto len = static_cast<uint32_t>(pkg->size());
    uint32_t off = rom_first_part_offset(&h);
    for (uint32_t k = 0; k < h.partition_num && fits(off, PART_HEADER_LEN, len); ++k) {
        Partition_Header p;
        rom_copy_part_header(&p, pkg->data() + off);
        if (p.partition_offset % 4 == 0 && fits(p.partition_offset, p.partition_size, len)) {
            p.partition_checksum = rom_part_data_sum(pkg->data(), &p);
            rom_store_part_header(pkg->data() + off, &p);
        }
        seal_part_header(pkg, off);
        uint64_t next = uint64_t{off} + p.partition_header_size + 12;
        if (next > len) {
            break;
        }
        off = static_cast<uint32_t>(next);
    }
    h.rom_checksum = data_sum_clipped(*pkg, h);
    return rombuild_encode_header(h, pkg->data(), error);
}

bool rombuild_read_file(const std::string& path, std::vector<uint8_t>* out, std::string* why) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *why = "cannot read '" + path + "': " + strerror(errno);
        return false;
    }
    out->clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        out->insert(out->end(), buf, buf + n);
        if (out->size() > UINT32_MAX) {
            fclose(f);
            *why = "'" + path + "' is larger than 4 GiB";
            return false;
        }
    }
    bool bad = ferror(f) != 0;
    int err = errno;
    fclose(f);
    if (bad) {
        *why = "cannot read '" + path + "': " + strerror(err);
        return false;
    }
    return true;
}
