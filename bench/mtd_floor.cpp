// bench_mtd_floor: the least work that erases an MTD partition and writes an
// image to it, run inside the simulated device beside the installer and
// flashcp so that the device's own request cost can be told apart.
//
//   bench_mtd_floor IMAGE /dev/mtdN
//
// MEMGETINFO, MEMERASE of every 64 KiB block of the partition, then write()
// of the image in 64 KiB pieces from a mapping of it, as the installer does;
// no read-back.
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("usage: bench_mtd_floor IMAGE /dev/mtdN\n"
               "Erases the whole partition and writes IMAGE to it in 64 KiB pieces.\n");
        return 0;
    }
    if (argc != 3) {
        fprintf(stderr, "usage: bench_mtd_floor IMAGE /dev/mtdN\n");
        return 2;
    }
    // Mapped, as the installer maps its package: no copy of the image.
    int in = open(argv[1], O_RDONLY);
    struct stat st;
    if (in < 0 || fstat(in, &st) != 0 || st.st_size == 0) {
        perror(argv[1]);
        return 1;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, in, 0);
    if (map == MAP_FAILED) {
        perror("mmap");
        return 1;
    }
    const auto* image = static_cast<const unsigned char*>(map);

    int fd = open(argv[2], O_RDWR);
    if (fd < 0) {
        perror(argv[2]);
        return 1;
    }
    mtd_info_user info;
    if (ioctl(fd, MEMGETINFO, &info) != 0 || info.erasesize == 0 || size > info.size) {
        fprintf(stderr, "bench_mtd_floor: %s: no geometry, or the image does not fit\n", argv[2]);
        return 1;
    }
    for (uint32_t off = 0; off < info.size; off += info.erasesize) {
        erase_info_user e = {off, info.erasesize};
        if (ioctl(fd, MEMERASE, &e) != 0) {
            perror("MEMERASE");
            return 1;
        }
    }
    for (size_t off = 0; off < size; off += 65536) {
        size_t len = size - off < 65536 ? size - off : 65536;
        if (write(fd, image + off, len) != static_cast<ssize_t>(len)) {
            perror("write");
            return 1;
        }
    }
    close(fd);
    return 0;
}
