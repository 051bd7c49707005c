// INI reader for the device's version files and the flash layout file.
//
// Files are made of section headers ("[name]" at the start of a line) and key
// lines ("key=value"). Names are compared after trimming spaces and tabs, exact
// and case-sensitive. A line starting with ';' is a comment. Each lookup reads
// the whole file again; nothing is cached and no state survives a call.
// Nothing is logged.
#pragma once

// Size of the file buffer load_ini_file fills, terminator included: text past
// 163839 characters is not read.
constexpr int INIFILE_BUF_SIZE = 163840;

// Character predicates: 1 or 0.
int newline(char c);        // '\n' or '\r'
int end_of_string(char c);  // NUL
int left_barce(char c);     // '['
int isright_brace(char c);  // ']'

// Copies the first n characters of src (fewer when src is shorter) to dst and
// terminates it; dst needs n + 1 bytes. Returns dst (null when dst or src is).
char* str_left(char* dst, const char* src, int n);

// Removes leading and trailing spaces and tabs in place (the kept text moves to
// the start of s). Returns s, or null for a null s.
char* str_trim(char* s);

// Reads the file at `path` into `buf` (INIFILE_BUF_SIZE bytes) up to its end,
// its first byte 0xFF or a full buffer, terminates the text and stores its
// length in *file_size. Returns 1, or 0 (with *file_size 0 when it is given)
// for a null argument or a file that cannot be opened. An empty file is a
// success with size 0.
int load_ini_file(const char* path, char* buf, int* file_size);

// Finds `key` in a section named `section` of the NUL-terminated text `buf`.
// Returns 1 and the byte positions of the section header (after '[' / after the
// header and its trailing blanks), the key line's key (first index / index
// before '=') and its value (index after '=' / line end); else 0 with all six
// positions -1. Null position pointers are skipped.
int parse_file(const char* section, const char* key, const char* buf, int* sec_s, int* sec_e,
               int* key_s, int* key_e, int* value_s, int* value_e);

// Looks `key` up in `section` of the file at `path`. Found: `value` (of `size`
// bytes) holds the value, cut to size - 1 characters, trimmed of spaces and
// tabs and terminated; returns 1. Otherwise returns 0, and `value` holds
// `default_value` (cut to size - 1 characters, terminated) or, for a null
// default, keeps its content. A null section, key, value or path, or a size
// below 1, returns 0 and leaves `value` untouched.
int read_profile_string(const char* section, const char* key, char* value, int size,
                        const char* default_value, const char* path);
