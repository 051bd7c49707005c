// A private scratch folder under /tmp for one test, removed with everything in
// it when the object goes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
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
        struct stat st;
        return stat(file(name).c_str(), &st) == 0;
    }
    // Number of lines in a file of the folder (0 when it is missing).
    int lines(const std::string& name) const {
        FILE* f = std::fopen(file(name).c_str(), "r");
        if (f == nullptr) return 0;
        int n = 0;
        for (int c; (c = std::fgetc(f)) != EOF;) n += c == '\n';
        std::fclose(f);
        return n;
    }
    // Writes `bytes` to `path`; false when it could not.
    static bool write(const std::string& path, const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && ok;
    }

private:
    std::string path_;
};
