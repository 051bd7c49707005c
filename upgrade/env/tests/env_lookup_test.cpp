// Host tests of the table lookup and of the text check behind do_set_env.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "env.h"

namespace {

void Put(env_info* e, unsigned i, const char* name) { strcpy(e[i].name, name); }

TEST(GetMtdInfo, FindsTheFirstEntryOfAName) {
    env_info e[ENV_INFO_NUM] = {};
    Put(e, 0, "SW_OEM");
    Put(e, 1, "mtd1");
    Put(e, 2, "mtd1");
    Put(e, 3, "Mtd1Version");
    struct {
        const char* name;
        int result;
        unsigned index;
    } cases[] = {
        {"SW_OEM", 0, 0}, {"mtd1", 0, 1},  {"Mtd1Version", 0, 3},
        {"", 0, 4},       {"MTD1", -1, 77}, {"mtd", -1, 77}, {"mtd1 ", -1, 77},
    };
    for (const auto& c : cases) {
        unsigned index = 77;
        EXPECT_EQ(get_mtd_info(e, c.name, &index), c.result) << c.name;
        EXPECT_EQ(index, c.index) << c.name;
    }
}

// All thirty entries are examined; null arguments and names too long for the
// field are refused without reading past an unterminated entry.
TEST(GetMtdInfo, ExaminesAllThirtyEntriesAndRefusesBadArguments) {
    env_info e[ENV_INFO_NUM] = {};
    for (unsigned i = 0; i < ENV_INFO_NUM; ++i) Put(e, i, ("v" + std::to_string(i)).c_str());
    unsigned index = 0;
    EXPECT_EQ(get_mtd_info(e, "v29", &index), 0);
    EXPECT_EQ(index, 29u);
    EXPECT_EQ(get_mtd_info(e, "", &index), -1);  // no free entry left
    memset(e[0].name, 'a', ENV_NAME_SIZE);     // unterminated field
    std::string longname(ENV_NAME_SIZE, 'a');
    EXPECT_EQ(get_mtd_info(nullptr, "a", &index), -1);
    EXPECT_EQ(get_mtd_info(e, nullptr, &index), -1);
    EXPECT_EQ(get_mtd_info(e, "a", nullptr), -1);
    EXPECT_EQ(get_mtd_info(e, longname.c_str(), &index), -1);
    EXPECT_EQ(index, 29u);
}

TEST(EnvStrValid, RefusesWhatTheShellWouldInterpretOrWhatBreaksTheLine) {
    struct {
        const char* text;
        int valid;
    } cases[] = {
        {"SW_protect", 1}, {"0", 1},      {"4294967295", 1}, {"", 1},         {"a b", 1},
        {"a\"b", 0},       {"a\\b", 0},   {"$(reboot)", 0},  {"`reboot`", 0}, {"1\n2", 0},
        {"1\r", 0},        {"\t", 0},     {"\x1b[0m", 0},    {"\x7f", 0},     {"é", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(env_str_valid(c.text), c.valid) << c.text;
    EXPECT_EQ(env_str_valid(nullptr), 0);
}

}  // namespace
