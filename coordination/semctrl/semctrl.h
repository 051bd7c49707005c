// semctrl: System V semaphores through which the device's processes exclude
// each other (the installer, the process that fills the shared ROM buffer, the
// processes that save configuration files).
//
// Every participating process uses the same keys, the same creation rule and
// the same operation flags, so all three are fixed here:
//   creation   semget(key, n, IPC_CREAT | IPC_EXCL | 0666)
//   look-up    semget(key, 0, 0666)
//   try-lock   one record {num, -1, IPC_NOWAIT}  -> stays taken when the holder dies
//   lock       one record {num, -1, SEM_UNDO}    -> the kernel gives it back at exit
//   unlock     one record {num, +1, SEM_UNDO}    -> the kernel lowers it again at exit
//
// A binary semaphore is a set of one semaphore (number 0); 1 = free, 0 = taken.
// Every function returns the system call's own result: -1 on failure with errno
// as the call left it. Nothing logs, retries or keeps state; any thread may call.
#pragma once

#include <sys/types.h>

// Semaphore keys of the system (all binary semaphores).
inline constexpr key_t SEM_KEY_SAVE_FILE = 0xB012;              // other processes saving config files
inline constexpr key_t SEM_KEY_UPGRADER_PROCESS = 0xC002;       // one "/basic/bin/upgrader"
inline constexpr key_t SEM_KEY_UPGRADER_TOOL_PROCESS = 0xC003;  // one "/tmp/upgrader_tool"
inline constexpr key_t SEM_KEY_BURN_FLASH = 0xC004;             // the writing of flash
inline constexpr key_t SEM_KEY_MEMORY = 0xA130;                 // the shared ROM buffer

// Creates a new private set of `nsems` semaphores (values as the kernel makes
// them); returns its id.
int sem_create_private(int nsems);
// Creates a private set of one semaphore set to 1; returns its id.
int binary_sem_create_private();
// Creates the set of `key` exclusively, or looks it up when it exists (EEXIST);
// values are not touched. Returns the id.
int sem_create_key(int nsems, key_t key);
// Returns the id of the binary semaphore of `key`; an existing one keeps its
// value, a new one is created with value 1. A creation race lost to another
// process gives -1 (no second look-up).
int binary_sem_create_key(key_t key);
// Looks the set of `key` up without creating it; returns its id.
int get_sem_by_key(key_t key);
// Removes the set (IPC_RMID).
int sem_free(int semid);
// Sets semaphore `semnum` to `value` (SETVAL).
int sem_set_value(int semid, int semnum, int value);
// Sets semaphore 0 to 1.
int binary_sem_set_value(int semid);
// Sets every value of the set from `values` (SETALL; one entry per semaphore).
int set_sem_values(int semid, unsigned short* values);

// Take the semaphore when it is free and return 0, else -1 at once (EAGAIN).
int try_lock_sem(int semid, int semnum);
int try_lock_binary_sem(int semid);
// Wait until the semaphore is free, take it and return 0.
int lock_sem(int semid, int semnum);
int lock_binary_sem(int semid);
// Give the semaphore back and return 0.
int unlock_sem(int semid, int semnum);
int unlock_binary_sem(int semid);

// Logs the module's version banner at info level.
void show_semctrl_version();
