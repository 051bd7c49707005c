// Loading an INI file and the public lookup read_profile_string.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "inifile.h"

namespace {

// The file buffer of one lookup, released on every path.
class FileBuffer {
public:
    FileBuffer() : data_(static_cast<char*>(calloc(INIFILE_BUF_SIZE, 1))) {}
    ~FileBuffer() { free(data_); }
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    char* get() const { return data_; }

private:
    char* data_;
};

// Copies at most size - 1 characters of text into value (size bytes), zeroing
// the rest, so that the result is always terminated.
void copy_terminated(char* value, int size, const char* text, size_t len) {
    const size_t room = static_cast<size_t>(size) - 1;
    if (len > room) len = room;
    memset(value, 0, static_cast<size_t>(size));
    memcpy(value, text, len);
}

}  // namespace

int load_ini_file(const char* path, char* buf, int* file_size) {
    if (file_size != nullptr) *file_size = 0;
    if (path == nullptr || buf == nullptr || file_size == nullptr) return 0;
    FILE* f = fopen(path, "r");
    if (f == nullptr) return 0;
    int n = 0;
    int c = 0;
    // A byte 0xFF ends the text as the end of the file does.
    while (n < INIFILE_BUF_SIZE - 1 && (c = fgetc(f)) != EOF && c != 0xFF) {
        buf[n++] = static_cast<char>(c);
    }
    buf[n] = '\0';
    *file_size = n;
    fclose(f);
    return 1;
}

int read_profile_string(const char* section, const char* key, char* value, int size,
                        const char* default_value, const char* path) {
    if (section == nullptr || key == nullptr || value == nullptr || path == nullptr) return 0;
    // No room even for a terminator.
    if (size < 1) return 0;

    FileBuffer buf;
    int file_size = 0;
    int sec_s, sec_e, key_s, key_e, value_s, value_e;
    // Without memory the key is reported absent.
    if (buf.get() != nullptr && load_ini_file(path, buf.get(), &file_size) == 1 &&
        parse_file(section, key, buf.get(), &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e) ==
            1) {
        copy_terminated(value, size, buf.get() + value_s, static_cast<size_t>(value_e - value_s));
        str_trim(value);
        return 1;
    }
    if (default_value != nullptr) {
        copy_terminated(value, size, default_value, strnlen(default_value, static_cast<size_t>(size)));
    }
    return 0;
}
