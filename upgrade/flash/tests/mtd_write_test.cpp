// Writing a saved partition image back, and the erase helper, against
// simulated NOR flash. The block logic they share with the burner (in place,
// read-back, retries, faults) is burn_test's; here what mtd_write adds: the
// image file, its size and the order of the phases.
#include <gtest/gtest.h>

#include <string>

#include "fake_mtd.h"
#include "mtd_layout.h"
#include "temp_dir.h"

namespace {

const uint32_t K64 = 65536;

struct WriteCase {
    const char* name;
    int file_size;  // bytes of the image file (-1: no file)
    int size;       // size argument
    void (*arm)(FakeMtd&);
    int rc;
    const char* chip;  // FakeMtd::Blocks of mtd4 (eight blocks) afterwards
    const char* erases = nullptr;  // FakeMtd::Erases (null: unchecked)
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class MtdWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(MtdWrite, EndsWithItsResultAndChip) {
    const WriteCase& c = GetParam();
    TempDir dir("flash_image");
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("mtdblock");
    std::string image(c.file_size > 0 ? static_cast<size_t>(c.file_size) : 0, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 29 + (i >> 10));
    if (c.file_size >= 0) { ASSERT_TRUE(TempDir::write(path, image)); }
    FakeMtd fake;
    fake.Add(4, 8 * K64);
    if (c.arm != nullptr) c.arm(fake);
    EXPECT_EQ(mtd_write_with(fake.ops(), 4, c.size, path.c_str()), c.rc);
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
    EXPECT_EQ(fake.Blocks(4, bytes, static_cast<uint32_t>(image.size())), c.chip);
    EXPECT_EQ(fake.opened, fake.closed);
    if (c.erases != nullptr) { EXPECT_EQ(fake.Erases(4), c.erases); }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MtdWrite,
    ::testing::Values(
        // Only the image's blocks are erased and written.
        WriteCase{"two_blocks", 2 * K64, 2 * K64, nullptr, 0, "DDPPPPPP", "01"},
        // The file must hold exactly `size` bytes.
        WriteCase{"one_byte_short", 65535, 65536, nullptr, -1, "PPPPPPPP"},
        WriteCase{"one_byte_long", 65537, 65536, nullptr, -1, "PPPPPPPP"},
        WriteCase{"missing", -1, 65536, nullptr, -1, "PPPPPPPP"},
        WriteCase{"negative_size", 65536, -65536, nullptr, -1, "PPPPPPPP"},
        // Every block is erased before the first is written; a fault ends it.
        WriteCase{"open", 4 * K64, 4 * K64, [](FakeMtd& f) { f.fail_open_mtd = 4; }, -1, "PPPPPPPP"},
        WriteCase{"erase_block_2", 4 * K64, 4 * K64, [](FakeMtd& f) { f.fail_erase = {4, 2}; }, -1, "EEPPPPPP"},
        WriteCase{"write_block_3", 4 * K64, 4 * K64, [](FakeMtd& f) { f.fail_write = {4, 3}; }, -1, "DDDEPPPP"}),
    [](const ::testing::TestParamInfo<WriteCase>& p) { return std::string(p.param.name); });

TEST(MtdEraseBlocks, ErasesCountBlocksFromStart) {
    const struct {
        int start, count;
        const char* erases;
    } cases[] = {{0, 0, ""}, {0, -3, ""}, {static_cast<int>(K64), 2, "12"}, {0, 1, "0"}};
    for (const auto& c : cases) {
        FakeMtd f;
        f.Add(3, 4 * K64);
        EXPECT_EQ(mtd_erase_blocks(f.ops(), 103, c.start, c.count), 0);
        EXPECT_EQ(f.Erases(3), c.erases) << c.start << "/" << c.count;
    }
}

}  // namespace
