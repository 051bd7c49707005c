// Test helper: the test binary defines vsyslog, so every line the log facility
// sends is recorded here instead of reaching the host's syslog.
#pragma once

#include <string>
#include <vector>

struct CapturedLine {
    int priority;
    std::string text;  // the expanded message, module prefix included
};

// Lines since the last clear.
std::vector<CapturedLine>& captured_lines();
void clear_captured_lines();
