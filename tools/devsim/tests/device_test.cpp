// devsim's own system tests: small probes and shell commands run inside the
// simulated device and the records of each run are checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devsim_harness.h"

namespace {

using devsim::Device;

// A device with the probe program installed as /usr/bin/probe.
class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() : dev_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    dev_.File("/usr/bin/probe", devsim::ReadFile(devsim::BinDir() + "/devsim_probe"), 0755);
  }
  // Runs the script and expects it to have exited by itself.
  void Script(const std::string& script, const std::vector<std::string>& options = {}) {
    ASSERT_EQ(dev_.Shell(script, options), 0) << dev_.Stderr();
  }
  Device dev_;
};

TEST_F(DeviceTest, ProgramExitStatusAndSyslogPriorities) {
  Script("probe log 3 'first error'\nprobe log 6 'then info'\nlogger -p user.warn shell-line\nexit 7");
  EXPECT_EQ(dev_.result().outcome, "exited");
  EXPECT_EQ(dev_.result().exit_status, 7);
  EXPECT_FALSE(dev_.result().reboot_command.has_value());
  auto log = dev_.Syslog();
  ASSERT_EQ(log.size(), 3u) << dev_.Console();
  EXPECT_EQ(log[0].message, "first error");
  EXPECT_EQ(log[0].priority, 3);
  EXPECT_EQ(log[0].facility, 1);
  EXPECT_EQ(log[1].message, "then info");
  EXPECT_EQ(log[1].priority, 6);
  EXPECT_EQ(log[2].message, "shell-line");
  EXPECT_EQ(log[2].priority, 4);
}

}  // namespace
