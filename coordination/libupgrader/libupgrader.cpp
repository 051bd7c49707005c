#include "libupgrader.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdint>
#include <cstring>

#include "rl_log.h"

namespace {

constexpr int kCreateFlags = IPC_CREAT | 0666;

// Reports the segment's size and attach count, then attaches it. IPC_STAT
// failing is only logged (size then 0); the attach decides the result.
void* attach_segment(int shmid, uint32_t* segment_size) {
    uint32_t size = 0;
    struct shmid_ds info;
    if (shmctl(shmid, IPC_STAT, &info) == 0) {
        size = static_cast<uint32_t>(info.shm_segsz);
        rl_log_info("Size of memory segment is %d\n", static_cast<int>(info.shm_segsz));
        rl_log_info("Numbre of attaches %d\n", static_cast<int>(info.shm_nattch));
    } else {
        rl_log_info("shmctl() call failed\n");
    }
    void* addr = shmat(shmid, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        rl_log_info("shmat failed\n");
        return nullptr;
    }
    rl_log_info("Memory attached at %X\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(addr)));
    if (segment_size != nullptr) *segment_size = size;
    return addr;
}

}  // namespace

void* libupd_get_share_memory_key(key_t key, uint32_t* segment_size) {
    if (segment_size != nullptr) *segment_size = 0;
    int shmid = shmget(key, 0, 0);
    if (shmid == -1) shmid = shmget(key, LIBUPD_SHM_SIZE, kCreateFlags);
    if (shmid == -1) return nullptr;
    return attach_segment(shmid, segment_size);
}

void* libupd_get_share_memory() { return libupd_get_share_memory_key(SHM_KEY_ROM, nullptr); }

void* get_share_memory(uint32_t* segment_size) {
    if (segment_size != nullptr) *segment_size = 0;
    int shmid = shmget(SHM_KEY_ROM_ALT, 0, 0);
    if (shmid == -1) shmid = shmget(SHM_KEY_ROM, 0, 0);
    if (shmid == -1) return nullptr;
    return attach_segment(shmid, segment_size);
}

void libupd_delete_share_memory(void* addr) {
    if (addr == nullptr) return;
    const int shmid = shmget(SHM_KEY_ROM, 0, 0);
    if (shmid < 0) return;
    if (shmdt(addr) == -1) {
        rl_log_err("detach the shared memory failed");
        return;
    }
    rl_log_info("detach the shared memory");
    if (shmctl(shmid, IPC_RMID, nullptr) == -1) rl_log_err("Failed to delete shared memory");
}

// The state word is copied byte-wise: the caller's address carries no
// alignment promise beyond what the attach gave.
int libupd_set_state(void* addr, int state) {
    const int32_t word = state;
    memcpy(static_cast<unsigned char*>(addr) + LIBUPD_STATE_OFFSET, &word, sizeof(word));
    return state;
}

int libupd_get_state(const void* addr) {
    int32_t word;
    memcpy(&word, static_cast<const unsigned char*>(addr) + LIBUPD_STATE_OFFSET, sizeof(word));
    return word;
}

unsigned char* libupd_get_rom_start_addr(void* addr) {
    return static_cast<unsigned char*>(addr) + LIBUPD_ROM_OFFSET;
}

void show_libupgrader_version() {
    rl_log_info("\nInit %s, Version %s, Build at %s %s\n", "libupgrader", "1.0.0.10", __DATE__,
                __TIME__);
}
