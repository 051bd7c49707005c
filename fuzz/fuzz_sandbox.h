// The fuzz targets run product code that opens fixed device paths (/dev/mtdN,
// /dev/log, /proc/glcd/refresh). Before the
// first input, fuzz_enter_sandbox moves the process into a private mount
// namespace (inside a user namespace when not root) where /dev and /proc
// are scratch file systems: nothing the code opens there reaches the machine.
// Targets keep their own files in memory (memfd) and never write fixed paths.
//
// /dev keeps null, zero, random and urandom (bound from the real ones) and gets
// empty regular files mtd0 ... mtd15; /dev/log is absent, so log lines are
// formatted and then dropped. /proc keeps self, thread-self and the own pid
// (the sanitizers read them) and holds an empty glcd/refresh. /bin/sh is
// covered by /dev/null, so no shell command can run.
//
// Call from LLVMFuzzerInitialize, while the process has one thread. Aborts
// with the reason when the sandbox cannot be made: a fuzz run never proceeds
// against the machine's own files.
#pragma once

void fuzz_enter_sandbox();

// The usual start of a target: the sandbox, then the log opened at debug level
// (every log line is formatted, so bad format arguments show). Returns 0, the
// result LLVMFuzzerInitialize gives.
int fuzz_init();
