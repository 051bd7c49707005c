// The shared ROM buffer against real segments, each test inside a private IPC
// namespace of its own (the fixed keys never reach the machine's).
#include "libupgrader.h"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

#include "private_ns.h"

using namespace coord_testing;

namespace {

// Creates a segment of `size` bytes under `key` whose first package byte is
// `marker`; returns its id.
int make_segment(key_t key, size_t size, unsigned char marker) {
    const int id = shmget(key, size, IPC_CREAT | 0600);
    if (id < 0) return -1;
    auto* p = static_cast<unsigned char*>(shmat(id, nullptr, 0));
    p[LIBUPD_ROM_OFFSET] = marker;
    shmdt(p);
    return id;
}

shmid_ds stat_of(int shmid) {
    shmid_ds info = {};
    shmctl(shmid, IPC_STAT, &info);
    return info;
}

bool exists(key_t key) { return shmget(key, 0, 0) >= 0; }

// Which segments exist when the installer attaches and releases the buffer.
struct KeyCase {
    const char* name;
    bool rom;  // a segment under SHM_KEY_ROM (4096 bytes, marker 0xA1)
    bool alt;  // a segment under SHM_KEY_ROM_ALT (8192 bytes, marker 0xB2)
};

const KeyCase kKeyCases[] = {
    {"no_segment", false, false},
    {"rom_key_only", true, false},
    {"alt_key_only", false, true},
    {"both_keys_alt_wins", true, true},
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class InstallerSide : public ::testing::TestWithParam<KeyCase> {};

// The attach takes the alternative key first and never creates a segment; the
// release looks up the ROM key only: without it the address stays attached.
TEST_P(InstallerSide, AttachesAltKeyFirstAndReleasesTheRomKey) {
    const KeyCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kPrivateIpc | kCaptureSyslog, [&] {
        const int alt_id = c.alt ? make_segment(SHM_KEY_ROM_ALT, 8192, 0xB2) : -1;
        if (c.rom) {
            ASSERT_GE(make_segment(SHM_KEY_ROM, 4096, 0xA1), 0);
        }
        uint32_t size = 77;
        void* addr = get_share_memory(&size);
        EXPECT_EQ(size, c.alt ? 8192u : c.rom ? 4096u : 0u);
        if (!c.rom && !c.alt) {
            EXPECT_EQ(addr, nullptr);
            EXPECT_FALSE(exists(SHM_KEY_ROM) || exists(SHM_KEY_ROM_ALT));
            return;
        }
        ASSERT_NE(addr, nullptr);
        EXPECT_EQ(libupd_get_rom_start_addr(addr)[0], c.alt ? 0xB2 : 0xA1);

        libupd_delete_share_memory(nullptr);
        EXPECT_EQ(exists(SHM_KEY_ROM), c.rom) << "a null address releases nothing";
        libupd_delete_share_memory(addr);
        EXPECT_FALSE(exists(SHM_KEY_ROM));
        EXPECT_EQ(exists(SHM_KEY_ROM_ALT), c.alt) << "the alternative key's segment is never removed";
        EXPECT_EQ(SyslogContains("detach the shared memory"), c.rom);
        if (c.alt) {
            EXPECT_EQ(stat_of(alt_id).shm_nattch, c.rom ? 0u : 1u);
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Keys, InstallerSide, ::testing::ValuesIn(kKeyCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The filling side creates the ROM key's segment open to all and says so; its
// size, and attaching an existing segment as it is, are romload_test's.
TEST(FillingSide, CreatesTheSegmentOpenToAll) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc | kCaptureSyslog, [] {
        ASSERT_NE(libupd_get_share_memory(), nullptr);
        EXPECT_EQ(stat_of(shmget(SHM_KEY_ROM, 0, 0)).shm_perm.mode & 0777, 0666u);
        EXPECT_TRUE(SyslogContains("Size of memory segment is 8388608\n"));
        EXPECT_TRUE(SyslogContains("Numbre of attaches 0\n"));
    }));
}

// The state word sits at +4 (native order: little-endian) and the package at
// +8; nothing else is touched.
TEST(SharedLayout, StateWordAndPackageAddress) {
    alignas(8) unsigned char area[12];
    memset(area, 0xEE, sizeof(area));
    EXPECT_EQ(libupd_set_state(area, -0x12345679), -0x12345679);
    EXPECT_EQ(libupd_get_state(area), -0x12345679);
    const unsigned char want[12] = {0xEE, 0xEE, 0xEE, 0xEE, 0x87, 0xA9, 0xCB, 0xED, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(memcmp(area, want, sizeof(area)), 0);
    EXPECT_EQ(libupd_get_rom_start_addr(area), area + 8);
}

}  // namespace
