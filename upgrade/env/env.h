// env: the device environment, one table of what the device says about itself.
//
// The table holds ENV_INFO_NUM `env_info` entries, filled from index 0 upward
// without gaps by `read_env`: selected bootloader variables in listing order,
// then the installed versions. An entry whose name is empty is free. The caller
// owns the table (zero-filled before `read_env`) and passes a pointer to its first
// entry. The table is read once per package check and never written back;
// bootloader variables change only through `do_set_env`.
//
// Entries named "mtd0" ... "mtd8" hold a flash range in `start_addr` / `end_addr`
// (end exclusive); every other entry holds a NUL-terminated text in `value`.
#pragma once

#include <cstddef>
#include <cstdint>

#define ENV_INFO_NUM 30
#define ENV_NAME_SIZE 52
#define ENV_VALUE_SIZE 100

struct env_info {
    char name[ENV_NAME_SIZE];  // at most 49 characters, NUL-terminated
    union {
        char value[ENV_VALUE_SIZE];  // at most 99 characters, NUL-terminated
        struct {
            uint32_t start_addr;  // first flash address of the partition
            uint32_t end_addr;    // first address after it
        };
    };
};
static_assert(sizeof(env_info) == 152, "env_info is 152 bytes");

// Fills the zero-filled table from "/proc/avalanche/env" (through the copy
// "/tmp/avalanche_env_file"), the version files "/app/version.conf",
// "/basic/version.conf", "/version.conf" and "/proc/ver/software" (through
// "/tmp/ver_software"). Returns 0; -1 for a null table or a failing copy command;
// -88 (UPD_MSG_READ_ENV_FAILED) when a copy cannot be opened or the software
// version holds no ','. Malformed listing lines are logged and skipped. The
// caller reports the code. Runs shell commands: device only.
int read_env(env_info* env);

// Finds the first of the ENV_INFO_NUM entries whose name equals `name` (exact,
// case-sensitive; an empty name finds the first free entry). Returns 0 and stores
// its position in *index, or -1 (index untouched) for a null argument or no match.
// Logs nothing.
int get_mtd_info(const env_info* env, const char* name, unsigned int* index);

// Sets one bootloader variable with `echo "name value" >/proc/avalanche/env`
// (`echo "name"` for an empty value). Returns 0 when the command succeeded, -1 for
// a null argument, a command that would not fit its 256-byte buffer, a name or
// value holding a character the shell would interpret or that would break the
// line (see env_str_valid), or a failing command; each failure is logged. Device
// only.
int do_set_env(const char* name, const char* value);

// Copies a procfs file to `dst` with "/tmp/bin/cat SRC > DST" (logged
// "shellcmd:%s\n"), running the command again while the copy is missing or empty,
// at most 5 runs, no pause. Returns 0 (also when the fifth copy is still empty; the
// reader then finds what it finds), -1 as soon as one run fails. Device only.
int env_copy_proc(const char* src, const char* dst);

// ---- Pure building blocks (no files, no shell; used by read_env and tests) ----

// Accumulates one listing line. Lines are cut into `line` at ENV_LINE_SIZE - 1
// characters; `len` keeps counting, so an overlong line is still refused by its
// true length and never overruns the buffer.
#define ENV_LINE_SIZE 152
struct env_line_reader {
    char line[ENV_LINE_SIZE];
    size_t len;
};

// Feeds one character of the bootloader listing. A '\n' ends the line, which is
// then judged and, when accepted, stored in the next free entry. A line without a
// final '\n' is never processed.
void env_listing_feed(env_info* env, env_line_reader* reader, char c);

// Feeds a whole listing text of `len` bytes with a fresh line reader.
void env_parse_listing(env_info* env, const char* text, size_t len);

// Appends an entry with a text value (cut to ENV_VALUE_SIZE - 1 characters, name
// cut to ENV_NAME_SIZE - 1). A full table drops it with "env data too many\n".
// Returns 0, or -1 when the table was full or an argument is null.
int env_add_text(env_info* env, const char* name, const char* value);

// Number of filled entries (the position of the first free one).
unsigned int env_count(const env_info* env);

// Takes the installed software version from the first line of the software
// version file: the text before its first ',' (cut to out_size - 1 characters)
// into `out`. Returns 0, or -88 when the line holds no ',' (or an argument is
// null or out_size is 0).
int env_software_version(const char* line, char* out, size_t out_size);

// 1 when `s` can be put between the double quotes of the variable-setting shell
// command unchanged: no '"', '\\', '$', '`', newline or other control character.
// 0 otherwise (also for null).
int env_str_valid(const char* s);
