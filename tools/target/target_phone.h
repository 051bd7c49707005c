// The parts of the phone that the emulated machine serves from user space,
// one per subcommand of target_phone.
#pragma once

namespace target {

// procfs MOUNTPOINT KERNEL_PROC CONFIG_DIR: the vendor /proc files over the
// kernel's procfs; CONFIG_DIR holds hwver, software and env (the starting
// variable listing).
int VendorFsMain(int argc, char** argv);
// misc: /dev/misc0 as a CUSE device that accepts and records every request.
int MiscDevMain(int argc, char** argv);
// ipc ID...: listeners on /var/ipc/ID recording every connection's bytes.
int IpcListenMain(int argc, char** argv);
// relay FIFO PORT: copies the records written to FIFO to the virtio port and
// powers the machine off after the "end" line.
int RelayMain(int argc, char** argv);

}  // namespace target
