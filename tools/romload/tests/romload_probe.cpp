// Device-side probe: runs romload, then takes the buffer the way the installer
// does and broadcasts what it found (state, segment size, first 16 bytes) over
// IPC before releasing it.
//   romload_probe ROMLOAD PACKAGE STATE KEY
// Exit status: 0 read and released, 10 romload failed, 11 no segment, 12 no
// semaphore.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "ipc.h"
#include "libupgrader.h"
#include "semctrl.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: romload_probe ROMLOAD PACKAGE STATE KEY\n");
        return 2;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        execl(argv[1], argv[1], argv[2], "--state", argv[3], "--key", argv[4], static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return 10;
    }
    uint32_t size = 0;
    void* addr = get_share_memory(&size);
    if (addr == nullptr) return 11;
    const int semid = get_sem_by_key(SEM_KEY_MEMORY);
    if (semid < 0 || lock_binary_sem(semid) != 0) return 12;
    ipc_register(IPC_ID_UPGRADER);
    ipc_broadcast(0x5AFE, libupd_get_state(addr), static_cast<int>(size), libupd_get_rom_start_addr(addr), 16);
    ipc_unregister();
    // The device records a message while its sender still runs; do not end
    // before the recorder has taken it.
    usleep(500 * 1000);
    libupd_delete_share_memory(addr);
    unlock_binary_sem(semid);
    return 0;
}
