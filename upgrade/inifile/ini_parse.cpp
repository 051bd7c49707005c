// parse_file: finds a key of a section in a loaded INI text.
#include <cctype>
#include <cstring>

#include "inifile.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Whether buf[begin, end), trimmed of spaces and tabs, equals `wanted`. Works
// on the text in place instead of on a trimmed copy.
bool trimmed_equals(const char* buf, int begin, int end, const char* wanted) {
    while (begin < end && is_blank(buf[begin])) ++begin;
    while (end > begin && is_blank(buf[end - 1])) --end;
    const size_t len = static_cast<size_t>(end - begin);
    return strlen(wanted) == len && memcmp(buf + begin, wanted, len) == 0;
}

bool at_line_start(const char* buf, int i) { return i == 0 || newline(buf[i - 1]); }

// Index of the '\n', '\r' or NUL that ends the line holding index i.
int line_end(const char* buf, int i) {
    while (!end_of_string(buf[i]) && !newline(buf[i])) ++i;
    return i;
}

void store(int* where, int value) {
    if (where != nullptr) *where = value;
}

}  // namespace

int parse_file(const char* section, const char* key, const char* buf, int* sec_s, int* sec_e,
               int* key_s, int* key_e, int* value_s, int* value_e) {
    int* const positions[] = {sec_s, sec_e, key_s, key_e, value_s, value_e};
    for (int* p : positions) store(p, -1);
    if (section == nullptr || key == nullptr || buf == nullptr) return 0;

    int i = 0;
    while (!end_of_string(buf[i])) {
        // Only a '[' that starts a line opens a header.
        if (!at_line_start(buf, i) || !left_barce(buf[i])) {
            ++i;
            continue;
        }
        const int name_start = i + 1;
        int j = name_start;
        while (!end_of_string(buf[j]) && !isright_brace(buf[j])) ++j;
        if (!trimmed_equals(buf, name_start, j, section)) {
            ++i;
            continue;
        }
        if (isright_brace(buf[j])) ++j;
        while (!end_of_string(buf[j]) && isspace(static_cast<unsigned char>(buf[j]))) ++j;
        const int header_end = j;

        // The section's lines, up to the next header. The first one may be the
        // rest of the header line.
        int k = header_end;
        while (!end_of_string(buf[k]) && !(at_line_start(buf, k) && left_barce(buf[k]))) {
            const int end = line_end(buf, k);
            if (buf[k] != ';') {
                int eq = k;
                while (eq < end && buf[eq] != '=') ++eq;
                // No '=', or '=' first: not a key line.
                if (eq < end && eq != k && trimmed_equals(buf, k, eq, key)) {
                    store(sec_s, name_start);
                    store(sec_e, header_end);
                    store(key_s, k);
                    store(key_e, eq - 1);
                    store(value_s, eq + 1);
                    store(value_e, end);
                    return 1;
                }
            }
            k = end_of_string(buf[end]) ? end : end + 1;
        }
        // Not in this section: a later section of the same name is searched too.
        i = k;
    }
    return 0;
}
