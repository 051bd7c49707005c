#include "semctrl.h"

#include <sys/ipc.h>
#include <sys/sem.h>

#include <cerrno>

#include "rl_log.h"

namespace {

constexpr int kCreateFlags = IPC_CREAT | IPC_EXCL | 0666;
constexpr int kLookupFlags = 0666;

// The caller defines this union for semctl (the C library does not).
union semun {
    int val;
    struct semid_ds* buf;
    unsigned short* array;
};

// Exactly one semop call with one operation record.
int sem_op(int semid, int semnum, short op, short flags) {
    struct sembuf record = {};
    record.sem_num = static_cast<unsigned short>(semnum);
    record.sem_op = op;
    record.sem_flg = flags;
    return semop(semid, &record, 1);
}

}  // namespace

int sem_create_private(int nsems) { return semget(IPC_PRIVATE, nsems, kCreateFlags); }

int binary_sem_create_private() {
    const int id = sem_create_private(1);
    if (id == -1) return -1;
    if (binary_sem_set_value(id) == -1) return -1;
    return id;
}

int sem_create_key(int nsems, key_t key) {
    const int id = semget(key, nsems, kCreateFlags);
    if (id == -1 && errno == EEXIST) return get_sem_by_key(key);
    return id;
}

int binary_sem_create_key(key_t key) {
    const int existing = get_sem_by_key(key);
    if (existing != -1) return existing;  // used with its value untouched
    const int id = semget(key, 1, kCreateFlags);
    if (id == -1) return -1;
    if (binary_sem_set_value(id) == -1) return -1;  // the new set stays
    return id;
}

int get_sem_by_key(key_t key) { return semget(key, 0, kLookupFlags); }

int sem_free(int semid) { return semctl(semid, 0, IPC_RMID); }

int sem_set_value(int semid, int semnum, int value) {
    union semun arg;
    arg.val = value;
    return semctl(semid, semnum, SETVAL, arg);
}

int binary_sem_set_value(int semid) { return sem_set_value(semid, 0, 1); }

int set_sem_values(int semid, unsigned short* values) {
    union semun arg;
    arg.array = values;
    return semctl(semid, 0, SETALL, arg);
}

int try_lock_sem(int semid, int semnum) { return sem_op(semid, semnum, -1, IPC_NOWAIT); }
int try_lock_binary_sem(int semid) { return try_lock_sem(semid, 0); }
int lock_sem(int semid, int semnum) { return sem_op(semid, semnum, -1, SEM_UNDO); }
int lock_binary_sem(int semid) { return lock_sem(semid, 0); }
int unlock_sem(int semid, int semnum) { return sem_op(semid, semnum, 1, SEM_UNDO); }
int unlock_binary_sem(int semid) { return unlock_sem(semid, 0); }

void show_semctrl_version() {
    rl_log_info("\nInit %s, Version %s, Build at %s %s\n", "semctrl", "1.0.0.2", __DATE__, __TIME__);
}
