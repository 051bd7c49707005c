#include "driver.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "basicui.h"
#include "broadcasts.h"
#include "burn.h"
#include "env.h"
#include "failure_screens.h"
#include "ipc.h"
#include "libupgrader.h"
#include "mtd_layout.h"
#include "autop.h"
#include "process_control.h"
#include "rl_log.h"
#include "rom_format.h"
#include "rompack_check.h"
#include "semctrl.h"
#include "upd_msg.h"
#include "upgrade_flags.h"

pthread_t tid_kpad;

namespace {

constexpr const char* kProgramName = "upgrader";
constexpr const char* kVersion = "1.0.0.55";
constexpr const char* kInstalledPath = "/basic/bin/upgrader";
constexpr const char* kToolPath = "/tmp/upgrader_tool";
constexpr size_t kToolPathLen = 18;  // strlen(kToolPath): prefix of every tool start path
constexpr int kCopyAttempts = 5;
constexpr int kWatchdogAttempts = 3;
constexpr int kSaveFileAttempts = 10;
constexpr unsigned int kBroadcastPauseSeconds = 3;
constexpr unsigned int kAfterRebootSeconds = 10;
constexpr int kCheckToolExtracted = 11;


// What a stage asks the driver to do next.
enum class next_step {
    go_on,           // the next stage
    failure_ending,  // show the failure (or end quietly for result 0)
    short_exit,      // close log and IPC and return the result
    return_now,      // return the result at once, releasing nothing
};

// Everything one run owns; alive until the process ends (the countdown thread
// reads the UI and the failure ID while the main thread waits for a key).
struct upgrade_run {
    CBasicUI* ui = nullptr;
    int argc = 0;
    char** argv = nullptr;
    const char* argv0 = "";
    bool shm_mode = false;
    int result = 0;
    int failure_id = 0;
    int reboot_choice = 0;
    // Semaphore ids: 0 is a valid id, only a negative one is absent.
    int process_semid = -1;
    int cfg_semid = -1;
    bool save_file_tried = false;   // the ten tries are made once per run
    bool save_file_locked = false;  // this run holds the save-file semaphore
    int memory_semid = -1;
    void* mem_addr = nullptr;
    int upgrader_state = 0;
    int same_version = 0;
    const uint8_t* package = nullptr;
    uint32_t package_len = 0;
    env_info env[ENV_INFO_NUM];
    Rom_Header header;
    Partition_Header parts[ROM_PARTITION_MAX];
    int burn_flags[ROM_PARTITION_MAX];
    autop_timer_arg timer_arg;
};

upgrade_run g_run;

next_step fail(upgrade_run& run, int result, int failure_id) {
    run.result = result;
    run.failure_id = failure_id;
    return next_step::failure_ending;
}

// Gives back a semaphore this run took with a try-lock. The try-lock left no
// undo record, so neither may the release: an unlock's undo record would take
// the semaphore again when this process ends.
void release_try_lock(int semid) {
    if (semid >= 0) binary_sem_set_value(semid);
}

// Release group B: the shared ROM buffer's semaphore, and the buffer itself
// unless the run hands it on (result 0).
void release_group_b(upgrade_run& run) {
    if (!run.shm_mode) return;
    if (run.memory_semid >= 0) unlock_binary_sem(run.memory_semid);
    if (run.result != 0) libupd_delete_share_memory(run.mem_addr);
}

// The save-file semaphore, when this run took it: after ten failed tries it
// belongs to its holder.
void release_save_file(upgrade_run& run) {
    if (!run.save_file_locked) return;
    rl_log_debug("unlock cfg_semid\n");
    release_try_lock(run.cfg_semid);
    run.save_file_locked = false;
}

// Release group C: the save-file semaphore, then B.
void release_group_c(upgrade_run& run) {
    release_save_file(run);
    release_group_b(run);
}

// Up to ten tries, one second apart, once per run: before the partition copies
// when a layout moves the environment or configuration, else before the
// applications stop. After ten failures the run goes on without the lock.
void take_save_file_lock(upgrade_run& run) {
    if (run.save_file_tried || run.cfg_semid < 0) return;
    run.save_file_tried = true;
    rl_log_debug("wait lock cfg_semid\n");
    for (int attempt = 0; attempt < kSaveFileAttempts; ++attempt) {
        if (try_lock_binary_sem(run.cfg_semid) == 0) {
            run.save_file_locked = true;
            rl_log_debug("locked cfg_semid\n");
            return;
        }
        sleep(1);
    }
    rl_log_err("lock cfg_semid failed\n");
}

void install_signal_handlers() {
    const int signals[] = {SIGINT, SIGSEGV, SIGILL, SIGHUP, SIGQUIT, SIGABRT, SIGBUS};
    for (int signo : signals) signal(signo, signal_handler);
}

// Start-up steps that need no UI: copies of reboot and the shell tools, the
// argument count, the save-file semaphore.
next_step start_up(upgrade_run& run) {
    memset(run.env, 0, sizeof(run.env));
    ipc_register(IPC_ID_UPGRADER);

    run.reboot_choice = system_return_check(system("cp /sbin/reboot /tmp/")) == 0 ? 0 : -1;
    run.same_version = 0;
    run.upgrader_state = 0;

    for (int attempt = 1;; ++attempt) {
        if (system_return_check(system("cp /bin/ /tmp/ -rf")) == 0) break;
        sleep(1);
        if (attempt == kCopyAttempts) {
            rl_log_err("copy_bins failed!\n");
            run.result = UPGRADER_COPY_BINS_FAILED;
            return next_step::short_exit;
        }
    }

    // An empty argument vector is no start form either: treat it like too many.
    if (run.argc >= 3 || run.argc < 1) {
        const char* name = run.argc >= 1 && run.argv[0] != nullptr ? run.argv[0] : kProgramName;
        rl_log_info("\nusage: %s  or  %s rom_file\n", name, name);
        run.result = UPGRADER_USAGE;
        return next_step::short_exit;
    }

    run.cfg_semid = binary_sem_create_key(SEM_KEY_SAVE_FILE);
    if (run.cfg_semid < 0) rl_log_err("SEM_KEY_SAVE_FILE get failed! Is save mode?\n");
    rl_log_debug("cfg_semid:%x\n", run.cfg_semid);
    run.shm_mode = run.argc == 1;
    return next_step::go_on;
}

// Takes the one-process lock of the start path's kind; never released.
next_step take_process_lock(upgrade_run& run) {
    key_t key;
    const char* name;
    if (strcmp(run.argv0, kInstalledPath) == 0) {
        key = SEM_KEY_UPGRADER_PROCESS;
        name = "upgrader_process";
    } else if (strncmp(run.argv0, kToolPath, kToolPathLen) == 0) {
        key = SEM_KEY_UPGRADER_TOOL_PROCESS;
        name = "upgrader_tool_process";
    } else {
        rl_log_debug("upgrader path error\n");
        run.result = 0;
        return next_step::return_now;
    }
    int id = binary_sem_create_key(key);
    if (id < 0) rl_log_err("get %s failed!\n", name);
    rl_log_debug("wait lock %s\n", name);
    if (try_lock_binary_sem(id) == -1) {
        rl_log_err("lock %s failed\n", name);
        run.result = 0;
        return next_step::return_now;
    }
    run.process_semid = id;
    rl_log_debug("locked %s\n", name);
    return next_step::go_on;
}

next_step common_front(upgrade_run& run) {
    if (run.ui->Init() < 0) {
        rl_log_err("BasicUI init failed!\n");
        run.result = 0;
        return next_step::short_exit;
    }
    run.ui->ShowVersion();

    bool watchdog_stopped = false;
    for (int attempt = 0; attempt < kWatchdogAttempts && !watchdog_stopped; ++attempt) {
        watchdog_stopped = CloseWatchDog(0) == 0;
    }
    if (!watchdog_stopped) return fail(run, UPGRADER_WATCHDOG_FAILED, UPGRADER_WATCHDOG_FAILED);

    next_step step = take_process_lock(run);
    if (step != next_step::go_on) return step;

    kernel_support = kernel_support_mtd_repair_check();
    rl_log_info("kernel_support is :%d \n", kernel_support);
    return next_step::go_on;
}

// The file-mode exits before the package is read: the process lock and the
// watchdog are given back, or every later installer would stop at its
// try-lock and the phone would run unwatched until a restart.
next_step end_without_package(upgrade_run& run, int result) {
    release_try_lock(run.process_semid);
    CloseWatchDog(1);
    rl_log_deinit();
    ipc_unregister();
    run.result = result;
    return next_step::return_now;
}

// File mode: the package is the named file, mapped read-only and private. The
// descriptor and the mapping stay for the rest of the run.
next_step map_rom_file(upgrade_run& run) {
    const char* path = run.argv[1];
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        rl_log_err("%s File open failed!\n", path);
        return end_without_package(run, UPGRADER_ROM_OPEN_FAILED);
    }
    struct stat st = {};
    void* map = MAP_FAILED;
    // A package must fit the check's 32-bit length; a larger file is refused
    // like one that cannot be mapped.
    if (fstat(fd, &st) == 0 && st.st_size >= 0 &&
        static_cast<unsigned long long>(st.st_size) <= UINT32_MAX) {
        map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    }
    if (map == MAP_FAILED) {
        rl_log_err("memory map failed!\n");
        close(fd);
        return end_without_package(run, UPGRADER_ROM_MAP_FAILED);
    }
    run.package = static_cast<const uint8_t*>(map);
    run.package_len = static_cast<uint32_t>(st.st_size);
    rl_log_debug("start:%x \n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(map)));
    return next_step::go_on;
}

// Shared-memory mode: the package lies in the shared ROM buffer, read only
// after its semaphore is held.
next_step attach_shared_rom(upgrade_run& run) {
    uint32_t segment_size = 0;
    run.mem_addr = get_share_memory(&segment_size);
    if (run.mem_addr == nullptr) return fail(run, UPGRADER_SHM_FAILED, UPGRADER_SHM_FAILED);
    rl_log_debug("mem_addr:0x%x\n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(run.mem_addr)));

    run.memory_semid = binary_sem_create_key(SEM_KEY_MEMORY);
    if (run.memory_semid < 0) rl_log_err("get memory_semid failed!\n");
    rl_log_debug("wait lock memory_semid\n");
    lock_binary_sem(run.memory_semid);
    rl_log_debug("locked memory_semid");

    run.upgrader_state = libupd_get_state(run.mem_addr);
    if (run.upgrader_state == -1 || run.upgrader_state == -2) {
        rl_log_info("upgrader_state is failed\n");
        return fail(run, UPGRADER_STATE_FAILED, UPGRADER_STATE_FAILED);
    }
    run.package = libupd_get_rom_start_addr(run.mem_addr);
    run.package_len = segment_size > LIBUPD_ROM_OFFSET ? segment_size - LIBUPD_ROM_OFFSET : 0;
    rl_log_debug("rom_addr:%x\n", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(run.package)));
    return next_step::go_on;
}

next_step refuse_package(upgrade_run& run, int code) {
    rl_log_err("rom pack check failed! ID:%d\n", code);
    ipc_broadcast(kMsgUpgrade, kUpgradeCheckFailed, 0, nullptr, 0);
    sleep(kBroadcastPauseSeconds);
    run.result = UPGRADER_ROM_CHECK_FAILED;
    run.failure_id = code;
    release_group_b(run);
    return next_step::failure_ending;
}

// Whether an upgrader tool in /tmp takes the upgrade over: it exists, this run
// is not that very file, and its version differs from this installer's.
bool tool_takes_over(const upgrade_run& run) {
    char version[32];
    snprintf(version, sizeof(version), "%d.%d.%d.%d", (upgrader_tool_version >> 24) & 0xFFu,
             (upgrader_tool_version >> 16) & 0xFFu, (upgrader_tool_version >> 8) & 0xFFu,
             upgrader_tool_version & 0xFFu);
    return access(kToolPath, F_OK) == 0 && strcmp(run.argv0, kToolPath) != 0 &&
           strcmp(version, kVersion) != 0;
}

// File mode hand-off: the tool is started without a shell, detached, with the
// ROM file as its one argument; it installs the package in file mode.
void start_tool_detached(const char* rom_path) {
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        execl(kToolPath, kToolPath, rom_path, static_cast<char*>(nullptr));
        _exit(127);
    }
}

