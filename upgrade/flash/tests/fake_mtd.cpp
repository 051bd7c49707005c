#include "fake_mtd.h"

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
    ops_ = {this, Open, Close, GetErasesize, Erase, Write};
    return &ops_;
}

int FakeMtd::Open(void* ctx, int mtd) {
    auto* self = static_cast<FakeMtd*>(ctx);
    if (mtd == self->fail_open_mtd || self->devs_.count(mtd) == 0) return -1;
    self->devs_[mtd].pos = 0;
    ++self->opened;
    self->open_order.push_back(mtd);
    return kFdBase + mtd;
}

void FakeMtd::Close(void* ctx, int) { ++static_cast<FakeMtd*>(ctx)->closed; }

int FakeMtd::GetErasesize(void* ctx, int, uint32_t* erasesize) {
    auto* self = static_cast<FakeMtd*>(ctx);
    if (self->fail_getinfo) return -1;
    *erasesize = self->erasesize;
    return 0;
}

int FakeMtd::Erase(void* ctx, int fd, uint32_t start, uint32_t length) {
    auto* self = static_cast<FakeMtd*>(ctx);
    const int mtd = fd - kFdBase;
    Device& d = self->devs_.at(mtd);
    d.erases.emplace_back(start, length);
    if (self->fail_erase == std::make_pair(mtd, static_cast<int>(start >> 16))) return -1;
    // The kernel refuses requests that are unaligned or leave the partition.
    if (start % self->erasesize != 0 || length % self->erasesize != 0 || start + length > d.data.size()) return -1;
    std::fill(d.data.begin() + start, d.data.begin() + start + length, 0xFF);
    return 0;
}

long FakeMtd::Write(void* ctx, int fd, const uint8_t* buf, uint32_t len) {
    auto* self = static_cast<FakeMtd*>(ctx);
    const int mtd = fd - kFdBase;
    Device& d = self->devs_.at(mtd);
    ++d.writes;
    const auto here = std::make_pair(mtd, static_cast<int>(d.pos >> 16));
    if (here == self->fail_write) return -1;
    if (here == self->zero_write) return 0;
    uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(d.data.size()) - d.pos);
    if (here == self->short_write) n = std::min<uint32_t>(n, 1000);
    if (n == 0) return -1;  // ENOSPC at the end of the partition
    for (uint32_t i = 0; i < n; ++i) d.data[d.pos + i] &= buf[i];
    d.pos += n;
    return static_cast<long>(n);
}
