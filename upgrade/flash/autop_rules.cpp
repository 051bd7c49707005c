// The decisions of the auto-provisioning hand-off, free of files and shell.
#include <cstdio>
#include <cstring>

#include "autop.h"

rom_version autop_scan_version(const char* text) {
    rom_version v = {{0, 0, 0, 0}};
    if (text != nullptr) sscanf(text, "%d.%d.%d.%d", &v.part[0], &v.part[1], &v.part[2], &v.part[3]);
    return v;
}

int autop_version_applies(const rom_version* v) { return v->part[2] < 4 ? 1 : 0; }

int linekey8_version_applies(const rom_version* v) {
    const unsigned char first = static_cast<unsigned char>(v->part[0]);
    const unsigned char third = static_cast<unsigned char>(v->part[2]);
    return first == 59 && third < 4 ? 1 : 0;
}

int autop_name_matches(const char* name) {
    const size_t len = strlen(name);
    if (len == 0) return 0;
    const char last = name[len - 1];
    if (strstr(name, ".cfg") != nullptr && last == 'g') return 1;
    if (strstr(name, ".conf") != nullptr && last == 'f') return 1;
    return 0;
}

int autop_name_shell_safe(const char* name) {
    if (*name == '\0') return 0;
    for (const char* p = name; *p != '\0'; ++p) {
        const char c = *p;
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && strchr("._-+,:@%=", c) == nullptr) return 0;
    }
    return 1;
}

autop_pick_e autop_pick(const char* name, const char* path, int collected, char* cmd, unsigned int cmd_size) {
    if (!autop_name_matches(name)) return AUTOP_PICK_IGNORE;
    if (!autop_name_shell_safe(name)) return AUTOP_PICK_HOSTILE;
    const int n = snprintf(cmd, cmd_size, "cat '%s' >> " AUTOP_SAVE_FILE, path);
    if (n < 0 || static_cast<unsigned int>(n) >= cmd_size) return AUTOP_PICK_TOO_LONG;
    if (collected >= AUTOP_MAX_FILES) return AUTOP_PICK_TOO_MANY;
    return AUTOP_PICK_COLLECT;
}
