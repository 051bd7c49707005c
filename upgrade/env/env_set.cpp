// Setting one bootloader variable through the shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "process_control.h"
#include "rl_log.h"

namespace {

// Name plus value plus this must stay below kCommandLimit.
constexpr size_t kCommandOverhead = 27;
constexpr size_t kCommandLimit = 256;
// The echo command adds 30 characters to name and value, so the longest accepted
// pair needs 259 bytes: the buffer leaves room for every pair the limit admits.
constexpr size_t kCommandSize = kCommandLimit + 32;

}  // namespace

int do_set_env(const char* name, const char* value) {
    if (name == nullptr) {
        rl_log_err("penv_name NULL!\n");
        return -1;
    }
    if (value == nullptr) {
        rl_log_err("penv_value NULL!\n");
        return -1;
    }
    if (strlen(name) + strlen(value) + kCommandOverhead >= kCommandLimit) {
        rl_log_err("env str too long!\n");
        return -1;
    }
    if (!env_str_valid(name) || !env_str_valid(value)) {
        rl_log_err("env str invalid!\n");
        return -1;
    }
    char cmd[kCommandSize];
    if (value[0] != '\0') {
        snprintf(cmd, sizeof cmd, "echo \"%s %s\" >/proc/avalanche/env ", name, value);
    } else {
        snprintf(cmd, sizeof cmd, "echo \"%s\" >/proc/avalanche/env ", name);
    }
    rl_log_info("\nshellcmd:%s\n", cmd);
    if (system_return_check(system(cmd)) < 0) {
        rl_log_err("%s shellcmd failed!\n", cmd);
        return -1;
    }
    return 0;
}
