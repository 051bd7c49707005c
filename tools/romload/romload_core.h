// romload's work as a library function: puts a ROM package and an upgrade
// state into the shared ROM buffer the way the device's filling process does,
// so that an installer started without argument finds them.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Results of romload_fill (negative: nothing was written).
inline constexpr int ROMLOAD_OK = 0;
inline constexpr int ROMLOAD_TOO_LARGE = -2;     // the package does not fit the segment
inline constexpr int ROMLOAD_NO_SEMAPHORE = -3;  // SEM_KEY_MEMORY could not be made or taken
inline constexpr int ROMLOAD_NO_SEGMENT = -4;    // the segment could not be made or attached

// Fills the segment of `key` (SHM_KEY_ROM or SHM_KEY_ROM_ALT): checks that the
// package fits behind the state word (an existing segment keeps its size, a new
// one gets 8 MiB), creates or attaches the segment with the module's creating
// attach, takes SEM_KEY_MEMORY with the blocking lock, writes the package at
// offset 8 and the state word at offset 4, gives the semaphore back and
// detaches. The segment is left for the installer.
// On failure a one-line reason goes into `error` (always terminated when
// error_size > 0) and nothing is written; a refused package creates nothing.
int romload_fill(const unsigned char* package, size_t length, int state, key_t key, char* error,
                 size_t error_size);
