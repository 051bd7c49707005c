// Character predicates and string helpers of the INI reader.
#include <cstring>

#include "inifile.h"

int newline(char c) { return c == '\n' || c == '\r' ? 1 : 0; }
int end_of_string(char c) { return c == '\0' ? 1 : 0; }
int left_barce(char c) { return c == '[' ? 1 : 0; }
int isright_brace(char c) { return c == ']' ? 1 : 0; }

char* str_left(char* dst, const char* src, int n) {
    if (dst == nullptr || src == nullptr) return nullptr;
    int i = 0;
    for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
    dst[i] = '\0';
    return dst;
}

char* str_trim(char* s) {
    if (s == nullptr) return nullptr;
    size_t begin = 0;
    while (s[begin] == ' ' || s[begin] == '\t') ++begin;
    size_t end = begin + strlen(s + begin);
    while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    memmove(s, s + begin, end - begin);
    s[end - begin] = '\0';
    return s;
}
