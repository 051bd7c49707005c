// Package check throughput: the check's header and partition stages (without
// its shell commands and device opens) over packages of 1, 4 and 8 MiB, beside
// a plain XOR loop and a memcpy over the same bytes. scripts/bench turns the
// medians into ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "check_steps.h"
#include "rl_log.h"
#include "rom_format.h"
#include "rombuild.h"

namespace {

// A package of about `mib` MiB laid out like a release: a 1 MiB kernel, a small
// configuration partition and a root file system taking the rest.
const std::vector<uint8_t>& Package(int mib) {
    static std::map<int, std::vector<uint8_t>> cache;
    auto found = cache.find(mib);
    if (found != cache.end()) return found->second;

    uint32_t seed = 0x12345678u;
    auto bytes = [&seed](uint32_t n) {
        std::vector<uint8_t> v(n);
        for (auto& b : v) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(seed >> 24);
        }
        return v;
    };
    const uint32_t total = static_cast<uint32_t>(mib) << 20;
    const uint32_t kernel = total / 4 < (1u << 20) ? total / 4 : (1u << 20);
    const uint32_t config = 64u << 10;
    RomPackageSpec desc;
    desc.device_id = 53;
    desc.rom_version = rombuild_version(2, 42, 0, 10);
    desc.scramble_key = 0x5A;
    desc.partitions.push_back({.partition_id = 2, .partition_version = rombuild_version(1, 0, 0, 7),
                               .data = bytes(kernel)});
    desc.partitions.push_back({.partition_id = 4, .partition_version = rombuild_version(1, 0, 0, 7),
                               .data = bytes(config)});
    // The headers take a few hundred bytes: the root file system fills the rest.
    desc.partitions.push_back({.partition_id = 1, .partition_version = rombuild_version(1, 0, 0, 7),
                               .data = bytes(total - kernel - config - 512)});
    return cache[mib] = rombuild_package(desc);
}

// The check's own stages on the package: the ROM header (copy, descrambling,
// header and whole-data checksums) and every partition (header copy, magic,
// header checksum, data range and checksum, id and type). The device parts of
// the partition stage (the "mtdN" lookup and the open of /dev/mtdN) and the
// shell commands of the later stages are left out.
int CheckWithoutShell(const std::vector<uint8_t>& pkg) {
    static env_info env[ENV_INFO_NUM];
    Rom_Header header;
    Partition_Header parts[ROM_PARTITION_MAX];
    const auto len = static_cast<uint32_t>(pkg.size());
    int rc = check_rom_header(pkg.data(), len, env, &header);
    if (rc != 0) return rc;
    uint32_t offset = rom_first_part_offset(&header);
    for (uint32_t k = 0; k < header.partition_num; ++k) {
        rc = rom_check_part(pkg.data(), len, offset, &parts[k]);
        if (rc == 0) rc = rom_check_part_id(&parts[k]);
        if (rc != 0) return rc;
        offset = rom_next_part_offset(offset, &parts[k]);
    }
    return 0;
}

// The yardstick: XOR of every 32-bit word, loaded the ordinary way.
uint32_t PlainXor(const uint8_t* p, size_t len) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 4 <= len; i += 4) {
        uint32_t w;
        memcpy(&w, p + i, 4);
        sum ^= w;
    }
    return sum;
}

void Bytes(benchmark::State& state, size_t len) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

void BM_PlainXor(benchmark::State& state) {
    const auto& pkg = Package(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pkg.data());
        benchmark::DoNotOptimize(PlainXor(pkg.data(), pkg.size()));
    }
    Bytes(state, pkg.size());
}

void BM_Memcpy(benchmark::State& state) {
    const auto& pkg = Package(static_cast<int>(state.range(0)));
    std::vector<uint8_t> copy(pkg.size());
    for (auto _ : state) {
        memcpy(copy.data(), pkg.data(), pkg.size());
        benchmark::ClobberMemory();
    }
    Bytes(state, pkg.size());
}

// The package format's word XOR alone (as both checksum passes use it).
void BM_RomXor32(benchmark::State& state) {
    const auto& pkg = Package(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pkg.data());
        benchmark::DoNotOptimize(rom_xor32(pkg.data(), static_cast<uint32_t>(pkg.size() / 4)));
    }
    Bytes(state, pkg.size());
}

void BM_CheckWithoutShell(benchmark::State& state) {
    const auto& pkg = Package(static_cast<int>(state.range(0)));
    if (CheckWithoutShell(pkg) != 0) {
        state.SkipWithError("the benchmark package does not pass the check");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(CheckWithoutShell(pkg));
    Bytes(state, pkg.size());
}

// scripts/bench runs them with random interleaving, so the runs that are
// compared lie close in time.
#define UPG_SIZES(bm) BENCHMARK(bm)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond)
UPG_SIZES(BM_PlainXor);
UPG_SIZES(BM_Memcpy);
UPG_SIZES(BM_RomXor32);
UPG_SIZES(BM_CheckWithoutShell);

}  // namespace

int main(int argc, char** argv) {
    rl_log_reset_level(-1);  // the check's debug lines are not measured
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
