// Listening side: the socket of the own id and the reader thread that hands
// each arriving message to the handler.
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ipc.h"
#include "ipc_internal.h"
#include "rl_log.h"

namespace {

constexpr int kListenBacklog = 64;
// A sender writes its message at once and closes; a peer that keeps a
// connection open without sending must not stall every later message.
constexpr int kReceiveTimeoutSeconds = 5;

// Reads up to `want` bytes, across as many pieces as the stream delivers, until
// the end of the connection, an error or the receive timeout. Returns the count
// read, or -1 when the very first read failed.
ssize_t read_until(int fd, unsigned char* buf, size_t want) {
    size_t got = 0;
    while (got < want) {
        const ssize_t n = read(fd, buf + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return got > 0 ? static_cast<ssize_t>(got) : -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

void ipc_receive_message(int fd) {
    timeval timeout = {};
    timeout.tv_sec = kReceiveTimeoutSeconds;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));

    int32_t length = 0;
    const ssize_t read_len = read_until(fd, reinterpret_cast<unsigned char*>(&length), sizeof(length));
    if (read_len >= 0 && read_len < static_cast<ssize_t>(sizeof(length))) {
        rl_log_err("read len failed: read_len = %d", static_cast<int>(read_len));
        close(fd);
        return;
    }
    // A failed read leaves the length at 0, which fails here.
    if (length < IPC_MSG_MIN_LEN || length > IPC_MSG_MAX_LEN) {
        rl_log_err("msg len failed: msg_len = %d", static_cast<int>(length));
        close(fd);
        return;
    }
    ipc_msg* buffer = static_cast<ipc_msg*>(malloc(static_cast<size_t>(length)));
    if (buffer == nullptr) {
        rl_log_err("malloc msg buffer failed.");
        close(fd);
        return;
    }
    buffer->length = length;
    const int body_len = length - static_cast<int>(sizeof(length));
    const ssize_t body_read = read_until(fd, reinterpret_cast<unsigned char*>(buffer) + sizeof(length),
                                         static_cast<size_t>(body_len));
    close(fd);
    if (body_read == body_len) {
        ipc_msg_handler handler = g_ipc_data.handler;
        if (handler != nullptr) handler(buffer, g_ipc_data.context);
    } else {
        rl_log_err("msg_len != read_len: msg_len = %d, read_len = %d", body_len,
                   static_cast<int>(body_read));
    }
    free(buffer);
}

namespace {

// The reader ends by cancellation only while it waits in accept, where it
// holds nothing: a cancel that comes during a connection takes effect at the
// next accept, after the connection is closed and the buffer freed. (Cancelling
// in the middle would leak both, and unwinding through the handler's frames is
// not something every build of the handler supports.)
void* read_thread(void* arg) {
    const int listen_fd = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    rl_log_debug("This is thread, thread id is %u, gettid()=%d\n",
                 static_cast<unsigned>(pthread_self()), static_cast<int>(syscall(SYS_gettid)));
    while (get_quitflag() == 0) {
        const int fd = accept(listen_fd, nullptr, nullptr);
        if (fd < 0) {
            rl_log_err("accept failed: %s", strerror(errno));
            continue;
        }
        int old_state;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old_state);
        ipc_receive_message(fd);
        pthread_setcancelstate(old_state, nullptr);
    }
    return nullptr;
}

}  // namespace

int ipc_run(ipc_msg_handler handler, void* context) {
    if (g_ipc_data.own_id <= 0) {
        rl_log_err("registe ipc failed");
        return -1;
    }
    g_ipc_data.handler = handler;
    g_ipc_data.context = context;

    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        rl_log_err("create socket failed: %s", strerror(errno));
        return -1;
    }
    sockaddr_un addr;
    ipc_make_address(g_ipc_data.own_id, &addr);
    unlink(addr.sun_path);  // a file left by an earlier process must not block the bind
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), kIpcAddrLen) == -1) {
        system("mkdir -p /var/ipc/");
        if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), kIpcAddrLen) == -1) {
            const int saved = errno;
            close(fd);
            unlink(addr.sun_path);
            rl_log_err("bind failed: %s", strerror(saved));
            return -1;
        }
    }
    if (listen(fd, kListenBacklog) == -1) {
        const int saved = errno;
        close(fd);
        unlink(addr.sun_path);
        rl_log_err("listen failed: %s", strerror(saved));
        return -1;
    }
    chmod(addr.sun_path, 0777);
    g_ipc_data.listen_fd = fd;

    pthread_t thread;
    const int rc = pthread_create(&thread, nullptr, read_thread,
                                  reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    if (rc == 0) {
        rl_log_debug("create thread sucess\n");
        g_ipc_data.reader_thread = thread;
    } else {
        rl_log_err("pthread_create failed: %s", strerror(rc));
    }
    return 0;
}

int ipc_unregister() {
    if (g_ipc_data.reader_thread != pthread_t{}) {
        pthread_cancel(g_ipc_data.reader_thread);
        // Not waited for; detached so the thread's resources go when it ends.
        pthread_detach(g_ipc_data.reader_thread);
        g_ipc_data.reader_thread = pthread_t{};
    }
    rl_log_debug("leave thread\n");
    g_ipc_data.handler = nullptr;
    g_ipc_data.context = nullptr;
    g_ipc_data.own_id = 0;
    if (g_ipc_data.listen_fd > 0) close(g_ipc_data.listen_fd);
    g_ipc_data.listen_fd = 0;
    return 0;
}
