// Lookup of a device environment entry by name.
#include <cstring>

#include "env.h"

int get_mtd_info(const env_info* env, const char* name, unsigned int* index) {
    if (env == nullptr || name == nullptr || index == nullptr) return -1;
    // A name too long for the field can match no entry; the bounded compare below
    // never reads past a field even if a caller left one unterminated.
    if (strnlen(name, ENV_NAME_SIZE) >= ENV_NAME_SIZE) return -1;
    for (unsigned int i = 0; i < ENV_INFO_NUM; ++i) {
        if (strncmp(env[i].name, name, ENV_NAME_SIZE) == 0) {
            *index = i;
            return 0;
        }
    }
    return -1;
}
