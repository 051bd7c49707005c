// Device-side probe: runs romload, then reads the buffer the way the installer
// does and announces what it found over IPC.
//   romload_probe ROMLOAD PACKAGE STATE KEY
// Exit status: 0 all intact, 10 romload failed, 11 no segment, 12 no
// semaphore, 13 state differs, 14 package differs, 15 package unreadable.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
        execl(argv[1], argv[1], argv[2], "--state", argv[3], "--key", argv[4],
              static_cast<char*>(nullptr));
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

    std::string package;
    FILE* f = fopen(argv[2], "rb");
    if (f == nullptr) return 15;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) package.append(buf, n);
    fclose(f);

    const int state = libupd_get_state(addr);
    int rc = 0;
    if (state != atoi(argv[3])) rc = 13;
    if (rc == 0 && (package.size() > size - LIBUPD_ROM_OFFSET ||
                    memcmp(libupd_get_rom_start_addr(addr), package.data(), package.size()) != 0)) {
        rc = 14;
    }
    ipc_register(IPC_ID_UPGRADER);
    ipc_broadcast(0x5AFE, state, static_cast<int>(size), libupd_get_rom_start_addr(addr), 16);
    ipc_unregister();
    // The device records a message while its sender still runs; do not end
    // before the recorder has taken it.
    usleep(500 * 1000);
    libupd_delete_share_memory(addr);
    unlock_binary_sem(semid);
    return rc;
}
