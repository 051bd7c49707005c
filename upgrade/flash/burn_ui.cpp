// The burner as the driver calls it: real MTD devices, progress on the LCD.
#include "basicui.h"
#include "burn.h"

namespace {

void ui_progress(void* ctx, int percent) { static_cast<CBasicUI*>(ctx)->SetUpgradingProgressBar(percent); }

}  // namespace

int upgrader_burn_flash(const uint8_t* rom, env_info* env, int count, const Partition_Header* headers,
                        const int* flags, CBasicUI* ui) {
    if (ui == nullptr) return -1;
    return burn_partitions(&g_mtd_dev_ops, ui_progress, ui, rom, env, count, headers, flags);
}
