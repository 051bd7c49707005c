// A private folder under /tmp for one test, removed with the files named in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

class TempDir {
public:
    explicit TempDir(const char* label) {
        std::string tmpl = std::string("/tmp/") + label + "_XXXXXX";
        if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
    }
    ~TempDir() {
        if (path_.empty()) return;
        for (const std::string& f : files_) unlink(f.c_str());
        rmdir(path_.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    // Path of `name` inside the folder (removed at the end).
    std::string File(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }
    // Writes `bytes` to `path`; false when it could not.
    static bool Write(const std::string& path, const std::string& bytes) {
        FILE* f = fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return fclose(f) == 0 && ok;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};
