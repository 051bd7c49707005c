// Host side of valid_probe: a standard simulated device, a package that passes
// the check on it, and running the probe and reading its report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devsim_harness.h"
#include "rombuild.h"

namespace valid {

struct ProbeReport {
    bool ok = false;   // the run happened and the report was read
    int result = -12345;
    std::vector<int> flags;
    int mtd_config = -1;
    uint32_t tool_version = 0;
    std::vector<std::pair<std::string, std::string>> env;  // table order
    std::string text;  // the raw report, for failure messages
};

// Parses the report text written by valid_probe.
ProbeReport ParseProbeReport(const std::string& text);

// device.ini text of the standard device: hwver 53.2.0.0.5.0.0.0 (id 53, sub-id 5),
// software 1.2.3.4, MID_VERSION/SW_OEM/SW_protect 0, mtd0..mtd6 windows, followed
// by `extra` (lines inside [bootloader], then any further sections).
std::string StandardIni(const std::string& extra = "");

// A package that the standard device accepts: device_id 53, match_id {5},
// oem_id 7, version 2.0.0.1, one flash partition for mtd2 of 64 bytes.
RomPackageSpec StandardPackage();

// Runs valid_probe with `args` in `d`.
ProbeReport RunProbe(devsim::Device& d, const std::vector<std::string>& args);

// Runs the check on `pkg`, placed in the device as /app/test.rom.
ProbeReport RunCheck(devsim::Device& d, const std::vector<uint8_t>& pkg, int initial_flag = 9);

// Messages of the run's syslog, in order, each without the installer's prefix
// and without one trailing newline.
std::vector<std::string> Messages(const devsim::Device& d);
// Position of the first message equal to `text` (starting with it, when it ends
// in '*') at or after `from`, or -1.
int FindMessage(const std::vector<std::string>& msgs, const std::string& text, int from = 0);

}  // namespace valid