next_step hand_off_to_tool(upgrade_run& run) {
    if (run.shm_mode) {
        char command[64];
        snprintf(command, sizeof(command), "%s &", kToolPath);
        system(command);
    } else {
        start_tool_detached(run.argv[1]);
    }
    run.result = 0;
    rl_log_debug("upgrader_tool_check /tmp/upgrader_tool exist\n");
    release_group_b(run);
    return next_step::failure_ending;
}

next_step check_package(upgrade_run& run) {
    int r = upgrader_rompack_check(run.package, run.package_len, run.env, &run.header, run.parts,
                                   run.burn_flags);
    if (r == UPD_MSG_ROM_VERSION_SAME) {
        run.same_version = 1;
    } else if (r != 0 && r != kCheckToolExtracted) {
        return refuse_package(run, r);
    }
    // The shared-memory hand-off also catches a stale tool left in /tmp.
    if ((run.shm_mode || r == kCheckToolExtracted) && tool_takes_over(run)) {
        return hand_off_to_tool(run);
    }
    // A check that stopped at the tool has not matched hardware, OEM rules or
    // the remaining partitions: without a hand-off it must not be burned.
    if (r == kCheckToolExtracted) return refuse_package(run, r);
    return next_step::go_on;
}

// The same-version path: moved windows get their saved copies, the bar runs
// through, the device reboots; no partition is burned.
void same_version_reboot(upgrade_run& run) {
    mtd_restore_moved_partitions();
    for (int percent = 15; percent <= 95; percent += 10) {
        run.ui->SetUpgradingProgressBar(percent);
        sleep(1);
    }
    run.ui->SetUpgradingProgressBar(100);
    system_ex("rm -f /config/upgrader_autop", 3, 3);
    do_reboot(run.reboot_choice);
    sleep(kAfterRebootSeconds);
    CloseWatchDog(1);
}

