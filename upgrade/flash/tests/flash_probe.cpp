// flash_probe: runs the flash functions inside the simulated device for the
// system tests and reports through the log (lines starting "probe ") and its
// exit status. Never run it on a real machine: it writes /dev/mtd*.
//
//   flash_probe burn-ui PACKAGE [null]   upgrader_burn_flash of every partition
//                                        with the upgrade screen (null: no UI);
//                                        exit status = -result
//   flash_probe layout                   probe support, mtd_config_deal, then the
//                                        driver's write-back steps (exit status 1:
//                                        layout refused, 2/3: write-back failed)
//   flash_probe repair MTD OFFSET SIZE   mtd_addr_repair; exit status 0 or 1
//   flash_probe autop ROMVERSION         config_autop
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

// The driver's entry with a mapped package file, every partition selected.
int burn_ui(int argc, char** argv) {
    if (argc < 3 || load_env() < 0) return 200;
    int fd = open(argv[2], O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) < 0) return 201;
    const uint32_t len = static_cast<uint32_t>(st.st_size);
    void* map = mmap(nullptr, len, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return 202;
    const auto* rom = static_cast<const uint8_t*>(map);
    static Partition_Header parts[16];
    static int flags[16];
    Rom_Header h;
    if (rom_check_header(rom, len, &h) != 0 || h.partition_num > 16) return 203;
    uint32_t offset = rom_first_part_offset(&h);
    for (uint32_t i = 0; i < h.partition_num; ++i) {
        if (rom_check_part(rom, len, offset, &parts[i]) != 0) return 204;
        offset = rom_next_part_offset(offset, &parts[i]);
        flags[i] = 1;
    }
    CBasicUI ui;
    const bool screen = argc < 4 || strcmp(argv[3], "null") != 0;
    if (screen && ui.Init() < 0) return 206;
    return -upgrader_burn_flash(rom, g_env, static_cast<int>(h.partition_num), parts, flags, screen ? &ui : nullptr);
}

int layout() {
    if (load_env() < 0) return 200;
    // The installer runs its shell tools from a copy of /bin made at start.
    if (access("/tmp/bin/cat", X_OK) != 0) (void)!system("cp -r /bin /tmp/bin");
    kernel_support = kernel_support_mtd_repair_check();
    int rc = mtd_config_deal(g_env);
    rl_log_info("probe layout:%d kernel_support:%d env_mtd_write:%d config_mtd_write:%d kernel_only:%d\n", rc,
                kernel_support, env_mtd_write, config_mtd_write, upgrader_kernel_only);
    if (rc < 0) return 1;
    if (config_mtd_write == 1 && (umount_config_mtd() < 0 || mtd_write_saved_copy(4) < 0)) return 2;
    if (env_mtd_write == 1 && mtd_write_saved_copy(3) < 0) return 3;
    return 0;
}

int autop(int argc, char** argv) {
    if (argc < 3 || load_env() < 0) return 200;
    env_add_text(g_env, "RomVersion", argv[2]);
    config_autop(g_env);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    rl_log_init("flash_probe", 7);
    if (argc < 2) return 100;
    const char* cmd = argv[1];
    if (strcmp(cmd, "burn-ui") == 0) return burn_ui(argc, argv);
    if (strcmp(cmd, "layout") == 0) return layout();
    if (strcmp(cmd, "autop") == 0) return autop(argc, argv);
    if (strcmp(cmd, "repair") == 0 && argc == 5)
        return mtd_addr_repair(atoi(argv[2]), static_cast<int>(strtol(argv[3], nullptr, 0)),
                               static_cast<int>(strtol(argv[4], nullptr, 0))) < 0;
    return 100;
}
