// libipc: short notifications between the device's processes over Unix-domain
// stream sockets, one message per connection.
//
// A receiver listens on "/var/ipc/<id>" and hands each message to a callback on
// its own reader thread. A sender connects (non-blocking), writes the one
// message and closes; it never waits for the receiver.
//
// Calling order: ipc_register; optionally ipc_run to receive; any number of
// ipc_send / ipc_broadcast; ipc_unregister. The module state is not locked:
// register/run/unregister belong to one thread; ipc_send may be called from any.
#pragma once

#include <pthread.h>

#include <cstdint>

// Process ids. 0 means "no id".
inline constexpr int IPC_ID_NULL = 0;
inline constexpr int IPC_ID_VA = 1;
inline constexpr int IPC_ID_PHONE = 2;
inline constexpr int IPC_ID_AUTOP = 3;
inline constexpr int IPC_ID_LIGHTTPD = 4;
inline constexpr int IPC_ID_NETCONFIG = 5;
inline constexpr int IPC_ID_UPGRADER = 6;
inline constexpr int IPC_ID_SIMULATOR = 7;
inline constexpr int IPC_ID_TEST = 8;
// A broadcast addresses ids 1 to IPC_ID_BROADCAST_LAST.
inline constexpr int IPC_ID_BROADCAST_LAST = 11;

// Names of ids 0 to 8, indexed by id.
inline constexpr int IPC_ID_NAME_COUNT = 9;
extern const char* const ipc_id_str[IPC_ID_NAME_COUNT];

// Wire format: 32-bit fields in the host's byte order (little-endian on the
// device), no padding. `length` counts the whole message, header included.
inline constexpr int IPC_MSG_HEADER_LEN = 20;
inline constexpr int IPC_MSG_DATA_MAX = 2048;
inline constexpr int IPC_MSG_MAX_LEN = IPC_MSG_HEADER_LEN + IPC_MSG_DATA_MAX;  // 2068
inline constexpr int IPC_MSG_MIN_LEN = 8;  // shortest message a receiver accepts

struct ipc_msg {
    int32_t length;  // 20 + data length
    int32_t msg;     // message code
    int32_t sender;  // sender's own id
    int32_t wparam;
    int32_t lparam;
    uint8_t data[IPC_MSG_DATA_MAX];
};
static_assert(sizeof(ipc_msg) == IPC_MSG_MAX_LEN, "wire layout");

// Message handler, run on the reader thread one message at a time. Only the
// first msg->length bytes exist (a message may be as short as 8 bytes: read
// fields past `msg` only when length >= IPC_MSG_HEADER_LEN). The buffer is
// freed when the handler returns: do not keep the pointer. The result is
// ignored.
typedef int (*ipc_msg_handler)(const ipc_msg* msg, void* context);

// Module state.
struct ipc_data {
    int32_t own_id;           // id given to ipc_register; <= 0: not registered
    int32_t listen_fd;        // listening socket, or 0
    pthread_t reader_thread;  // reader thread, or 0 when none was started
    ipc_msg_handler handler;  // callback given to ipc_run, or null
    void* context;            // its opaque context, or null
};
extern ipc_data g_ipc_data;
extern int g_quitflag;  // the reader thread stops (after its next accept) when not 0

// Records `id` as own id; does not listen. Returns 0.
int ipc_register(int id);
// Listens on "/var/ipc/<own id>" (creating /var/ipc when missing) and starts
// the reader thread. 0 on success (also when the thread could not be started:
// that is logged), -1 when not registered or the socket cannot listen.
int ipc_run(ipc_msg_handler handler, void* context);
// Sends one message to `receiver`. `data` may be null; data is sent only when
// `data` is not null and `data_len` >= 1. Returns 0 when the whole message was
// written, -1 when not registered or the receiver is absent or the write failed
// or came out short, 1 when data_len exceeds IPC_MSG_DATA_MAX (nothing sent).
int ipc_send(int receiver, int msg, int wparam, int lparam, const void* data, int data_len);
// ipc_send to every id from 1 to 11 (own id included), ignoring the results.
// Returns 0.
int ipc_broadcast(int msg, int wparam, int lparam, const void* data, int data_len);
// Cancels the reader thread (without waiting for it), closes the listening
// socket and forgets the registration. The socket file stays. Returns 0.
// A reader waiting for a connection ends at once; one busy with a connection
// first finishes it (a silent peer is given up after 5 s) and ends before its
// next accept, with the connection closed and its buffer freed.
int ipc_unregister();

int get_quitflag();
void set_quitflag(int flag);

// Both log the version banner at info level.
void ipc_init();
void ipc_show_version();
