// Host tests of the package check's pure decisions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "check_rules.h"
#include "upd_msg.h"

namespace {

TEST(VersionText, MostSignificantByteFirst) {
    struct {
        uint32_t v;
        const char* text;
    } cases[] = {{0x01000037u, "1.0.0.55"}, {0xFFFEFDFCu, "255.254.253.252"}, {0, "0.0.0.0"},
                 {0x01020304u, "1.2.3.4"}};
    for (const auto& c : cases) {
        char out[VERSION_TEXT_SIZE];
        version_text(c.v, out);
        EXPECT_STREQ(out, c.text);
    }
}

// Eight numbers, empty fields skipped, each taken modulo 256; more or fewer
// numbers are refused.
TEST(Hwver, SplitsEightNumbers) {
    const int kFail = UPD_MSG_READ_HWVERSION_FAILED;
    const struct {
        const char* text;
        int result;
        uint8_t hw[HWVER_NUMBERS];
    } cases[] = {
        {"53.2.0.0.5.0.0.0\n", 0, {53, 2, 0, 0, 5, 0, 0, 0}},
        {"..1..2...3.4.5.6.7.8..", 0, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"300.2.3.4.21.6.7.8", 0, {44, 2, 3, 4, 21, 6, 7, 8}},
        {"1.2.3.4.5.6.7.8.9", kFail, {}}, {"1.2.3.4.5.6.7.8.\n", kFail, {}},
        {"1.2.3.4.5.6.7", kFail, {}},     {"1.2.3.4.5.6.7.", kFail, {}},
        {"", kFail, {}},                  {"........", kFail, {}},
    };
    for (const auto& c : cases) {
        uint8_t hw[HWVER_NUMBERS] = {};
        ASSERT_EQ(hwver_parse(c.text, hw), c.result) << c.text;
        if (c.result == 0) {
            EXPECT_EQ(memcmp(hw, c.hw, sizeof hw), 0) << c.text;
        }
    }
}

TEST(HwIdMatch, EqualAndTheThreeAcceptedPairs) {
    struct {
        uint8_t id;
        uint32_t device_id;
        int result;
    } cases[] = {
        {53, 53, 0},  {1, 53, 0},   {53, 1, 0},   {52, 55, 0},  {55, 52, UPD_MSG_MACHINE_ID_ERR},
        {1, 52, UPD_MSG_MACHINE_ID_ERR},           {53, 52, UPD_MSG_MACHINE_ID_ERR},
        {53, 53 + 256, UPD_MSG_MACHINE_ID_ERR},    {0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hw_id_match(c.id, c.device_id), c.result) << int(c.id) << "/" << c.device_id;
}

TEST(HwSubIdMatch, LowFourBitsOfNumberFiveAgainstEveryMatchByte) {
    uint8_t match[16];
    memset(match, 0xEE, sizeof match);
    uint8_t hw[HWVER_NUMBERS] = {53, 0, 0, 0, 0x2D, 0, 0, 0};
    EXPECT_EQ(hw_sub_id_match(hw, match), UPD_MSG_MATCH_ID_ERR);
    match[15] = 0x0D;
    EXPECT_EQ(hw_sub_id_match(hw, match), 0);
    match[15] = 0x2D;  // the whole number is not the sub-id
    EXPECT_EQ(hw_sub_id_match(hw, match), UPD_MSG_MATCH_ID_ERR);
    match[15] = 0x05;  // nor are its low three bits
    EXPECT_EQ(hw_sub_id_match(hw, match), UPD_MSG_MATCH_ID_ERR);
    match[0] = 0x0D;
    EXPECT_EQ(hw_sub_id_match(hw, match), 0);
}

TEST(EnvDecimal, LeadingDigitsOfTheEntry) {
    env_info e[ENV_INFO_NUM] = {};
    struct {
        const char* value;
        uint32_t n;
    } cases[] = {{"12", 12}, {"7abc", 7}, {"", 0}, {"x1", 0}, {" 3", 0},
                 {"4294967295", 4294967295u}, {"99999999999", 4294967295u}};
    for (const auto& c : cases) {
        strcpy(e[0].name, "SW_OEM");
        strcpy(e[0].value, c.value);
        EXPECT_EQ(env_decimal(e, "SW_OEM"), c.n) << c.value;
    }
    EXPECT_EQ(env_decimal(e, "SW_protect"), 0u);
}

struct OemCase {
    const char* what;
    uint32_t size, e_oem, e_mid, e_prot, h_oem, h_mid, h_prot;
    oem_plan plan;
};

void PrintTo(const OemCase& c, std::ostream* os) { *os << c.what; }

class OemRules : public ::testing::TestWithParam<OemCase> {};

TEST_P(OemRules, DecideResultAndWrites) {
    const OemCase& c = GetParam();
    oem_plan p = oem_rules(c.size, c.e_oem, c.e_mid, c.e_prot, c.h_oem, c.h_mid, c.h_prot);
    EXPECT_EQ(p.result, c.plan.result);
    EXPECT_EQ(p.set_protect, c.plan.set_protect);
    EXPECT_EQ(p.set_oem, c.plan.set_oem);
    EXPECT_EQ(p.set_mid, c.plan.set_mid);
}

// plan = {result, set_protect, set_oem, set_mid}
INSTANTIATE_TEST_SUITE_P(
    Cases, OemRules,
    ::testing::Values(
        OemCase{"a_old_header_protected", 124, 5, 0, 1, 5, 0, 0, {-77, -1, 0, -1}},
        OemCase{"b_old_header_unprotected", 124, 5, 0, 0, 9, 0, 1, {0, -1, 0, -1}},
        OemCase{"b_old_header_prot2", 124, 5, 0, 2, 9, 0, 1, {0, -1, 0, -1}},
        OemCase{"b_old_header_mid_package", 124, 0, 0, 0, 9, 1, 0, {0, -1, 0, 1}},
        OemCase{"c_mid_same_oem", 128, 5, 1, 1, 5, 1, 0, {0, -1, 0, -1}},
        OemCase{"c_mid_other_oem", 128, 5, 1, 0, 6, 1, 0, {-78, -1, 0, -1}},
        OemCase{"c_mid_numbers_differ", 128, 5, 2, 0, 5, 3, 0, {0, -1, 0, -1}},
        OemCase{"d_protected_mid_pkg_same_oem", 128, 5, 0, 1, 5, 1, 0, {0, 0, 0, 1}},
        OemCase{"d_protected_mid_pkg_other_oem", 128, 5, 0, 1, 6, 1, 1, {-76, -1, 0, -1}},
        OemCase{"e_protected_same_oem_prot_pkg", 128, 5, 0, 1, 5, 0, 1, {0, -1, 0, -1}},
        OemCase{"e_protected_mid_dev_normal_pkg", 128, 5, 1, 1, 5, 0, 1, {0, -1, 0, 0}},
        OemCase{"e_protected_unprot_pkg", 128, 5, 0, 1, 5, 0, 0, {-76, -1, 0, -1}},
        OemCase{"e_protected_other_oem", 128, 5, 0, 1, 6, 0, 1, {-76, -1, 0, -1}},
        OemCase{"f_unprotected_oem0_mid_pkg", 128, 0, 0, 0, 9, 1, 0, {0, 1, 1, 1}},
        OemCase{"f_unprotected_same_oem_mid_pkg", 128, 9, 0, 0, 9, 1, 1, {0, 1, 1, 1}},
        OemCase{"g_unprotected_other_oem_mid", 128, 8, 0, 0, 9, 1, 0, {-75, -1, 0, -1}},
        OemCase{"g_unprotected_prot_pkg", 128, 0, 0, 0, 9, 0, 1, {-75, -1, 0, -1}},
        OemCase{"g_unprotected_plain_pkg", 128, 8, 0, 0, 9, 0, 0, {0, -1, 1, -1}},
        OemCase{"g_mid_dev_leaves_mid", 128, 8, 1, 0, 9, 0, 0, {0, -1, 1, 0}},
        OemCase{"size_132_is_not_128", 132, 8, 0, 1, 8, 0, 1, {-77, -1, 0, -1}}),
    [](const auto& tp) { return std::string(tp.param.what); });

}  // namespace
