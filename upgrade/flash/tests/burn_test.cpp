// The partition burner against simulated NOR flash: progress values, what lands
// on the chip, and what is left behind by each kind of failure.
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
    uint32_t range_blocks;  // length of the "mtdN" range in 64 KiB blocks
    uint32_t size;          // partition_size
    int flag;               // burn flag
};

uint8_t DataByte(int id, uint32_t i) { return static_cast<uint8_t>((i * 131 + id * 17 + (i >> 9)) & 0xFF); }

// Progress sink collecting the values sent.
void Record(void* ctx, int percent) { static_cast<std::vector<int>*>(ctx)->push_back(percent); }

// A package in memory, its headers, flags, device environment and flash.
class Bench {
public:
    explicit Bench(const std::vector<Part>& parts) : parts_(parts) {
        memset(env_, 0, sizeof env_);
        memset(&no_header_, 0, sizeof no_header_);
        rom_.resize(256);
        snprintf(env_[0].name, sizeof env_[0].name, "RomVersion");  // lookups go by name
        snprintf(env_[0].value, sizeof env_[0].value, "1.2.3.4");
        uint32_t offset = 256, addr = 0x90000000u;
        int slot = 1;
        for (const Part& p : parts) {
            Partition_Header h;
            memset(&h, 0, sizeof h);
            h.partition_id = static_cast<uint32_t>(p.id);
            h.partition_size = p.size;
            h.partition_offset = offset;
            headers_.push_back(h);
            flags_.push_back(p.flag);
            rom_.resize(offset + p.size);
            for (uint32_t i = 0; i < p.size; ++i) rom_[offset + i] = DataByte(p.id, i);
            offset += (p.size + 3) & ~3u;
            snprintf(env_[slot].name, sizeof env_[slot].name, "mtd%d", p.id);
            env_[slot].start_addr = addr;
            env_[slot].end_addr = addr + p.range_blocks * K64;
            addr += p.range_blocks * K64;
            ++slot;
            fake_.Add(p.id, p.range_blocks * K64);
        }
    }

    int Burn(const uint8_t* rom = nullptr) {
        // An empty package still passes valid (unused) arrays.
        return burn_partitions(fake_.ops(), Record, &progress_, rom != nullptr ? rom : rom_.data(), env_,
                               static_cast<int>(headers_.size()), headers_.empty() ? &no_header_ : headers_.data(),
                               flags_.empty() ? &no_flag_ : flags_.data());
    }

    // Device holds the partition's data (as the package holds it now), then
    // 0xFF to the end of its range.
    bool Burned(int index) {
        const Part& p = parts_[static_cast<size_t>(index)];
        const uint8_t* data = rom_.data() + headers_[static_cast<size_t>(index)].partition_offset;
        const auto& d = fake_.Dev(p.id).data;
        for (uint32_t i = 0; i < d.size(); ++i) {
            const uint8_t want = i < p.size ? data[i] : 0xFF;
            if (d[i] != want) {
                ADD_FAILURE() << "mtd" << p.id << " byte " << i << ": " << int(d[i]) << " want " << int(want);
                return false;
            }
        }
        return true;
    }
    // Device still holds its original pattern everywhere.
    bool Untouched(int mtd) {
        const auto& d = fake_.Dev(mtd).data;
        for (uint32_t i = 0; i < d.size(); ++i)
            if (d[i] != FakeMtd::Pattern(i)) return false;
        return fake_.Dev(mtd).erases.empty() && fake_.Dev(mtd).writes == 0;
    }
    // Number of leading bytes equal to the partition's data.
    uint32_t DataPrefix(int index) {
        const Part& p = parts_[static_cast<size_t>(index)];
        const auto& d = fake_.Dev(p.id).data;
        uint32_t n = 0;
        while (n < p.size && n < d.size() && d[n] == DataByte(p.id, n)) ++n;
        return n;
    }

    FakeMtd fake_;
    std::vector<int> progress_;
    env_info env_[ENV_INFO_NUM];
    std::vector<Partition_Header> headers_;
    std::vector<int> flags_;
    std::vector<uint8_t> rom_;

private:
    std::vector<Part> parts_;
    Partition_Header no_header_;
    int no_flag_ = 0;
};

class BurnTest : public ::testing::Test {
protected:
    void SetUp() override { upgrader_kernel_only = 0; }
    void TearDown() override { upgrader_kernel_only = 0; }
};

struct ProgressCase {
    const char* what;
    std::vector<Part> parts;
    int kernel_only;
    std::vector<int> expected;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.what; }

