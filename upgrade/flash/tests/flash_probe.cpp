// flash_probe: runs the flash functions inside the simulated device for the
// system tests and reports through the log (lines starting "probe ") and its
// exit status. Never run it on a real machine: it writes /dev/mtd*.
//
//   flash_probe burn PACKAGE FLAGS [ko]   burn (FLAGS "1,0,1"; ko: kernel-only);
//                                         exit status = -result
//   flash_probe burn-ui PACKAGE FLAGS [null]  the same through upgrader_burn_flash
//                                         with the upgrade screen (null: no UI)
//   flash_probe layout [writeback]        probe support, mtd_config_deal, then the
//                                         driver's write-back steps (exit status 1:
//                                         layout refused, 2/3: write-back failed)
//   flash_probe mtd-write MTD SIZE PATH   exit status 0 or 1
//   flash_probe repair MTD OFFSET SIZE    mtd_addr_repair; exit status 0 or 1
//   flash_probe autop ROMVERSION|-        config_autop + config_deleteLineKey8
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "autop.h"
#include "basicui.h"
#include "burn.h"
#include "env.h"
#include "mtd_layout.h"
#include "rl_log.h"
#include "rom_format.h"
#include "upgrade_flags.h"

namespace {

env_info g_env[ENV_INFO_NUM];

// The device environment from the bootloader listing, without the shell copy.
int load_env() {
    memset(g_env, 0, sizeof g_env);
    static char text[16384];
    int fd = open("/proc/avalanche/env", O_RDONLY);
    if (fd < 0) return -1;
    ssize_t n = read(fd, text, sizeof text);
    close(fd);
    if (n < 0) return -1;
    env_parse_listing(g_env, text, static_cast<size_t>(n));
    return 0;
}

void log_env() {
    for (int i = 0; i < 9; ++i) {
        char name[8];
        snprintf(name, sizeof name, "mtd%d", i);
        unsigned int index = 0;
        if (get_mtd_info(g_env, name, &index) == 0)
            rl_log_info("probe env %s %x,%x\n", name, g_env[index].start_addr, g_env[index].end_addr);
    }
}

void log_progress(void*, int percent) { rl_log_info("probe progress:%d\n", percent); }

// A package file mapped, its partition headers and the burn flags.
struct burn_input {
    const uint8_t* rom;
    int count;
    Partition_Header parts[16];
    int flags[16];
};

// 0, or the probe's exit status for a broken input.
int load_burn_input(const char* path, const char* flag_list, burn_input* in) {
    if (load_env() < 0) return 200;
    int fd = open(path, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) < 0) return 201;
    const size_t len = static_cast<size_t>(st.st_size);
    void* map = mmap(nullptr, len, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return 202;
    in->rom = static_cast<const uint8_t*>(map);
    Rom_Header h;
    if (rom_check_header(in->rom, static_cast<uint32_t>(len), &h) != 0) return 203;
    uint32_t offset = rom_first_part_offset(&h);
    for (uint32_t i = 0; i < h.partition_num; ++i) {
        if (rom_check_part(in->rom, static_cast<uint32_t>(len), offset, &in->parts[i]) != 0) return 204;
        offset = rom_next_part_offset(offset, &in->parts[i]);
    }
    in->count = static_cast<int>(h.partition_num);
    memset(in->flags, 0, sizeof in->flags);
    const char* p = flag_list;
    for (int i = 0; i < 16 && *p != '\0'; ++i) {
        in->flags[i] = atoi(p);
        const char* comma = strchr(p, ',');
        if (comma == nullptr) break;
        p = comma + 1;
    }
    return 0;
}

int burn(int argc, char** argv) {
    static burn_input in;
    if (argc < 4) return 100;
    if (int bad = load_burn_input(argv[2], argv[3], &in)) return bad;
    if (argc > 4 && strcmp(argv[4], "ko") == 0) upgrader_kernel_only = 1;
    int rc = burn_partitions(&g_mtd_dev_ops, log_progress, nullptr, in.rom, g_env, in.count, in.parts, in.flags);
    rl_log_info("probe burn:%d\n", rc);
    return -rc;
}

// The driver's entry: progress on the upgrade screen ("null": no UI given).
int burn_ui(int argc, char** argv) {
    static burn_input in;
    if (argc < 4) return 100;
    if (int bad = load_burn_input(argv[2], argv[3], &in)) return bad;
    CBasicUI ui;
    CBasicUI* target = nullptr;
    if (argc < 5 || strcmp(argv[4], "null") != 0) {
        if (ui.Init() < 0) return 206;
        target = &ui;
    }
    int rc = upgrader_burn_flash(in.rom, g_env, in.count, in.parts, in.flags, target);
    rl_log_info("probe burn:%d\n", rc);
    return -rc;
}

int layout(int argc, char** argv) {
    if (load_env() < 0) return 200;
    // The installer runs its shell tools from a copy of /bin made at start.
    if (access("/tmp/bin/cat", X_OK) != 0) (void)!system("cp -r /bin /tmp/bin");
    kernel_support = kernel_support_mtd_repair_check();
    int rc = mtd_config_deal(g_env);
    rl_log_info("probe layout:%d kernel_support:%d env_mtd_write:%d config_mtd_write:%d kernel_only:%d\n", rc,
                kernel_support, env_mtd_write, config_mtd_write, upgrader_kernel_only);
    log_env();
    if (rc < 0) return 1;
    if (argc > 2 && strcmp(argv[2], "writeback") == 0) {
        if (config_mtd_write == 1) {
            int u = umount_config_mtd();
            int w = mtd_write_saved_copy(4);
            rl_log_info("probe writeback4 umount:%d write:%d\n", u, w);
            if (u < 0 || w < 0) return 2;
        }
        if (env_mtd_write == 1) {
            int w = mtd_write_saved_copy(3);
            rl_log_info("probe writeback3 write:%d\n", w);
            if (w < 0) return 3;
        }
    }
    return 0;
}

int autop(int argc, char** argv) {
    if (argc < 3 || load_env() < 0) return 200;
    if (strcmp(argv[2], "-") != 0) env_add_text(g_env, "RomVersion", argv[2]);
    config_autop(g_env);
    config_deleteLineKey8(g_env);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    rl_log_init("flash_probe", 7);
    if (argc < 2) return 100;
    const char* cmd = argv[1];
    if (strcmp(cmd, "burn") == 0) return burn(argc, argv);
    if (strcmp(cmd, "burn-ui") == 0) return burn_ui(argc, argv);
    if (strcmp(cmd, "layout") == 0) return layout(argc, argv);
    if (strcmp(cmd, "autop") == 0) return autop(argc, argv);
    if (strcmp(cmd, "mtd-write") == 0 && argc == 5)
        return mtd_write(atoi(argv[2]), atoi(argv[3]), argv[4]) < 0 ? 1 : 0;
    if (strcmp(cmd, "repair") == 0 && argc == 5)
        return mtd_addr_repair(atoi(argv[2]), static_cast<int>(strtoul(argv[3], nullptr, 0)),
                               static_cast<int>(strtoul(argv[4], nullptr, 0))) < 0
                   ? 1
                   : 0;
    return 100;
}
