// Layout values, layout files and the comparison that decides what moves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mtd_layout.h"
#include "readable.h"
#include "temp_dir.h"
#include "upgrade_flags.h"

namespace {

// Layout files: all seven entries or nothing. Each case rewrites one entry of
// a good file; the accepted ones only spell it differently.
const char* kGoodLayout =
    "[mtd]\n"
    "mtd0=90000000,90020000\n"
    "mtd1=90020000,90100000\n"
    "mtd2=90100000,90500000\n"
    "mtd3=90500000,90510000\n"
    "mtd4=90510000,90590000\n"
    "mtd5=90590000,90700000\n"
    "mtd6=90700000,90800000\n";

struct ReadCase {
    int mtd;
    const char* value;  // null: the line left out
    bool ok;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << "mtd" << c.mtd << "=" << (c.value ? c.value : "(none)"); }

class LayoutRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(LayoutRead, TakesTwoAlignedNumbersInsideTheWindowForEachEntry) {
    const ReadCase& c = GetParam();
    TempDir dir("flash_layout");
    ASSERT_TRUE(dir.ok());
    std::string text = kGoodLayout;
    const std::string key = c.mtd < 0 ? "[" : "mtd" + std::to_string(c.mtd) + "=";  // -1: the section line
    const size_t at = text.find(key), eol = text.find('\n', at) + 1;
    text.replace(at, eol - at, c.value != nullptr ? key + c.value + "\n" : "");
    ASSERT_TRUE(TempDir::write(dir.file("mtd.conf"), text));
    env_info table[MTD_LAYOUT_ENTRIES];
    memset(table, 0x5A, sizeof table);
    ASSERT_EQ(mtd_layout_read(dir.file("mtd.conf").c_str(), table), c.ok ? 0 : -1);
    if (!c.ok) return;
    std::string got = "[mtd]\n";
    char line[64];
    for (const env_info& e : table) {
        snprintf(line, sizeof line, "%.16s=%x,%x\n", e.name, e.start_addr, e.end_addr);
        got += line;
    }
    EXPECT_EQ(got, kGoodLayout);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LayoutRead,
    ::testing::Values(ReadCase{6, "90700000,90800000", true},  // the end may be the window's top
                      ReadCase{1, "0x90020000,0x90100000", true},
                      ReadCase{2, "90100000, 90500000", true},
                      ReadCase{1, "90020000,90020000", false},  // empty range
                      ReadCase{2, "90500000,90100000", false},  // reversed
                      ReadCase{4, "90510000,90598000", false},  // end on half a block
                      ReadCase{5, "90598000,90700000", false},  // start on half a block
                      ReadCase{6, "90700000,90810000", false},  // end above the window
                      ReadCase{0, "8fff0000,90020000", false},  // start below the window
                      ReadCase{0, "10000,20000", false},           // flash offsets, not addresses
                      ReadCase{0, "90000000", false},           // one number
                      ReadCase{4, "90510000", false},           // would pass with mtd3's end left over
                      ReadCase{0, "90000000,", false},
                      ReadCase{3, "zz,90510000", false},
                      ReadCase{6, nullptr, false},
                      ReadCase{-1, "mtds]", false}),
    [](const auto& p) {
        return ReadableName(p.index, "mtd" + std::to_string(p.param.mtd) + "_" + (p.param.value ? p.param.value : ""));
    });

// The comparison, with recording stand-ins for the move and the copies.
std::vector<int> g_moves;
int g_fail_move = -1;
int g_copy_result = 0;
std::vector<size_t> g_copies;  // moves made before each call of the copy
env_info* g_table;

int RecordMove(int mtd, env_info* entry) {
    g_moves.push_back(mtd);
    EXPECT_EQ(entry, &g_table[mtd]);  // the new window as the layout gives it
    return mtd == g_fail_move ? -1 : 0;
}

int RecordCopy() {
    g_copies.push_back(g_moves.size());
    return g_copy_result;
}

struct ApplyCase {
    const char* name;
    std::vector<int> differ;  // entries the layout moves by a block
    int support;
    int rc;
    std::vector<int> moves;  // move requests, in order
    int kernel_only;
    size_t copies;  // calls of the copy, all before the first move
    void (*arm)(env_info* env, env_info* table) = nullptr;
};

void PrintTo(const ApplyCase& c, std::ostream* os) { *os << c.name; }

class LayoutApply : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(LayoutApply, MovesEachDifferenceOrRefusesBeforeTheFirst) {
    const ApplyCase& c = GetParam();
    g_moves.clear(), g_copies.clear(), g_fail_move = -1, g_copy_result = 0, upgrader_kernel_only = 0;
    env_info env[ENV_INFO_NUM] = {}, table[MTD_LAYOUT_ENTRIES] = {};
    snprintf(env[0].name, sizeof env[0].name, "SW_OEM");  // other variables come first
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        env_info& e = env[i + 1];
        snprintf(e.name, sizeof e.name, "mtd%d", i);
        e.start_addr = 0x90000000u + static_cast<uint32_t>(i) * 0x100000u;
        // The environment and configuration windows have their copies' sizes.
        e.end_addr = e.start_addr + (i == 3 ? MTD_ENV_COPY_SIZE : i == 4 ? MTD_CONFIG_COPY_SIZE : 0x100000u);
        table[i] = e;
    }
    for (int i : c.differ) table[i].start_addr += 0x10000u, table[i].end_addr += 0x10000u;
    if (c.arm != nullptr) c.arm(env, table);
    g_table = table;
    env_info want[ENV_INFO_NUM];
    memcpy(want, env, sizeof env);
    for (int i : c.moves)
        if (i != g_fail_move) want[i + 1] = table[i];  // the environment follows each move
    EXPECT_EQ(mtd_layout_apply(env, table, c.support, RecordMove, RecordCopy), c.rc);
    EXPECT_EQ(g_moves, c.moves);
    EXPECT_EQ(g_copies, std::vector<size_t>(c.copies, 0));
    EXPECT_EQ(upgrader_kernel_only, c.kernel_only);
    EXPECT_EQ(memcmp(want, env, sizeof env), 0);
}

