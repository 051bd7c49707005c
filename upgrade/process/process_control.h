// Process and device control: shell commands with a time limit, wait-status
// judging, stopping the phone's applications, the watchdog request, reboots and
// the fatal-signal handler. Free functions without state between calls; int
// results, negative for failure.
//
// SAFETY: upgrader_killapps, CloseWatchDog and do_reboot act on the device
// ("/app/scripts/killapps.sh", "/dev/misc0", "reboot"). Call them only on the
// device or inside the simulated device, never on a development machine.
#pragma once

// Runs `cmd` with "/bin/sh -c", waiting at most `seconds` per attempt (0 or
// less: no limit). A timed-out attempt is killed with SIGKILL, logged at warning
// level ("system_ex:<cmd> retry <i> times...", i counting from -1) and retried
// up to `retries` further times (negative counts as 0); only time-outs are
// retried. Returns the command's exit code (0..255), or -1 for a null command,
// a signal set-up or restore failure, a failed fork, a time-out of the last
// attempt or a command ended by a signal.
// While any call runs, SIGINT and SIGQUIT are ignored process-wide and SIGCHLD
// is blocked in the calling thread; the actions return to what they were before
// the first of overlapping calls when the last one ends, and each thread's mask
// to what it was before its own call. The command itself runs with the
// original actions and mask.
int system_ex(const char* cmd, int seconds, int retries);

// Judges a wait status from system(): 0 for a normal exit with code 0; -1 for
// a negative status, a child ended by a signal or a non-zero exit code.
int system_return_check(int status);

// Stops the phone's applications with "/app/scripts/killapps.sh", except in the
// upgrade states -3 and 2, where nothing is stopped. Returns 0, or -1 after
// logging "killapps failed!\n" when the script fails.
int upgrader_killapps(int state);

// Sends the watchdog control request (0x80044D05) with `value` to "/dev/misc0":
// 0 stops the watchdog for the upgrade, 1 re-arms it. Returns 0 when accepted,
// -1 (logged) when the device cannot be opened or refuses the request.
int CloseWatchDog(unsigned int value);

// Reboots: choice 0 runs "/tmp/reboot" (the copy made at start), any other
// choice runs "reboot"; 10 seconds and 3 retries. Returns system_ex's result.
int do_reboot(int choice);

// Handler for fatal signals: logs "Catch a signal SIGSEGV, thread id <tid>."
// (or the signal number for signals without a name here) at error level
// without taking any lock (rl_log_signal_safe: the signal may have interrupted
// a log call), and ends the process with status 0 through _exit, so that no
// exit handler runs on a state the signal may have corrupted.
[[noreturn]] void signal_handler(int signo);
