// bench_measure: runs a program inside the simulated device and records what
// it cost, for scripts/bench.
//
//   bench_measure OUTFILE [--interval-ms N] -- PROGRAM [ARGS...]
//
// Forks, runs PROGRAM (with the environment, so the device's preloaded shim
// goes along) and, every N ms (default 5) while it runs, reads its
// /proc/<pid>/schedstat, stat and smaps. After each sample OUTFILE is
// rewritten (through a rename) with the figures so far, because an installer
// run ends in a reboot that takes this process down with it: the file then
// holds the last sample. When the program ends by itself its wait4 rusage is
// added.
//
// Lines of OUTFILE ("key value"):
//   samples         number of samples taken
//   cpu_ns          on-CPU time of the program itself (schedstat: user + sys,
//                   sleeps and children excluded), last sample
//   utime_ticks, stime_ticks   the same split (clock ticks), last sample
//   peak_private_kib           highest sum of Private_Clean + Private_Dirty of
//                              every mapping except the package
//   peak_anon_kib              highest Anonymous total
//   peak_heap_kib              highest Rss of [heap]
//   peak_package_rss_kib       highest Rss of the package mapping
//   peak_package_anon_kib      highest Anonymous of the package mapping (0:
//                              no page of it was ever copied on write; its
//                              Private_Dirty says nothing here, as pages of a
//                              file in tmpfs always count as dirty)
//   peak_rss_kib               highest Rss of everything
//   exit_status                when the program ended by itself
//   ru_utime_us, ru_stime_us, ru_maxrss_kib    wait4's figures, likewise
//
// The package mapping is the mapping whose file name ends in --package NAME
// (default "upgrade.rom").
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Figures {
    long samples = 0;
    unsigned long long cpu_ns = 0;
    unsigned long long utime = 0, stime = 0;
    long peak_private = 0, peak_anon = 0, peak_heap = 0;
    long peak_package_rss = 0, peak_package_anon = 0, peak_rss = 0;
};

// Waits without the device's sleep scaling: the preloaded shim divides the
// sleep calls by the device speed, but not poll's timeout.
void PauseMs(int ms) { poll(nullptr, 0, ms); }

bool ReadFile(const std::string& path, std::string* out) {
    FILE* f = fopen(path.c_str(), "r");
    if (f == nullptr) return false;
    out->clear();
    char buf[8192];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    fclose(f);
    return true;
}

// One sample; false once the process is gone.
bool Sample(pid_t pid, const std::string& package, Figures* fig) {
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string text;
    if (!ReadFile(dir + "/schedstat", &text) || text.empty()) return false;
    unsigned long long cpu = strtoull(text.c_str(), nullptr, 10);

    if (!ReadFile(dir + "/stat", &text)) return false;
    // Fields after the command name's closing parenthesis: state is field 3,
    // utime 14 and stime 15.
    size_t close = text.rfind(')');
    if (close == std::string::npos) return false;
    unsigned long long utime = 0, stime = 0;
    {
        const char* p = text.c_str() + close + 2;
        for (int field = 3; field <= 15 && *p != '\0'; ++field) {
            if (field == 14) utime = strtoull(p, nullptr, 10);
            if (field == 15) stime = strtoull(p, nullptr, 10);
            const char* space = strchr(p, ' ');
            if (space == nullptr) break;
            p = space + 1;
        }
    }

    if (!ReadFile(dir + "/smaps", &text)) return false;
    long priv = 0, anon = 0, heap = 0, pkg_rss = 0, pkg_anon = 0, rss = 0;
    bool in_package = false, in_heap = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        // A mapping's first line starts with its address range (a hex digit and
        // a '-'); the fields below it start with a capitalised name.
        if (!line.empty() && isxdigit(static_cast<unsigned char>(line[0])) &&
            line.find('-') < line.find(' ')) {
            in_package = line.size() >= package.size() &&
                         line.compare(line.size() - package.size(), package.size(), package) == 0;
            in_heap = line.find("[heap]") != std::string::npos;
            continue;
        }
        long kib = 0;
        auto field = [&line, &kib](const char* name) {
            size_t len = strlen(name);
            if (line.compare(0, len, name) != 0) return false;
            kib = strtol(line.c_str() + len, nullptr, 10);
            return true;
        };
        if (field("Rss:")) {
            rss += kib;
            if (in_package) pkg_rss += kib;
            if (in_heap) heap += kib;
        } else if (field("Private_Clean:")) {
            if (!in_package) priv += kib;
        } else if (field("Private_Dirty:")) {
            if (!in_package) priv += kib;
        } else if (field("Anonymous:")) {
            anon += kib;
            if (in_package) pkg_anon += kib;
        }
    }

    ++fig->samples;
    fig->cpu_ns = cpu;
    fig->utime = utime;
    fig->stime = stime;
    auto up = [](long* peak, long v) {
        if (v > *peak) *peak = v;
    };
    up(&fig->peak_private, priv);
    up(&fig->peak_anon, anon);
    up(&fig->peak_heap, heap);
    up(&fig->peak_package_rss, pkg_rss);
    up(&fig->peak_package_anon, pkg_anon);
    up(&fig->peak_rss, rss);
    return true;
}

