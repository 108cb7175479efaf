// Runs a built program (korvane unless the call names another) as a separate
// process (fork and exec, no shell) and collects what it wrote, plus small
// file-system helpers for the whole-program tests.
#pragma once

#include <string>
#include <vector>

// Where the program's standard input comes from.
enum class input_from {
    null_device,  // /dev/null
    bytes,        // the given bytes, fed through a pipe
    file,         // the named file, opened for reading
};

// Where the program's standard output goes.
enum class output_to {
    pipe,         // a pipe; the bytes are returned in program_result::out
    file,         // the named file, opened for writing without truncation
    append_file,  // the named file, opened for writing in append mode
    closed_pipe,  // a pipe whose reading end is closed before the program starts
};

struct program_call {
    std::vector<std::string> args{};  // the arguments after the program's name
    std::string directory{};          // working directory; empty: the caller's
    input_from input = input_from::null_device;
    std::string input_data{};  // the bytes, or the file name (relative to directory)
    output_to output = output_to::pipe;
    std::string output_path{};  // the file name (relative to directory)
    std::string program{};      // the program to run; empty: KORVANE_BINARY
};

struct program_result {
    std::string out;  // standard output, when it went to a pipe
    std::string err;  // standard error
    int status = -1;  // exit status 0 to 255; -1 if the program did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    bool timed_out = false;
};

// Runs the call's program (KORVANE_BINARY unless another is named) with the
// call's arguments, streams and directory.
program_result run_program(const program_call& call);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the value goes out of scope.
struct scratch_dir {
    std::string path;
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    // The path of a name inside the directory.
    std::string at(const std::string& name) const;
};

// Whole-file helpers; paths are used as given.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
// True when the name exists in any form (a dangling symbolic link included).
bool name_exists(const std::string& path);
// The names in a directory, sorted, without "." and "..".
std::vector<std::string> directory_names(const std::string& path);
