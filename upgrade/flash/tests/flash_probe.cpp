// flash_probe: runs the flash functions inside the simulated device for the
// system tests and reports through its exit status. Never run it on a real
// machine: it writes /dev/mtd*.
//
//   flash_probe burn-ui FILE MTD [null]  upgrader_burn_flash of FILE to MTD with
//                                        the upgrade screen (null: no UI);
//                                        exit status = -result
//   flash_probe layout                   probe support, mtd_config_deal, then the
//                                        write-back of mtd3 (exit status 1: layout
//                                        refused, 3: write-back failed)
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "basicui.h"
#include "burn.h"
#include "env.h"
#include "mtd_layout.h"
#include "rl_log.h"
#include "rom_format.h"
#include "upgrade_flags.h"

namespace {

env_info g_env[ENV_INFO_NUM];

std::string slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The device environment from the bootloader listing, without the shell copy.
void load_env() {
    const std::string text = slurp("/proc/avalanche/env");
    env_parse_listing(g_env, text.data(), text.size());
}

// The driver's entry with the data file as the package's only partition.
int burn_ui(int argc, char** argv) {
    if (argc < 4) return 200;
    load_env();
    const std::string data = slurp(argv[2]);
    Partition_Header part{};
    part.partition_id = static_cast<uint32_t>(atoi(argv[3]));
    part.partition_size = static_cast<uint32_t>(data.size());
    const int flag = 1;
    CBasicUI ui;
    const bool screen = argc < 5 || strcmp(argv[4], "null") != 0;
    if (screen && ui.Init() < 0) return 206;
    return -upgrader_burn_flash(reinterpret_cast<const uint8_t*>(data.data()), g_env, 1, &part, &flag,
                                screen ? &ui : nullptr);
}

int layout() {
    load_env();
    // The installer runs its shell tools from a copy of /bin made at start.
    if (access("/tmp/bin/cat", X_OK) != 0) (void)!system("cp -r /bin /tmp/bin");
    kernel_support = kernel_support_mtd_repair_check();
    if (mtd_config_deal(g_env) < 0) return 1;
    if (env_mtd_write == 1 && mtd_write_saved_copy(3) < 0) return 3;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    rl_log_init("flash_probe", 7);
    if (argc >= 2 && strcmp(argv[1], "burn-ui") == 0) return burn_ui(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "layout") == 0) return layout();
    return 100;
}
