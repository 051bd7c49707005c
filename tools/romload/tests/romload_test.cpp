// romload's filling, read back the way the installer reads the buffer; each
// test inside a private IPC namespace of its own.
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "libupgrader.h"
#include "private_ns.h"
#include "romload_core.h"
#include "semctrl.h"
#include "temp_dir.h"

using coord_testing::kPrivateIpc;
using coord_testing::RunIsolated;

namespace {

std::string package_of(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return s;
}

int fill(const std::string& package, int state, key_t key, std::string* error = nullptr) {
    char text[256];
    const int rc = romload_fill(reinterpret_cast<const unsigned char*>(package.data()),
                                package.size(), state, key, text, sizeof(text));
    if (error != nullptr) *error = text;
    return rc;
}

// The installer's side: attach without creating, lock, read state and bytes.
void expect_installer_reads(const std::string& package, int state, uint32_t segment_size) {
    uint32_t size = 0;
    void* addr = get_share_memory(&size);
    ASSERT_NE(addr, nullptr);
    EXPECT_EQ(size, segment_size);
    const int semid = get_sem_by_key(SEM_KEY_MEMORY);
    ASSERT_GE(semid, 0);
    EXPECT_EQ(semctl(semid, 0, GETVAL), 1) << "romload must give the semaphore back";
    ASSERT_EQ(try_lock_binary_sem(semid), 0);
    EXPECT_EQ(libupd_get_state(addr), state);
    EXPECT_EQ(memcmp(libupd_get_rom_start_addr(addr), package.data(), package.size()), 0);
    unlock_binary_sem(semid);
    shmdt(addr);
}

// A package fits behind the state word of a new 8 MiB segment or of an existing
// one, which keeps its size; a larger one is refused with nothing written and
// nothing created (no segment, no semaphore).
TEST(Fill, InstallerReadsWhatFitsAndNothingChangesForWhatDoesNot) {
    const size_t room = LIBUPD_SHM_SIZE - LIBUPD_ROM_OFFSET;
    const struct {
        const char* name;
        size_t existing;  // size of a segment made beforehand, 0 for none
        size_t length;
        int state;
        key_t key;
        bool fits;
    } cases[] = {
        {"one byte", 0, 1, 0, SHM_KEY_ROM, true},
        {"skip stop state", 0, 77777, -3, SHM_KEY_ROM, true},
        {"alternative key", 0, 5000, 2, SHM_KEY_ROM_ALT, true},
        {"exactly the room", 0, room, 0x7FFFFFFF, SHM_KEY_ROM, true},
        {"small segment", 4096, 4096 - 8, -1, SHM_KEY_ROM, true},
        {"one byte over", 0, room + 1, 9, SHM_KEY_ROM, false},
        {"one byte over a small segment", 4096, 4096 - 8 + 1, 9, SHM_KEY_ROM, false},
        {"segment smaller than the header", 4, 1, 9, SHM_KEY_ROM, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(RunIsolated(kPrivateIpc, [&] {
            int shmid = -1;
            if (c.existing > 0) {
                shmid = shmget(c.key, c.existing, IPC_CREAT | 0666);
                ASSERT_GE(shmid, 0);
                auto* p = static_cast<unsigned char*>(shmat(shmid, nullptr, 0));
                memset(p, 0x5C, c.existing);
                shmdt(p);
            }
            const std::string package = package_of(c.length);
            std::string error;
            if (c.fits) {
                ASSERT_EQ(fill(package, c.state, c.key, &error), ROMLOAD_OK) << error;
                EXPECT_EQ(error, "");
                expect_installer_reads(package, c.state, c.existing > 0 ? c.existing : LIBUPD_SHM_SIZE);
                EXPECT_LT(shmget(c.key == SHM_KEY_ROM ? SHM_KEY_ROM_ALT : SHM_KEY_ROM, 0, 0), 0)
                    << "a segment for the other key";
                return;
            }
            EXPECT_EQ(fill(package, c.state, c.key, &error), ROMLOAD_TOO_LARGE);
            EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
            EXPECT_NE(error.find(std::to_string(c.length) + " bytes"), std::string::npos) << error;
            EXPECT_LT(get_sem_by_key(SEM_KEY_MEMORY), 0) << "semaphore made for a refused package";
            EXPECT_EQ(shmget(c.key, 0, 0), shmid) << "segment made or lost for a refused package";
            if (c.existing == 0) return;
            auto* p = static_cast<unsigned char*>(shmat(shmid, nullptr, SHM_RDONLY));
            ASSERT_NE(p, reinterpret_cast<void*>(-1));
            for (size_t i = 0; i < c.existing; ++i) ASSERT_EQ(p[i], 0x5C) << "byte " << i;
            shmdt(p);
        }));
    }
}

// romload waits for whoever holds the buffer's semaphore and writes only then.
TEST(FillLocking, WaitsForTheHolderOfTheSemaphore) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        const int semid = binary_sem_create_key(SEM_KEY_MEMORY);
        ASSERT_GE(semid, 0);
        ASSERT_EQ(try_lock_binary_sem(semid), 0);
        const std::string package = package_of(1000);
        const pid_t filler = fork();
        ASSERT_GE(filler, 0);
        if (filler == 0) _exit(fill(package, 3, SHM_KEY_ROM) == ROMLOAD_OK ? 0 : 1);
        int waiting = 0;
        for (int i = 0; i < 5000 && waiting == 0; ++i, usleep(1000)) waiting = semctl(semid, 0, GETNCNT);
        EXPECT_EQ(waiting, 1);
        EXPECT_LT(shmget(SHM_KEY_ROM, 0, 0), 0) << "written without the semaphore";
        ASSERT_EQ(binary_sem_set_value(semid), 0);
        int status = 0;
        ASSERT_EQ(waitpid(filler, &status, 0), filler);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        expect_installer_reads(package, 3, LIBUPD_SHM_SIZE);
    }));
}

#ifdef ROMLOAD_BIN
// Runs the romload binary with `args` and returns its exit status.
int run_romload(const std::string& args) {
    const int status = std::system((std::string(ROMLOAD_BIN) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RomloadBinary, FillsRefusesAndRejectsBadCommandLines) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        TempDir dir("romload_test");
        const std::string package = package_of(12345);
        const std::string file = dir.file("p.rom"), big = dir.file("big.rom");
        ASSERT_TRUE(TempDir::write(file, package));
        ASSERT_TRUE(TempDir::write(big, package_of(LIBUPD_SHM_SIZE)));
        EXPECT_EQ(run_romload(big + " --key 0x1079B"), 1);
        EXPECT_EQ(run_romload(file + " --key 0x1234"), 2);
        EXPECT_EQ(run_romload(file + " --state 1x"), 2);
        EXPECT_EQ(run_romload(file + " --state"), 2);
        EXPECT_EQ(run_romload(""), 2);
        EXPECT_EQ(run_romload("/nonexistent/package"), 1);
        EXPECT_LT(get_sem_by_key(SEM_KEY_MEMORY), 0) << "failed runs made a semaphore";
        EXPECT_EQ(run_romload(file + " --state -3 --key 0x1079B"), 0);
        expect_installer_reads(package, -3, LIBUPD_SHM_SIZE);
    }));
}
#endif

}  // namespace
