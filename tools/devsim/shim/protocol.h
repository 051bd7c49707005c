// Wire protocol between the LD_PRELOAD shim (and the reboot program) inside
// the simulated device and the devsim supervisor outside it.
//
// Each client process holds one stream connection to /dev/.devsim/ctl and
// sends a Request followed by `len` payload bytes; the supervisor answers
// with a Reply followed by `len` payload bytes. Requests on one connection
// are strictly sequential. Host byte order throughout (both ends run on the
// same machine).
#pragma once

#include <stdint.h>

namespace devsim_proto {

inline constexpr uint32_t kMagic = 0x44535631;  // "DSV1"
inline constexpr const char* kCtlPath = "/dev/.devsim/ctl";
inline constexpr uint32_t kMaxPayload = 1u << 20;  // bytes per request

enum Op : uint32_t {
  kMtdInfo = 1,        // dev = mtd index; reply value = window size
  kMtdErase = 2,       // dev, a = start, b = length (window offsets)
  kMtdWrite = 3,       // dev, a = offset, payload = bytes; reply result = stored count
  kMtdRead = 4,        // dev, a = offset, b = length; reply payload = bytes
  kMtdRepairCheck = 5, // dev
  kMtdAddrRepair = 6,  // dev, a = offset from the chip start, b = size
  kMisc = 7,           // a = request (u32), b = value passed; reply value = value read
  kReboot = 8,         // payload = the command that asked (argv[0])
};

struct Request {
  uint32_t magic;
  uint32_t op;
  uint32_t dev;
  uint32_t len;
  uint64_t a;
  uint64_t b;
};

struct Reply {
  int32_t result;  // >= 0 success (count for reads/writes), -1 failure
  int32_t err;     // errno on failure
  uint64_t value;
  uint32_t len;
  uint32_t pad;
};

// Request codes the device understands. The installer uses the MIPS
// encodings (read = 2 << 29, write = 4 << 29); flashcp and other host tools
// use the host's (read = 2 << 30, write = 1 << 30).
inline constexpr uint32_t kMipsMemGetInfo = 0x40204D01;
inline constexpr uint32_t kMipsMemErase = 0x80084D02;
inline constexpr uint32_t kMipsRepairCheck = 0x40044D12;
inline constexpr uint32_t kMipsAddrRepair = 0x80084D11;
inline constexpr uint32_t kHostMemGetInfo = 0x80204D01;
inline constexpr uint32_t kHostMemErase = 0x40084D02;
inline constexpr uint32_t kHostMemErase64 = 0x40104D14;
inline constexpr uint32_t kHostRepairCheck = 0x80044D12;
inline constexpr uint32_t kHostAddrRepair = 0x40084D11;
inline constexpr uint32_t kMipsFionbio = 0x667E;

// Misc device (/dev/misc0).
inline constexpr uint32_t kMiscWatchdog = 0x80044D05;
inline constexpr uint32_t kMiscSetLed = 0x80044D07;
inline constexpr uint32_t kMiscGetLed = 0x40044D08;
inline constexpr uint32_t kMiscSetBacklight = 0x80044D09;
inline constexpr uint32_t kMiscGetBacklight = 0x40044D0A;
inline constexpr uint32_t kMiscSetExtLed = 0x80044D11;

// A read request of the misc device fills an int the caller points to.
inline constexpr bool MiscIsRead(uint32_t request) { return (request >> 29) == 2; }

}  // namespace devsim_proto
