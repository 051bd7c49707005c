// The decisions of the auto-provisioning hand-off.
#include <gtest/gtest.h>

#include <string>

#include "autop.h"
#include "readable.h"

namespace {

struct VersionCase {
    const char* text;
    int autop;
    int linekey8;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class AutopVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(AutopVersion, DecidesBothStepsFromTheEarlierVersion) {
    const VersionCase& c = GetParam();
    const rom_version v = autop_scan_version(c.text);
    EXPECT_EQ(autop_version_applies(&v), c.autop) << c.text;
    EXPECT_EQ(linekey8_version_applies(&v), c.linekey8) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, AutopVersion,
    ::testing::Values(VersionCase{"3.2.5.1", 0, 0},     // third 5
                      VersionCase{"59.0.3.7", 1, 1},    // third 3
                      VersionCase{"59.0", 1, 1},        // missing third counts as 0
                      VersionCase{"60.0.3.1", 1, 0},    // first not 59
                      VersionCase{"59.0.4.0", 0, 0},    // third exactly 4
                      VersionCase{"59.1.3", 1, 1},
                      VersionCase{"315.0.3.0", 1, 1},   // 315 & 0xFF is 59
                      VersionCase{"59.0.257.0", 0, 1},  // 257 >= 4, but its low byte 1 < 4
                      VersionCase{"59.0.-1.0", 1, 0},   // -1 < 4, but its low byte is 255
                      VersionCase{"", 1, 0},            // nothing scanned: all 0
                      VersionCase{"V59.0.1.0", 1, 0}),  // stops at the first character
    [](const auto& p) { return ReadableName(p.index, p.param.text); });

// Which names count as configuration files, and which may reach a shell
// command at all.
struct NameCase {
    const char* name;
    int matches;
    int safe;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.name)); }

class AutopName : public ::testing::TestWithParam<NameCase> {};

TEST_P(AutopName, MarksPlainConfigurationFiles) {
    EXPECT_EQ(autop_name_matches(GetParam().name), GetParam().matches);
    EXPECT_EQ(autop_name_shell_safe(GetParam().name), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Names, AutopName,
    ::testing::Values(NameCase{"a.cfg", 1, 1}, NameCase{"b.conf", 1, 1}, NameCase{"c.cfg.bak", 0, 1},
                      NameCase{"d.config", 0, 1}, NameCase{"x.cfg.conf", 1, 1}, NameCase{"y.conf.cfg", 1, 1},
                      NameCase{"cfg", 0, 1}, NameCase{"a.CFG", 0, 1}, NameCase{"a.cfgg", 1, 1}, NameCase{"a.conf.", 0, 1},
                      NameCase{"", 0, 0}, NameCase{"A-b_c+1,2@x%=:.cfg", 1, 1}, NameCase{"a b.cfg", 1, 0},
                      NameCase{"a;reboot;.cfg", 1, 0}, NameCase{"$(reboot).cfg", 1, 0}, NameCase{"`x`.cfg", 1, 0},
                      NameCase{"a'b.cfg", 1, 0}, NameCase{"a\"b.cfg", 1, 0}, NameCase{"a\nb.cfg", 1, 0},
                      NameCase{"a|b.cfg", 1, 0}, NameCase{"a>b.cfg", 1, 0}, NameCase{"*.cfg", 1, 0},
                      NameCase{"a\\b.cfg", 1, 0}, NameCase{"a&b.cfg", 1, 0}, NameCase{"\xc3\xa9.cfg", 1, 0}),
    [](const auto& p) { return ReadableName(p.index, p.param.name); });

TEST(AutopPick, CollectsQuotedCommandsAndExplainsEachRefusal) {
    const struct {
        std::string name;
        int collected;
        autop_pick_e pick;
    } cases[] = {
        {"a.cfg", 0, AUTOP_PICK_COLLECT},
        {"b.conf", 9, AUTOP_PICK_COLLECT},
        {"c.conf", 10, AUTOP_PICK_TOO_MANY},
        {"c.cfg.bak", 0, AUTOP_PICK_IGNORE},
        {"x;y.cfg", 0, AUTOP_PICK_HOSTILE},
        {"x;y.cfg", 10, AUTOP_PICK_HOSTILE},
        // The command is 43 characters plus the name: a name of 212 fits in
        // 255 characters, one of 213 does not.
        {std::string(208, 'n') + ".cfg", 0, AUTOP_PICK_COLLECT},
        {std::string(209, 'n') + ".cfg", 0, AUTOP_PICK_TOO_LONG},
    };
    for (const auto& c : cases) {
        const std::string path = "/tmp/" + c.name;
        char cmd[256] = "";
        EXPECT_EQ(autop_pick(c.name.c_str(), path.c_str(), c.collected, cmd, sizeof cmd), c.pick) << c.name;
        if (c.pick == AUTOP_PICK_COLLECT) {
            EXPECT_EQ(std::string(cmd), "cat '" + path + "' >> /config/autop_retry_save.cfg");
        }
    }
}

}  // namespace