class BurnProgress : public BurnTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(BurnProgress, SendsTheExactSequenceAndWritesTheSelectedPartitions) {
    const ProgressCase& c = GetParam();
    upgrader_kernel_only = c.kernel_only;
    Bench b(c.parts);
    ASSERT_EQ(b.Burn(), 0);
    EXPECT_EQ(b.progress_, c.expected);
    for (size_t i = 1; i < b.progress_.size(); ++i) EXPECT_LE(b.progress_[i - 1], b.progress_[i]) << "at " << i;
    ASSERT_FALSE(b.progress_.empty());
    EXPECT_EQ(b.progress_.back(), 100);
    for (size_t i = 0; i < c.parts.size(); ++i) {
        const Part& p = c.parts[i];
        const bool written = p.flag == 1 && (c.kernel_only != 1 || p.id == 1);
        if (written)
            EXPECT_TRUE(b.Burned(static_cast<int>(i)));
        else
            EXPECT_TRUE(b.Untouched(p.id)) << "mtd" << p.id;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, BurnProgress,
    ::testing::Values(
        // D = 42: erase 15 + k*42/E, write 57 + j*42/B, no call for the remainder.
        ProgressCase{"one_blocks_and_rest", {{2, 3, 2 * K64 + 0x100, 1}}, 0, {15, 29, 43, 57, 78, 100}},
        ProgressCase{"one_exact_blocks", {{5, 3, 3 * K64, 1}}, 0, {15, 29, 43, 57, 71, 85, 100}},
        // 42/5 is not whole: the division comes after the multiplication.
        ProgressCase{"one_five_blocks", {{4, 5, 5 * K64, 1}}, 0, {15, 23, 31, 40, 48, 57, 65, 73, 82, 90, 100}},
        ProgressCase{"one_below_a_block", {{0, 1, 0x1234, 1}}, 0, {15, 100}},
        // D = 21: a sub-block partition moves the bar in its erase phase only.
        ProgressCase{"two", {{0, 1, 0x8000, 1}, {6, 3, 2 * K64, 1}}, 0, {15, 57, 64, 71, 78, 88, 100}},
        // D = 14.
        ProgressCase{"three", {{1, 1, K64, 1}, {2, 1, K64, 1}, {3, 1, K64, 1}}, 0, {15, 29, 43, 57, 71, 85, 100}},
        // Unselected partitions neither count nor move the bar.
        ProgressCase{"flags_other_than_one", {{0, 1, K64, 0}, {1, 2, K64, 1}, {2, 1, K64, 2}}, 0,
                     {15, 36, 57, 100}},
        // Kernel-only: id 3 skipped, D still that of two selected partitions.
        ProgressCase{"kernel_only", {{1, 2, K64, 1}, {3, 1, K64, 1}}, 1, {15, 25, 36, 100}},
        ProgressCase{"kernel_only_first_skipped", {{3, 1, K64, 1}, {1, 1, K64, 1}}, 1, {15, 36, 100}},
        ProgressCase{"kernel_only_rootfs_skipped", {{2, 1, K64, 1}, {1, 1, K64, 1}}, 1, {15, 36, 100}},
        ProgressCase{"no_flag", {{0, 1, K64, 0}, {1, 1, K64, -1}}, 0, {100}},
        ProgressCase{"no_partitions", {}, 0, {100}}),
    [](const ::testing::TestParamInfo<ProgressCase>& p) { return std::string(p.param.what); });

TEST_F(BurnTest, ErasesEachBlockOfTheWholeRangeOnceInOrder) {
    Bench b({{4, 4, 0x100, 1}});
    ASSERT_EQ(b.Burn(), 0);
    std::vector<std::pair<uint32_t, uint32_t>> want = {{0, K64}, {K64, K64}, {2 * K64, K64}, {3 * K64, K64}};
    EXPECT_EQ(b.fake_.Dev(4).erases, want);
    EXPECT_TRUE(b.Burned(0));
    EXPECT_EQ(b.fake_.opened, 1);
    EXPECT_EQ(b.fake_.closed, 1);
}

TEST_F(BurnTest, ReadsNothingPastThePartitionData) {
    // The package ends exactly where the last partition's data ends, and the
    // page behind it is inaccessible: any read beyond partition_size faults.
    const long page = sysconf(_SC_PAGESIZE);
    const uint32_t size = 0x10000 + 0x123;
    const size_t pages = (size + 256) / static_cast<size_t>(page) + 2;
    auto* map = static_cast<uint8_t*>(
        mmap(nullptr, pages * static_cast<size_t>(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    uint8_t* guard = map + (pages - 1) * static_cast<size_t>(page);
    ASSERT_EQ(mprotect(guard, static_cast<size_t>(page), PROT_NONE), 0);
    Bench b({{2, 2, size, 1}});
    uint8_t* rom = guard - size - 256;
    memcpy(rom, b.rom_.data(), b.rom_.size());
    EXPECT_EQ(b.Burn(rom), 0);
    EXPECT_TRUE(b.Burned(0));
    munmap(map, pages * static_cast<size_t>(page));
}

TEST_F(BurnTest, NullArgumentsFailWithoutTouchingAnything) {
    Bench b({{1, 1, K64, 1}});
    int flags[] = {1};
    EXPECT_EQ(burn_partitions(b.fake_.ops(), nullptr, nullptr, b.rom_.data(), b.env_, 1, b.headers_.data(), flags), -1);
    EXPECT_EQ(burn_partitions(b.fake_.ops(), Record, &b.progress_, nullptr, b.env_, 1, b.headers_.data(), flags), -1);
    EXPECT_EQ(burn_partitions(b.fake_.ops(), Record, &b.progress_, b.rom_.data(), nullptr, 1, b.headers_.data(), flags),
              -1);
    EXPECT_EQ(burn_partitions(b.fake_.ops(), Record, &b.progress_, b.rom_.data(), b.env_, 1, nullptr, flags), -1);
    EXPECT_EQ(burn_partitions(b.fake_.ops(), Record, &b.progress_, b.rom_.data(), b.env_, 1, b.headers_.data(), nullptr),
              -1);
    EXPECT_TRUE(b.progress_.empty());
    EXPECT_TRUE(b.Untouched(1));
}

// What a fault leaves behind.
enum class After { kUntouched, kErasedBefore, kWrittenBefore, kWeakAt, kComplete };

struct FailureCase {
    const char* what;
    void (*arm)(FakeMtd&, Bench&);
    int expected;
    After after;  // state of the failing partition (mtd5)
    int block;    // k: the block the fault hits
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.what; }

class BurnFailure : public BurnTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BurnFailure, ReturnsItsCodeAndLeavesFlashAsExpected) {
    const FailureCase& c = GetParam();
    // mtd5: four blocks of range, three and a half blocks of data.
    Bench b({{5, 4, 3 * K64 + 0x8000, 1}});
    c.arm(b.fake_, b);
    EXPECT_EQ(b.Burn(), c.expected);
    EXPECT_EQ(b.fake_.opened, b.fake_.closed);
    const auto& d = b.fake_.Dev(5).data;
    const uint32_t k = static_cast<uint32_t>(c.block) * K64;
    switch (c.after) {
    case After::kUntouched:
        EXPECT_TRUE(b.Untouched(5));
        break;
    case After::kErasedBefore:
        // Blocks before k erased, nothing written, the rest as it was.
        for (uint32_t i = 0; i < d.size(); ++i)
            ASSERT_EQ(d[i], i < k ? 0xFF : FakeMtd::Pattern(i)) << "byte " << i;
        EXPECT_EQ(b.fake_.Dev(5).writes, 0);
        break;
    case After::kWrittenBefore:
        // Whole range erased, data exactly up to block k, erased after it.
        EXPECT_EQ(b.DataPrefix(0), k);
        for (uint32_t i = k; i < d.size(); ++i) ASSERT_EQ(d[i], 0xFF) << "byte " << i;
        break;
    case After::kWeakAt:
        // Data up to block k, block k as the weak write left it, erased after it.
        EXPECT_EQ(b.DataPrefix(0), k);
        for (uint32_t i = k; i < d.size(); ++i) {
            const bool programmed = i < k + K64 && i < b.headers_[0].partition_size && i % FakeMtd::kWeakStride != 0;
            ASSERT_EQ(d[i], programmed ? b.rom_[b.headers_[0].partition_offset + i] : 0xFF) << "byte " << i;
        }
        break;
    case After::kComplete:
        EXPECT_TRUE(b.Burned(0));
        break;
    }
    if (c.expected < 0) {
        EXPECT_NE(b.progress_.empty() ? 0 : b.progress_.back(), 100);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BurnFailure,
    ::testing::Values(
        FailureCase{"env_entry_missing", [](FakeMtd&, Bench& b) { b.env_[1].name[0] = 'x'; }, -85, After::kUntouched, 0},
        FailureCase{"open", [](FakeMtd& f, Bench&) { f.fail_open_mtd = 5; }, -83, After::kUntouched, 0},
        FailureCase{"memgetinfo", [](FakeMtd& f, Bench&) { f.fail_getinfo = true; }, -82, After::kUntouched, 0},
        FailureCase{"erase_size", [](FakeMtd& f, Bench&) { f.erasesize = 2 * K64; }, -82, After::kUntouched, 0},
        FailureCase{"erase_block_0", [](FakeMtd& f, Bench&) { f.fail_erase = {5, 0}; }, -82, After::kErasedBefore, 0},
        FailureCase{"erase_block_2", [](FakeMtd& f, Bench&) { f.fail_erase = {5, 2}; }, -82, After::kErasedBefore, 2},
        FailureCase{"write_block_0", [](FakeMtd& f, Bench&) { f.fail_write = {5, 0}; }, -81, After::kWrittenBefore, 0},
        FailureCase{"write_block_2", [](FakeMtd& f, Bench&) { f.fail_write = {5, 2}; }, -81, After::kWrittenBefore, 2},
        FailureCase{"write_remainder", [](FakeMtd& f, Bench&) { f.fail_write = {5, 3}; }, -81, After::kWrittenBefore, 3},
        FailureCase{"write_stores_nothing", [](FakeMtd& f, Bench&) { f.zero_write = {5, 1}; }, -81,
                    After::kWrittenBefore, 1},
        FailureCase{"short_write_completed", [](FakeMtd& f, Bench&) { f.short_write = {5, 1}; }, 0, After::kComplete, 1},
        FailureCase{"short_remainder_completed", [](FakeMtd& f, Bench&) { f.short_write = {5, 3}; }, 0,
                    After::kComplete, 3},
        // A failed read is "not in place": the block is erased and written.
        FailureCase{"read_fails", [](FakeMtd& f, Bench&) { f.fail_read = {5, 0}; }, 0, After::kComplete, 0},
        // Bits left unprogrammed once: the read-back finds them, the block is
        // erased and written again.
        FailureCase{"weak_write_once", [](FakeMtd& f, Bench&) { f.weak_write = {5, 1}; }, 0, After::kComplete, 1},
        // The erase before the second write fails: an erase failure, with the
        // block as the weak write left it.
        FailureCase{"weak_write_erase_fails",
                    [](FakeMtd& f, Bench&) {
                        f.weak_write = {5, 1};
                        f.fail_erase = {5, 1};
                        f.erases_before_fail = 1;
                    },
                    -82, After::kWeakAt, 1},
        FailureCase{"weak_write_always",
                    [](FakeMtd& f, Bench&) {
                        f.weak_write = {5, 1};
                        f.weak_always = true;
                    },
                    -81, After::kWeakAt, 1},
        FailureCase{"weak_remainder_always",
                    [](FakeMtd& f, Bench&) {
                        f.weak_write = {5, 3};
                        f.weak_always = true;
                    },
                    -81, After::kWeakAt, 3}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.what); });

TEST_F(BurnTest, WriteFailureInTheSecondOfThreeKeepsTheFirstAndSparesTheThird) {
    Bench b({{1, 2, K64 + 0x10, 1}, {2, 2, 2 * K64, 1}, {3, 1, 0x100, 1}});
    b.fake_.fail_write = {2, 1};
    EXPECT_EQ(b.Burn(), -81);
    EXPECT_TRUE(b.Burned(0));
    EXPECT_EQ(b.DataPrefix(1), K64);
    EXPECT_TRUE(b.Untouched(3));
    EXPECT_EQ(b.fake_.open_order, (std::vector<int>{1, 2}));
    // D = 14: first partition 15,22 / 29, second 43,50 / 57, then the failure.
    EXPECT_EQ(b.progress_, (std::vector<int>{15, 22, 29, 43, 50, 57}));
}

// A second burn over a chip that already holds the package: only blocks that
// differ from their target are erased (and written, when they hold data), and
// the bar moves exactly as in the first burn.
struct RewriteCase {
    const char* what;
    void (*change)(Bench&);
    std::vector<std::pair<uint32_t, uint32_t>> erases;
    int writes;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.what; }

class BurnRewrite : public BurnTest, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(BurnRewrite, TouchesOnlyTheBlocksThatDiffer) {
    const RewriteCase& c = GetParam();
    // mtd5: five blocks of range, three and a half of data.
    Bench b({{5, 5, 3 * K64 + 0x8000, 1}});
    ASSERT_EQ(b.Burn(), 0);
    const std::vector<int> first = b.progress_;
    b.progress_.clear();
    b.fake_.Dev(5).erases.clear();
    b.fake_.Dev(5).writes = 0;
    c.change(b);
    EXPECT_EQ(b.Burn(), 0);
    EXPECT_EQ(b.progress_, first);
    EXPECT_EQ(b.fake_.Dev(5).erases, c.erases);
    EXPECT_EQ(b.fake_.Dev(5).writes, c.writes);
    EXPECT_TRUE(b.Burned(0));
}

INSTANTIATE_TEST_SUITE_P(
    Chips, BurnRewrite,
    ::testing::Values(
        RewriteCase{"same_package", [](Bench&) {}, {}, 0},
        RewriteCase{"one_block_differs", [](Bench& b) { b.rom_[b.headers_[0].partition_offset + K64 + 9] ^= 0x40; },
                    {{K64, K64}}, 1},
        RewriteCase{"remainder_differs",
                    [](Bench& b) { b.rom_[b.headers_[0].partition_offset + 3 * K64 + 0x7FFF] ^= 0x01; },
                    {{3 * K64, K64}}, 1},
        RewriteCase{"programmed_behind_the_data", [](Bench& b) { b.fake_.Dev(5).data[3 * K64 + 0x9000] = 0; },
                    {{3 * K64, K64}}, 1},
        RewriteCase{"programmed_block_without_data", [](Bench& b) { b.fake_.Dev(5).data[4 * K64 + 5] = 0x7F; },
                    {{4 * K64, K64}}, 0},
        RewriteCase{"read_fails", [](Bench& b) { b.fake_.fail_read = {5, 2}; }, {{2 * K64, K64}}, 1}),
    [](const ::testing::TestParamInfo<RewriteCase>& p) { return std::string(p.param.what); });

// Before the first erase every partition to be written must fit its window as
// the device environment holds it now.
struct WindowCase {
    const char* what;
    std::vector<Part> parts;
    int kernel_only;
    void (*arm)(Bench&);
    int expected;
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.what; }

class BurnWindows : public BurnTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(BurnWindows, AreCheckedBeforeAnythingIsErased) {
    const WindowCase& c = GetParam();
    upgrader_kernel_only = c.kernel_only;
    Bench b(c.parts);
    c.arm(b);
    EXPECT_EQ(b.Burn(), c.expected);
    for (size_t i = 0; i < c.parts.size(); ++i) {
        const Part& p = c.parts[i];
        const bool written = c.expected == 0 && p.flag == 1 && (c.kernel_only != 1 || p.id == 1);
        if (written)
            EXPECT_TRUE(b.Burned(static_cast<int>(i)));
        else
            EXPECT_TRUE(b.Untouched(p.id)) << "mtd" << p.id;
    }
    if (c.expected < 0) {
        EXPECT_TRUE(b.progress_.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, BurnWindows,
    ::testing::Values(
        WindowCase{"second_too_small", {{1, 2, K64, 1}, {2, 1, K64 + 1, 1}}, 0, [](Bench&) {}, -84},
        WindowCase{"second_empty", {{1, 2, K64, 1}, {2, 1, 0x100, 1}}, 0,
                   [](Bench& b) { b.env_[2].end_addr = b.env_[2].start_addr; }, -84},
        WindowCase{"second_missing", {{1, 2, K64, 1}, {2, 1, K64, 1}}, 0, [](Bench& b) { b.env_[2].name[0] = 'x'; },
                   -85},
        WindowCase{"unselected_too_small", {{1, 2, K64, 1}, {2, 1, K64 + 1, 0}}, 0, [](Bench&) {}, 0},
        WindowCase{"kernel_only_skips_the_rest", {{3, 1, K64 + 1, 1}, {1, 2, K64, 1}}, 1, [](Bench&) {}, 0}),
    [](const ::testing::TestParamInfo<WindowCase>& p) { return std::string(p.param.what); });

TEST_F(BurnTest, EraseHelperHonoursCountAndStart) {
    struct Case {
        int start, count;
        std::vector<std::pair<uint32_t, uint32_t>> erases;
    } cases[] = {
        {0, 0, {}},
        {0, -3, {}},
        {static_cast<int>(K64), 2, {{K64, K64}, {2 * K64, K64}}},
        {0, 1, {{0, K64}}},
    };
    for (const Case& c : cases) {
        FakeMtd f;
        f.Add(3, 4 * K64);
        EXPECT_EQ(mtd_erase_blocks(f.ops(), 103, c.start, c.count), 0);
        EXPECT_EQ(f.Dev(3).erases, c.erases) << c.start << "/" << c.count;
    }
}

}  // namespace
