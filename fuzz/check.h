// Checks of the fuzz targets beyond what the sanitizers catch. A failed check
// writes its message to standard error as it was when the target started (the
// fuzzer may close the target's own standard error) and aborts, which the
// fuzzer records as a crash along with its input.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>

inline int& check_report_fd() {
    static int fd = STDERR_FILENO;
    return fd;
}

// Call from LLVMFuzzerInitialize, which runs before the fuzzer closes anything.
inline void keep_check_reports() {
    int fd = dup(STDERR_FILENO);
    if (fd >= 0) check_report_fd() = fd;
}

[[noreturn]] inline void check_failed(const char* target, const char* what) {
    const char* parts[] = {"\n", target, ": check failed: ", what, "\n"};
    for (const char* part : parts) {
        ssize_t ignored = write(check_report_fd(), part, std::strlen(part));
        (void)ignored;
    }
    std::abort();
}
