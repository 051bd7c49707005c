// A private scratch folder for one test, removed with its contents at the end.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/upg_process_test.XXXXXX";
        const char* made = mkdtemp(tmpl);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

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

private:
    std::string path_;
};
