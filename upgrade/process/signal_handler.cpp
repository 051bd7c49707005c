// The fatal-signal handler the driver installs at start.
#include <signal.h>
#include <syslog.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "process_control.h"
#include "rl_log.h"

void signal_handler(int signo) {
    const int tid = static_cast<int>(syscall(SYS_gettid));
    // The signal may have interrupted a log call that holds the logger's lock:
    // the line is written without taking any.
    switch (signo) {
        case SIGINT: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGINT, thread id %d.", tid); break;
        case SIGQUIT: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGQUIT, thread id %d.", tid); break;
        case SIGILL: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGILL, thread id %d.", tid); break;
        case SIGABRT: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGABRT, thread id %d.", tid); break;
        case SIGBUS: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGBUS, thread id %d.", tid); break;
        case SIGSEGV: rl_log_signal_safe(LOG_ERR, "Catch a signal SIGSEGV, thread id %d.", tid); break;
        default: rl_log_signal_safe(LOG_ERR, "Catch a signal %d, thread id %d.", signo, tid); break;
    }
    // _exit, not exit: after SIGSEGV or SIGABRT the heap may be corrupt, and no
    // destructor or exit handler may run on it.
    _exit(0);
}
