// rl_log: the installer's one log channel, a thin layer over syslog.
//
// Every line is prefixed "<module> pid<P>,tid<T>,l<L>: " and sent with the level
// itself as syslog priority (facility LOG_USER through openlog). A message whose
// level is above g_log_level is dropped before any formatting. Nothing is
// allocated on the heap: each call formats into a 4096-byte buffer on the
// caller's stack. The functions report nothing and never fail.
#pragma once

#include <cstdarg>

#define RL_LOG_PRINTF(fmt_index) __attribute__((format(printf, fmt_index, fmt_index + 1)))

// Facility state; see rl_log_init / rl_log_deinit.
extern int g_log_level;          // highest level still logged (signed compare)
extern int g_nFlag;              // 1 while open
extern char g_module_name[15];   // at most 14 characters, NUL-terminated
extern int g_pid;                // process id taken by rl_log_init

// Opens the facility with a module name (first 14 characters kept; null means
// empty; a '%' in it is printed as it is) and a level limit. Ignored while
// already open. Returns 0 always.
int rl_log_init(const char* module, int level);
// Closes the facility when open; name, pid and level keep their values.
void rl_log_deinit();
// Sets the level limit, open or not.
void rl_log_reset_level(int level);

void rl_log_emerg(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_alert(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_crit(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_err(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_warn(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_notice(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_info(const char* fmt, ...) RL_LOG_PRINTF(1);
void rl_log_debug(const char* fmt, ...) RL_LOG_PRINTF(1);

// For signal handlers: logs like the level functions (same prefix, priority,
// level limit) but takes no lock and allocates nothing, so a signal that
// interrupts a log call cannot hang on the interrupted call's lock. The
// format knows only %d, %s and %%. The line, cut at 511 characters, goes to
// /dev/log through a socket of its own (time stamp in UTC), or to standard
// error when that fails.
void rl_log_signal_safe(int level, const char* fmt, ...) RL_LOG_PRINTF(2);

// Shared back end of the level functions: builds the prefixed format (cut at
// 4095 characters, before the arguments are expanded) and hands it to vsyslog
// with `level` as priority. Does no filtering of its own.
void rl_log_common(int level, const char* fmt, va_list ap);
