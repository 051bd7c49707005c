// Sending side: registration, one message per connection, broadcast.
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ipc.h"
#include "ipc_internal.h"
#include "rl_log.h"

int ipc_register(int id) {
    g_ipc_data.own_id = id;
    return 0;
}

int ipc_send(int receiver, int msg, int wparam, int lparam, const void* data, int data_len) {
    ipc_msg* message = static_cast<ipc_msg*>(calloc(1, sizeof(ipc_msg)));
    if (message == nullptr) {
        rl_log_err("memery alloc failed: %s\n", strerror(errno));
        return -1;
    }
    message->msg = msg;
    message->sender = g_ipc_data.own_id;
    message->wparam = wparam;
    message->lparam = lparam;
    if (data_len > IPC_MSG_DATA_MAX) {
        rl_log_err("data len %d is larger than %d\n", data_len, IPC_MSG_DATA_MAX);
        free(message);
        return 1;
    }
    if (data != nullptr && data_len >= 1) {
        memcpy(message->data, data, static_cast<size_t>(data_len));
        message->length = IPC_MSG_HEADER_LEN + data_len;
    } else {
        message->length = IPC_MSG_HEADER_LEN;
    }
    if (g_ipc_data.own_id <= 0) {
        free(message);
        return -1;
    }

    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        rl_log_err("socket failed: %s", strerror(errno));
        free(message);
        return -1;
    }
    // Non-blocking: neither the connect nor the write waits for the receiver.
    int on = 1;
    if (ioctl(fd, FIONBIO, &on) == -1) {
        rl_log_err("ioctl failed: %s", strerror(errno));
        close(fd);
        free(message);
        return -1;
    }
    sockaddr_un addr;
    ipc_make_address(receiver, &addr);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), kIpcAddrLen) == -1) {
        close(fd);  // receiver absent, not listening or backlog full: quietly lost
        free(message);
        return -1;
    }
    // One write of the whole message. MSG_NOSIGNAL: a receiver that closed the
    // connection must not kill the sender with SIGPIPE.
    const size_t length = static_cast<size_t>(message->length);
    const ssize_t written = send(fd, message, length, MSG_NOSIGNAL);
    int result = 0;
    if (written < 0) {
        rl_log_err("write failed: %s\n", strerror(errno));
        result = -1;
    } else if (static_cast<size_t>(written) != length) {
        // The receiver drops a cut message, so a short write is a lost message.
        rl_log_err("write failed: %d of %d bytes written\n", static_cast<int>(written),
                   static_cast<int>(length));
        result = -1;
    }
    free(message);
    close(fd);
    return result;
}

int ipc_broadcast(int msg, int wparam, int lparam, const void* data, int data_len) {
    for (int receiver = 1; receiver <= IPC_ID_BROADCAST_LAST; ++receiver) {
        ipc_send(receiver, msg, wparam, lparam, data, data_len);
    }
    return 0;
}
