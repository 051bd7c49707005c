// Linked into the UI layers' tests only: before any test runs (still
// single-threaded) the process moves into a private /proc, so screen refreshes
// land in a scratch file and never reach the machine's. Kept out of the
// coord_testing archive: an archive member is pulled into any binary that needs
// one of its symbols (even a template instantiation), and a private /proc
// hides /proc/<pid> of every child process from tests that read it.
#include <unistd.h>

#include "private_proc.h"

namespace {

struct PrivateProcForTests {
    PrivateProcForTests() {
        if (!uitest::EnterPrivateProc()) _exit(77);
    }
};
const PrivateProcForTests g_private_proc;

}  // namespace
