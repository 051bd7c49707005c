#include "upgrade_flags.h"

int32_t kernel_support = 0;
int32_t mtd_config = 0;
uint32_t upgrader_tool_version = 0;
int32_t env_mtd_write = 0;
int32_t config_mtd_write = 0;
int32_t upgrader_kernel_only = 0;
