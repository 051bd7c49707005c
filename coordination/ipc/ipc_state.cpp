// Module state, id names, the socket address of an id, and the version banner.
#include <cstdio>
#include <cstring>

#include "ipc.h"
#include "ipc_internal.h"
#include "rl_log.h"

ipc_data g_ipc_data = {};
int g_quitflag = 0;

const char* const ipc_id_str[IPC_ID_NAME_COUNT] = {
    "NULL",         "IPC_ID_VA",        "IPC_ID_PHONE",     "IPC_ID_AUTOP",  "IPC_ID_LIGHTTPD",
    "IPC_ID_NETCONFIG", "IPC_ID_UPGRADER", "IPC_ID_SIMULATOR", "IPC_ID_TEST",
};

void ipc_make_address(int id, sockaddr_un* addr) {
    memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    snprintf(addr->sun_path, sizeof(addr->sun_path), "%s%d", "/var/ipc/", id);
}

// The flag is set by one thread and read by the reader thread: plain int,
// accessed atomically.
int get_quitflag() { return __atomic_load_n(&g_quitflag, __ATOMIC_SEQ_CST); }
void set_quitflag(int flag) { __atomic_store_n(&g_quitflag, flag, __ATOMIC_SEQ_CST); }

void ipc_show_version() {
    rl_log_info("Init %s, Version %s, Build at %s %s", "libipc", "1.0.0.17", __DATE__, __TIME__);
}

void ipc_init() { ipc_show_version(); }