next_step prepare(upgrade_run& run) {
    if (mtd_config == 1) {
        rl_log_debug("mtd_config\n");
        // No configuration save may land between the copies and the move.
        if (mtd_config_moves_env_config(run.env) == 1) take_save_file_lock(run);
        if (mtd_config_deal(run.env) < 0) {
            rl_log_debug("mtd_config failed!\n");
            run.result = run.failure_id = UPGRADER_MTD_CONFIG_FAILED;
            release_group_c(run);
            return next_step::failure_ending;
        }
    }
    ipc_broadcast(kMsgUpgrade, kUpgradeAppsStopping, 0, nullptr, 0);
    sleep(kBroadcastPauseSeconds);

    take_save_file_lock(run);
    int killed = upgrader_killapps(run.shm_mode ? run.upgrader_state : 0);

    if (run.same_version == 1) same_version_reboot(run);

    if (killed < 0) {
        rl_log_err("killapps failed!\n");
        ipc_broadcast(kMsgUpgrade, kUpgradeKillappsFailed, 0, nullptr, 0);
        run.result = run.failure_id = UPGRADER_KILLAPPS_FAILED;
        release_group_c(run);
        return next_step::failure_ending;
    }

    int burn_semid = binary_sem_create_key(SEM_KEY_BURN_FLASH);
    if (burn_semid < 0) rl_log_err("get burn_flash_semid failed!\n");
    rl_log_debug("wait lock burn_flash_semid\n");
    if (try_lock_binary_sem(burn_semid) == -1) {
        rl_log_err("lock burn_flash_semid failed\n");
        run.result = 0;
        return next_step::return_now;
    }
    rl_log_debug("locked burn_flash_semid\n");
    return next_step::go_on;
}

