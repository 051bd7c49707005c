// Writing a saved partition image back, against simulated NOR flash.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fake_mtd.h"
#include "mtd_layout.h"
#include "temp_dir.h"

namespace {

const uint32_t K64 = 65536;

uint8_t ImageByte(uint32_t i) { return static_cast<uint8_t>((i * 29 + (i >> 10)) & 0xFF); }

class MtdWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        fake_.Add(4, 8 * K64);
    }
    void Image(uint32_t size) {
        std::string bytes(size, '\0');
        for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(ImageByte(i));
        ASSERT_TRUE(TempDir::write(path_, bytes));
    }
    bool Untouched() {
        const auto& d = fake_.Dev(4).data;
        for (uint32_t i = 0; i < d.size(); ++i)
            if (d[i] != FakeMtd::Pattern(i)) return false;
        return fake_.Dev(4).erases.empty();
    }
    // Leading bytes that hold the image.
    uint32_t ImagePrefix() {
        const auto& d = fake_.Dev(4).data;
        uint32_t n = 0;
        while (n < d.size() && d[n] == ImageByte(n)) ++n;
        return n;
    }
    FakeMtd fake_;
    TempDir dir_{"flash_image"};
    std::string path_ = dir_.file("mtdblock");
};

TEST_F(MtdWrite, WritesTheImageOverFreshlyErasedBlocksAndLeavesTheRest) {
    Image(2 * K64);
    EXPECT_EQ(mtd_write_with(fake_.ops(), 4, static_cast<int>(2 * K64), path_.c_str()), 0);
    EXPECT_EQ(ImagePrefix(), 2 * K64);
    const auto& d = fake_.Dev(4).data;
    for (uint32_t i = 2 * K64; i < d.size(); ++i) ASSERT_EQ(d[i], FakeMtd::Pattern(i)) << i;
    EXPECT_EQ(fake_.Dev(4).erases.size(), 2u);
    EXPECT_EQ(fake_.opened, fake_.closed);
}

TEST_F(MtdWrite, ShortWritesAreCompleted) {
    Image(2 * K64);
    fake_.short_write = {4, 1};
    EXPECT_EQ(mtd_write_with(fake_.ops(), 4, static_cast<int>(2 * K64), path_.c_str()), 0);
    EXPECT_EQ(ImagePrefix(), 2 * K64);
}

TEST_F(MtdWrite, LeavesBlocksInPlaceAloneAndWritesAWeakBlockAgain) {
    Image(4 * K64);
    ASSERT_EQ(mtd_write_with(fake_.ops(), 4, static_cast<int>(4 * K64), path_.c_str()), 0);
    fake_.Dev(4).erases.clear();
    fake_.Dev(4).writes = 0;
    // Block 2 lost a byte since; its first write leaves bits unprogrammed.
    fake_.Dev(4).data[2 * K64 + 3] = static_cast<uint8_t>(~ImageByte(2 * K64 + 3));
    fake_.weak_write = {4, 2};
    EXPECT_EQ(mtd_write_with(fake_.ops(), 4, static_cast<int>(4 * K64), path_.c_str()), 0);
    EXPECT_EQ(ImagePrefix(), 4 * K64);
    const std::vector<std::pair<uint32_t, uint32_t>> twice = {{2 * K64, K64}, {2 * K64, K64}};
    EXPECT_EQ(fake_.Dev(4).erases, twice);
    EXPECT_EQ(fake_.Dev(4).writes, 2);
}

struct RefusalCase {
    const char* what;
    int file_size;  // -1: no file
    int size;       // size argument
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class MtdWriteRefusal : public MtdWrite, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(MtdWriteRefusal, FailsWithoutTouchingFlash) {
    const RefusalCase& c = GetParam();
    if (c.file_size >= 0) Image(static_cast<uint32_t>(c.file_size));
    EXPECT_EQ(mtd_write_with(fake_.ops(), 4, c.size, path_.c_str()), -1);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(fake_.opened, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, MtdWriteRefusal,
                         ::testing::Values(RefusalCase{"one_byte_short", 65535, 65536},
                                           RefusalCase{"one_byte_long", 65537, 65536},
                                           RefusalCase{"empty", 0, 65536},
                                           RefusalCase{"missing", -1, 65536},
                                           RefusalCase{"negative_size", 65536, -65536}),
                         [](const ::testing::TestParamInfo<RefusalCase>& p) { return std::string(p.param.what); });

struct FaultCase {
    const char* what;
    void (*arm)(FakeMtd&);
    uint32_t erased_blocks;  // blocks 0xFF or written afterwards
    uint32_t written;        // image bytes in place
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class MtdWriteFault : public MtdWrite, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MtdWriteFault, FailsAndNeverWritesPastTheFault) {
    const FaultCase& c = GetParam();
    Image(4 * K64);
    c.arm(fake_);
    EXPECT_EQ(mtd_write_with(fake_.ops(), 4, static_cast<int>(4 * K64), path_.c_str()), -1);
    EXPECT_EQ(ImagePrefix(), c.written);
    const auto& d = fake_.Dev(4).data;
    for (uint32_t i = c.written; i < d.size(); ++i) {
        const uint8_t want = i < c.erased_blocks * K64 ? 0xFF : FakeMtd::Pattern(i);
        ASSERT_EQ(d[i], want) << "byte " << i;
    }
    EXPECT_EQ(fake_.opened, fake_.closed);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MtdWriteFault,
    ::testing::Values(FaultCase{"open", [](FakeMtd& f) { f.fail_open_mtd = 4; }, 0, 0},
                      FaultCase{"memgetinfo", [](FakeMtd& f) { f.fail_getinfo = true; }, 0, 0},
                      FaultCase{"erase_size", [](FakeMtd& f) { f.erasesize = 4096; }, 0, 0},
                      FaultCase{"erase_block_2", [](FakeMtd& f) { f.fail_erase = {4, 2}; }, 2, 0},
                      FaultCase{"write_block_3", [](FakeMtd& f) { f.fail_write = {4, 3}; }, 4, 3 * K64},
                      FaultCase{"write_stores_nothing", [](FakeMtd& f) { f.zero_write = {4, 1}; }, 4, K64}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.what); });

}  // namespace
