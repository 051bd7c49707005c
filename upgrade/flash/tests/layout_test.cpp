// Layout values, layout files and the comparison that decides what moves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "mtd_layout.h"
#include "readable.h"
#include "temp_dir.h"
#include "upgrade_flags.h"

namespace {

std::string Hex(uint32_t v) {
    char text[16];
    snprintf(text, sizeof text, "%x", v);
    return text;
}

struct ParseCase {
    const char* value;
    int result;
    uint32_t start, end;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.value << '"'; }

class LayoutParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(LayoutParse, AcceptsOnlyTwoAlignedNumbersInsideTheWindow) {
    const ParseCase& c = GetParam();
    uint32_t start = 0x11111111u, end = 0x22222222u;
    EXPECT_EQ(mtd_layout_parse(c.value, &start, &end), c.result) << c.value;
    if (c.result == 0) {
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(end, c.end);
    } else {
        EXPECT_EQ(start, 0x11111111u);  // refused values change nothing
        EXPECT_EQ(end, 0x22222222u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, LayoutParse,
    ::testing::Values(ParseCase{"90000000,90010000", 0, 0x90000000u, 0x90010000u},
                      ParseCase{"0x90020000,0x90800000", 0, 0x90020000u, 0x90800000u},
                      ParseCase{"90020000, 90030000", 0, 0x90020000u, 0x90030000u},
                      ParseCase{"90010000,90010000", -1, 0, 0},   // empty range
                      ParseCase{"90020000,90010000", -1, 0, 0},   // reversed
                      ParseCase{"90000100,90010000", -1, 0, 0},   // start unaligned
                      ParseCase{"90000000,9001fff0", -1, 0, 0},   // end unaligned
                      ParseCase{"90000000,90018000", -1, 0, 0},   // end on half a block
                      ParseCase{"90008000,90010000", -1, 0, 0},   // start on half a block
                      ParseCase{"90000000,90810000", -1, 0, 0},   // end above the window
                      ParseCase{"8fff0000,90010000", -1, 0, 0},   // start below the window
                      ParseCase{"10000,20000", -1, 0, 0},         // flash offsets, not addresses
                      ParseCase{"90000000", -1, 0, 0},            // one number
                      ParseCase{"90000000,", -1, 0, 0},           // one number and a comma
                      ParseCase{"", -1, 0, 0},                    // nothing
                      ParseCase{"zz,90010000", -1, 0, 0}),        // not a number
    [](const auto& p) { return ReadableName(p.index, p.param.value); });

// Layout files: all seven entries or nothing.
const char* kGoodLayout =
    "[mtd]\n"
    "mtd0=90000000,90020000\n"
    "mtd1=90020000,90100000\n"
    "mtd2=90100000,90500000\n"
    "mtd3=90500000,90510000\n"
    "mtd4=90510000,90590000\n"
    "mtd5=90590000,90700000\n"
    "mtd6=90700000,90800000\n";

TEST(LayoutFile, ReadsAllSevenEntriesOrRefusesTheWholeFile) {
    TempDir dir("flash_layout");
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("mtd.conf");
    const std::pair<const char*, const char*> edits[] = {  // line replaced
        {"", ""},                                             // the good file
        {"mtd6=90700000,90800000\n", ""},
        {"mtd0=90000000,90020000\n", "mtd0=90000000\n"},
        {"mtd4=90510000,90590000\n", "mtd4=90500000\n"},  // would pass with mtd3's end left over
        {"mtd4=90510000,90590000\n", "mtd4=90510000,90590100\n"},
        {"mtd6=90700000,90800000\n", "mtd6=90700000,90900000\n"},
        {"mtd2=90100000,90500000\n", "mtd2=90500000,90100000\n"},
        {"[mtd]\n", "[mtds]\n"},
    };
    for (const auto& [from, to] : edits) {
        std::string text = kGoodLayout;
        text.replace(text.find(from), strlen(from), to);
        ASSERT_TRUE(TempDir::write(path, text));
        env_info table[MTD_LAYOUT_ENTRIES];
        memset(table, 0x5A, sizeof table);
        const int rc = mtd_layout_read(path.c_str(), table);
        EXPECT_EQ(rc, *from == '\0' ? 0 : -1) << from << " -> " << to;
        if (rc != 0) continue;
        std::string got;
        for (const env_info& e : table) got += std::string(e.name) + "=" + Hex(e.start_addr) + "," + Hex(e.end_addr) + "\n";
        EXPECT_EQ("[mtd]\n" + got, kGoodLayout);
    }
    env_info table[MTD_LAYOUT_ENTRIES];
    EXPECT_EQ(mtd_layout_read(dir.file("absent.conf").c_str(), table), -1);
}

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

class LayoutApply : public ::testing::TestWithParam<ApplyCase> {
protected:
    void SetUp() override {
        g_moves.clear();
        g_copies.clear();
        g_fail_move = -1;
        g_copy_result = 0;
        upgrader_kernel_only = 0;
    }
    void TearDown() override { upgrader_kernel_only = 0; }
};

TEST_P(LayoutApply, MovesEachDifferenceOrRefusesBeforeTheFirst) {
    const ApplyCase& c = GetParam();
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

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutApply,
    ::testing::Values(
        ApplyCase{"identical", {}, 1, 0, {}, 0, 0},
        ApplyCase{"identical_without_support", {}, 0, 0, {}, 0, 0},
        ApplyCase{"mtd2_without_support", {2}, 0, 0, {}, 1, 0},
        ApplyCase{"mtd0_and_mtd6_without_support", {0, 6}, 0, 0, {}, 1, 0},
        ApplyCase{"mtd3_without_support_copies_nothing", {3}, 0, 0, {}, 1, 0},
        ApplyCase{"mtd3_and_mtd5", {3, 5}, 1, 0, {3, 5}, 0, 1},
        // A loop that stopped one entry early would pass every other case.
        ApplyCase{"only_the_last_entry_differs", {6}, 1, 0, {6}, 0, 0},
        ApplyCase{"only_the_last_entry_differs_without_support", {6}, 0, 0, {}, 1, 0},
        // What could not be restored after a move refuses the layout first.
        ApplyCase{"copies_not_good", {1, 3}, 1, -1, {}, 0, 1, [](env_info*, env_info*) { g_copy_result = -1; }},
        ApplyCase{"configuration_window_larger", {1, 4}, 1, -1, {}, 0, 0,
                  [](env_info*, env_info* layout) { layout[4].end_addr += 0x10000; }},
        ApplyCase{"configuration_window_smaller", {1, 4}, 1, -1, {}, 0, 0,
                  [](env_info*, env_info* layout) { layout[4].end_addr -= 0x10000; }},
        ApplyCase{"mtd6_not_in_the_environment", {1}, 1, -1, {}, 0, 0, [](env_info* e, env_info*) { e[7].name[0] = 0; }},
        // A failed move stops; earlier moves stay.
        ApplyCase{"move_of_mtd4_fails", {1, 4, 6}, 1, -1, {1, 4}, 0, 1, [](env_info*, env_info*) { g_fail_move = 4; }}),
    [](const ::testing::TestParamInfo<ApplyCase>& p) { return std::string(p.param.name); });

}  // namespace
