#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool same_regular_file(const struct stat& a, const struct stat& b) {
    return S_ISREG(a.st_mode) && S_ISREG(b.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when the name leads to the same regular file as the descriptor.
bool same_regular_file(const char* name, int fd) {
    struct stat sa {};
    struct stat sb {};
    if (stat(name, &sa) != 0 || fstat(fd, &sb) != 0) return false;
    return same_regular_file(sa, sb);
}

// Closes fd, keeping the errno that explains why it is given up.
void close_keeping_errno(int fd) {
    int error = errno;
    close(fd);
    errno = error;
}

}  // namespace

std::string refusal_text(output_open result, const char* name) {
    switch (result) {
        case output_open::opened: return {};
        case output_open::exists: return std::string(name) + ": exists; give -f to replace it";
        case output_open::same_file: return std::string(name) + ": is the input file";
        case output_open::failed: return std::string(name) + ": " + std::strerror(errno);
    }
    return {};
}

bool same_regular_file(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
    return same_regular_file(sa, sb);
}

output_open open_output_file(const char* name, bool force, int in_fd, int& out_fd) {
    if (!force) {
        out_fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out_fd >= 0) return output_open::opened;
        // "dir/" fails with EISDIR rather than EEXIST, but exists all the same.
        int error = errno;
        struct stat st {};
        if (error == EEXIST || lstat(name, &st) == 0) return output_open::exists;
        errno = error;
        return output_open::failed;
    }
    if (same_regular_file(name, in_fd)) return output_open::same_file;
    out_fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (out_fd < 0) return output_open::failed;
    if (same_regular_file(in_fd, out_fd)) {
        close(out_fd);
        return output_open::same_file;
    }
    struct stat st {};
    if (fstat(out_fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(out_fd, 0) != 0) {
        close_keeping_errno(out_fd);
        return output_open::failed;
    }
    return output_open::opened;
}
