// Semaphore control against real kernel semaphores, each test inside a private
// IPC namespace of its own (the fixed keys never reach the machine's).
#include "semctrl.h"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include "private_ns.h"

using namespace coord_testing;

namespace {

constexpr key_t kKey = SEM_KEY_SAVE_FILE;

int value_of(int semid, int semnum = 0) { return semctl(semid, semnum, GETVAL); }

// One process's use of a semaphore and what it leaves behind, the same for a
// binary semaphore and for the *_sem functions on semaphore 1 of a set of 2.
struct ExitCase {
    const char* name;
    int initial;      // value before the child runs
    const char* ops;  // performed by the child: t = try-lock, l = lock, u = unlock
    int while_alive;  // value the child sees after its operations
    int after_exit;   // value once the child has ended
};

const ExitCase kExitCases[] = {
    {"try_lock_then_exit_stays_taken", 1, "t", 0, 0},
    {"lock_then_exit_given_back", 1, "l", 0, 1},
    {"lock_unlock_then_exit_free", 1, "lu", 1, 1},
    {"try_lock_unlock_then_exit_taken_again", 1, "tu", 1, 0},
    {"unlock_never_taken_lowered_at_exit", 0, "u", 1, 0},
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class SemExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(SemExitTest, KernelUndoMatchesTheOperationFlags) {
    const ExitCase c = GetParam();
    for (const bool general : {false, true}) {
        EXPECT_TRUE(RunIsolated(kPrivateIpc, [&] {
            const int num = general ? 1 : 0;
            const int id = general ? sem_create_key(2, kKey) : binary_sem_create_key(kKey);
            ASSERT_GE(id, 0);
            ASSERT_EQ(sem_set_value(id, num, c.initial), 0);
            if (general) {
                ASSERT_EQ(sem_set_value(id, 0, 7), 0);
            }
            const int seen = RunChild([&] {
                for (const char* op = c.ops; *op != '\0'; ++op) {
                    int rc = -1;
                    if (*op == 't') rc = general ? try_lock_sem(id, num) : try_lock_binary_sem(id);
                    if (*op == 'l') rc = general ? lock_sem(id, num) : lock_binary_sem(id);
                    if (*op == 'u') rc = general ? unlock_sem(id, num) : unlock_binary_sem(id);
                    if (rc != 0) return 100;
                }
                return value_of(id, num);
            });
            EXPECT_EQ(seen, c.while_alive);
            EXPECT_EQ(value_of(id, num), c.after_exit);
            if (general) {
                EXPECT_EQ(value_of(id, 0), 7) << "other semaphore of the set touched";
            }
        })) << (general ? "general" : "binary");
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, SemExitTest, ::testing::ValuesIn(kExitCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A look-up creates nothing; a new binary semaphore is one free semaphore open
// to all; an existing set under the key keeps its values (a binary create
// included); private sets are free and separate.
TEST(SemCreate, NewOnesAreFreeExistingOnesKeepTheirValues) {
    EXPECT_TRUE(RunIsolated(kPrivateIpc, [] {
        EXPECT_EQ(get_sem_by_key(kKey), -1);
        const int id = binary_sem_create_key(kKey);
        ASSERT_GE(id, 0);
        semid_ds info = {};
        ASSERT_EQ(semctl(id, 0, IPC_STAT, &info), 0);
        EXPECT_EQ(info.sem_nsems, 1u);
        EXPECT_EQ(info.sem_perm.mode & 0777, 0666u);
        EXPECT_EQ(value_of(id), 1);
        ASSERT_EQ(try_lock_binary_sem(id), 0);
        EXPECT_EQ(binary_sem_create_key(kKey), id);
        EXPECT_EQ(value_of(id), 0);
        EXPECT_EQ(try_lock_binary_sem(id), -1) << "a taken semaphore refuses a try-lock";

        const int set = sem_create_key(3, SEM_KEY_BURN_FLASH);
        unsigned short values[3] = {4, 0, 9};
        ASSERT_EQ(set_sem_values(set, values), 0);
        EXPECT_EQ(sem_create_key(3, SEM_KEY_BURN_FLASH), set);
        EXPECT_EQ(binary_sem_create_key(SEM_KEY_BURN_FLASH), set);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(value_of(set, i), values[i]);

        const int a = binary_sem_create_private();
        const int b = binary_sem_create_private();
        EXPECT_NE(a, b);
        EXPECT_EQ(try_lock_binary_sem(a), 0);
        EXPECT_EQ(value_of(b), 1);
        ASSERT_EQ(binary_sem_set_value(a), 0);
        EXPECT_EQ(value_of(a), 1);
        EXPECT_EQ(sem_free(a), 0);
        EXPECT_EQ(value_of(a), -1) << "removed set still answers";
    }));
}

}  // namespace
