#include "sysv.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace devsim {
namespace {

using json = nlohmann::json;

// The phone's semaphore keys (save file, upgrader process, upgrader tool
// process, burn flash, shared ROM buffer) and segment keys.
constexpr key_t kPhoneSemaphores[] = {0xB012, 0xC002, 0xC003, 0xC004, 0xA130};
constexpr key_t kPhoneSegments[] = {0xA130, 0x1079B};

std::string KeyName(key_t key) {
  char s[16];
  std::snprintf(s, sizeof s, "0x%X", static_cast<unsigned>(key));
  return s;
}

// The union semctl's GETALL, SEM_INFO and SEM_STAT take.
union SemArg {
  int val;
  semid_ds* buf;
  unsigned short* array;
  seminfo* info;
};

json Semaphores() {
  json out = json::object();
  for (key_t key : kPhoneSemaphores) out[KeyName(key)] = {{"exists", false}, {"value", nullptr}};
  seminfo info{};
  SemArg arg{};
  arg.info = &info;
  int max_index = semctl(0, 0, SEM_INFO, arg);
  for (int index = 0; index <= max_index; ++index) {
    semid_ds ds{};
    arg.buf = &ds;
    int id = semctl(index, 0, SEM_STAT, arg);
    if (id < 0 || ds.sem_perm.__key == IPC_PRIVATE || ds.sem_nsems == 0) continue;
    std::vector<unsigned short> values(ds.sem_nsems);
    arg.array = values.data();
    if (semctl(id, 0, GETALL, arg) != 0) continue;
    json entry = {{"exists", true}, {"value", values[0]}};
    if (values.size() > 1) entry["values"] = values;
    out[KeyName(ds.sem_perm.__key)] = entry;
  }
  return out;
}

json Segments() {
  json out = json::object();
  for (key_t key : kPhoneSegments) out[KeyName(key)] = {{"exists", false}, {"size", nullptr}};
  shm_info info{};
  int max_index = shmctl(0, SHM_INFO, reinterpret_cast<shmid_ds*>(&info));
  for (int index = 0; index <= max_index; ++index) {
    shmid_ds ds{};
    if (shmctl(index, SHM_STAT, &ds) < 0 || ds.shm_perm.__key == IPC_PRIVATE) continue;
    out[KeyName(ds.shm_perm.__key)] = {{"exists", true}, {"size", ds.shm_segsz}};
  }
  return out;
}

}  // namespace

json SysvRecord() { return {{"semaphores", Semaphores()}, {"shm", Segments()}}; }

}  // namespace devsim
