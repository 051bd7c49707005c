// The INI reader on well-formed and bad files: every lookup goes through a real
// file, and the value buffer is guarded so that a write past `size` shows.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "inifile.h"

namespace {

// A file with the given bytes, removed when the object goes.
class IniFile {
public:
    explicit IniFile(const std::string& bytes) {
        char tmpl[] = "/tmp/upg_inifile_test.XXXXXX";
        const int fd = mkstemp(tmpl);
        path_ = tmpl;
        if (fd >= 0) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            close(fd);
        }
    }
    ~IniFile() { unlink(path_.c_str()); }
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

constexpr int kGuarded = 64;  // bytes of the value buffer; `size` is less
constexpr char kFill = 'Z';

// A lookup's outcome: result, value text, and whether bytes at or past `size`
// were left alone.
struct Lookup {
    int result;
    std::string value;
    bool untouched_past_size;
};

Lookup lookup(const char* path, const char* section, const char* key, int size,
              const char* default_value) {
    char value[kGuarded];
    memset(value, kFill, sizeof(value));
    value[kGuarded - 1] = '\0';
    Lookup out;
    out.result = read_profile_string(section, key, value, size, default_value, path);
    out.value = std::string(value, strnlen(value, sizeof(value)));
    out.untouched_past_size = true;
    for (int i = size > 0 ? size : 0; i < kGuarded - 1; ++i) {
        if (value[i] != kFill) out.untouched_past_size = false;
    }
    return out;
}

struct FileCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    int result;
    const char* value;  // expected value text ("dflt" when not found)
};

}  // namespace

TEST(ReadProfileString, FindsValuesAsTheFileFormatDefines) {
    using namespace std::string_literals;
    const FileCase cases[] = {
        {"plain", "[Version]\nrom=1.2.3.4\n", "Version", "rom", 1, "1.2.3.4"},
        {"no final newline", "[V]\nrom=7", "V", "rom", 1, "7"},
        {"blanks in header", "[  Version\t]\nrom=x\n", "Version", "rom", 1, "x"},
        {"header case differs", "[version]\nrom=x\n", "Version", "rom", 0, "dflt"},
        {"key case differs", "[V]\nROM=x\n", "V", "rom", 0, "dflt"},
        {"blanks around key and value", "[V]\n  rom \t=  x y \t\n", "V", "rom", 1, "x y"},
        {"empty value", "[V]\nrom=\nb=1\n", "V", "rom", 1, ""},
        {"comment with =", "[V]\n;rom=1\nrom=2\n", "V", "rom", 1, "2"},
        {"only a comment", "[V]\n;rom=1\n", "V", "rom", 0, "dflt"},
        {"a comment's text is no key", "[V]\n;rom=1\n#x=2\n", "V", ";rom", 0, "dflt"},
        {"# starts no comment", "[V]\n;rom=1\n#x=2\n", "V", "#x", 1, "2"},
        {"blank before ; is no comment", "[V]\na=0\n ;rom=1\n", "V", "rom", 0, "dflt"},
        {"blank before ; keeps the ;", "[V]\na=0\n ;rom=1\n", "V", ";rom", 1, "1"},
        {"blanks after the header are skipped", "[V]  \n\n  rom=1\n", "V", "rom", 1, "1"},
        {"CR-LF", "[V]\r\nrom=1\r\nx=2\r\n", "V", "rom", 1, "1"},
        {"CR-LF second key", "[V]\r\nrom=1\r\nx=2\r\n", "V", "x", 1, "2"},
        {"CR only", "[V]\rrom=1\rx=2\r", "V", "x", 1, "2"},
        {"0xFF ends the text", "[V]\na=1\n\xff\nrom=2\n", "V", "rom", 0, "dflt"},
        {"before 0xFF", "[V]\na=1\n\xff\nrom=2\n", "V", "a", 1, "1"},
        {"NUL ends the text", "[V]\na=1\n\0rom=2\n"s, "V", "rom", 0, "dflt"},
        {"key on the header line", "[V]rom=5\n", "V", "rom", 1, "5"},
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
        {"indented header", " [V]\nrom=1\n", "V", "rom", 0, "dflt"},
        {"header without ]", "[V\nrom=1\n", "V", "rom", 0, "dflt"},
        {"unclosed header, then a real one", "[X\nrom=0\n[V]\nrom=1\n", "V", "rom", 1, "1"},
        {"[ inside a value", "[V]\nrom=[1]\n", "V", "rom", 1, "[1]"},
        {"empty file", "", "V", "rom", 0, "dflt"},
        {"blank lines only", "\n\n\r\n", "V", "rom", 0, "dflt"},
        {"header at end of text", "[V]", "V", "rom", 0, "dflt"},
        {"lone [", "[", "V", "rom", 0, "dflt"},
    };
    for (const FileCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        IniFile file(tc.text);
        const Lookup r = lookup(file.path(), tc.section, tc.key, 32, "dflt");
        EXPECT_EQ(r.result, tc.result);
        EXPECT_EQ(r.value, tc.value);
        EXPECT_TRUE(r.untouched_past_size);
    }
}

