// Host tests of the environment reader's pure parts: listing lines, appended
// entries and the software version text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "env.h"
#include "param_name.h"
#include "rl_log.h"
#include "syslog_capture.h"

namespace {

struct Table {
    env_info e[ENV_INFO_NUM] = {};
    unsigned Count() const { return env_count(e); }
};

Table Parse(const std::string& listing) {
    Table t;
    env_parse_listing(t.e, listing.data(), listing.size());
    return t;
}

struct TextCase {
    const char* what;
    std::string listing;
    std::vector<std::pair<std::string, std::string>> entries;  // in table order
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.what; }

class ListingText : public ::testing::TestWithParam<TextCase> {};

// An entry's value as the test states it: "0xSTART,0xEND" for an mtd name.
std::string Value(const env_info& e) {
    if (strncmp(e.name, "mtd", 3) != 0 || e.name[4] != '\0') return e.value;
    char range[32];
    snprintf(range, sizeof range, "0x%x,0x%x", e.start_addr, e.end_addr);
    return range;
}

TEST_P(ListingText, StoresExactlyTheAcceptedEntries) {
    const TextCase& c = GetParam();
    Table t = Parse(c.listing);
    ASSERT_EQ(t.Count(), c.entries.size());
    for (size_t i = 0; i < c.entries.size(); ++i) {
        EXPECT_STREQ(t.e[i].name, c.entries[i].first.c_str()) << i;
        EXPECT_EQ(Value(t.e[i]), c.entries[i].second) << i;
    }
}

const std::string k99(99, '7'), k100(100, '7'), kNext = "\nMID_VERSION 1\n";
using E = std::vector<std::pair<std::string, std::string>>;

INSTANTIATE_TEST_SUITE_P(
    Lines, ListingText,
    ::testing::Values(
        TextCase{"listing order kept",
                 "SW_protect 1\nMID_VERSION 0\nSW_OEM 12\nMtd2Version 1.0.0.1\n",
                 E{{"SW_protect", "1"}, {"MID_VERSION", "0"}, {"SW_OEM", "12"},
                   {"Mtd2Version", "1.0.0.1"}}},
        TextCase{"unlisted and wrong-case names skipped", "HWA 3\nsw_oem 5\nSW_OEMX 4\nSW_OEM 6\n",
                 E{{"SW_OEM", "6"}}},
        TextCase{"two blanks keep a leading blank", "SW_OEM  5\n", E{{"SW_OEM", " 5"}}},
        TextCase{"tab separates", "SW_OEM\t7\n", E{{"SW_OEM", "7"}}},
        TextCase{"further blanks stay", "Mtd2Version 1.0 x\t\n", E{{"Mtd2Version", "1.0 x\t"}}},
        TextCase{"listed twice gives two", "SW_OEM 1\nSW_OEM 2\n",
                 E{{"SW_OEM", "1"}, {"SW_OEM", "2"}}},
        TextCase{"missing final newline loses the last line", "SW_OEM 1\nMID_VERSION 1",
                 E{{"SW_OEM", "1"}}},
        TextCase{"line without blank is invalid", "SW_OEM\nSW_protect 0\n", E{{"SW_protect", "0"}}},
        TextCase{"empty value is stored", "SW_OEM \n", E{{"SW_OEM", ""}}},
        TextCase{"value of 99 characters kept", "SW_OEM " + k99 + "\n", E{{"SW_OEM", k99}}},
        TextCase{"value of 100 characters refused", "SW_OEM " + k100 + kNext,
                 E{{"MID_VERSION", "1"}}},
        TextCase{"overlong line refused", "SW_OEM " + std::string(5000, 'x') + kNext,
                 E{{"MID_VERSION", "1"}}},
        // A reader that cut long lines into pieces would store the tail as a line.
        TextCase{"line of 150 is one line", std::string(142, 'A') + "SW_OEM 9" + kNext,
                 E{{"MID_VERSION", "1"}}},
        TextCase{"line of 308 is one line", std::string(300, 'A') + "SW_OEM 9" + kNext,
                 E{{"MID_VERSION", "1"}}},
        TextCase{"NUL ends the text of a line",
                 std::string("SW_OEM 4\0junk\nMID_VERSION\0 1\n", 29), E{{"SW_OEM", "4"}}},
        TextCase{"empty lines and blank lines ignored", "\n \n\t\nSW_OEM 2\n", E{{"SW_OEM", "2"}}},
        TextCase{"mtd range", "mtd3 0x90010000,0x90020000\n", E{{"mtd3", "0x90010000,0x90020000"}}},
        TextCase{"mtd range without 0x", "mtd3 90030000,900A0000\n",
                 E{{"mtd3", "0x90030000,0x900a0000"}}},
        TextCase{"mtd range 0X", "mtd3 0X10,20 trailing\n", E{{"mtd3", "0x10,0x20"}}},
        TextCase{"mtd0 and mtd8 are ranges, mtd9 not kept", "mtd0 1,2\nmtd8 abc,0xdef\nmtd9 5,6\n",
                 E{{"mtd0", "0x1,0x2"}, {"mtd8", "0xabc,0xdef"}}},
        TextCase{"mtd without value not stored", "mtd3 \nmtd4    \nSW_OEM 1\n", E{{"SW_OEM", "1"}}},
        TextCase{"mtd half or unreadable range is 0,0",
                 "mtd3 zz\nmtd4 0x90000000\nmtd5 1;2\nmtd6 ,0x10\n",
                 E{{"mtd3", "0x0,0x0"}, {"mtd4", "0x0,0x0"}, {"mtd5", "0x0,0x0"},
                   {"mtd6", "0x0,0x0"}}}),
    [](const auto& tp) { return coord_testing::ParamName(tp.index, tp.param.what); });

// Which limit refuses a line: 49 + 1 + 99 = 149 characters pass every test
// (ListingText), a line of 150 is refused as a line before its name or value
// is looked at.
TEST(Listing, LogsTheLimitThatRefusesALine) {
    const std::string listing = std::string(49, 'B') + " " + k100 + "\nSW_OEM " + k100 + "\n" +
                                std::string(50, 'C') + " 1\nSW_OEM\n";
    SyslogCapture cap = run_capturing_syslog([&] {
        rl_log_init("upgrader", 3);
        Parse(listing);
    });
    ASSERT_TRUE(cap.ok) << cap.error;
    std::vector<std::string> texts;
    for (const std::string& m : cap.messages()) texts.push_back(m.substr(m.find(": ") + 2));
    EXPECT_EQ(texts, (std::vector<std::string>{"env data too long\n", "env value too long\n",
                                               "env name too long\n", "invalid env\n"}));
}

TEST(Listing, ThirtyFirstEntryIsDroppedAndNothingWrittenPastTheTable) {
    struct {
        env_info e[ENV_INFO_NUM + 1];
    } guarded = {};
    memset(&guarded.e[ENV_INFO_NUM], 0x5A, sizeof(env_info));
    std::string listing;
    for (int i = 0; i < 31; ++i) listing += "SW_OEM " + std::to_string(i) + "\n";
    listing += "MID_VERSION 9\n";
    env_parse_listing(guarded.e, listing.data(), listing.size());
    EXPECT_EQ(env_count(guarded.e), 30u);
    EXPECT_STREQ(guarded.e[29].value, "29");
    for (size_t i = 0; i < sizeof(env_info); ++i)
        ASSERT_EQ(reinterpret_cast<unsigned char*>(&guarded.e[ENV_INFO_NUM])[i], 0x5A);
    EXPECT_EQ(env_add_text(guarded.e, "RomVersion", "1.0.0.1"), -1);
    EXPECT_EQ(env_count(guarded.e), 30u);
}

TEST(Listing, LineReaderNeverOverrunsItsBuffer) {
    struct {
        env_line_reader r;
        char guard[16];
    } g{};
    memset(g.guard, 0x5A, sizeof g.guard);
    env_info e[ENV_INFO_NUM] = {};
    for (int i = 0; i < 100000; ++i) env_listing_feed(e, &g.r, 'x');
    env_listing_feed(e, &g.r, '\n');
    for (char ch : g.guard) ASSERT_EQ(ch, 0x5A);
    EXPECT_EQ(g.r.len, 0u);
    EXPECT_EQ(env_count(e), 0u);
}

TEST(AddText, CutsNameAndValueToTheirFields) {
    Table t;
    std::string name(60, 'N'), value(150, 'v');
    ASSERT_EQ(env_add_text(t.e, name.c_str(), value.c_str()), 0);
    EXPECT_EQ(strlen(t.e[0].name), ENV_NAME_SIZE - 1u);
    EXPECT_EQ(std::string(t.e[0].value), std::string(ENV_VALUE_SIZE - 1, 'v'));
    ASSERT_EQ(env_add_text(t.e, "Mtd1Version", "1.2"), 0);
    EXPECT_STREQ(t.e[1].name, "Mtd1Version");
    EXPECT_EQ(env_add_text(nullptr, "a", "b"), -1);
    EXPECT_EQ(env_add_text(t.e, nullptr, "b"), -1);
    EXPECT_EQ(env_add_text(t.e, "a", nullptr), -1);
    EXPECT_EQ(t.Count(), 2u);
}

// The software version is the text before the first comma, cut to the field;
// a line without a comma or a missing argument is refused.
TEST(Software, TakesTheTextBeforeTheFirstComma) {
    const struct {
        std::string line;
        int result;
        std::string version;
    } cases[] = {
        {"1.2.3.4,20261206\n", 0, "1.2.3.4"}, {"1.2,3,4", 0, "1.2"}, {",x", 0, ""},
        {"1.2.3.4\n", -88, ""}, {"", -88, ""},
        {std::string(120, '9') + ",b", 0, std::string(99, '9')},
        {std::string(99, '8') + ",", 0, std::string(99, '8')},
    };
    for (const auto& c : cases) {
        char out[ENV_VALUE_SIZE];
        memset(out, '#', sizeof out);
        ASSERT_EQ(env_software_version(c.line.c_str(), out, sizeof out), c.result) << c.line;
        if (c.result == 0) {
            EXPECT_EQ(std::string(out), c.version) << c.line;
        }
    }
    char out[8];
    EXPECT_EQ(env_software_version(nullptr, out, sizeof out), -88);
    EXPECT_EQ(env_software_version("1,2", nullptr, sizeof out), -88);
    EXPECT_EQ(env_software_version("1,2", out, 0), -88);
}

}  // namespace