next_step write_back_and_burn(upgrade_run& run) {
    if (config_mtd_write == 1) {
        if (umount_config_mtd() < 0) {
            rl_log_debug("config unmount failed!\n");
            run.result = run.failure_id = UPGRADER_CONFIG_UMOUNT_FAILED;
            release_group_c(run);
            return next_step::failure_ending;
        }
        if (mtd_write_saved_copy(MTD_CONFIG_MTD) < 0) {
            rl_log_debug("config mtd_write failed!\n");
            run.result = run.failure_id = UPGRADER_BURN_FAILED;
            release_group_c(run);
            return next_step::failure_ending;
        }
    }
    if (env_mtd_write == 1 && mtd_write_saved_copy(MTD_ENV_MTD) < 0) {
        rl_log_debug("env mtd_write failed!\n");
        run.result = run.failure_id = UPGRADER_BURN_FAILED;
        release_group_c(run);
        return next_step::failure_ending;
    }
    int burned = upgrader_burn_flash(run.package, run.env, static_cast<int>(run.header.partition_num),
                                     run.parts, run.burn_flags, run.ui);
    if (burned < 0) {
        rl_log_err("burn flash failed!\n");
        ipc_broadcast(kMsgUpgrade, kUpgradeBurnFailed, 0, nullptr, 0);
        run.failure_id = burned;
        run.result = UPGRADER_BURN_FAILED;
        release_group_c(run);
        return next_step::failure_ending;
    }
    if (run.shm_mode) {
        config_autop(run.env);
        config_deleteLineKey8(run.env);
    }
    return next_step::go_on;
}

