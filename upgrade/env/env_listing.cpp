// The pure part of the environment module: judging bootloader listing lines,
// appending entries to the table, the software version text and the check of
// variable texts. No files and no shell, so the host tests and the fuzzer drive
// it with any input.
#include <cstdio>
#include <cstring>

#include "env.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

// Listing lines of this many characters or more are refused.
constexpr size_t kLineLimit = 150;
// Names and values must stay below these lengths to fit their fields.
constexpr size_t kNameLimit = 50;
constexpr size_t kValueLimit = ENV_VALUE_SIZE;

// Bootloader variables the installer keeps, in the order they are looked up.
const char* const g_env_accepted[] = {
    "MID_VERSION", "SW_OEM", "SW_protect", "mtd0", "mtd1", "mtd2", "mtd3",
    "mtd4",        "mtd5",   "mtd6",       "mtd7", "mtd8", "Mtd2Version",
};

bool env_is_accepted(const char* name) {
    for (const char* accepted : g_env_accepted) {
        if (strcmp(accepted, name) == 0) return true;
    }
    return false;
}

// "mtd0" ... "mtd8" carry a flash range instead of a text.
bool env_is_mtd(const char* name) {
    return name[0] == 'm' && name[1] == 't' && name[2] == 'd' && name[3] >= '0' &&
           name[3] <= '8' && name[4] == '\0';
}

void env_copy_text(char* dst, size_t size, const char* src) {
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Stores a flash range entry. A value that is empty or blank is skipped; one that
// does not hold two hexadecimal numbers gives 0/0, a range every size test refuses.
void env_add_mtd(env_info* env, const char* name, const char* value) {
    unsigned int start = 0;
    unsigned int end = 0;
    int got = sscanf(value, "%x,%x", &start, &end);
    if (got == EOF) return;
    if (got != 2) {
        start = 0;
        end = 0;
    }
    unsigned int n = env_count(env);
    env_copy_text(env[n].name, sizeof env[n].name, name);
    env[n].start_addr = start;
    env[n].end_addr = end;
}

// Judges one complete line (`line` is NUL-terminated, `len` its true length).
void env_listing_line(env_info* env, char* line, size_t len) {
    if (env_count(env) >= ENV_INFO_NUM) {
        rl_log_err("env data too many\n");
        return;
    }
    if (len >= kLineLimit) {
        rl_log_err("env data too long\n");
        return;
    }
    char* sep = strpbrk(line, " \t");
    if (sep == nullptr) {
        rl_log_err("invalid env\n");
        return;
    }
    *sep = '\0';
    const char* name = line;
    const char* value = sep + 1;
    if (strlen(name) >= kNameLimit) {
        rl_log_err("env name too long\n");
        return;
    }
    if (strlen(value) >= kValueLimit) {
        rl_log_err("env value too long\n");
        return;
    }
    rl_log_debug("pvar:%s pval:%s\n", name, value);
    if (!env_is_accepted(name)) return;
    if (env_is_mtd(name)) {
        env_add_mtd(env, name, value);
    } else {
        env_add_text(env, name, value);
    }
}

}  // namespace

unsigned int env_count(const env_info* env) {
    unsigned int n = 0;
    while (n < ENV_INFO_NUM && env[n].name[0] != '\0') ++n;
    return n;
}

int env_add_text(env_info* env, const char* name, const char* value) {
    if (env == nullptr || name == nullptr || value == nullptr) return -1;
    unsigned int n = env_count(env);
    if (n >= ENV_INFO_NUM) {
        rl_log_err("env data too many\n");
        return -1;
    }
    env_copy_text(env[n].name, sizeof env[n].name, name);
    env_copy_text(env[n].value, sizeof env[n].value, value);
    return 0;
}

void env_listing_feed(env_info* env, env_line_reader* reader, char c) {
    if (c != '\n') {
        if (reader->len < ENV_LINE_SIZE - 1) reader->line[reader->len] = c;
        if (reader->len < kLineLimit) ++reader->len;  // enough to refuse it
        return;
    }
    size_t kept = reader->len < ENV_LINE_SIZE - 1 ? reader->len : ENV_LINE_SIZE - 1;
    reader->line[kept] = '\0';
    env_listing_line(env, reader->line, reader->len);
    reader->len = 0;
}

void env_parse_listing(env_info* env, const char* text, size_t len) {
    env_line_reader reader{};
    for (size_t i = 0; i < len; ++i) env_listing_feed(env, &reader, text[i]);
}

int env_software_version(const char* line, char* out, size_t out_size) {
    if (line == nullptr || out == nullptr || out_size == 0) return UPD_MSG_READ_ENV_FAILED;
    const char* comma = strchr(line, ',');
    if (comma == nullptr) return UPD_MSG_READ_ENV_FAILED;
    size_t n = static_cast<size_t>(comma - line);
    if (n > out_size - 1) n = out_size - 1;
    memcpy(out, line, n);
    out[n] = '\0';
    return 0;
}

int env_str_valid(const char* s) {
    if (s == nullptr) return 0;
    for (; *s != '\0'; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c < 0x20 || c == 0x7f || c == '"' || c == '\\' || c == '$' || c == '`') return 0;
    }
    return 1;
}
