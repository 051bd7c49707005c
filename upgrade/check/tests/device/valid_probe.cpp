// valid_probe: runs inside the simulated device and calls the environment reader,
// the variable setter or the package check as the installer would, then writes
// what came out to /config/valid_probe.txt for the host-side test to read:
//
//   valid_probe env                     read_env into a zero-filled table
//   valid_probe set NAME VALUE          do_set_env
//   valid_probe check PACKAGE [FLAG]    upgrader_rompack_check; burn flags start
//                                       at FLAG (default 9)
//
// Report lines: "result N", then for env "env I NAME VALUE" per entry
// ("0xSTART,0xEND" for mtd entries), for check "flags F0 .. F15",
// "mtd_config N", "tool_version 0xV". The shell tools are copied to /tmp/bin first,
// as the installer does at start-up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "env.h"
#include "rl_log.h"
#include "rompack_check.h"
#include "upgrade_flags.h"

namespace {

constexpr const char* kReport = "/config/valid_probe.txt";

void print_env(FILE* out, const env_info* env) {
    for (unsigned i = 0; i < ENV_INFO_NUM && env[i].name[0] != '\0'; ++i) {
        const char* n = env[i].name;
        bool mtd = strncmp(n, "mtd", 3) == 0 && n[3] >= '0' && n[3] <= '8' && n[4] == '\0';
        if (mtd) {
            fprintf(out, "env %u %s 0x%x,0x%x\n", i, n, env[i].start_addr, env[i].end_addr);
        } else {
            fprintf(out, "env %u %s %s\n", i, n, env[i].value);
        }
    }
}

int run_check(FILE* out, const char* path, int initial_flag) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) return 3;
    std::vector<uint8_t> file;
    for (int c; (c = fgetc(f)) != EOF;) file.push_back(static_cast<uint8_t>(c));
    fclose(f);
    // An exactly sized heap block, so that any read past the package is a fault.
    uint8_t* pkg = static_cast<uint8_t*>(malloc(file.size() ? file.size() : 1));
    if (!file.empty()) memcpy(pkg, file.data(), file.size());
    static env_info env[ENV_INFO_NUM];
    Rom_Header header;
    Partition_Header parts[16];
    int flags[16];
    for (int& flag : flags) flag = initial_flag;
    int ret = upgrader_rompack_check(pkg, static_cast<uint32_t>(file.size()), env, &header,
                                     parts, flags);
    free(pkg);
    fprintf(out, "result %d\nflags", ret);
    for (int flag : flags) fprintf(out, " %d", flag);
    fprintf(out, "\nmtd_config %d\ntool_version 0x%x\n", static_cast<int>(mtd_config),
            static_cast<unsigned>(upgrader_tool_version));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    rl_log_init("upgrader", 7);
    struct stat st;
    if (stat("/tmp/bin/cat", &st) != 0 && system("cp /bin/ /tmp/ -rf") != 0) return 4;
    FILE* out = fopen(kReport, "w");
    if (out == nullptr) return 5;
    int status = 0;
    if (strcmp(argv[1], "env") == 0) {
        static env_info env[ENV_INFO_NUM];
        fprintf(out, "result %d\n", read_env(env));
        print_env(out, env);
    } else if (strcmp(argv[1], "set") == 0 && argc == 4) {
        fprintf(out, "result %d\n", do_set_env(argv[2], argv[3]));
    } else if (strcmp(argv[1], "check") == 0 && argc >= 3) {
        status = run_check(out, argv[2], argc >= 4 ? atoi(argv[3]) : 9);
    } else {
        status = 2;
    }
    fclose(out);
    return status;
}
