// mkrom manifests: INI files that describe a package.
//
//   [rom]
//   device_id = 53          ; required
//   rom_version = 2.1.0.4   ; required, a.b.c.d
//   match_id = 3, 4         ; required, up to 16 numbers 0..255
//   rom_type, process_type, oem_id, mid_version, sw_protect = number (default 0)
//   scramble_key = 0..255   (default 0)
//   header_size = 128 | 124 (default 128; 124 writes the older unscrambled header)
//
//   [partition0]            ; partition0 .. partition15, numbered without gaps,
//   id = 2                  ; in package order; id, version and file required
//   version = 1.0.0.7
//   file = rootfs.bin       ; relative to the manifest's folder
//   type, process_type, data_type = number (default 0)
//
// Numbers are decimal or 0x hexadecimal and fit in 32 bits.
#pragma once

#include <string>

#include "rombuild.h"

// Reads the manifest at `path` and the data files it names into *desc.
// Returns false with one message "<path>:<line>: [section] key: reason" (or
// without line, section or key where they do not apply) in *error.
bool rombuild_load_manifest(const std::string& path, RomPackageSpec* desc, std::string* error);
