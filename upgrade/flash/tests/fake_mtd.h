// A simulated set of MTD devices that behaves like NOR flash: erasing sets a
// block to 0xFF, programming can only clear bits (new = old & data), so data
// written over unerased flash comes out wrong. Every call is held to the chip's
// rules and a breach fails the running test: erases and seeks at block
// boundaries inside the device, writes starting at a block boundary (or
// continuing a short write), and programming that would have to set a bit.
// Faults can be armed per device and block; every erase request is recorded.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mtd_io.h"

class FakeMtd {
public:
    struct Device {
        std::vector<uint8_t> data;
        uint32_t pos = 0;
        bool short_pending = false;  // the last write stored less than asked
        std::vector<std::pair<uint32_t, uint32_t>> erases;  // start, length
        int writes = 0;
    };

    // Adds device `mtd` of `size` bytes filled with a pattern that is neither
    // 0xFF nor 0x00 (so both missing erases and missing writes show).
    void Add(int mtd, uint32_t size);
    Device& Dev(int mtd) { return devs_.at(mtd); }
    // The fill pattern byte at offset `i`.
    static uint8_t Pattern(uint32_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 7)); }
    // A weak write leaves every byte at an offset that is a multiple of this
    // unprogrammed.
    static constexpr uint32_t kWeakStride = 256;

    // Faults. A block fault hits the first request touching that 64 KiB block.
    uint32_t erasesize = FLASH_BLOCK_SIZE;
    bool fail_getinfo = false;
    int fail_open_mtd = -1;
    std::pair<int, int> fail_erase{-1, -1};   // mtd, block
    int erases_before_fail = 0;               // erases there that still succeed
    std::pair<int, int> fail_write{-1, -1};   // write returns -1
    std::pair<int, int> zero_write{-1, -1};   // write returns 0
    std::pair<int, int> short_write{-1, -1};  // writes store at most 1000 bytes there
    std::pair<int, int> fail_read{-1, -1};    // the first read there returns -1
    std::pair<int, int> weak_write{-1, -1};   // the first write there is weak (reports success)
    bool weak_always = false;                 // every write there is weak

    int opened = 0, closed = 0;

    const mtd_ops* ops();

    // Device `mtd` as one letter per 64 KiB block, for whole-chip comparisons:
    // 'D' holds its target (`size` bytes of `data` from the device's start,
    // 0xFF behind them), 'E' erased, 'P' still the fill pattern, 'W' the target
    // as a weak write leaves it, '?' anything else.
    std::string Blocks(int mtd, const uint8_t* data, uint32_t size);
    // The erase requests on `mtd` as block numbers, "+" after one that is not
    // exactly one block long.
    std::string Erases(int mtd);

private:
    // The fake, the MTD number and the device behind a descriptor.
    static std::tuple<FakeMtd&, int, Device&> At(void* ctx, int fd);
    static int Open(void* ctx, int mtd);
    static void Close(void* ctx, int fd);
    static int GetErasesize(void* ctx, int fd, uint32_t* erasesize);
    static int Erase(void* ctx, int fd, uint32_t start, uint32_t length);
    static int Seek(void* ctx, int fd, uint32_t offset);
    static long Write(void* ctx, int fd, const uint8_t* buf, uint32_t len);
    static long Read(void* ctx, int fd, uint8_t* buf, uint32_t len);

    std::map<int, Device> devs_;
    mtd_ops ops_{};
};
