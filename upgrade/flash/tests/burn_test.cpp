// The partition burner against simulated NOR flash (the fake holds every call
// to the chip's rules): each case sets up a package and faults, then compares
// the result code, the progress values and the whole chip, block by block.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "burn.h"
#include "fake_mtd.h"
#include "upgrade_flags.h"

namespace {

const uint32_t K64 = 65536;

struct Part {
    int id;                 // partition_id (MTD number)
    uint32_t range_blocks;  // length of the "mtdN" window in 64 KiB blocks
    uint32_t size;          // partition_size
    int flag;               // burn flag
};

void Record(void* ctx, int percent) {
    std::string& s = *static_cast<std::string*>(ctx);
    s += (s.empty() ? "" : " ") + std::to_string(percent);
}

// A package in memory, its headers, flags and device environment, on a fake chip.
struct Bench : FakeMtd {
    explicit Bench(const std::vector<Part>& list) : parts(list), rom(256) {
        snprintf(env[0].name, sizeof env[0].name, "RomVersion");  // lookups go by name
        uint32_t offset = 256, addr = 0x90000000u;
        for (size_t i = 0; i < parts.size(); ++i) {
            const Part& p = parts[i];
            Partition_Header h{};
            h.partition_id = static_cast<uint32_t>(p.id);
            h.partition_size = p.size;
            h.partition_offset = offset;
            hdr.push_back(h);
            flags.push_back(p.flag);
            rom.resize(offset + p.size);
            for (uint32_t j = 0; j < p.size; ++j) rom[offset + j] = static_cast<uint8_t>(j * 131 + p.id * 17 + (j >> 9));
            offset += (p.size + 3) & ~3u;
            env_info& e = env[i + 1];
            snprintf(e.name, sizeof e.name, "mtd%d", p.id);
            e.start_addr = addr;
            e.end_addr = addr += p.range_blocks * K64;
            Add(p.id, p.range_blocks * K64);
        }
        hdr.emplace_back();  // an empty package still passes valid arrays
        flags.push_back(0);
    }

