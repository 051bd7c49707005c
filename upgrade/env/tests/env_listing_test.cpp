// Host tests of the environment reader's pure parts: listing lines, appended
// entries and the software version text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "env.h"
#include "param_name.h"

namespace {

struct Table {
    env_info e[ENV_INFO_NUM] = {};
    unsigned Count() const { return env_count(e); }
    const env_info* Find(const char* name) const {
        unsigned i = 0;
        return get_mtd_info(e, name, &i) == 0 ? &e[i] : nullptr;
    }
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

TEST_P(ListingText, StoresExactlyTheAcceptedTextEntries) {
    const TextCase& c = GetParam();
    Table t = Parse(c.listing);
    ASSERT_EQ(t.Count(), c.entries.size());
    for (size_t i = 0; i < c.entries.size(); ++i) {
        EXPECT_STREQ(t.e[i].name, c.entries[i].first.c_str()) << i;
        EXPECT_STREQ(t.e[i].value, c.entries[i].second.c_str()) << i;
    }
}

const std::string k99(99, '7');
const std::string k100(100, '7');

INSTANTIATE_TEST_SUITE_P(
    Lines, ListingText,
    ::testing::Values(
        TextCase{"listing order kept",
                 "SW_protect 1\nMID_VERSION 0\nSW_OEM 12\nMtd2Version 1.0.0.1\n",
                 {{"SW_protect", "1"}, {"MID_VERSION", "0"}, {"SW_OEM", "12"},
                  {"Mtd2Version", "1.0.0.1"}}},
        TextCase{"unlisted and wrong-case names skipped",
                 "HWA 3\nsw_oem 5\nSW_OEMX 4\nSW_OEM 6\n", {{"SW_OEM", "6"}}},
        TextCase{"two blanks keep a leading blank", "SW_OEM  5\n", {{"SW_OEM", " 5"}}},
        TextCase{"tab separates", "SW_OEM\t7\n", {{"SW_OEM", "7"}}},
        TextCase{"further blanks stay in the value", "Mtd2Version 1.0 x\t\n",
                 {{"Mtd2Version", "1.0 x\t"}}},
        TextCase{"listed twice gives two entries", "SW_OEM 1\nSW_OEM 2\n",
                 {{"SW_OEM", "1"}, {"SW_OEM", "2"}}},
        TextCase{"missing final newline loses the last line", "SW_OEM 1\nMID_VERSION 1",
                 {{"SW_OEM", "1"}}},
        TextCase{"line without blank is invalid", "SW_OEM\nSW_protect 0\n",
                 {{"SW_protect", "0"}}},
        TextCase{"empty value is stored", "SW_OEM \n", {{"SW_OEM", ""}}},
        TextCase{"value of 99 characters kept", "SW_OEM " + k99 + "\n", {{"SW_OEM", k99}}},
        TextCase{"value of 100 characters refused", "SW_OEM " + k100 + "\nSW_protect 1\n",
                 {{"SW_protect", "1"}}},
        TextCase{"overlong line refused, next line read",
                 "SW_OEM " + std::string(5000, 'x') + "\nMID_VERSION 1\n",
                 {{"MID_VERSION", "1"}}},
        TextCase{"empty lines and blank lines ignored", "\n \n\t\nSW_OEM 2\n",
                 {{"SW_OEM", "2"}}}),
    [](const auto& tp) {
        std::string n = tp.param.what;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

struct MtdCase {
    const char* value;  // text after "mtd3 "
    bool stored;
    uint32_t start, end;
};

void PrintTo(const MtdCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.value));
}

class ListingMtd : public ::testing::TestWithParam<MtdCase> {};

TEST_P(ListingMtd, ReadsTheFlashRange) {
    const MtdCase& c = GetParam();
    Table t = Parse(std::string("mtd3 ") + c.value + "\nSW_OEM 1\n");
    const env_info* m = t.Find("mtd3");
    ASSERT_EQ(m != nullptr, c.stored);
    ASSERT_NE(t.Find("SW_OEM"), nullptr);  // reading goes on after the line
    if (!c.stored) return;
    EXPECT_EQ(m->start_addr, c.start);
    EXPECT_EQ(m->end_addr, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ListingMtd,
    ::testing::Values(MtdCase{"0x90010000,0x90020000", true, 0x90010000u, 0x90020000u},
                      MtdCase{"90030000,900A0000", true, 0x90030000u, 0x900A0000u},
                      MtdCase{"0X10,20", true, 0x10u, 0x20u},
                      MtdCase{"abc,0xdef trailing", true, 0xabcu, 0xdefu},
                      MtdCase{"", false, 0, 0}, MtdCase{"   ", false, 0, 0},
                      MtdCase{"zz", true, 0, 0}, MtdCase{"0x90000000", true, 0, 0},
                      MtdCase{"0x90000000;0x90010000", true, 0, 0},
                      MtdCase{",0x10", true, 0, 0}),
    [](const auto& p) { return coord_testing::ParamName(p.index, p.param.value); });

TEST(Listing, EveryMtdNameIsARange) {
    std::string listing;
    for (int i = 0; i <= 8; ++i)
        listing += "mtd" + std::to_string(i) + " " + std::to_string(i) + "0," +
                   std::to_string(i) + "f\n";
    listing += "mtd9 1,2\n";  // not a kept variable
    Table t = Parse(listing);
    ASSERT_EQ(t.Count(), 9u);
    for (unsigned i = 0; i <= 8; ++i) {
        EXPECT_EQ(t.e[i].start_addr, i * 16 + 0) << i;
        EXPECT_EQ(t.e[i].end_addr, i * 16 + 15) << i;
    }
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

TEST(Listing, OverlongLineIsOneLineWhateverItsLength) {
    // A reader that cut long lines into pieces would store the tail as a line.
    for (size_t filler : {148u, 149u, 150u, 151u, 152u, 300u}) {
        Table t = Parse(std::string(filler, 'A') + "SW_OEM 9\nMID_VERSION 1\n");
        ASSERT_EQ(t.Count(), 1u) << filler;
        EXPECT_STREQ(t.e[0].name, "MID_VERSION") << filler;
    }
}

TEST(Listing, EmbeddedNulEndsTheTextOfTheLine) {
    const char listing[] = "SW_OEM 4\0junk\nMID_VERSION\0 1\n";
    Table t;
    env_parse_listing(t.e, listing, sizeof listing - 1);
    ASSERT_EQ(t.Count(), 1u);
    EXPECT_STREQ(t.e[0].value, "4");
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

struct SoftwareCase {
    std::string line;
    int result;
    std::string version;
};

void PrintTo(const SoftwareCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.line); }

class Software : public ::testing::TestWithParam<SoftwareCase> {};

TEST_P(Software, TakesTheTextBeforeTheFirstComma) {
    const SoftwareCase& c = GetParam();
    char out[ENV_VALUE_SIZE];
    memset(out, '#', sizeof out);
    ASSERT_EQ(env_software_version(c.line.c_str(), out, sizeof out), c.result);
    if (c.result == 0) {
        EXPECT_EQ(std::string(out), c.version);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Software,
    ::testing::Values(SoftwareCase{"1.2.3.4,20261206\n", 0, "1.2.3.4"},
                      SoftwareCase{"1.2,3,4", 0, "1.2"}, SoftwareCase{",x", 0, ""},
                      SoftwareCase{"1.2.3.4\n", -88, ""}, SoftwareCase{"", -88, ""},
                      SoftwareCase{std::string(120, '9') + ",b", 0, std::string(99, '9')},
                      SoftwareCase{std::string(99, '8') + ",", 0, std::string(99, '8')}),
    [](const auto& p) { return coord_testing::ParamName(p.index, p.param.line); });

TEST(Software, RefusesMissingArguments) {
    char out[8];
    EXPECT_EQ(env_software_version(nullptr, out, sizeof out), -88);
    EXPECT_EQ(env_software_version("1,2", nullptr, sizeof out), -88);
    EXPECT_EQ(env_software_version("1,2", out, 0), -88);
}

}  // namespace
