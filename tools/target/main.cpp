// target_phone: the user-space parts of the phone in the emulated MIPS
// machine. Each subcommand serves one part until the machine powers off.
#include <cstdio>
#include <cstring>

#include "channel.h"
#include "target_phone.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: target_phone procfs|misc|ipc|relay ARGS...\n");
    return 2;
  }
  if (std::strcmp(argv[1], "relay") == 0) return target::RelayMain(argc - 1, argv + 1);
  if (!target::ChannelOpen()) std::perror("target_phone: record channel");
  if (std::strcmp(argv[1], "procfs") == 0) return target::VendorFsMain(argc - 1, argv + 1);
  if (std::strcmp(argv[1], "misc") == 0) return target::MiscDevMain(argc - 1, argv + 1);
  if (std::strcmp(argv[1], "ipc") == 0) return target::IpcListenMain(argc - 1, argv + 1);
  std::fprintf(stderr, "target_phone: unknown part %s\n", argv[1]);
  return 2;
}