    // Burns from a copy of the package that ends where an inaccessible page
    // begins: reading past the last partition's data faults.
    int Burn() {
        progress.clear();
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t len = (rom.size() + page - 1) / page * page;
        auto* map = static_cast<uint8_t*>(
            mmap(nullptr, len + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (map == MAP_FAILED || mprotect(map + len, page, PROT_NONE) != 0) return 1000;
        memcpy(map + len - rom.size(), rom.data(), rom.size());
        const int rc = burn_partitions(ops(), Record, &progress, map + len - rom.size(), env,
                                       static_cast<int>(parts.size()), hdr.data(), flags.data());
        upgrader_kernel_only = 0;  // set by a row's `arm` for this burn only
        munmap(map, len + page);
        return rc;
    }

    // "ID:BLOCKS" per partition (FakeMtd::Blocks), the target being the package.
    std::string Chip() {
        std::string s;
        for (size_t i = 0; i < parts.size(); ++i)
            s += (i == 0 ? "" : " ") + std::to_string(parts[i].id) + ":" +
                 Blocks(parts[i].id, rom.data() + hdr[i].partition_offset, parts[i].size);
        return s;
    }

    std::vector<Part> parts;
    std::vector<uint8_t> rom;
    std::vector<Partition_Header> hdr;
    std::vector<int> flags;
    env_info env[ENV_INFO_NUM] = {};
    std::string progress;
};

struct BurnCase {
    const char* name;
    std::vector<Part> parts;
    void (*arm)(Bench&);   // faults and changes before the (last) burn; may be null
    int rc;
    const char* chip;      // Bench::Chip afterwards
    const char* progress;  // null: a first burn, then `arm` and a second burn over it with the same progress
    const char* erases = nullptr;  // FakeMtd::Erases of the first partition (null: unchecked)
    int writes = -1;               // writes to the first partition (-1: unchecked)
};

void PrintTo(const BurnCase& c, std::ostream* os) { *os << c.name; }

void KernelOnly(Bench&) { upgrader_kernel_only = 1; }

class Burn : public ::testing::TestWithParam<BurnCase> {};

TEST_P(Burn, EndsWithItsCodeProgressAndChip) {
    const BurnCase& c = GetParam();
    Bench b(c.parts);
    std::string first;
    if (c.progress == nullptr) {
        ASSERT_EQ(b.Burn(), 0);
        first = b.progress;
        for (const Part& p : c.parts) b.Dev(p.id).erases.clear(), b.Dev(p.id).writes = 0;
    }
    if (c.arm != nullptr) c.arm(b);
    EXPECT_EQ(b.Burn(), c.rc);
    EXPECT_EQ(b.Chip(), c.chip);
    EXPECT_EQ(b.progress, c.progress != nullptr ? c.progress : first.c_str());
    EXPECT_EQ(b.opened, b.closed);
    if (c.erases != nullptr) { EXPECT_EQ(b.Erases(c.parts[0].id), c.erases); }
    if (c.writes >= 0) { EXPECT_EQ(b.Dev(c.parts[0].id).writes, c.writes); }
}

// mtd5 in the fault rows: four blocks of window, three and a half of data;
// D = 85 / 2 = 42, so the erase phase moves the bar by 42 / 4, the write
// phase by 42 / 3 per whole block.
const Part kMtd5 = {5, 4, 3 * K64 + 0x8000, 1};
// The rewrite rows: five blocks of window.
const Part kMtd5Wide = {5, 5, 3 * K64 + 0x8000, 1};
const char* kWhole5 = "15 25 36 46 57 71 85 100";  // mtd5 burned

const BurnCase kBurnCases[] = {
    // D = 42: erase 15 + k*42/E, write 57 + j*42/B, no step for the remainder.
    {"one_blocks_and_rest", {{2, 3, 2 * K64 + 0x100, 1}}, nullptr, 0, "2:DDD", "15 29 43 57 78 100"},
    {"one_exact_blocks", {{5, 3, 3 * K64, 1}}, nullptr, 0, "5:DDD", "15 29 43 57 71 85 100"},
    // 42/5 is not whole: the division comes after the multiplication.
    {"one_five_blocks", {{4, 5, 5 * K64, 1}}, nullptr, 0, "4:DDDDD", "15 23 31 40 48 57 65 73 82 90 100"},
    {"one_below_a_block", {{0, 1, 0x1234, 1}}, nullptr, 0, "0:D", "15 100"},
    // Every block of the window is erased once, in order.
    {"window_beyond_the_data", {{4, 4, 0x100, 1}}, nullptr, 0, "4:DDDD", "15 25 36 46 100", "0123"},
    // D = 21: a sub-block partition moves the bar in its erase phase only.
    {"two", {{0, 1, 0x8000, 1}, {6, 3, 2 * K64, 1}}, nullptr, 0, "0:D 6:DDD", "15 57 64 71 78 88 100"},
    {"three", {{1, 1, K64, 1}, {2, 1, K64, 1}, {3, 1, K64, 1}}, nullptr, 0, "1:D 2:D 3:D", "15 29 43 57 71 85 100"},
    // Unselected partitions neither count nor move the bar.
    {"other_flags", {{0, 1, K64, 0}, {1, 2, K64, 1}, {2, 1, K64, 2}}, nullptr, 0, "0:P 1:DD 2:P", "15 36 57 100"},
    {"no_partitions", {}, nullptr, 0, "", "100"},
    // Kernel-only: only id 1 is written, D still that of every selected one.
    {"kernel_only", {{1, 2, K64, 1}, {3, 1, K64, 1}}, KernelOnly, 0, "1:DD 3:P", "15 25 36 100"},
    {"kernel_only_rootfs_skipped", {{2, 1, K64, 1}, {1, 1, K64, 1}}, KernelOnly, 0, "2:P 1:D", "15 36 100"},
    // Windows are checked before anything is erased.
    {"window_too_small", {{1, 2, K64, 1}, {2, 1, K64 + 1, 1}}, nullptr, -84, "1:PP 2:P", ""},
    {"window_empty", {{1, 2, K64, 1}, {2, 1, 0x100, 1}}, [](Bench& b) { b.env[2].end_addr = 0x90020000; }, -84,
     "1:PP 2:P", ""},
    {"window_missing", {{1, 2, K64, 1}, {2, 1, K64, 1}}, [](Bench& b) { b.env[2].name[0] = 'x'; }, -85, "1:PP 2:P", ""},
    {"unselected_too_small", {{1, 2, K64, 1}, {2, 1, K64 + 1, 0}}, nullptr, 0, "1:DD 2:P", "15 36 57 100"},
    {"kernel_only_skips_the_rest", {{3, 1, K64 + 1, 1}, {1, 2, K64, 1}}, KernelOnly, 0, "3:P 1:DD", "15 25 36 100"},
    // Faults: what each leaves behind. Nothing is rolled back.
    {"open", {kMtd5}, [](Bench& b) { b.fail_open_mtd = 5; }, -83, "5:PPPP", ""},
    {"memgetinfo", {kMtd5}, [](Bench& b) { b.fail_getinfo = true; }, -82, "5:PPPP", ""},
    {"erase_size", {kMtd5}, [](Bench& b) { b.erasesize = 2 * K64; }, -82, "5:PPPP", ""},
    {"erase_block_2", {kMtd5}, [](Bench& b) { b.fail_erase = {5, 2}; }, -82, "5:EEPP", "15 25"},
    {"write_block_2", {kMtd5}, [](Bench& b) { b.fail_write = {5, 2}; }, -81, "5:DDEE", "15 25 36 46 57 71"},
    {"write_remainder", {kMtd5}, [](Bench& b) { b.fail_write = {5, 3}; }, -81, "5:DDDE", "15 25 36 46 57 71 85"},
    {"write_stores_nothing", {kMtd5}, [](Bench& b) { b.zero_write = {5, 1}; }, -81, "5:DEEE", "15 25 36 46 57"},
    {"short_write_completed", {kMtd5}, [](Bench& b) { b.short_write = {5, 1}; }, 0, "5:DDDD", kWhole5},
    // A failed read is "not in place": the block is erased and written.
    {"read_fails", {kMtd5}, [](Bench& b) { b.fail_read = {5, 0}; }, 0, "5:DDDD", kWhole5},
    // Bits left unprogrammed once: the read-back finds them, the block is
    // erased and written again.
    {"weak_write_once", {kMtd5}, [](Bench& b) { b.weak_write = {5, 1}; }, 0, "5:DDDD", kWhole5, "01231", 5},
    // The erase before the second write fails: an erase failure.
    {"weak_write_erase_fails", {kMtd5}, [](Bench& b) { b.weak_write = b.fail_erase = {5, 1}, b.erases_before_fail = 1; },
     -82, "5:DWEE", "15 25 36 46 57"},
    {"weak_write_always", {kMtd5}, [](Bench& b) { b.weak_write = {5, 1}, b.weak_always = true; }, -81, "5:DWEE",
     "15 25 36 46 57"},
    // D = 14: the first partition stays written, the third untouched.
    {"write_fails_in_the_second_of_three", {{1, 2, K64 + 0x10, 1}, {2, 2, 2 * K64, 1}, {3, 1, 0x100, 1}},
     [](Bench& b) { b.fail_write = {2, 1}; }, -81, "1:DD 2:DE 3:P", "15 22 29 43 50 57"},
    // A second burn over a chip that holds the package: only blocks that
    // differ from their target are erased (and written when they hold
    // data); the bar moves as in the first burn.
    {"again_same_package", {kMtd5Wide}, nullptr, 0, "5:DDDDD", nullptr, "", 0},
    {"again_one_block", {kMtd5Wide}, [](Bench& b) { b.rom[256 + 0x10009] ^= 1; }, 0, "5:DDDDD", nullptr, "1", 1},
    {"again_last_byte", {kMtd5Wide}, [](Bench& b) { b.rom[256 + 0x37FFF] ^= 1; }, 0, "5:DDDDD", nullptr, "3", 1},
    // Programmed since: behind the data, and in a block without data.
    {"again_dirty_tail", {kMtd5Wide}, [](Bench& b) { b.Dev(5).data[0x39000] = 0; }, 0, "5:DDDDD", nullptr, "3", 1},
    {"again_dirty_block", {kMtd5Wide}, [](Bench& b) { b.Dev(5).data[0x40005] = 0; }, 0, "5:DDDDD", nullptr, "4", 0},
    {"again_read_fails", {kMtd5Wide}, [](Bench& b) { b.fail_read = {5, 2}; }, 0, "5:DDDDD", nullptr, "2", 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, Burn, ::testing::ValuesIn(kBurnCases),
                         [](const ::testing::TestParamInfo<BurnCase>& p) { return std::string(p.param.name); });

TEST(BurnArguments, NullOnesFailWithoutTouchingAnything) {
    Bench b({{1, 1, K64, 1}});
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(burn_partitions(b.ops(), n == 0 ? nullptr : Record, &b.progress, n == 1 ? nullptr : b.rom.data(),
                                  n == 2 ? nullptr : b.env, 1, n == 3 ? nullptr : b.hdr.data(),
                                  n == 4 ? nullptr : b.flags.data()),
                  -1)
            << "argument " << n;
    }
    EXPECT_EQ(b.progress + b.Chip(), "1:P");
}

}  // namespace
