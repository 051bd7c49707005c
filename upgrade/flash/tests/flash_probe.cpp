// flash_probe: runs the flash functions inside the simulated device for the
// system tests and reports through the log (lines starting "probe ") and its
// exit status. Never run it on a real machine: it writes /dev/mtd*.
//
//   flash_probe burn-ui FILE MTD [null]  upgrader_burn_flash of FILE to MTD with
//                                        the upgrade screen (null: no UI);
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

// The driver's entry with the mapped data file as the package's only
// partition.
int burn_ui(int argc, char** argv) {
    if (argc < 4 || load_env() < 0) return 200;
    int fd = open(argv[2], O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) < 0) return 201;
    void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return 202;
    Partition_Header part{};
    part.partition_id = static_cast<uint32_t>(atoi(argv[3]));
    part.partition_size = static_cast<uint32_t>(st.st_size);
    const int flag = 1;
    CBasicUI ui;
    const bool screen = argc < 5 || strcmp(argv[4], "null") != 0;
    if (screen && ui.Init() < 0) return 206;
    return -upgrader_burn_flash(static_cast<const uint8_t*>(map), g_env, 1, &part, &flag, screen ? &ui : nullptr);
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
