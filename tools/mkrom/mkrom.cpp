// mkrom: builds a ROM package from an INI manifest.
//
// Exit status: 0 written, 1 the output could not be written, 2 bad command line
// or bad manifest. The package is written to a temporary file beside OUT and
// renamed into place, so OUT is either the complete new package or untouched.
#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "manifest.h"
#include "rombuild.h"

namespace {

void usage(FILE* out) {
    fprintf(out,
            "Usage: mkrom MANIFEST -o OUT\n"
            "Build a ROM package for the installer from an INI manifest.\n"
            "\n"
            "  -o, --output OUT  package file to write (replaced atomically)\n"
            "  -h, --help        show this help and exit\n"
            "\n"
            "MANIFEST sections:\n"
            "  [rom]         device_id, rom_version (a.b.c.d), match_id (up to 16 numbers,\n"
            "                comma separated) are required; rom_type, process_type,\n"
            "                oem_id, mid_version, sw_protect, scramble_key (0..255) and\n"
            "                header_size (128, or 124 for the older unscrambled form)\n"
            "                are optional\n"
            "  [partitionN]  N = 0..15 without gaps, in package order; id, version\n"
            "                (a.b.c.d) and file (relative to the manifest) are required;\n"
            "                type, process_type and data_type are optional\n"
            "Numbers are decimal or 0x hexadecimal.\n"
            "\n"
            "Exit status: 0 written, 1 output not written, 2 bad arguments or manifest.\n");
}

// Writes `data` to a temporary file in OUT's folder and renames it to OUT.
bool write_atomically(const std::string& out, const std::vector<uint8_t>& data, std::string* why) {
    size_t slash = out.rfind('/');
    std::string dir = slash == std::string::npos ? "." : out.substr(0, slash == 0 ? 1 : slash);
    std::string base = slash == std::string::npos ? out : out.substr(slash + 1);
    std::string tmp = dir + "/." + base + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        *why = "cannot create a temporary file in '" + dir + "': " + strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *why = "cannot write '" + tmp + "': " + strerror(n < 0 ? errno : ENOSPC);
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0 || fsync(fd) != 0 || close(fd) != 0) {
        *why = "cannot finish '" + tmp + "': " + strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    if (rename(tmp.c_str(), out.c_str()) != 0) {
        *why = "cannot rename to '" + out + "': " + strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    static const option longopts[] = {
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    std::string out;
    int c;
    while ((c = getopt_long(argc, argv, "o:h", longopts, nullptr)) != -1) {
        switch (c) {
        case 'o':
            out = optarg;
            break;
        case 'h':
            usage(stdout);
            return 0;
        default:
            usage(stderr);
            return 2;
        }
    }
    if (optind + 1 != argc || out.empty()) {
        fprintf(stderr, "mkrom: %s\n", out.empty() ? "missing -o OUT" : "exactly one MANIFEST expected");
        usage(stderr);
        return 2;
    }
    const std::string manifest = argv[optind];
    RomPackageSpec desc;
    std::string error;
    if (!rombuild_load_manifest(manifest, &desc, &error)) {
        fprintf(stderr, "mkrom: %s\n", error.c_str());
        return 2;
    }
    std::vector<uint8_t> pkg;
    if (!rombuild_package(desc, &pkg, nullptr, &error)) {
        fprintf(stderr, "mkrom: %s: %s\n", manifest.c_str(), error.c_str());
        return 2;
    }
    if (!write_atomically(out, pkg, &error)) {
        fprintf(stderr, "mkrom: %s\n", error.c_str());
        return 1;
    }
    printf("%s: %zu bytes, %zu partitions\n", out.c_str(), pkg.size(), desc.partitions.size());
    return 0;
}
