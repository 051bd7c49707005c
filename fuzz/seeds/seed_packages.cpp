// Writes the seed packages of the package-check fuzz target into the folder
// given as argument: valid packages for the fuzz target's fixed device, each
// reaching a different stage. Every file starts with the target's mode byte
// (0x01: checksums recomputed before the check, so mutations go deep).
#include <cstdio>
#include <string>
#include <vector>

#include "rombuild.h"

namespace {

// Partition contents that differ per partition and per byte.
std::vector<uint8_t> Bytes(uint32_t seed, uint32_t size) {
    std::vector<uint8_t> v(size);
    for (uint32_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed * 37 + i * 11 + (i >> 8));
    return v;
}

RomPartitionSpec Flash(uint32_t id, uint32_t size, uint32_t version) {
    RomPartitionSpec p;
    p.partition_id = id;
    p.partition_version = version;
    p.data = Bytes(id, size);
    return p;
}

RomPartitionSpec Special(uint32_t type, const std::string& text) {
    RomPartitionSpec p;
    p.partition_type = type;
    p.partition_id = 255;
    p.partition_version = rombuild_version(1, 0, 0, 60);
    p.data.assign(text.begin(), text.end());
    return p;
}

RomPackageSpec Phone() {
    RomPackageSpec desc;
    desc.device_id = 53;
    desc.match_id[0] = 5;
    desc.rom_version = rombuild_version(2, 0, 0, 1);
    desc.scramble_key = 0x5C;
    return desc;
}

bool Write(const std::string& dir, const char* name, const RomPackageSpec& desc, uint8_t mode) {
    std::vector<uint8_t> pkg = rombuild_package(desc);
    if (pkg.empty()) return false;
    pkg.insert(pkg.begin(), mode);
    const std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = fwrite(pkg.data(), 1, pkg.size(), f) == pkg.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        fprintf(stderr, "usage: fuzz_seed_packages DIR\nwrites the package-check seed packages into DIR\n");
        return argc == 2 ? 0 : 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    RomPackageSpec two = Phone();
    two.partitions = {Flash(1, 200, rombuild_version(2, 0, 0, 1)), Flash(2, 64, rombuild_version(1, 0, 0, 3))};
    ok &= Write(dir, "two-partitions", two, 1);
    ok &= Write(dir, "two-partitions-plain", two, 0);

    RomPackageSpec skipped = Phone();
    skipped.partitions = {Flash(5, 40, rombuild_version(2, 0, 0, 1))};  // installed version
    ok &= Write(dir, "version-same", skipped, 1);

    RomPackageSpec forced = Phone();
    forced.process_type = 1;
    forced.oem_id = 7;
    forced.sw_protect = 1;
    forced.partitions = {Flash(0, 16, 0), Flash(6, 12, 0)};
    ok &= Write(dir, "forced-oem", forced, 1);

    RomPackageSpec special = Phone();
    special.partitions = {Special(2, "[mtd]\nmtd1 = 0x90020000,0x90100000\n"),
                          Special(3, "user=admin\n"), Flash(2, 32, 0), Special(1, "tool")};
    ok &= Write(dir, "special-partitions", special, 1);

    RomPackageSpec old_header = Phone();
    old_header.rom_header_size = 96;  // unscrambled, older header
    old_header.partitions = {Flash(3, 20, rombuild_version(1, 2, 3, 4))};
    ok &= Write(dir, "short-header", old_header, 1);

    RomPackageSpec empty = Phone();
    ok &= Write(dir, "no-partitions", empty, 1);

    if (!ok) fprintf(stderr, "fuzz_seed_packages: cannot write the seeds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
