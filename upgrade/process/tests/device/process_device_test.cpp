// The process-control functions with fixed device paths, run inside the
// simulated device through process_probe: the watchdog request on /dev/misc0,
// the application stop script and the reboot commands (the signal handler has
// no device path: process_control_test).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devsim_harness.h"

namespace {

constexpr uint32_t kWatchdogRequest = 0x80044D05u;

std::string Probe() { return devsim::BinDir() + "/process_probe"; }

// The probe's printed result, or -1000 when it printed none.
int ProbeResult(const devsim::Device& d) {
    const std::string out = d.Console();
    const size_t at = out.find("result ");
    return at == std::string::npos ? -1000 : std::atoi(out.c_str() + at + 7);
}

// The texts of the installer-prefixed syslog lines; each is logged at the
// level its prefix states, and here every one is an error.
std::vector<std::string> InstallerErrors(const devsim::Device& d) {
    std::vector<std::string> out;
    for (const devsim::LogLine& l : d.Syslog()) {
        int pid = 0, tid = 0, level = 0, used = 0;
        const char* format = "upgrader pid%d,tid%d,l%d: %n";
        if (sscanf(l.message.c_str(), format, &pid, &tid, &level, &used) == 3 && used > 0) {
            EXPECT_EQ(level, l.priority) << l.message;
            EXPECT_EQ(level, 3) << l.message;
            out.push_back(l.message.substr(static_cast<size_t>(used)));
        }
    }
    return out;
}

int KillappsRuns(const devsim::Device& d) {
    const std::string json = devsim::ReadFile(d.OutDir() + "/result.json");
    const size_t at = json.find("\"killapps_runs\":");
    return at == std::string::npos ? -1 : std::atoi(json.c_str() + at + 16);
}

}  // namespace

// The request reaches the misc device with the value itself; a missing device
// or a refused request gives -1 and its error line.
TEST(CloseWatchDogDevice, RequestReachesTheMiscDevice) {
    const struct {
        const char* faults;
        unsigned value;
        int result;
        bool requested;
        std::vector<std::string> logged;
    } cases[] = {
        {"", 1, 0, true, {}},
        {"missing = /dev/misc0\n", 0, -1, false, {"/dev/misc0 open failed"}},
        {"misc = fail\n", 0, -1, true, {"/dev/misc0 ctrl failed!"}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << "faults '" << tc.faults << "' value " << tc.value);
        devsim::Device d("wdog");
        d.Ini(std::string("[faults]\n") + tc.faults);
        ASSERT_EQ(d.Exec(Probe(), {"watchdog", std::to_string(tc.value)}), 0) << d.Stderr();
        EXPECT_EQ(ProbeResult(d), tc.result) << d.Console();
        const std::vector<devsim::MiscRecord> misc = d.Misc();
        ASSERT_EQ(misc.size(), tc.requested ? 1u : 0u);
        for (const devsim::MiscRecord& m : misc) {
            EXPECT_EQ(m.request, kWatchdogRequest);
            EXPECT_EQ(m.value, static_cast<long>(tc.value));
            EXPECT_EQ(m.result, tc.result);
        }
        EXPECT_EQ(InstallerErrors(d), tc.logged);
    }
}

// States 2 and -3 keep the applications; every other state runs the stop
// script, whose failure gives -1 and "killapps failed!\n".
TEST(UpgraderKillappsDevice, StopScriptRunsExceptInStatesTwoAndMinusThree) {
    const struct {
        int state;
        bool script_fails;
        int result;
        int runs;
        std::vector<std::string> logged;
    } cases[] = {
        {2, true, 0, 0, {}},
        {-3, false, 0, 0, {}},
        {3, false, 0, 1, {}},
        {-2, true, -1, 1, {"killapps failed!"}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << "state " << tc.state << (tc.script_fails ? " f" : ""));
        devsim::Device d("killapps");
        d.Ini(tc.script_fails ? "[faults]\nkillapps = fail\n" : "");
        ASSERT_EQ(d.Exec(Probe(), {"killapps", std::to_string(tc.state)}), 0) << d.Stderr();
        EXPECT_EQ(ProbeResult(d), tc.result) << d.Console();
        EXPECT_EQ(KillappsRuns(d), tc.runs);
        EXPECT_EQ(d.LogContains("killapps.sh ran"), tc.runs > 0);
        EXPECT_EQ(InstallerErrors(d), tc.logged);
    }
}

// Choice 0 runs the copy in /tmp, any other choice "reboot" through the PATH;
// the run ends in the reboot. Without the copy, choice 0 returns the shell's
// 127 and the device keeps running.
TEST(DoRebootDevice, ChoiceSelectsTheRebootCommand) {
    const struct {
        std::vector<std::string> args;
        const char* outcome;
        const char* command;  // nullptr: no reboot
        int printed;          // -1000: nothing printed (the run ended first)
    } cases[] = {
        {{"reboot", "0", "copy"}, "rebooted", "/tmp/reboot", -1000},
        {{"reboot", "1"}, "rebooted", "reboot", -1000},
        {{"reboot", "7"}, "rebooted", "reboot", -1000},
        {{"reboot", "0"}, "exited", nullptr, 127},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.args[0] + " " + tc.args[1] + (tc.args.size() > 2 ? " copy" : ""));
        devsim::Device d("reboot");
        ASSERT_EQ(d.Exec(Probe(), tc.args), 0) << d.Stderr();
        EXPECT_EQ(d.result().outcome, tc.outcome);
        EXPECT_EQ(d.result().reboot_command.value_or("(none)"), tc.command ? tc.command : "(none)");
        EXPECT_EQ(ProbeResult(d), tc.printed) << d.Console();
    }
}
