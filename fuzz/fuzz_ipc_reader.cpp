// Fuzz target: the IPC reader's framing. The input is what a peer writes on one
// connection before closing it; it is sent through a socket pair to the
// reader's per-connection function. Checked: the handler runs exactly when the
// stream starts with a length from 8 to 2068 and carries that many bytes, it
// then sees those bytes unchanged (reading only `length` of them: the buffer is
// sized to it), and the connection is always closed.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_sandbox.h"
#include "ipc.h"
#include "ipc_internal.h"

namespace {

const uint8_t* g_input;
size_t g_input_size;
int g_calls;

int check_message(const ipc_msg* msg, void*) {
    ++g_calls;
    if (msg->length < IPC_MSG_MIN_LEN || msg->length > IPC_MSG_MAX_LEN) abort();
    if (static_cast<size_t>(msg->length) > g_input_size) abort();
    if (memcmp(msg, g_input, static_cast<size_t>(msg->length)) != 0) abort();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // More than one message's worth tells nothing new and could fill the pair.
    if (size > 2 * IPC_MSG_MAX_LEN) return -1;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) abort();
    if (size > 0 && write(sv[0], data, size) != static_cast<ssize_t>(size)) abort();
    shutdown(sv[0], SHUT_WR);

    g_input = data;
    g_input_size = size;
    g_calls = 0;
    g_ipc_data.handler = check_message;
    g_ipc_data.context = nullptr;
    struct stat before;
    if (fstat(sv[1], &before) != 0) abort();
    ipc_receive_message(sv[1]);
    // The number may have been reused (the log opens its socket lazily): only
    // the same socket still open is a leak.
    struct stat after;
    if (fstat(sv[1], &after) == 0 && after.st_ino == before.st_ino) abort();
    close(sv[0]);

    int32_t length = 0;
    if (size >= sizeof length) memcpy(&length, data, sizeof length);
    const bool whole = size >= sizeof length && length >= IPC_MSG_MIN_LEN && length <= IPC_MSG_MAX_LEN &&
                       static_cast<size_t>(length) <= size;
    if (g_calls != (whole ? 1 : 0)) abort();
    return 0;
}
