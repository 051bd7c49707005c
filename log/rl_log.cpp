#include "rl_log.h"

#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int g_log_level = 7;
int g_nFlag = 0;
char g_module_name[15] = {};
int g_pid = 0;

namespace {
constexpr int kLogBufferSize = 4096;
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
