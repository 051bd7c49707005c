// The INI reader on well-formed and bad files: every lookup goes through a real
// file, and the value buffer is guarded so that a write past `size` shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "inifile.h"
#include "temp_dir.h"

namespace {

using namespace std::string_literals;

constexpr int kGuarded = 64;  // bytes of the value buffer; `size` is less
constexpr char kFill = 'Z';
const char* const kMissing = "/nonexistent/upg/version.conf";

// A file holding `bytes`, removed with its scratch folder.
struct IniFile {
    explicit IniFile(const std::string& bytes) { EXPECT_TRUE(TempDir::write(name, bytes)); }
    TempDir dir{"upg_inifile"};
    const std::string name = dir.file("version.conf");
    const char* path() const { return name.c_str(); }
};

// A lookup's result and value text; `clean` is false when a byte at or past
// `size` was written.
struct Lookup {
    int result;
    std::string value;
    bool clean;
};

Lookup lookup(const char* path, const char* section, const char* key, int size, const char* dflt) {
    char value[kGuarded];
    memset(value, kFill, sizeof(value));
    value[kGuarded - 1] = '\0';
    Lookup out{read_profile_string(section, key, value, size, dflt, path), "", true};
    out.value.assign(value, strnlen(value, sizeof(value)));
    for (int i = std::max(size, 0); i < kGuarded - 1; ++i) out.clean = out.clean && value[i] == kFill;
    return out;
}

}  // namespace

// Every lookup has a 32-byte buffer and the default "dflt" unless its row says
// otherwise. Values and defaults are cut to size - 1 characters (a value before
// it is trimmed) and always terminated; nothing at or past `size` is written.
// Bad arguments and a size with no room change nothing; a null default keeps
// the buffer's content.
TEST(ReadProfileString, FindsValuesAsTheFileFormatDefinesAndCutsToTheBuffer) {
    const std::string cut = "[V]\nlong=123456789\nblank=  123456\n";
    const std::string keep(kGuarded - 1, kFill);
    const struct {
        const char* name;
        std::string text;
        const char* section;
        const char* key;
        int result;
        const char* value;  // "dflt" when not found
        int size = 32;
        const char* dflt = "dflt";
    } cases[] = {
        {"plain", "[Version]\nrom=1.2.3.4\n", "Version", "rom", 1, "1.2.3.4"},
        {"no final newline", "[V]\nrom=7", "V", "rom", 1, "7"},
        {"blanks in header", "[  Version\t]\nrom=x\n", "Version", "rom", 1, "x"},
        {"header case differs", "[version]\nrom=x\n", "Version", "rom", 0, "dflt"},
        {"blanks around key and value", "[V]\n  rom \t=  x y \t\n", "V", "rom", 1, "x y"},
        {"empty value", "[V]\nrom=\nb=1\n", "V", "rom", 1, ""},
        {"a comment's text is no key", "[V]\n;rom=1\n#x=2\n", "V", ";rom", 0, "dflt"},
        {"# starts no comment", "[V]\n;rom=1\n#x=2\n", "V", "#x", 1, "2"},
        {"blank before ; keeps the ;", "[V]\na=0\n ;rom=1\n", "V", ";rom", 1, "1"},
        {"blanks after the header are skipped", "[V]  \n\n  rom=1\n", "V", "rom", 1, "1"},
        {"CR only", "[V]\rrom=1\rx=2\r", "V", "x", 1, "2"},
        {"NUL ends the text", "[V]\na=1\n\0rom=2\n"s, "V", "rom", 0, "dflt"},
        {"key after blanks on the header line", "[V]  rom=5\nx=1\n", "V", "rom", 1, "5"},
        {"value with =", "[V]\nurl=a=b==c\n", "V", "url", 1, "a=b==c"},
        {"trailing comment is value", "[V]\nrom=1 ;old\n", "V", "rom", 1, "1 ;old"},
        {"line without =", "[V]\nrom\nrom=2\n", "V", "rom", 1, "2"},
        {"= first", "[V]\n=rom\nrom=3\n", "V", "rom", 1, "3"},
        {"first of two wins", "[V]\nrom=1\nrom=2\n", "V", "rom", 1, "1"},
        {"later section of same name", "[V]\na=1\n[W]\nrom=2\n[V]\nrom=3\n", "V", "rom", 1, "3"},
        {"key of another section", "[W]\nrom=1\n[V]\na=2\n", "V", "rom", 0, "dflt"},
        {"next header ends section", "[V]\n[W]\nrom=1\n", "V", "rom", 0, "dflt"},
        {"key before any section", "rom=1\n[V]\n", "V", "rom", 0, "dflt"},
        {"header not at line start", "x=1 [V]\nrom=1\n", "V", "rom", 0, "dflt"},
        {"unclosed header, then a real one", "[X\nrom=0\n[V]\nrom=1\n", "V", "rom", 1, "1"},
        {"[ inside a value", "[V]\nrom=[1]\n", "V", "rom", 1, "[1]"},
        {"lone [", "[", "V", "rom", 0, "dflt"},
        {"value fits", cut, "V", "long", 1, "123456789", 10, nullptr},
        {"value cut by one", cut, "V", "long", 1, "12345678", 9, nullptr},
        {"value in size 1", cut, "V", "long", 1, "", 1, nullptr},
        {"value cut, then trimmed", cut, "V", "blank", 1, "1", 4, nullptr},
        {"default fits", cut, "V", "none", 0, "short", 6, "short"},
        {"default cut by one", cut, "V", "none", 0, "shor", 5, "short"},
        {"default in size 1", cut, "V", "none", 0, "", 1, "x"},
        {"empty default", cut, "V", "none", 0, "", 8, ""},
        {"null default keeps the buffer", cut, "V", "none", 0, keep.c_str(), 16, nullptr},
        {"null section", cut, nullptr, "long", 0, keep.c_str(), 16, "d"},
        {"null key", cut, "V", nullptr, 0, keep.c_str(), 16, "d"},
        {"size 0", cut, "V", "long", 0, keep.c_str(), 0, "d"},
        {"size -4", cut, "V", "long", 0, keep.c_str(), -4, "d"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        IniFile file(tc.text);
        const Lookup r = lookup(file.path(), tc.section, tc.key, tc.size, tc.dflt);
        EXPECT_EQ(r.result, tc.result);
        EXPECT_EQ(r.value, tc.value);
        EXPECT_TRUE(r.clean);
    }
    // No file gives the default (none: the buffer as it was); no path or no buffer, nothing.
    using Args = std::tuple<const char*, const char*, std::string>;
    for (const auto& [path, dflt, value] : {Args{kMissing, "d", "d"}, Args{kMissing, nullptr, keep},
                                            Args{nullptr, "d", keep}}) {
        const Lookup r = lookup(path, "V", "long", 16, dflt);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.value, value) << (path ? path : "no path");
    }
    IniFile file(cut);
    EXPECT_EQ(read_profile_string("V", "long", nullptr, 16, "d", file.path()), 0);
}

