// Reading a new flash layout, comparing it with the running one and moving the
// partitions that differ.
#include "mtd_layout.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

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

namespace {

// Index of "mtd<i>" in the device environment, or -1.
int env_index(const env_info* env, int i) {
    char key[16];
    snprintf(key, sizeof key, "mtd%d", i);
    unsigned int index = 0;
    return get_mtd_info(env, key, &index) < 0 ? -1 : static_cast<int>(index);
}

bool same_window(const env_info& cur, const env_info& next) {
    return cur.start_addr == next.start_addr && cur.end_addr == next.end_addr;
}

// Size of the saved copy of partition `mtd`, 0 for a partition without one.
uint32_t saved_copy_size(int mtd) {
    if (mtd == MTD_ENV_MTD) return MTD_ENV_COPY_SIZE;
    if (mtd == MTD_CONFIG_MTD) return MTD_CONFIG_COPY_SIZE;
    return 0;
}

// The layout file, read once per run: the driver asks what it moves before it
// is applied.
env_info g_layout[MTD_LAYOUT_ENTRIES];
int g_layout_read = 1;  // 1: not read yet, else mtd_layout_read's result

env_info* layout_table() {
    if (g_layout_read == 1) g_layout_read = mtd_layout_read(MTD_LAYOUT_FILE, g_layout);
    return g_layout_read == 0 ? g_layout : nullptr;
}

}  // namespace

int mtd_layout_moves_env_config(const env_info* env, const env_info* table, int support) {
    if (support == 0) return 0;
    for (int mtd : {MTD_ENV_MTD, MTD_CONFIG_MTD}) {
        const int index = env_index(env, mtd);
        if (index >= 0 && !same_window(env[index], table[mtd])) return 1;
    }
    return 0;
}

int mtd_layout_apply(env_info* env, env_info* table, int support, mtd_move_fn move, mtd_copy_fn copy) {
    // Everything that can refuse the layout is settled before the first move:
    // a half-applied layout leaves the phone with windows it cannot restore.
    env_info* cur[MTD_LAYOUT_ENTRIES];
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        const int index = env_index(env, i);
        if (index < 0) {
            rl_log_info("RomVersion env isnot exist!\n");
            return -1;
        }
        cur[i] = &env[index];
    }
    if (mtd_layout_moves_env_config(env, table, support) == 1) {
        for (int mtd : {MTD_ENV_MTD, MTD_CONFIG_MTD}) {
            const uint32_t size = table[mtd].end_addr - table[mtd].start_addr;
            if (!same_window(*cur[mtd], table[mtd]) && size != saved_copy_size(mtd)) {
                rl_log_err("mtd%d: new window of %x bytes cannot hold its saved copy of %x bytes\n", mtd,
                           size, saved_copy_size(mtd));
                return -1;
            }
        }
        if (copy() < 0) {
            rl_log_err("mtd3/mtd4 not saved: the layout is not applied\n");
            return -1;
        }
    }
    for (int i = 0; i < MTD_LAYOUT_ENTRIES; ++i) {
        rl_log_info("mtd%d start_addr:%x end_addr:%x\n", i, cur[i]->start_addr, cur[i]->end_addr);
        if (same_window(*cur[i], table[i])) continue;
        if (support == 0) {
            rl_log_info("kernel_support is UNAVAILABLE\n");
            upgrader_kernel_only = 1;
            return 0;
        }
        if (move(i, &table[i]) < 0) return -1;
        cur[i]->start_addr = table[i].start_addr;
        cur[i]->end_addr = table[i].end_addr;
    }
    return 0;
}

int mtd_diffrent_deal(int mtd, env_info* entry) {
    rl_log_debug("mtd_diffrent_deal %s\n", entry->name);
    int32_t* moved_flag = nullptr;
    if (strcmp(entry->name, "mtd3") == 0) moved_flag = &env_mtd_write;
    if (strcmp(entry->name, "mtd4") == 0) moved_flag = &config_mtd_write;
    // The copies come from the old windows, before the first move; without
    // good ones the partition stays where its contents are.
    if (moved_flag != nullptr && cat_env_config_block() < 0) return -1;
    int ret = mtd_addr_repair(mtd, static_cast<int>(entry->start_addr + kOffsetBias),
                              static_cast<int>(entry->end_addr - entry->start_addr));
    if (ret == 0 && moved_flag != nullptr) *moved_flag = 1;
    return ret;
}

int mtd_config_moves_env_config(const env_info* env) {
    const env_info* table = env != nullptr ? layout_table() : nullptr;
    return table != nullptr ? mtd_layout_moves_env_config(env, table, kernel_support) : 0;
}

int mtd_config_deal(env_info* env) {
    env_info* table = env != nullptr ? layout_table() : nullptr;
    if (table == nullptr) return -1;
    return mtd_layout_apply(env, table, kernel_support, mtd_diffrent_deal, cat_env_config_block);
}