int short_exit(upgrade_run& run) {
    ipc_unregister();
    rl_log_deinit();
    return run.result;
}

int complete(upgrade_run& run) {
    mtd_restore_moved_partitions();
    system_ex("rm -f /config/upgrader_autop", 3, 3);
    sleep(1);
    do_reboot(run.reboot_choice);
    sleep(kAfterRebootSeconds);
    CloseWatchDog(1);

    // Still alive: release what the run holds and end.
    release_save_file(run);
    if (run.shm_mode) {
        if (run.memory_semid >= 0) unlock_binary_sem(run.memory_semid);
        libupd_delete_share_memory(run.mem_addr);
    }
    run.ui->Deinit();
    ipc_unregister();
    rl_log_info("upgrader-1 completed!\n");
    rl_log_deinit();
    return 0;
}

// The auto-provisioning failure wait: a countdown thread reboots after 60 s
// while this thread waits for the confirmation key.
[[noreturn]] void autop_failure_wait(upgrade_run& run) {
    ipc_broadcast(kMsgFailureShown, 0, 0, nullptr, 0);
    run.timer_arg.failure_id = run.failure_id;
    run.timer_arg.ui = run.ui;
    pthread_create(&tid_kpad, nullptr, autop_reboot_timer, &run.timer_arg);
    failure_key_wait(run.ui, run.reboot_choice);
}

int failure_ending(upgrade_run& run) {
    // Every ending after a partition move first puts the saved environment and
    // configuration into their moved windows (the same-version reboot and the
    // completion too), so the phone restarts with its variables and settings.
    mtd_restore_moved_partitions();
    rl_log_debug("upgrader_state:%x\n", run.upgrader_state);
    switch (run.upgrader_state) {
        case 0:
        case -1:
        case 2:
        case -3:
            disp_failed_info(run.ui, run.result, run.reboot_choice, run.failure_id);
            break;
        case 1:
        case -2:
            if (run.result != 0) autop_failure_wait(run);
            break;
        default:
            break;
    }
    run.ui->Deinit();
    return short_exit(run);
}

}  // namespace

int upgrader_main(int argc, char** argv) {
    CBasicUI ui;
    upgrade_run& run = g_run;
    run.ui = &ui;
    run.argc = argc;
    run.argv = argv;
    run.argv0 = argc >= 1 && argv[0] != nullptr ? argv[0] : "";

    rl_log_init(kProgramName, 7);
    rl_log_info("\n\nInit %s, Version %s, Build at %s %s\n", kProgramName, kVersion, __DATE__,
                __TIME__);
    install_signal_handlers();

    // Each stage in order; the first that does not go on decides the ending.
    using stage_fn = next_step (*)(upgrade_run&);
    const stage_fn stages[] = {
        start_up,
        common_front,
        [](upgrade_run& r) { return r.shm_mode ? attach_shared_rom(r) : map_rom_file(r); },
        check_package,
        prepare,
        write_back_and_burn,
    };
    for (stage_fn stage : stages) {
        switch (stage(run)) {
            case next_step::go_on: continue;
            case next_step::failure_ending: return failure_ending(run);
            case next_step::short_exit: return short_exit(run);
            case next_step::return_now: return run.result;
        }
    }
    return complete(run);
}
