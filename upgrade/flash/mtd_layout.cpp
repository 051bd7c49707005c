// Reading a new flash layout, comparing it with the running one and moving the
// partitions that differ.
#include "mtd_layout.h"

#include <cstdio>
#include <cstring>

#include "inifile.h"
#include "rl_log.h"
#include "upgrade_flags.h"

namespace {

const uint32_t kWindowLow = 0x8FFFFFFFu;   // addresses lie above this ...
const uint32_t kWindowHigh = 0x90800000u;  // ... and at most here
const uint32_t kOffsetBias = 0x70000000u;  // address + bias = offset from flash start (mod 2^32)

}  // namespace

int mtd_layout_parse(const char* value, uint32_t* start, uint32_t* end) {
    if (value == nullptr || start == nullptr || end == nullptr) return -1;
    unsigned int s = 0, e = 0;
    // Both numbers are needed: a value holding one would leave the other unset.
    if (sscanf(value, "%x,%x", &s, &e) != 2) return -1;
    if (!(static_cast<int32_t>(s) < static_cast<int32_t>(e))) return -1;
    if (!(s > kWindowLow && s <= kWindowHigh && e > kWindowLow && e <= kWindowHigh)) return -1;
    if ((s & 0xFFFFu) != 0 || (e & 0xFFFFu) != 0) return -1;
    *start = s;
    *end = e;
    return 0;
}

int mtd_layout_read(const char* path, env_info* table) {
    memset(table, 0, sizeof(env_info) * MTD_LAYOUT_ENTRIES);
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        char key[16];
        snprintf(key, sizeof key, "mtd%d", i);
        char value[150];
        memset(value, 0, sizeof value);
        int found = read_profile_string("mtd", key, value, 100, nullptr, path);
        rl_log_debug("str_buf:%s\n", value);
        uint32_t start = 0, end = 0;
        if (found != 1 || mtd_layout_parse(value, &start, &end) < 0) {
            rl_log_err("%s: %s refused: \"%s\"\n", path, key, found == 1 ? value : "(missing)");
            return -1;
        }
        snprintf(table[i].name, sizeof table[i].name, "%s", key);
        table[i].start_addr = start;
        table[i].end_addr = end;
    }
    return 0;
}

int mtd_layout_apply(env_info* env, env_info* table, int support, mtd_move_fn move) {
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        char key[16];
        snprintf(key, sizeof key, "mtd%d", i);
        unsigned int index = 0;
        if (get_mtd_info(env, key, &index) < 0) {
            rl_log_info("RomVersion env isnot exist!\n");
            return -1;
        }
        env_info* cur = &env[index];
        rl_log_info("%s start_addr:%x end_addr:%x\n", key, cur->start_addr, cur->end_addr);
        if (cur->start_addr == table[i].start_addr && cur->end_addr == table[i].end_addr) continue;
        if (support == 0) {
            rl_log_info("kernel_support is UNAVAILABLE\n");
            upgrader_kernel_only = 1;
            return 0;
        }
        if (move(i, &table[i]) < 0) return -1;
        cur->start_addr = table[i].start_addr;
        cur->end_addr = table[i].end_addr;
    }
    return 0;
}

int mtd_diffrent_deal(int mtd, env_info* entry) {
    rl_log_debug("mtd_diffrent_deal %s\n", entry->name);
    // The copies are taken while both partitions still sit at their old place.
    if (strcmp(entry->name, "mtd3") == 0) {
        cat_env_config_block();
        env_mtd_write = 1;
    } else if (strcmp(entry->name, "mtd4") == 0) {
        cat_env_config_block();
        config_mtd_write = 1;
    }
    return mtd_addr_repair(mtd, static_cast<int>(entry->start_addr + kOffsetBias),
                           static_cast<int>(entry->end_addr - entry->start_addr));
}

int mtd_config_deal(env_info* env) {
    if (env == nullptr) return -1;
    env_info table[MTD_LAYOUT_ENTRIES];
    if (mtd_layout_read(MTD_LAYOUT_FILE, table) < 0) return -1;
    return mtd_layout_apply(env, table, kernel_support, mtd_diffrent_deal);
}
