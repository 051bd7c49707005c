#include "syslog_capture.h"

#include <cstdarg>
#include <cstdio>

std::vector<CapturedLine>& captured_lines() {
    static std::vector<CapturedLine> lines;
    return lines;
}

void clear_captured_lines() {
    captured_lines().clear();
}

extern "C" void vsyslog(int priority, const char* format, va_list ap) {
    char buf[8192];
    vsnprintf(buf, sizeof(buf), format, ap);
    captured_lines().push_back({priority, buf});
}
