// Process-wide flags that carry state between the installer's stages.
//
// Each is a 32-bit integer, 0 at process start and never reset. Who writes and
// who reads each:
//   kernel_support        driver (from kernel_support_mtd_repair_check)  -> layout migration
//   mtd_config            package check (MTD config partition extracted)  -> driver
//   upgrader_tool_version package check (upgrader tool partition found)   -> driver (tool hand-off)
//   env_mtd_write         layout migration                                -> driver (write back mtd3)
//   config_mtd_write      layout migration                                -> driver (write back mtd4)
//   upgrader_kernel_only  layout migration                                -> flash burner
#pragma once

#include <cstdint>

extern int32_t kernel_support;
extern int32_t mtd_config;
extern uint32_t upgrader_tool_version;
extern int32_t env_mtd_write;
extern int32_t config_mtd_write;
extern int32_t upgrader_kernel_only;
