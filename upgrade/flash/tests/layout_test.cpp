// Layout values, layout files and the comparison that decides what moves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "mtd_layout.h"
#include "readable.h"
#include "temp_dir.h"
#include "upgrade_flags.h"

namespace {

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

// A layout file in a private temporary folder.
class LayoutFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }
    void Write(const std::string& text) { ASSERT_TRUE(TempDir::write(path_, text)); }
    TempDir dir_{"flash_layout"};
    std::string path_ = dir_.file("mtd.conf");
};

const char* kGoodLayout =
    "[mtd]\n"
    "mtd0=90000000,90020000\n"
    "mtd1=90020000,90100000\n"
    "mtd2=90100000,90500000\n"
    "mtd3=90500000,90510000\n"
    "mtd4=90510000,90590000\n"
    "mtd5=90590000,90700000\n"
    "mtd6=90700000,90800000\n";

TEST_F(LayoutFile, ReadsAllSevenEntriesInOrder) {
    Write(kGoodLayout);
    env_info table[MTD_LAYOUT_ENTRIES];
    memset(table, 0x5A, sizeof table);
    ASSERT_EQ(mtd_layout_read(path_.c_str(), table), 0);
    const uint32_t bounds[] = {0x90000000u, 0x90020000u, 0x90100000u, 0x90500000u,
                               0x90510000u, 0x90590000u, 0x90700000u, 0x90800000u};
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        EXPECT_EQ(std::string(table[i].name), "mtd" + std::to_string(i));
        EXPECT_EQ(table[i].start_addr, bounds[i]);
        EXPECT_EQ(table[i].end_addr, bounds[i + 1]);
    }
}

TEST_F(LayoutFile, RefusesTheWholeFileForOneBadOrMissingEntry) {
    struct Case {
        const char* what;
        std::pair<const char*, const char*> edit;  // line replaced
    } cases[] = {
        {"mtd6 missing", {"mtd6=90700000,90800000\n", ""}},
        {"mtd0 one number", {"mtd0=90000000,90020000\n", "mtd0=90000000\n"}},
        // With the end left over from mtd3 this would pass as a valid range.
        {"mtd4 one number", {"mtd4=90510000,90590000\n", "mtd4=90500000\n"}},
        {"mtd4 unaligned end", {"mtd4=90510000,90590000\n", "mtd4=90510000,90590100\n"}},
        {"mtd6 past the window", {"mtd6=90700000,90800000\n", "mtd6=90700000,90900000\n"}},
        {"mtd2 reversed", {"mtd2=90100000,90500000\n", "mtd2=90500000,90100000\n"}},
        {"other section", {"[mtd]\n", "[mtds]\n"}},
    };
    for (const Case& c : cases) {
        std::string text = kGoodLayout;
        text.replace(text.find(c.edit.first), strlen(c.edit.first), c.edit.second);
        Write(text);
        env_info table[MTD_LAYOUT_ENTRIES];
        EXPECT_EQ(mtd_layout_read(path_.c_str(), table), -1) << c.what;
    }
    env_info table[MTD_LAYOUT_ENTRIES];
    EXPECT_EQ(mtd_layout_read(dir_.file("absent.conf").c_str(), table), -1);
}

// The comparison, with recording stand-ins for the move and the copies.
std::vector<std::pair<int, std::pair<uint32_t, uint32_t>>> g_moves;
int g_fail_move = -1;
int g_copy_result = 0;
std::vector<size_t> g_copies;  // moves made before each call of the copy

int RecordMove(int mtd, env_info* entry) {
    g_moves.push_back({mtd, {entry->start_addr, entry->end_addr}});
    return mtd == g_fail_move ? -1 : 0;
}

int RecordCopy() {
    g_copies.push_back(g_moves.size());
    return g_copy_result;
}

class LayoutApply : public ::testing::Test {
protected:
    void SetUp() override {
        g_moves.clear();
        g_copies.clear();
        g_fail_move = -1;
        g_copy_result = 0;
        upgrader_kernel_only = 0;
        memset(env_, 0, sizeof env_);
        memset(table_, 0, sizeof table_);
        // The device environment lists some other variables first.
        snprintf(env_[0].name, sizeof env_[0].name, "SW_OEM");
        for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
            env_info& e = env_[i + 1];
            snprintf(e.name, sizeof e.name, "mtd%d", i);
            e.start_addr = 0x90000000u + static_cast<uint32_t>(i) * 0x100000u;
            // The environment and configuration windows have their copies' sizes.
            e.end_addr = e.start_addr + (i == 3 ? MTD_ENV_COPY_SIZE : i == 4 ? MTD_CONFIG_COPY_SIZE : 0x100000u);
            table_[i] = e;
        }
    }
    void TearDown() override { upgrader_kernel_only = 0; }
    void Differ(int i) {
        table_[i].start_addr += 0x10000u;
        table_[i].end_addr += 0x10000u;
    }
    int Apply(int support) { return mtd_layout_apply(env_, table_, support, RecordMove, RecordCopy); }
    env_info env_[ENV_INFO_NUM];
    env_info table_[MTD_LAYOUT_ENTRIES];
};

