#include "rl_log.h"

#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

int g_log_level = 7;
int g_nFlag = 0;
char g_module_name[15] = {};
int g_pid = 0;

namespace {
constexpr int kLogBufferSize = 4096;

// A line assembled from pieces without any library call that may lock or
// allocate (snprintf may do both).
class SafeLine {
public:
    void text(const char* s) {
        while (s != nullptr && *s != '\0') put(*s++);
    }
    // Native word arithmetic only: on the 32-bit device a 64-bit division
    // would need libgcc_s, which the phone does not have.
    void number(long v, int width = 0, char pad = ' ') {
        char digits[24];
        int n = 0;
        unsigned long u = v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (v < 0) digits[n++] = '-';
        for (int i = n; i < width; ++i) put(pad);
        while (n > 0) put(digits[--n]);
    }
    void put(char c) {
        if (len_ < sizeof(buf_)) buf_[len_++] = c;
    }
    const char* data() const { return buf_; }
    size_t size() const { return len_; }

private:
    char buf_[512];
    size_t len_ = 0;
};

// "Mmm dd hh:mm:ss" as syslog writes it, from the clock alone (the time-zone
// files cannot be read safely here, so the time is UTC).
void put_timestamp(SafeLine& line) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    // Unsigned word arithmetic (no 64-bit division on the device): right
    // until 2106 where the word has 32 bits.
    const unsigned long secs = static_cast<unsigned long>(now.tv_sec);
    unsigned long days = secs / 86400;
    const unsigned long day_secs = secs % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    days += 719468;
    const unsigned long era = days / 146097;
    const unsigned long doe = days - era * 146097;
    const unsigned long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned long mp = (5 * doy + 2) / 153;
    const unsigned long day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned long month = mp < 10 ? mp + 3 : mp - 9;
    for (int i = 0; i < 3; ++i) line.put(kMonths[(month - 1) * 3 + i]);
    line.put(' ');
    line.number(static_cast<long>(day), 2, ' ');
    line.put(' ');
    line.number(static_cast<long>(day_secs / 3600), 2, '0');
    line.put(':');
    line.number(static_cast<long>(day_secs / 60 % 60), 2, '0');
    line.put(':');
    line.number(static_cast<long>(day_secs % 60), 2, '0');
}
}  // namespace

int rl_log_init(const char* module, int level) {
    if (g_nFlag == 1) return 0;
    g_nFlag = 1;
    // Drop any connection a call made before initialisation opened.
    closelog();
    if (module != nullptr) {
        strncpy(g_module_name, module, sizeof(g_module_name));
    } else {
        g_module_name[0] = '\0';
    }
    g_module_name[sizeof(g_module_name) - 1] = '\0';
    g_pid = getpid();
    g_log_level = level;
    // No LOG_PID: the process id travels in the prefix.
    openlog("", LOG_NDELAY, LOG_USER);
    return 0;
}

void rl_log_deinit() {
    if (g_nFlag == 0) return;
    g_nFlag = 0;
    closelog();
}

void rl_log_reset_level(int level) { g_log_level = level; }

void rl_log_common(int level, const char* fmt, va_list ap) {
    char buffer[kLogBufferSize];
    memset(buffer, 0, sizeof(buffer));
    const int tid = static_cast<int>(syscall(SYS_gettid));
    // The module name becomes part of the format vsyslog expands: a '%' in it
    // is doubled so that it is printed rather than read as a conversion.
    char module[2 * sizeof(g_module_name)];
    size_t m = 0;
    for (size_t i = 0; i < sizeof(g_module_name) && g_module_name[i] != '\0'; ++i) {
        if (g_module_name[i] == '%') module[m++] = '%';
        module[m++] = g_module_name[i];
    }
    module[m] = '\0';
    // The caller's format goes into the new format unexpanded; vsyslog expands
    // it with the caller's arguments.
    snprintf(buffer, sizeof(buffer), "%s pid%d,tid%d,l%d: %s", module, g_pid, tid, level, fmt);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    vsyslog(level, buffer, ap);
#pragma GCC diagnostic pop
}

void rl_log_signal_safe(int level, const char* fmt, ...) {
    if (fmt == nullptr || fmt[0] == '\0' || g_log_level < level) return;
    SafeLine line;
    line.put('<');
    line.number(LOG_USER | level);
    line.put('>');
    put_timestamp(line);
    line.text(" : ");
    const size_t message = line.size();
    line.text(g_module_name);
    line.text(" pid");
    line.number(g_pid);
    line.text(",tid");
    line.number(syscall(SYS_gettid));
    line.text(",l");
    line.number(level);
    line.text(": ");
    va_list ap;
    va_start(ap, fmt);
    for (const char* f = fmt; *f != '\0'; ++f) {
        if (f[0] == '%' && f[1] == 'd') {
            line.number(va_arg(ap, int));
            ++f;
        } else if (f[0] == '%' && f[1] == 's') {
            line.text(va_arg(ap, const char*));
            ++f;
        } else if (f[0] == '%' && f[1] == '%') {
            line.put('%');
            ++f;
        } else {
            line.put(*f);
        }
    }
    va_end(ap);

    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, "/dev/log", sizeof("/dev/log"));
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool sent = fd >= 0 && sendto(fd, line.data(), line.size(), MSG_NOSIGNAL,
                                        reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) >= 0;
    if (fd >= 0) close(fd);
    if (!sent) {
        line.put('\n');
        (void)!write(STDERR_FILENO, line.data() + message, line.size() - message);
    }
}

// One level function: drops null/empty formats and levels above the limit.
#define RL_LOG_LEVEL_FUNCTION(name, level)        \
    void name(const char* fmt, ...) {             \
        if (fmt == nullptr || fmt[0] == '\0') return; \
        if (g_log_level < (level)) return;        \
        va_list ap;                               \
        va_start(ap, fmt);                        \
        rl_log_common((level), fmt, ap);          \
        va_end(ap);                               \
    }

RL_LOG_LEVEL_FUNCTION(rl_log_emerg, LOG_EMERG)
RL_LOG_LEVEL_FUNCTION(rl_log_alert, LOG_ALERT)
RL_LOG_LEVEL_FUNCTION(rl_log_crit, LOG_CRIT)
RL_LOG_LEVEL_FUNCTION(rl_log_err, LOG_ERR)
RL_LOG_LEVEL_FUNCTION(rl_log_warn, LOG_WARNING)
RL_LOG_LEVEL_FUNCTION(rl_log_notice, LOG_NOTICE)
RL_LOG_LEVEL_FUNCTION(rl_log_info, LOG_INFO)
RL_LOG_LEVEL_FUNCTION(rl_log_debug, LOG_DEBUG)
