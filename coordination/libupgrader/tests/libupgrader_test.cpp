// The shared ROM buffer against real segments, each test inside a private IPC
// namespace of its own (the fixed keys never reach the machine's).
#include "libupgrader.h"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <climits>
#include <cstring>

#include "private_ns.h"

using coord_testing::kCaptureSyslog;
using coord_testing::kPrivateIpc;
using coord_testing::RunIsolated;
using coord_testing::SyslogContains;

namespace {

// Creates a segment of `size` bytes under `key` whose first byte after the
// state word is `marker`; returns its id.
int make_segment(key_t key, size_t size, unsigned char marker) {
    const int id = shmget(key, size, IPC_CREAT | 0600);
    if (id < 0) return -1;
    auto* p = static_cast<unsigned char*>(shmat(id, nullptr, 0));
    p[LIBUPD_ROM_OFFSET] = marker;
    shmdt(p);
    return id;
}

int attaches(int shmid) {
    shmid_ds info = {};
    if (shmctl(shmid, IPC_STAT, &info) != 0) return -1;
    return static_cast<int>(info.shm_nattch);
}

bool exists(key_t key) { return shmget(key, 0, 0) >= 0; }

TEST(GetShareMemory, NoSegmentGivesNullAndCreatesNothing) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        uint32_t size = 77;
        EXPECT_EQ(get_share_memory(&size), nullptr);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(get_share_memory(), nullptr);
        EXPECT_FALSE(exists(SHM_KEY_ROM));
        EXPECT_FALSE(exists(SHM_KEY_ROM_ALT));
    }));
}

// Which segment the installer's attach picks, and the size it reports.
struct PickCase {
    const char* name;
    bool rom;     // a segment under 0xA130 exists (4096 bytes, marker 0xA1)
    bool alt;     // a segment under 0x1079B exists (8192 bytes, marker 0xB2)
    unsigned char marker;
    uint32_t size;
};

const PickCase kPickCases[] = {
    {"only_rom_key", true, false, 0xA1, 4096},
    {"only_alt_key", false, true, 0xB2, 8192},
    {"both_keys_alt_wins", true, true, 0xB2, 8192},
};

void PrintTo(const PickCase& c, std::ostream* os) { *os << c.name; }

class GetShareMemoryPick : public ::testing::TestWithParam<PickCase> {};

TEST_P(GetShareMemoryPick, AttachesTheExpectedSegment) {
    const PickCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [&] {
        if (c.rom) {
            ASSERT_GE(make_segment(SHM_KEY_ROM, 4096, 0xA1), 0);
        }
        if (c.alt) {
            ASSERT_GE(make_segment(SHM_KEY_ROM_ALT, 8192, 0xB2), 0);
        }
        uint32_t size = 0;
        void* addr = get_share_memory(&size);
        ASSERT_NE(addr, nullptr);
        EXPECT_EQ(libupd_get_rom_start_addr(addr)[0], c.marker);
        EXPECT_EQ(size, c.size);
    }));
}

INSTANTIATE_TEST_SUITE_P(Keys, GetShareMemoryPick, ::testing::ValuesIn(kPickCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LibupdGetShareMemory, CreatesEightMegabytesOpenToAllAndLogsIt) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc | kCaptureSyslog, [] {
        void* addr = libupd_get_share_memory();
        ASSERT_NE(addr, nullptr);
        const int id = shmget(SHM_KEY_ROM, 0, 0);
        ASSERT_GE(id, 0);
        shmid_ds info = {};
        ASSERT_EQ(shmctl(id, IPC_STAT, &info), 0);
        EXPECT_EQ(info.shm_segsz, LIBUPD_SHM_SIZE);
        EXPECT_EQ(info.shm_perm.mode & 0777, 0666u);
        EXPECT_FALSE(exists(SHM_KEY_ROM_ALT));
        EXPECT_TRUE(SyslogContains("Size of memory segment is 8388608\n"));
        EXPECT_TRUE(SyslogContains("Numbre of attaches 0\n"));
        char attached[64];
        snprintf(attached, sizeof(attached), "Memory attached at %X\n",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(addr)));
        EXPECT_TRUE(SyslogContains(attached));
    }));
}

