// Fuzz target: the bootloader-listing parser of the environment reader.
//
// The input is the listing as the kernel would show it. Checked on the table:
// entries fill from the start without gaps, every name and text value is
// terminated inside its field, the first entry of each name is the one the
// lookup finds, and feeding the same bytes one at a time gives the same table as
// the whole-text call.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "fuzz_sandbox.h"

namespace {

bool is_range_entry(const env_info& e) {
    return strncmp(e.name, "mtd", 3) == 0 && e.name[3] >= '0' && e.name[3] <= '8' && e.name[4] == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    env_info table[ENV_INFO_NUM];
    memset(table, 0, sizeof table);
    env_parse_listing(table, reinterpret_cast<const char*>(data), size);

    const unsigned count = env_count(table);
    if (count > ENV_INFO_NUM) abort();
    for (unsigned i = 0; i < ENV_INFO_NUM; ++i) {
        const env_info& e = table[i];
        if (memchr(e.name, '\0', ENV_NAME_SIZE) == nullptr) abort();
        if (i >= count) {
            if (e.name[0] != '\0') abort();  // a gap: a filled entry after a free one
            continue;
        }
        if (e.name[0] == '\0') abort();
        if (!is_range_entry(e) && memchr(e.value, '\0', ENV_VALUE_SIZE) == nullptr) abort();
        unsigned first = 0;
        if (get_mtd_info(table, e.name, &first) != 0 || first > i) abort();
    }

    env_info fed[ENV_INFO_NUM];
    memset(fed, 0, sizeof fed);
    env_line_reader reader;
    memset(&reader, 0, sizeof reader);
    for (size_t i = 0; i < size; ++i) env_listing_feed(fed, &reader, static_cast<char>(data[i]));
    if (memcmp(fed, table, sizeof table) != 0) abort();
    return 0;
}