// Values and defaults are cut to size - 1 characters and always terminated;
// nothing at or past `size` is written. A value is cut before it is trimmed.
TEST(ReadProfileString, CutsToTheBufferSize) {
    IniFile file("[V]\nlong=123456789\nblank=  123456\n");
    const struct {
        const char* key;
        int size;
        const char* default_value;
        int result;
        const char* value;
    } cases[] = {
        {"long", 10, nullptr, 1, "123456789"},
        {"long", 9, nullptr, 1, "12345678"},
        {"long", 4, nullptr, 1, "123"},
        {"long", 1, nullptr, 1, ""},
        {"blank", 4, nullptr, 1, "1"},
        {"none", 8, "short", 0, "short"},
        {"none", 6, "short", 0, "short"},
        {"none", 5, "short", 0, "shor"},  // default of exactly `size` characters
        {"none", 4, "much longer default", 0, "muc"},
        {"none", 1, "x", 0, ""},
        {"none", 8, "", 0, ""},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.key << " size " << tc.size);
        const Lookup r = lookup(file.path(), "V", tc.key, tc.size, tc.default_value);
        EXPECT_EQ(r.result, tc.result);
        EXPECT_EQ(r.value, tc.value);
        EXPECT_TRUE(r.untouched_past_size);
    }
}

// Null arguments, a missing file and a size with no room change nothing (a
// null default keeps the buffer's content); a missing file gives the default.
TEST(ReadProfileString, BadArgumentsLeaveTheValueAlone) {
    IniFile file("[V]\nrom=1\n");
    const std::string keep(kGuarded - 1, kFill);
    const struct {
        const char* name;
        const char* section;
        const char* key;
        const char* path;
        int size;
        const char* default_value;
        const char* value;
    } cases[] = {
        {"null section", nullptr, "rom", file.path(), 16, "d", keep.c_str()},
        {"null key", "V", nullptr, file.path(), 16, "d", keep.c_str()},
        {"null path", "V", "rom", nullptr, 16, "d", keep.c_str()},
        {"size 0", "V", "rom", file.path(), 0, "d", keep.c_str()},
        {"negative size", "V", "rom", file.path(), -4, "d", keep.c_str()},
        {"missing file, null default", "V", "rom", "/nonexistent/upg/version.conf", 16, nullptr,
         keep.c_str()},
        {"missing file", "V", "rom", "/nonexistent/upg/version.conf", 16, "d", "d"},
        {"missing key, null default", "V", "x", file.path(), 16, nullptr, keep.c_str()},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const Lookup r = lookup(tc.path, tc.section, tc.key, tc.size, tc.default_value);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.value, tc.value);
    }
    EXPECT_EQ(read_profile_string("V", "rom", nullptr, 16, "d", file.path()), 0);
}

// Text past the buffer (163839 characters) is not read; the sanitizer build
// proves the reads stay inside it.
TEST(ReadProfileString, FileLargerThanTheBuffer) {
    std::string text = "[V]\nfirst=1\n";
    text += std::string(INIFILE_BUF_SIZE - 1 - text.size() - 8, '#');
    text += "\ncut=123456789\nlast=2\n";  // "cut=123" is the end of the buffer
    IniFile file(text);
    EXPECT_EQ(lookup(file.path(), "V", "first", 32, "dflt").value, "1");
    EXPECT_EQ(lookup(file.path(), "V", "cut", 32, "dflt").value, "123");
    const Lookup last = lookup(file.path(), "V", "last", 32, "dflt");
    EXPECT_EQ(last.result, 0);
    EXPECT_EQ(last.value, "dflt");
}

TEST(LoadIniFile, ReadsUpToEndOfFileFirst0xFFOrAFullBuffer) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string bytes;
        int size;
    } cases[] = {
        {"empty", "", 0},
        {"text", "a=1\n", 4},
        {"0xFF", "ab\xff" "cd", 2},
        {"0xFF first", "\xff" "abc", 0},
        {"NUL is stored", "a\0b"s, 3},
        {"exactly the buffer", std::string(INIFILE_BUF_SIZE - 1, 'x'), INIFILE_BUF_SIZE - 1},
        {"over the buffer", std::string(INIFILE_BUF_SIZE + 500, 'x'), INIFILE_BUF_SIZE - 1},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        IniFile file(tc.bytes);
        std::string buf(INIFILE_BUF_SIZE, '?');
        int size = -7;
        EXPECT_EQ(load_ini_file(file.path(), buf.data(), &size), 1);
        EXPECT_EQ(size, tc.size);
        EXPECT_EQ(buf.substr(0, size), tc.bytes.substr(0, size));
        EXPECT_EQ(buf[size], '\0');
    }
}