bool Write(const std::string& path, const Figures& fig, const std::string& tail) {
    const std::string tmp = path + ".part";
    FILE* f = fopen(tmp.c_str(), "w");
    if (f == nullptr) return false;
    fprintf(f,
            "samples %ld\ncpu_ns %llu\nutime_ticks %llu\nstime_ticks %llu\n"
            "peak_private_kib %ld\npeak_anon_kib %ld\npeak_heap_kib %ld\n"
            "peak_package_rss_kib %ld\npeak_package_anon_kib %ld\npeak_rss_kib %ld\n%s",
            fig.samples, fig.cpu_ns, fig.utime, fig.stime, fig.peak_private, fig.peak_anon,
            fig.peak_heap, fig.peak_package_rss, fig.peak_package_anon, fig.peak_rss, tail.c_str());
    if (fclose(f) != 0) return false;
    return rename(tmp.c_str(), path.c_str()) == 0;
}

int Usage(FILE* to) {
    fprintf(to,
            "usage: bench_measure OUTFILE [--interval-ms N] [--package NAME] -- PROGRAM [ARGS...]\n"
            "Runs PROGRAM, samples its CPU time and memory from /proc every N ms\n"
            "(default 5) and keeps the figures in OUTFILE (see the head of measure.cpp).\n");
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) return Usage(stdout);
    if (argc < 4) return Usage(stderr);
    const std::string out = argv[1];
    int interval = 5;
    std::string package = "upgrade.rom";
    int i = 2;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (strcmp(argv[i], "--interval-ms") == 0 && i + 1 < argc) {
            interval = atoi(argv[++i]);
            if (interval < 1 || interval > 1000) return Usage(stderr);
        } else if (strcmp(argv[i], "--package") == 0 && i + 1 < argc) {
            package = argv[++i];
        } else {
            return Usage(stderr);
        }
    }
    if (i + 1 >= argc) return Usage(stderr);
    char** program = argv + i + 1;

    pid_t pid = fork();
    if (pid < 0) {
        perror("bench_measure: fork");
        return 1;
    }
    if (pid == 0) {
        execv(program[0], program);
        fprintf(stderr, "bench_measure: cannot run %s: %s\n", program[0], strerror(errno));
        _exit(127);
    }

    Figures fig;
    int status = 0;
    struct rusage ru = {};
    for (;;) {
        pid_t done = wait4(pid, &status, WNOHANG, &ru);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            perror("bench_measure: wait4");
            return 1;
        }
        if (Sample(pid, package, &fig) && !Write(out, fig, "")) {
            fprintf(stderr, "bench_measure: cannot write %s\n", out.c_str());
            return 1;
        }
        PauseMs(interval);
    }
    char tail[256];
    snprintf(tail, sizeof tail, "exit_status %d\nru_utime_us %lld\nru_stime_us %lld\nru_maxrss_kib %ld\n",
             WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
             static_cast<long long>(ru.ru_utime.tv_sec) * 1000000 + ru.ru_utime.tv_usec,
             static_cast<long long>(ru.ru_stime.tv_sec) * 1000000 + ru.ru_stime.tv_usec, ru.ru_maxrss);
    if (!Write(out, fig, tail)) {
        fprintf(stderr, "bench_measure: cannot write %s\n", out.c_str());
        return 1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
