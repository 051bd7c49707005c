// The record channel of the emulated machine: one line per record, written
// to the FIFO /run/records whose relay (RelayMain) forwards it to a virtio
// serial port; the host turns the lines into a devsim OUT_DIR
// (scripts/target-test). Lines up to PIPE_BUF bytes never interleave.
//
// Line kinds, each "<kind> <t_ms> <rest>" with t_ms the machine's monotonic
// clock in milliseconds (the host subtracts the installer's start):
//   frame T HEX        1056 frame bytes, hex
//   misc T JSON        {"request", "value", "result"} of a misc-device request
//   ipc T ID HEX       the bytes one IPC connection to listener ID delivered
//   env T JSON         the whole variable listing as a JSON string
// The guest scripts add start, killapps, reboot, exit and end lines.
#pragma once

#include <cstdint>
#include <string>

#include "hex.h"

namespace target {

// Opens the channel (/run/records). false when
// it cannot be opened; records are then dropped.
bool ChannelOpen();
// Writes one record line with a single write, so lines of several processes
// never interleave.
void ChannelLine(const std::string& kind, const std::string& rest);
int64_t NowMs();
using devsim::Hex;  // frames and IPC bytes, as devsim records them
std::string JsonString(const std::string& text);

}  // namespace target
