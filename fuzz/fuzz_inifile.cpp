// Fuzz target: the INI reader, through the file it reads.
//
// Input: "section\nkey\n" then the file's text; the first byte of the file part
// (when present) also picks the size of the value buffer (1..64). The text is
// put in an in-memory file and looked up with read_profile_string and
// parse_file. Checked: the value is always terminated inside its buffer, a
// found value carries no blanks at either end, every position parse_file
// reports lies inside the text in header, key, value order, and the two calls
// agree.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_sandbox.h"
#include "inifile.h"

namespace {

int g_fd = -1;
char g_path[64];

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string take_line(const uint8_t*& p, const uint8_t* end) {
    std::string out;
    while (p < end && *p != '\n') out.push_back(static_cast<char>(*p++));
    if (p < end) ++p;
    return out;
}

void put_file(const uint8_t* data, size_t len) {
    if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, data, len, 0) != static_cast<ssize_t>(len)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_enter_sandbox();
    g_fd = memfd_create("fuzz.ini", 0);
    if (g_fd < 0) abort();
    snprintf(g_path, sizeof g_path, "/proc/self/fd/%d", g_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    const std::string section = take_line(p, end);
    const std::string key = take_line(p, end);
    const int value_size = p < end ? 1 + (*p % 64) : 32;
    const size_t text_len = static_cast<size_t>(end - p);
    put_file(p, text_len);

    // Guard bytes after the buffer catch writes past `value_size`.
    char value[64 + 8];
    memset(value, 'G', sizeof value);
    const int found = read_profile_string(section.c_str(), key.c_str(), value, value_size, "dflt", g_path);
    if (found != 0 && found != 1) abort();
    for (size_t i = static_cast<size_t>(value_size); i < sizeof value; ++i)
        if (value[i] != 'G') abort();
    const size_t vlen = strnlen(value, static_cast<size_t>(value_size));
    if (vlen >= static_cast<size_t>(value_size)) abort();  // not terminated inside
    if (found == 1 && vlen > 0 && (blank(value[0]) || blank(value[vlen - 1]))) abort();
    if (found == 0 && strncmp(value, "dflt", static_cast<size_t>(value_size - 1)) != 0) abort();

    // The same text through the parser: positions inside the loaded text.
    static char buf[INIFILE_BUF_SIZE];
    int file_size = -1;
    if (load_ini_file(g_path, buf, &file_size) != 1) abort();
    if (file_size < 0 || file_size >= INIFILE_BUF_SIZE || buf[file_size] != '\0') abort();
    int pos[6];
    const int parsed = parse_file(section.c_str(), key.c_str(), buf, &pos[0], &pos[1], &pos[2],
                                  &pos[3], &pos[4], &pos[5]);
    if (parsed != found) abort();
    if (parsed == 1) {
        for (int v : pos)
            if (v < 0 || v > file_size) abort();
        // Header, then key, then '=', then the value (the key's last index may
        // precede its first for an empty key).
        if (pos[0] > pos[1] || pos[1] > pos[2] || pos[3] >= pos[4] || pos[4] > pos[5]) abort();
    } else {
        for (int v : pos)
            if (v != -1) abort();
    }
    return 0;
}
