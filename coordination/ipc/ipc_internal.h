// Pieces shared by the sending and the listening side of libipc.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

// bind, connect and accept always pass the whole address structure.
inline constexpr socklen_t kIpcAddrLen = sizeof(sockaddr_un);
static_assert(kIpcAddrLen == 110, "peers pass a 110-byte address");

// Fills `addr` with the socket address of `id`: "/var/ipc/<id>".
void ipc_make_address(int id, sockaddr_un* addr);

// The reader's work on one accepted connection: receives one message on `fd`
// and runs the handler of ipc_run on it; every outcome that is not a whole
// message is logged and dropped. Closes `fd`. (Shared with the fuzz target of
// the framing.)
void ipc_receive_message(int fd);
