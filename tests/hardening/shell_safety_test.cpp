// Shell safety on the simulated device: a package path or a bootloader value
// full of shell characters never reaches the installer's shell commands
// unquoted. Each hostile text carries a command that would create the canary
// file the scenario runner looks for, and the installer still does its work.
// (Hostile configuration file names: the auto-provisioning row of the driver's
// scenarios.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using namespace drivertest;

const std::string kHostileRom = std::string("/tmp/a';") + kTouch + ";'$(" + kTouch + ").rom";

std::vector<Scenario> Rows() {
    return {
        // The path is opened, installed, and handed to a tool as one argument.
        {.name = "path", .source = Source::kAtArg, .args = {kHostileRom}, .chip = "owwoooo"},
        {.name = "path_to_tool", .source = Source::kAtArg, .package = Tool<56>, .args = {kHostileRom},
         .outcome = "exited", .after = {{"/config/tool_ran", "started 1:" + kHostileRom + "\n"}}},
        // Bootloader variables are read as numbers; only decimal texts are written back.
        {.name = "variables",
         .sections = "[bootloader]\nSW_OEM = 0$(touch $(printf '\\057tmp\\057canary'))\n"
                     "MID_VERSION = 0`touch $(printf '\\057tmp\\057canary')`\n"
                     "SW_protect = 0';touch $(printf '\\057tmp\\057canary');'\n",
         .chip = "owwoooo", .env = {"SW_OEM", "0"}},
    };
}

class HostileText : public testing::TestWithParam<Scenario> {};

TEST_P(HostileText, NeverReachesAShell) { RunScenario(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Shell, HostileText, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<Scenario>& p) { return std::string(p.param.name); });

}  // namespace
