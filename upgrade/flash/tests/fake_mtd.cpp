#include "fake_mtd.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
const int kFdBase = 100;  // fd = kFdBase + mtd
}

void FakeMtd::Add(int mtd, uint32_t size) {
    Device d;
    d.data.resize(size);
    for (uint32_t i = 0; i < size; ++i) d.data[i] = Pattern(i);
    devs_[mtd] = std::move(d);
}

const mtd_ops* FakeMtd::ops() {
    ops_ = {this, Open, Close, GetErasesize, Erase, Seek, Write, Read};
    return &ops_;
}

std::string FakeMtd::Blocks(int mtd, const uint8_t* data, uint32_t size) {
    const auto& d = devs_.at(mtd).data;
    std::string out;
    for (uint32_t b = 0; b < d.size(); b += FLASH_BLOCK_SIZE) {
        bool target = true, erased = true, pattern = true, weak = true;
        for (uint32_t i = b; i < b + FLASH_BLOCK_SIZE && i < d.size(); ++i) {
            const uint8_t want = i < size ? data[i] : 0xFF;
            target = target && d[i] == want;
            erased = erased && d[i] == 0xFF;
            pattern = pattern && d[i] == Pattern(i);
            weak = weak && d[i] == (i % kWeakStride == 0 ? 0xFF : want);
        }
        out += target ? 'D' : erased ? 'E' : pattern ? 'P' : weak ? 'W' : '?';
    }
    return out;
}

std::string FakeMtd::Erases(int mtd) {
    std::string out;
    for (auto [start, length] : devs_.at(mtd).erases)
        out += std::to_string(start / FLASH_BLOCK_SIZE) + (length == FLASH_BLOCK_SIZE ? "" : "+");
    return out;
}

std::tuple<FakeMtd&, int, FakeMtd::Device&> FakeMtd::At(void* ctx, int fd) {
    auto* self = static_cast<FakeMtd*>(ctx);
    return {*self, fd - kFdBase, self->devs_.at(fd - kFdBase)};
}

int FakeMtd::Open(void* ctx, int mtd) {
    FakeMtd& self = *static_cast<FakeMtd*>(ctx);
    if (mtd == self.fail_open_mtd || self.devs_.count(mtd) == 0) return -1;
    self.devs_[mtd].pos = 0, self.devs_[mtd].short_pending = false, ++self.opened;
    return kFdBase + mtd;
}

void FakeMtd::Close(void* ctx, int) { ++static_cast<FakeMtd*>(ctx)->closed; }

int FakeMtd::GetErasesize(void* ctx, int, uint32_t* erasesize) {
    *erasesize = static_cast<FakeMtd*>(ctx)->erasesize;
    return static_cast<FakeMtd*>(ctx)->fail_getinfo ? -1 : 0;
}

int FakeMtd::Erase(void* ctx, int fd, uint32_t start, uint32_t length) {
    auto [self, mtd, d] = At(ctx, fd);
    d.erases.emplace_back(start, length);
    if (self.fail_erase == std::make_pair(mtd, static_cast<int>(start >> 16)) && self.erases_before_fail-- <= 0)
        return -1;
    // The kernel refuses requests that are unaligned or leave the partition.
    if (start % self.erasesize != 0 || length % self.erasesize != 0 || start + length > d.data.size()) {
        ADD_FAILURE() << "mtd" << mtd << ": erase " << start << "+" << length << " breaks the chip's rules";
        return -1;
    }
    std::fill(d.data.begin() + start, d.data.begin() + start + length, 0xFF);
    return 0;
}

int FakeMtd::Seek(void* ctx, int fd, uint32_t offset) {
    auto [self, mtd, d] = At(ctx, fd);
    if (offset % FLASH_BLOCK_SIZE != 0 || offset > d.data.size()) {
        ADD_FAILURE() << "mtd" << mtd << ": seek to " << offset << " is not a block of the device";
        return -1;
    }
    d.pos = offset;
    d.short_pending = false;
    return 0;
}

long FakeMtd::Write(void* ctx, int fd, const uint8_t* buf, uint32_t len) {
    auto [self, mtd, d] = At(ctx, fd);
    ++d.writes;
    if (d.pos % FLASH_BLOCK_SIZE != 0 && !d.short_pending)
        ADD_FAILURE() << "mtd" << mtd << ": write at " << d.pos << ", inside a block";
    const auto here = std::make_pair(mtd, static_cast<int>(d.pos >> 16));
    if (here == self.fail_write) return -1;
    if (here == self.zero_write) return 0;
    uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(d.data.size()) - d.pos);
    if (here == self.short_write) n = std::min<uint32_t>(n, 1000);
    if (n == 0) return -1;  // ENOSPC at the end of the partition
    const bool weak = here == self.weak_write;
    if (weak && !self.weak_always) self.weak_write = {-1, -1};
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t& cell = d.data[d.pos + i];
        if ((buf[i] & ~cell) != 0) {
            ADD_FAILURE() << "mtd" << mtd << ": programming byte " << d.pos + i << " would set bits";
            return -1;
        }
        if (!(weak && (d.pos + i) % kWeakStride == 0)) cell &= buf[i];
    }
    d.pos += n;
    d.short_pending = n < len;
    return static_cast<long>(n);
}

long FakeMtd::Read(void* ctx, int fd, uint8_t* buf, uint32_t len) {
    auto [self, mtd, d] = At(ctx, fd);
    if (std::make_pair(mtd, static_cast<int>(d.pos >> 16)) == self.fail_read) {
        self.fail_read = {-1, -1};
        return -1;
    }
    const uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(d.data.size()) - d.pos);
    std::copy(d.data.begin() + d.pos, d.data.begin() + d.pos + n, buf);
    d.pos += n;
    return static_cast<long>(n);
}