TEST_F(LayoutApply, NothingMovesForAnIdenticalLayoutOrWithoutSupport) {
    struct Case {
        std::vector<int> differ;
        int support;
        int kernel_only;
    } cases[] = {
        {{}, 1, 0},      // identical, support or not
        {{}, 0, 0},
        {{2}, 0, 1},     // only mtd2 differs, no support
        {{0, 6}, 0, 1},  // the first difference ends the comparison
        {{3}, 0, 1},     // nothing moves, so nothing is copied
    };
    for (const Case& c : cases) {
        SetUp();
        for (int i : c.differ) Differ(i);
        env_info before[ENV_INFO_NUM];
        memcpy(before, env_, sizeof env_);
        EXPECT_EQ(Apply(c.support), 0);
        EXPECT_TRUE(g_moves.empty());
        EXPECT_TRUE(g_copies.empty());
        EXPECT_EQ(upgrader_kernel_only, c.kernel_only) << c.differ.size() << "/" << c.support;
        EXPECT_EQ(memcmp(before, env_, sizeof env_), 0);
    }
}

TEST_F(LayoutApply, WithSupportMovesEachDifferenceInOrderAndFollowsInTheEnvironment) {
    Differ(3);
    Differ(5);
    EXPECT_EQ(Apply(1), 0);
    ASSERT_EQ(g_moves.size(), 2u);
    EXPECT_EQ(g_moves[0].first, 3);
    EXPECT_EQ(g_moves[0].second, std::make_pair(table_[3].start_addr, table_[3].end_addr));
    EXPECT_EQ(g_moves[1].first, 5);
    for (int i : {3, 5}) {
        EXPECT_EQ(env_[i + 1].start_addr, table_[i].start_addr);
        EXPECT_EQ(env_[i + 1].end_addr, table_[i].end_addr);
    }
    EXPECT_EQ(upgrader_kernel_only, 0);
    EXPECT_EQ(g_copies, std::vector<size_t>{0});  // once, before the first move
}

// The last entry is compared too: a layout where only mtd6 differs moves it,
// or (without support) asks for a kernel-only burn.
TEST_F(LayoutApply, OnlyTheLastEntryDiffers) {
    Differ(6);
    EXPECT_EQ(Apply(1), 0);
    ASSERT_EQ(g_moves.size(), 1u);
    EXPECT_EQ(g_moves[0].first, 6);
    EXPECT_EQ(env_[7].start_addr, table_[6].start_addr);
    EXPECT_EQ(env_[7].end_addr, table_[6].end_addr);
    EXPECT_TRUE(g_copies.empty());  // neither mtd3 nor mtd4 moves
    SetUp();
    Differ(6);
    EXPECT_EQ(Apply(0), 0);
    EXPECT_TRUE(g_moves.empty());
    EXPECT_EQ(upgrader_kernel_only, 1);
}

// What cannot be restored after a move refuses the layout before anything
// moves: the environment or configuration not saved, a moved window that
// cannot hold its saved copy, an entry the device environment lacks.
TEST_F(LayoutApply, RefusesBeforeTheFirstMove) {
    struct Case {
        const char* what;
        std::vector<int> differ;
        int copy_result;
        int mtd4_end_delta;  // added to mtd4's new end
        bool drop_mtd6;
        size_t copies;
    } cases[] = {
        {"copies not good", {1, 3}, -1, 0, false, 1},
        {"configuration window larger", {1, 4}, 0, 0x10000, false, 0},
        {"configuration window smaller", {1, 4}, 0, -0x10000, false, 0},
        {"mtd6 not in the environment", {1}, 0, 0, true, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        for (int i : c.differ) Differ(i);
        table_[4].end_addr += static_cast<uint32_t>(c.mtd4_end_delta);
        g_copy_result = c.copy_result;
        if (c.drop_mtd6) env_[7].name[0] = '\0';
        env_info before[ENV_INFO_NUM];
        memcpy(before, env_, sizeof env_);
        EXPECT_EQ(Apply(1), -1) << c.what;
        EXPECT_TRUE(g_moves.empty()) << c.what;
        EXPECT_EQ(g_copies.size(), c.copies) << c.what;
        EXPECT_EQ(memcmp(before, env_, sizeof env_), 0) << c.what;
    }
}

TEST_F(LayoutApply, AFailedMoveStopsAndKeepsEarlierMoves) {
    Differ(1);
    Differ(4);
    Differ(6);
    g_fail_move = 4;
    const uint32_t old4 = env_[5].start_addr;
    EXPECT_EQ(Apply(1), -1);
    ASSERT_EQ(g_moves.size(), 2u);
    EXPECT_EQ(env_[2].start_addr, table_[1].start_addr);
    EXPECT_EQ(env_[5].start_addr, old4);
    EXPECT_NE(env_[7].start_addr, table_[6].start_addr);
}

}  // namespace
