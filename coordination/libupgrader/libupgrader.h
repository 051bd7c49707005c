// libupgrader: the shared ROM buffer, the hand-over point between the device
// process that obtains a firmware package and the installer.
//
// Segment layout (offsets from the attach address):
//   0   4 bytes  reserved, neither read nor written here
//   4   int32    upgrade state, native byte order (little-endian on the device)
//   8   ...      the ROM package, byte for byte as in a ROM file
// The creating attach makes the segment 0x800000 bytes with permissions 0666.
// Whoever reads or writes the buffer holds SEM_KEY_MEMORY (semctrl.h); nothing
// here takes it.
//
// Attach functions return the attach address or null; the address stays
// attached until libupd_delete_share_memory, shmdt or the end of the process.
// The state and address functions do no checking: pass an address an attach
// returned, never null.
#pragma once

#include <sys/types.h>

#include <cstdint>

inline constexpr key_t SHM_KEY_ROM = 0xA130;       // the filling process's key
inline constexpr key_t SHM_KEY_ROM_ALT = 0x1079B;  // the installer's first choice
inline constexpr uint32_t LIBUPD_SHM_SIZE = 0x800000;  // size of a created segment
inline constexpr uint32_t LIBUPD_STATE_OFFSET = 4;
inline constexpr uint32_t LIBUPD_ROM_OFFSET = 8;

// Filling side: attaches the segment of SHM_KEY_ROM, creating it (8 MiB, 0666)
// when it does not exist. Null on failure.
void* libupd_get_share_memory();
// The same creating attach for any key. When `segment_size` is not null it
// receives the attached segment's size in bytes, or 0 when the kernel would not
// tell (IPC_STAT failed). Used by romload for both keys.
void* libupd_get_share_memory_key(key_t key, uint32_t* segment_size);

// Installer side: attaches an existing segment, SHM_KEY_ROM_ALT first and
// SHM_KEY_ROM second; never creates one. Null when neither exists or the attach
// fails. When `segment_size` is not null it receives the attached segment's
// size in bytes, or 0 when unknown (IPC_STAT failed): the package may then take
// at most segment_size - LIBUPD_ROM_OFFSET bytes, and a caller that got 0 must
// treat the room as unknown and refuse to trust any length.
void* get_share_memory(uint32_t* segment_size = nullptr);

// Detaches `addr` and removes the segment of SHM_KEY_ROM (only that key is
// looked up: when it does not exist, `addr` stays attached). Null: nothing.
// Failures are logged and otherwise ignored.
void libupd_delete_share_memory(void* addr);

// Writes the state word at addr + 4 and returns `state`.
int libupd_set_state(void* addr, int state);
// Reads the state word at addr + 4.
int libupd_get_state(const void* addr);
// Returns addr + 8, where the ROM package starts.
unsigned char* libupd_get_rom_start_addr(void* addr);

// Logs the module's version banner at info level.
void show_libupgrader_version();
