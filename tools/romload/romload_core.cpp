#include "romload_core.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "libupgrader.h"
#include "semctrl.h"

namespace {

__attribute__((format(printf, 3, 4))) int fail(char* error, size_t error_size, const char* fmt,
                                                ...) {
    if (error_size == 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(error, error_size, fmt, ap);
    va_end(ap);
    return 0;
}

// Room for the package in the segment of `key`: an existing segment's size,
// else the size the creating attach will give it. -1 when the size is unknown.
long long segment_room(key_t key, size_t* segment_size) {
    const int shmid = shmget(key, 0, 0);
    size_t size = LIBUPD_SHM_SIZE;
    if (shmid >= 0) {
        struct shmid_ds info;
        if (shmctl(shmid, IPC_STAT, &info) != 0) return -1;
        size = info.shm_segsz;
    }
    *segment_size = size;
    return size < LIBUPD_ROM_OFFSET ? 0 : static_cast<long long>(size - LIBUPD_ROM_OFFSET);
}

bool fits(size_t length, long long room) { return room >= 0 && static_cast<long long>(length) <= room; }

int refuse_size(char* error, size_t error_size, size_t length, key_t key, size_t segment_size,
                long long room) {
    fail(error, error_size,
         "package of %zu bytes does not fit the segment of key 0x%X (%zu bytes, room for %lld)",
         length, static_cast<unsigned>(key), segment_size, room);
    return ROMLOAD_TOO_LARGE;
}

}  // namespace

int romload_fill(const unsigned char* package, size_t length, int state, key_t key, char* error,
                 size_t error_size) {
    if (error_size > 0) error[0] = '\0';
    size_t segment_size = 0;
    long long room = segment_room(key, &segment_size);
    if (room < 0) {
        fail(error, error_size, "cannot read the size of the segment of key 0x%X: %s",
             static_cast<unsigned>(key), strerror(errno));
        return ROMLOAD_NO_SEGMENT;
    }
    // Refused before anything is made: no segment, no semaphore.
    if (!fits(length, room)) return refuse_size(error, error_size, length, key, segment_size, room);

    const int semid = binary_sem_create_key(SEM_KEY_MEMORY);
    if (semid < 0 || lock_binary_sem(semid) != 0) {
        fail(error, error_size, "cannot take the shared-memory semaphore 0x%X: %s",
             static_cast<unsigned>(SEM_KEY_MEMORY), strerror(errno));
        return ROMLOAD_NO_SEMAPHORE;
    }
    uint32_t attached_size = 0;
    void* addr = libupd_get_share_memory_key(key, &attached_size);
    int result = ROMLOAD_OK;
    if (addr == nullptr) {
        fail(error, error_size, "cannot attach the segment of key 0x%X: %s",
             static_cast<unsigned>(key), strerror(errno));
        result = ROMLOAD_NO_SEGMENT;
    } else {
        // The segment may have changed while the lock was awaited: measure again.
        room = attached_size < LIBUPD_ROM_OFFSET ? 0 : attached_size - LIBUPD_ROM_OFFSET;
        if (!fits(length, room)) {
            result = refuse_size(error, error_size, length, key, attached_size, room);
        } else {
            if (length > 0) memcpy(libupd_get_rom_start_addr(addr), package, length);
            libupd_set_state(addr, state);
        }
        shmdt(addr);
    }
    unlock_binary_sem(semid);
    return result;
}
