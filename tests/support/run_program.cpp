#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

// A run that takes longer than this is stopped and reported as timed out.
constexpr auto run_limit = std::chrono::seconds(60);

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Both ends close on exec; the child's copies made by dup2 stay open.
void make_pipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0) fail("pipe2");
}

int open_at(int base, const std::string& name, int flags) {
    int fd = ::openat(base, name.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) fail("open " + name);
    return fd;
}

// Feeds the child's standard input and drains its standard output and error
// until all three are closed or the time is up. Returns false on timeout.
bool exchange(int& to_child, const std::string& data, int& from_out, int& from_err,
              std::string& out, std::string& err) {
    size_t sent = 0;
    if (to_child >= 0 && data.empty()) close_fd(to_child);
    if (to_child >= 0) ::fcntl(to_child, F_SETFL, ::fcntl(to_child, F_GETFL) | O_NONBLOCK);
    auto deadline = std::chrono::steady_clock::now() + run_limit;
    char buffer[65536];
    while (to_child >= 0 || from_out >= 0 || from_err >= 0) {
        pollfd fds[3];
        int count = 0;
        int* owners[3];
        auto watch = [&](int& fd, short events) {
            if (fd < 0) return;
            fds[count] = {fd, events, 0};
            owners[count++] = &fd;
        };
        watch(to_child, POLLOUT);
        watch(from_out, POLLIN);
        watch(from_err, POLLIN);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return false;
        int ready = ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) fail("poll");
        for (int i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            int& fd = *owners[i];
            if (&fd == &to_child) {
                ssize_t done = ::write(fd, data.data() + sent, data.size() - sent);
                if (done > 0) sent += static_cast<size_t>(done);
                bool again = done < 0 && (errno == EAGAIN || errno == EINTR);
                // EPIPE: the program has stopped reading, which is its right.
                if (sent == data.size() || (done < 0 && !again)) close_fd(fd);
                continue;
            }
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                close_fd(fd);
                continue;
            }
            (&fd == &from_out ? out : err).append(buffer, static_cast<size_t>(got));
        }
    }
    return true;
}

}  // namespace

program_result run_program(const program_call& call) {
    // A program that exits without reading its input must not take the test
    // process down with it.
    static const bool sigpipe_ignored = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
    (void)sigpipe_ignored;

    int base = AT_FDCWD;
    if (!call.directory.empty()) base = open_at(AT_FDCWD, call.directory, O_RDONLY | O_DIRECTORY);

    int child_in = -1;
    int to_child = -1;
    switch (call.input) {
        case input_from::null_device: child_in = open_at(AT_FDCWD, "/dev/null", O_RDONLY); break;
        case input_from::file: child_in = open_at(base, call.input_data, O_RDONLY); break;
        case input_from::bytes: {
            int ends[2];
            make_pipe(ends);
            child_in = ends[0];
            to_child = ends[1];
            break;
        }
    }

    int child_out = -1;
    int from_out = -1;
    switch (call.output) {
        case output_to::pipe: {
            int ends[2];
            make_pipe(ends);
            from_out = ends[0];
            child_out = ends[1];
            break;
        }
        case output_to::file:
            child_out = open_at(base, call.output_path, O_WRONLY | O_CREAT);
            break;
        case output_to::append_file:
            child_out = open_at(base, call.output_path, O_WRONLY | O_CREAT | O_APPEND);
            break;
        case output_to::closed_pipe: {
            int ends[2];
            make_pipe(ends);
            ::close(ends[0]);
            child_out = ends[1];
            break;
        }
    }

    int err_ends[2];
    make_pipe(err_ends);
    int from_err = err_ends[0];
    int child_err = err_ends[1];

    std::string binary = call.program.empty() ? std::string(KORVANE_BINARY) : call.program;
    std::vector<std::string> words;
    words.push_back(binary);
    words.insert(words.end(), call.args.begin(), call.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        if (base != AT_FDCWD && ::fchdir(base) != 0) ::_exit(126);
        if (::dup2(child_in, STDIN_FILENO) < 0 || ::dup2(child_out, STDOUT_FILENO) < 0 ||
            ::dup2(child_err, STDERR_FILENO) < 0) {
            ::_exit(126);
        }
        ::signal(SIGPIPE, SIG_DFL);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }

    close_fd(child_in);
    close_fd(child_out);
    close_fd(child_err);
    if (base != AT_FDCWD) ::close(base);

    program_result result;
    bool finished = exchange(to_child, call.input_data, from_out, from_err, result.out, result.err);
    if (!finished) {
        result.timed_out = true;
        ::kill(pid, SIGKILL);
    }
    close_fd(to_child);
    close_fd(from_out);
    close_fd(from_err);

    int wait_status = 0;
    while (::waitpid(pid, &wait_status, 0) < 0) {
        if (errno != EINTR) fail("waitpid");
    }
    if (WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
        result.signal = WTERMSIG(wait_status);
    }
    return result;
}

scratch_dir::scratch_dir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvane-cli-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp " + pattern);
    path = pattern;
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string scratch_dir::at(const std::string& name) const { return path + "/" + name; }

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) fail("create " + path);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) fail("write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) fail("open " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool name_exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> directory_names(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