TEST(LoadIniFile, FailuresGiveZeroAndSizeZero) {
    IniFile file("a=1\n");
    std::string buf(INIFILE_BUF_SIZE, '?');
    int size = -7;
    EXPECT_EQ(load_ini_file("/nonexistent/upg/version.conf", buf.data(), &size), 0);
    EXPECT_EQ(size, 0);
    size = -7;
    EXPECT_EQ(load_ini_file(nullptr, buf.data(), &size), 0);
    EXPECT_EQ(size, 0);
    size = -7;
    EXPECT_EQ(load_ini_file(file.path(), nullptr, &size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(load_ini_file(file.path(), buf.data(), nullptr), 0);
}

// Positions: after '[', after the header and its blanks, the key line's first
// index, the index before '=', after '=', and the line end.
TEST(ParseFile, ReportsPositions) {
    const std::string text = "x=0\n[ Version ] \r\na=0\r\n ver = 1.2 \r\n[Next]\n";
    int pos[6];
    ASSERT_EQ(parse_file("Version", "ver", text.c_str(), &pos[0], &pos[1], &pos[2], &pos[3],
                         &pos[4], &pos[5]),
              1);
    const int line = static_cast<int>(text.find(" ver"));
    const int eq = static_cast<int>(text.find('=', line));
    EXPECT_EQ(pos[0], static_cast<int>(text.find('[')) + 1);
    EXPECT_EQ(pos[1], static_cast<int>(text.find("a=0")));
    EXPECT_EQ(pos[2], line);
    EXPECT_EQ(pos[3], eq - 1);
    EXPECT_EQ(pos[4], eq + 1);
    EXPECT_EQ(pos[5], static_cast<int>(text.find('\r', eq)));
}

TEST(ParseFile, FailureSetsEveryPositionToMinusOne) {
    const char* text = "[V]\na=1\n";
    const struct {
        const char* section;
        const char* key;
        const char* buf;
    } cases[] = {
        {"V", "b", text}, {"W", "a", text}, {nullptr, "a", text}, {"V", nullptr, text}, {"V", "a", nullptr},
    };
    for (const auto& tc : cases) {
        int pos[6] = {5, 5, 5, 5, 5, 5};
        EXPECT_EQ(parse_file(tc.section, tc.key, tc.buf, &pos[0], &pos[1], &pos[2], &pos[3], &pos[4],
                             &pos[5]),
                  0);
        for (int p : pos) EXPECT_EQ(p, -1);
    }
}

TEST(StrTrim, RemovesSpacesAndTabsAtBothEnds) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},           {"   ", ""},           {"\t \t", ""},        {"abc", "abc"},
        {"  abc", "abc"},   {"abc \t", "abc"},     {" \ta b\t ", "a b"}, {"\na\n", "\na\n"},
        {" x", "x"},        {"x ", "x"},
    };
    for (const auto& tc : cases) {
        char buf[32];
        memset(buf, kFill, sizeof(buf));
        strcpy(buf, tc.in);
        EXPECT_EQ(str_trim(buf), buf);
        EXPECT_STREQ(buf, tc.out) << "'" << tc.in << "'";
        for (size_t i = strlen(tc.in) + 1; i < sizeof(buf); ++i) ASSERT_EQ(buf[i], kFill);
    }
    EXPECT_EQ(str_trim(nullptr), nullptr);
}

TEST(StrLeft, CopiesAtMostNCharactersAndTerminates) {
    const struct {
        const char* src;
        int n;
        const char* out;
    } cases[] = {
        {"hello", 3, "hel"}, {"hello", 5, "hello"}, {"hi", 5, "hi"}, {"x", 0, ""}, {"x", -2, ""}, {"", 4, ""},
    };
    for (const auto& tc : cases) {
        char buf[16];
        memset(buf, kFill, sizeof(buf));
        EXPECT_EQ(str_left(buf, tc.src, tc.n), buf);
        EXPECT_STREQ(buf, tc.out);
        for (size_t i = strlen(tc.out) + 1; i < sizeof(buf); ++i) ASSERT_EQ(buf[i], kFill);
    }
}