TEST(LibupdGetShareMemory, ExistingSegmentIsAttachedAsItIs) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        ASSERT_GE(make_segment(SHM_KEY_ROM, 4096, 0x5A), 0);
        uint32_t size = 0;
        void* addr = libupd_get_share_memory_key(SHM_KEY_ROM, &size);
        ASSERT_NE(addr, nullptr);
        EXPECT_EQ(size, 4096u) << "an existing segment must not be re-created";
        EXPECT_EQ(libupd_get_rom_start_addr(addr)[0], 0x5A);
        EXPECT_NE(libupd_get_share_memory(), nullptr);
        EXPECT_FALSE(exists(SHM_KEY_ROM_ALT));
        // The keyed form creates under the key it is given.
        uint32_t alt_size = 0;
        EXPECT_NE(libupd_get_share_memory_key(SHM_KEY_ROM_ALT, &alt_size), nullptr);
        EXPECT_EQ(alt_size, LIBUPD_SHM_SIZE);
    }));
}

// The state word sits at +4 and the package at +8; nothing else is touched.
TEST(SharedLayout, StateWordAndPackageAddress) {
    const int states[] = {0, 1, 2, -1, -2, -3, 0x12345678, INT_MIN, INT_MAX};
    alignas(8) unsigned char area[16];
    for (const int state : states) {
        memset(area, 0xEE, sizeof(area));
        EXPECT_EQ(libupd_set_state(area, state), state);
        EXPECT_EQ(libupd_get_state(area), state);
        const uint32_t word = static_cast<uint32_t>(state);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(area[4 + i], (word >> (8 * i)) & 0xFF) << "state " << state << " byte " << i;
            EXPECT_EQ(area[i], 0xEE) << "reserved word written";
            EXPECT_EQ(area[8 + i], 0xEE) << "package bytes written";
        }
    }
    EXPECT_EQ(libupd_get_rom_start_addr(area), area + 8);
}

// What the release detaches and removes: it looks up 0xA130 only.
struct ReleaseCase {
    const char* name;
    bool rom;           // a segment under 0xA130 exists
    bool alt;           // a segment under 0x1079B exists (the attach then picks it)
    bool detached;      // the attached segment lost its attach
    bool rom_removed;   // the 0xA130 segment is gone afterwards
};

const ReleaseCase kReleaseCases[] = {
    {"rom_only_detached_and_removed", true, false, true, true},
    {"alt_only_nothing_happens", false, true, false, false},
    {"both_alt_detached_rom_removed", true, true, true, true},
};

void PrintTo(const ReleaseCase& c, std::ostream* os) { *os << c.name; }

class Release : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(Release, LooksUpTheRomKeyOnly) {
    const ReleaseCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kPrivateIpc | kCaptureSyslog, [&] {
        const int rom_id = c.rom ? make_segment(SHM_KEY_ROM, 4096, 1) : -1;
        const int alt_id = c.alt ? make_segment(SHM_KEY_ROM_ALT, 4096, 2) : -1;
        void* addr = get_share_memory();
        ASSERT_NE(addr, nullptr);
        const int attached_id = c.alt ? alt_id : rom_id;
        ASSERT_EQ(attaches(attached_id), 1);

        libupd_delete_share_memory(addr);

        if (c.rom_removed) {
            EXPECT_FALSE(exists(SHM_KEY_ROM));
            EXPECT_TRUE(SyslogContains("detach the shared memory"));
        } else {
            EXPECT_FALSE(SyslogContains("detach the shared memory"));
        }
        if (c.alt) {
            EXPECT_TRUE(exists(SHM_KEY_ROM_ALT)) << "the 0x1079B segment is never removed";
        }
        if (c.rom && !c.rom_removed) {
            EXPECT_TRUE(exists(SHM_KEY_ROM));
        }
        // A removed segment with no attach left is gone; otherwise count attaches.
        if (attached_id != rom_id || !c.rom_removed) {
            EXPECT_EQ(attaches(attached_id), c.detached ? 0 : 1);
        }
        if (!c.detached) {
            EXPECT_EQ(libupd_get_rom_start_addr(addr)[0], 2) << "still attached";
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Keys, Release, ::testing::ValuesIn(kReleaseCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ReleaseNull, NullAddressDoesNothing) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        const int id = make_segment(SHM_KEY_ROM, 4096, 3);
        ASSERT_GE(id, 0);
        libupd_delete_share_memory(nullptr);
        EXPECT_TRUE(exists(SHM_KEY_ROM));
        EXPECT_EQ(shmget(SHM_KEY_ROM, 0, 0), id);
    }));
}

}  // namespace
