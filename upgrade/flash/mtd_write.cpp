// Writing a saved partition image back to the start of an MTD device.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mtd_layout.h"
#include "rl_log.h"

namespace {

// The image file, mapped read-only; unmapped and closed on every way out.
class MappedFile {
public:
    explicit MappedFile(const char* path) : fd_(open(path, O_RDONLY)) {}
    ~MappedFile() {
        if (data_ != nullptr) munmap(data_, size_);
        if (fd_ >= 0) close(fd_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool opened() const { return fd_ >= 0; }
    // Takes the size; -1 when fstat fails.
    int stat_size() {
        struct stat st;
        if (fstat(fd_, &st) < 0) return -1;
        size_ = static_cast<size_t>(st.st_size);
        return 0;
    }
    bool map() {
        void* p = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
        if (p == MAP_FAILED) return false;
        data_ = p;
        return true;
    }
    size_t size() const { return size_; }
    const uint8_t* data() const { return static_cast<const uint8_t*>(data_); }

private:
    int fd_;
    size_t size_ = 0;
    void* data_ = nullptr;
};

// Both phases over the image's whole blocks; blocks already holding the image
// are left alone, every block written is read back. 0 or -1.
int write_blocks(mtd_block_run* run, uint32_t blocks) {
    for (uint32_t k = 0; k < blocks; ++k)
        if (mtd_block_prepare(run, k) < 0) return -1;
    for (uint32_t k = 0; k < blocks; ++k) {
        rl_log_debug("mtd_write :%x \n", static_cast<unsigned int>(run->mtd));
        if (mtd_block_program(run, k) < 0) return -1;
    }
    return 0;
}

}  // namespace

int mtd_write_with(const mtd_ops* ops, int mtd, int size, const char* path) {
    if (path == nullptr) return -1;
    MappedFile file(path);
    if (!file.opened()) {
        rl_log_debug("%s File open failed!\n", path);
        return -1;
    }
    if (file.stat_size() < 0) {
        rl_log_err("%s fstat failed: %s\n", path, strerror(errno));
        return -1;
    }
    rl_log_debug("file size:%x \n", static_cast<unsigned int>(file.size()));
    if (!file.map()) {
        rl_log_debug("memory map failed!\n");
        return -1;
    }
    if (size < 0 || file.size() != static_cast<size_t>(size)) {
        rl_log_err("%s size error\n", path);
        return -1;
    }
    MtdDevice dev(ops, mtd);
    if (dev.fd() < 0) {
        char dev_path[32];
        mtd_dev_path(dev_path, sizeof dev_path, mtd);
        rl_log_err("%s open failed!\n", dev_path);
        return -1;
    }
    const uint32_t blocks = static_cast<uint32_t>(size) >> 16;
    mtd_block_run run;
    mtd_block_run_init(&run, ops, dev.fd(), mtd, file.data(), blocks * FLASH_BLOCK_SIZE);
    const int rc = write_blocks(&run, blocks);
    mtd_block_log(&run);
    return rc;
}

int mtd_write(int mtd, int size, char* path) { return mtd_write_with(&g_mtd_dev_ops, mtd, size, path); }