// Text past the buffer (163839 characters) is not read.
TEST(LoadIniFile, ReadsUpToEndOfFileFirst0xFFOrAFullBuffer) {
    const struct {
        const char* name;
        std::string bytes;
        int size;
    } cases[] = {
        {"empty", "", 0}, {"text", "a=1\n", 4}, {"NUL is stored", "a\0b"s, 3},
        {"0xFF", "ab\xff" "cd", 2}, {"0xFF first", "\xff" "abc", 0},
        {"exactly the buffer", std::string(INIFILE_BUF_SIZE - 1, 'x'), INIFILE_BUF_SIZE - 1},
        {"over the buffer", std::string(INIFILE_BUF_SIZE + 500, 'x'), INIFILE_BUF_SIZE - 1},
    };
    std::string buf(INIFILE_BUF_SIZE, '?');
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        IniFile file(tc.bytes);
        int size = -7;
        EXPECT_EQ(load_ini_file(file.path(), buf.data(), &size), 1);
        EXPECT_EQ(size, tc.size);
        EXPECT_EQ(buf.substr(0, size), tc.bytes.substr(0, size));
        EXPECT_EQ(buf[size], '\0');
    }
    // Failures give 0, and size 0 where there is a size.
    IniFile file("a=1\n");
    using Args = std::pair<const char*, char*>;
    for (auto [path, into] : {Args{kMissing, buf.data()}, Args{nullptr, buf.data()}, Args{file.path(), nullptr}}) {
        int size = -7;
        EXPECT_EQ(load_ini_file(path, into, &size), 0);
        EXPECT_EQ(size, 0);
    }
    EXPECT_EQ(load_ini_file(file.path(), buf.data(), nullptr), 0);
}

// Positions: after '[', after the header and its blanks, the key line's first
// index, the index before '=', after '=', and the line end; all -1 on failure.
TEST(ParseFile, ReportsPositions) {
    const std::string text = "x=0\n[ Version ] \r\na=0\r\n ver = 1.2 \r\n[Next]\n";
    int pos[6];
    ASSERT_EQ(parse_file("Version", "ver", text.c_str(), &pos[0], &pos[1], &pos[2], &pos[3],
                         &pos[4], &pos[5]),
              1);
    const int line = static_cast<int>(text.find(" ver"));
    const int eq = static_cast<int>(text.find('=', line));
    const int want[6] = {static_cast<int>(text.find('[')) + 1, static_cast<int>(text.find("a=0")), line,
                         eq - 1, eq + 1, static_cast<int>(text.find('\r', eq))};
    EXPECT_EQ(std::vector<int>(pos, pos + 6), std::vector<int>(want, want + 6));
    const char* t = "[V]\na=1\n";
    using Args = std::tuple<const char*, const char*, const char*>;
    for (auto [section, key, buf] : {Args{"V", "b", t}, Args{"W", "a", t}, Args{nullptr, "a", t},
                                     Args{"V", nullptr, t}, Args{"V", "a", nullptr}}) {
        std::fill(pos, pos + 6, 5);
        EXPECT_EQ(parse_file(section, key, buf, &pos[0], &pos[1], &pos[2], &pos[3], &pos[4], &pos[5]), 0);
        EXPECT_EQ(std::vector<int>(pos, pos + 6), std::vector<int>(6, -1));
    }
}
