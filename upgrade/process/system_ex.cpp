// system_ex: a time-limited system() with retries, and system_return_check.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process_control.h"
#include "rl_log.h"

namespace {

// The SIGINT/SIGQUIT actions are process-wide, so overlapping calls (the main
// thread and the countdown thread may both reboot) share one saved copy: the
// first call in saves and ignores them, the last call out puts them back.
pthread_mutex_t g_shell_signal_lock = PTHREAD_MUTEX_INITIALIZER;
int g_shell_signal_users = 0;
struct sigaction g_saved_sigint;
struct sigaction g_saved_sigquit;

// One call's signal set-up: the shared action save above plus the calling
// thread's own mask, which no other thread can change.
class ShellSignals {
public:
    // Ignores SIGINT and SIGQUIT (first user only) and blocks SIGCHLD in this
    // thread. Returns 0, or -1 with nothing left changed.
    int enter() {
        pthread_mutex_lock(&g_shell_signal_lock);
        if (g_shell_signal_users == 0 && ignore_actions() != 0) {
            pthread_mutex_unlock(&g_shell_signal_lock);
            return -1;
        }
        ++g_shell_signal_users;
        pthread_mutex_unlock(&g_shell_signal_lock);

        sigset_t chld;
        sigemptyset(&chld);
        sigaddset(&chld, SIGCHLD);
        if (pthread_sigmask(SIG_BLOCK, &chld, &saved_mask_) != 0) {
            release_actions();
            return -1;
        }
        return 0;
    }

    // Puts this thread's mask back and, for the last user, the actions.
    // Returns 0, or -1 when a restore failed.
    int leave() {
        const int mask_result = pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr) == 0 ? 0 : -1;
        const int action_result = release_actions();
        return mask_result < 0 ? mask_result : action_result;
    }

    // In the forked child, before exec: the command gets the caller's original
    // actions and mask. Only async-signal-safe calls; the saved actions cannot
    // change while this call is counted as a user.
    void restore_in_child() const {
        sigaction(SIGINT, &g_saved_sigint, nullptr);
        sigaction(SIGQUIT, &g_saved_sigquit, nullptr);
        sigprocmask(SIG_SETMASK, &saved_mask_, nullptr);
    }

private:
    // Caller holds the lock.
    static int ignore_actions() {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ignore.sa_flags = 0;
        if (sigaction(SIGINT, &ignore, &g_saved_sigint) != 0) return -1;
        if (sigaction(SIGQUIT, &ignore, &g_saved_sigquit) != 0) {
            sigaction(SIGINT, &g_saved_sigint, nullptr);
            return -1;
        }
        return 0;
    }

    static int release_actions() {
        int result = 0;
        pthread_mutex_lock(&g_shell_signal_lock);
        if (--g_shell_signal_users == 0) {
            if (sigaction(SIGINT, &g_saved_sigint, nullptr) != 0) result = -1;
            if (sigaction(SIGQUIT, &g_saved_sigquit, nullptr) != 0) result = -1;
        }
        pthread_mutex_unlock(&g_shell_signal_lock);
        return result;
    }

    sigset_t saved_mask_;
};

enum class WaitResult { Ended, TimedOut };

// Waits for `pid` to end, at most `seconds` (0 or less: no limit). Sets
// *status to the wait status, or -1 when waiting failed.
WaitResult wait_child(pid_t pid, int seconds, int* status) {
    int remaining = seconds;
    for (;;) {
        int st = 0;
        // Without a limit a blocking wait replaces polling in a busy loop.
        const pid_t r = waitpid(pid, &st, seconds > 0 ? WNOHANG : 0);
        if (r > 0) {
            *status = st;
            return WaitResult::Ended;
        }
        if (r < 0 && errno != EINTR) {
            *status = -1;
            return WaitResult::Ended;
        }
        if (seconds <= 0) continue;
        if (remaining <= 0) return WaitResult::TimedOut;
        sleep(1);
        // One more look after the last second: a command that ended within the
        // limit is not a time-out.
        --remaining;
    }
}

// Kills a timed-out child and reaps it, so that no zombie is left.
void kill_child(pid_t pid) {
    if (kill(pid, SIGKILL) != 0) return;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int system_ex(const char* cmd, int seconds, int retries) {
    if (cmd == nullptr) return -1;
    if (retries < 0) retries = 0;

    ShellSignals signals;
    if (signals.enter() != 0) return -1;

    int status = -1;
    int attempt = -1;  // the warning names the first time-out -1
    bool killed = false;
    do {
        killed = false;
        const pid_t pid = fork();
        if (pid < 0) {
            status = -1;
            break;
        }
        if (pid == 0) {
            signals.restore_in_child();
            execl("/bin/sh", "sh", "-c", cmd, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (wait_child(pid, seconds, &status) == WaitResult::TimedOut) {
            rl_log_warn("%s:%s retry %d times...", "system_ex", cmd, attempt);
            kill_child(pid);
            killed = true;
            status = -1;
        }
        ++attempt;
    } while (attempt < retries && killed);

    if (signals.leave() != 0) return -1;
    // Ended by a signal, or no status at all (-1 has its low bits set).
    if ((status & 0x7f) != 0) return -1;
    return (status >> 8) & 0xff;
}

int system_return_check(int status) {
    if (status < 0 || (status & 0x7f) != 0) return -1;
    if (((status >> 8) & 0xff) != 0) return -1;
    return 0;
}
