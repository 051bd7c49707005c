// A private scratch folder under /tmp for one test, removed with everything in
// it when the object goes.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

class TempDir {
public:
    explicit TempDir(const char* label = "upg_test") {
        std::string tmpl = std::string("/tmp/") + label + "_XXXXXX";
        if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    bool exists(const std::string& name) const {
        std::error_code ignored;
        return std::filesystem::exists(file(name), ignored);
    }
    // Number of lines in a file of the folder (0 when it is missing).
    int lines(const std::string& name) const {
        std::ifstream in(file(name));
        return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    }
    // Writes `bytes` to `path`; false when it could not.
    static bool write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        out.close();
        return !out.fail();
    }

private:
    std::string path_;
};