const ApplyCase kApplyCases[] = {
    {"identical", {}, 1, 0, {}, 0, 0},
    {"identical_without_support", {}, 0, 0, {}, 0, 0},
    {"mtd3_without_support_copies_nothing", {3}, 0, 0, {}, 1, 0},
    {"mtd3_and_mtd5", {3, 5}, 1, 0, {3, 5}, 0, 1},
    // A loop that stopped one entry early would pass every other case.
    {"only_the_last_entry_differs", {6}, 1, 0, {6}, 0, 0},
    {"only_the_last_entry_differs_without_support", {6}, 0, 0, {}, 1, 0},
    // What could not be restored after a move refuses the layout first.
    {"copies_not_good", {1, 3}, 1, -1, {}, 0, 1, [](env_info*, env_info*) { g_copy_result = -1; }},
    {"configuration_window_larger", {1, 4}, 1, -1, {}, 0, 0, [](env_info*, env_info* t) { t[4].end_addr += 0x10000; }},
    {"configuration_window_smaller", {1, 4}, 1, -1, {}, 0, 0, [](env_info*, env_info* t) { t[4].end_addr -= 0x10000; }},
    {"mtd6_not_in_the_environment", {1}, 1, -1, {}, 0, 0, [](env_info* e, env_info*) { e[7].name[0] = 0; }},
    // A failed move stops; earlier moves stay.
    {"move_of_mtd4_fails", {1, 4, 6}, 1, -1, {1, 4}, 0, 1, [](env_info*, env_info*) { g_fail_move = 4; }},
};

INSTANTIATE_TEST_SUITE_P(Cases, LayoutApply, ::testing::ValuesIn(kApplyCases),
                         [](const ::testing::TestParamInfo<ApplyCase>& p) { return std::string(p.param.name); });

}  // namespace
