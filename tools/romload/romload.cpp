// romload: puts a ROM package and an upgrade state into the shared ROM buffer,
// as the device's filling process does before it starts the installer without
// argument. Runs on the device and on the host (inside the simulated device).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "libupgrader.h"
#include "romload_core.h"

namespace {

void usage(FILE* out) {
    fprintf(out,
            "Usage: romload PACKAGE [--state N] [--key 0xA130|0x1079B]\n"
            "Puts the ROM package file PACKAGE into the shared ROM buffer (from offset 8)\n"
            "and the upgrade state N into its state word (offset 4), under the\n"
            "shared-memory semaphore, for an installer started without argument.\n"
            "\n"
            "  --state N   upgrade state word, a signed 32-bit number (default 0)\n"
            "  --key K     segment key, 0xA130 (default) or 0x1079B; the segment is\n"
            "              created with 8 MiB when it does not exist\n"
            "  -h, --help  show this text\n"
            "\n"
            "A package larger than the segment's room (its size less 8 bytes) is\n"
            "refused and nothing is written.\n"
            "Exit status: 0 written, 1 failed, 2 bad command line.\n");
}

bool parse_int(const char* text, long min, long max, long* value) {
    char* end = nullptr;
    errno = 0;
    const long v = strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    *value = v;
    return true;
}

int bad_usage(const char* fmt, const char* arg) {
    fprintf(stderr, "romload: ");
    fprintf(stderr, fmt, arg);
    fprintf(stderr, "\nTry 'romload --help'.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    long state = 0;
    long key = SHM_KEY_ROM;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            usage(stdout);
            return 0;
        }
        if (strcmp(arg, "--state") == 0 || strcmp(arg, "--key") == 0) {
            if (i + 1 >= argc) return bad_usage("%s needs a value", arg);
            const char* value = argv[++i];
            if (arg[2] == 's') {
                if (!parse_int(value, INT_MIN, INT_MAX, &state)) {
                    return bad_usage("bad state '%s' (a signed 32-bit number)", value);
                }
            } else if (!parse_int(value, 0, LONG_MAX, &key) ||
                       (key != SHM_KEY_ROM && key != SHM_KEY_ROM_ALT)) {
                return bad_usage("bad key '%s' (0xA130 or 0x1079B)", value);
            }
            continue;
        }
        if (arg[0] == '-' && arg[1] != '\0') return bad_usage("unknown option '%s'", arg);
        if (path != nullptr) return bad_usage("more than one package given ('%s')", arg);
        path = arg;
    }
    if (path == nullptr) return bad_usage("%s", "no package given");

    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        fprintf(stderr, "romload: cannot open %s: %s\n", path, strerror(errno));
        return 1;
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        fprintf(stderr, "romload: %s is %s\n", path, S_ISREG(st.st_mode) ? "empty" : "not a regular file");
        close(fd);
        return 1;
    }
    const size_t length = static_cast<size_t>(st.st_size);
    if (static_cast<unsigned long long>(st.st_size) != length) {
        fprintf(stderr, "romload: %s is too large for this machine\n", path);
        close(fd);
        return 1;
    }
    void* map = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        fprintf(stderr, "romload: cannot map %s: %s\n", path, strerror(errno));
        return 1;
    }
    char error[256];
    const int rc = romload_fill(static_cast<const unsigned char*>(map), length,
                                static_cast<int>(state), static_cast<key_t>(key), error, sizeof(error));
    munmap(map, length);
    if (rc != ROMLOAD_OK) {
        fprintf(stderr, "romload: %s: %s\n", path, error);
        return 1;
    }
    printf("romload: %zu bytes of %s with state %ld written to the segment of key 0x%lX\n", length,
           path, state, key);
    return 0;
}
