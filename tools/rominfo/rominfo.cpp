// rominfo: shows a ROM package's headers and verifies it as far as that needs
// no device. Exit status: 0 well-formed, 1 not (or unreadable), 2 bad arguments.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rl_log.h"
#include "rombuild.h"
#include "rominfo_report.h"

namespace {

void usage(FILE* out) {
    fprintf(out,
            "Usage: rominfo PACKAGE [--json]\n"
            "Show a ROM package's header and partition table and verify its magics,\n"
            "checksums and ranges in the installer's order.\n"
            "\n"
            "  -j, --json  print one JSON object instead of text\n"
            "  -h, --help  show this help and exit\n"
            "\n"
            "Exit status: 0 well-formed, 1 not well-formed or unreadable,\n"
            "2 bad arguments. A refusal names the installer's result code\n"
            "(e.g. UPD_MSG_ROM_CHECKSUM_ERR) and what was wrong.\n");
}

}  // namespace

int main(int argc, char** argv) {
    static const option longopts[] = {
        {"json", no_argument, nullptr, 'j'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    bool as_json = false;
    int c;
    while ((c = getopt_long(argc, argv, "jh", longopts, nullptr)) != -1) {
        switch (c) {
        case 'j':
            as_json = true;
            break;
        case 'h':
            usage(stdout);
            return 0;
        default:
            usage(stderr);
            return 2;
        }
    }
    if (optind + 1 != argc) {
        fprintf(stderr, "rominfo: exactly one PACKAGE expected\n");
        usage(stderr);
        return 2;
    }
    const char* path = argv[optind];
    // The checks log through the installer's log facility; a host tool keeps
    // the host's syslog quiet and reports on stdout instead.
    rl_log_reset_level(-1);
    std::vector<uint8_t> pkg;
    std::string why;
    if (!rombuild_read_file(path, &pkg, &why)) {
        fprintf(stderr, "rominfo: %s\n", why.c_str());
        return 1;
    }
    RomInfoReport r = rominfo_analyze(pkg.data(), static_cast<uint32_t>(pkg.size()));
    std::string out = as_json ? rominfo_json(r, path) : rominfo_text(r, path);
    fputs(out.c_str(), stdout);
    return r.code == 0 ? 0 : 1;
}
