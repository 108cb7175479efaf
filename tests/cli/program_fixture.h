// What the whole-program tests share: the messages korvane writes, a small
// example image with its 65V and 65A forms, and a fixture that runs the built
// binary in a scratch directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

using namespace std::string_literals;

inline const std::string no_action_message =
    "\nNo action specified. Nothing to do. Use one of -[avciq]\n";
inline const std::string open_input_message = "\nError opening input file for read.\n";
inline const std::string open_output_message = "\nError opening output file for write.\n";
inline const std::string write_message = "\nError writing output file.\n";
inline const std::string read_message = "\nError reading input file.\n";
inline const std::string same_file_message = "\nInput and output are the same file.\n";
inline const std::string bad_baud_message = "\nThe baud rate of -b must be 300, 600 or 1200.\n";
inline const std::string bad_type_message =
    "\nThe input type of -r must be bin, hex, srec or prg.\n";

inline std::string exists_message(const std::string& name) {
    return "Output file " + name + " exists! Use -f to force overwrite.\r\n";
}

// A9 00 60 at $0300, started there, in 65V form.
inline const std::string example_input = "\xA9\x00\x60"s;
inline const std::string example_65v = ".0300/A9\r00\r60\r.0300G";

// The bytes 01 to 0A in 65A form at $0300, started at $0400 through the
// register save area.
inline const std::string ten_bytes = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A";
inline const std::string ten_bytes_65a =
    "L0300\r01 02 03 04 05 06 07 08\r09 0A RLLLLL0129\r00000004FD0400R\0\0\0G"s;

class program : public ::testing::Test {
  protected:
    scratch_dir dir;

    // Runs with the scratch directory as working directory, input from /dev/null.
    program_result run(std::vector<std::string> args) {
        return run_program({.args = std::move(args), .directory = dir.path});
    }
    program_result run_with_input(std::vector<std::string> args, const std::string& bytes) {
        return run_program({.args = std::move(args),
                            .directory = dir.path,
                            .input = input_from::bytes,
                            .input_data = bytes});
    }
    void put(const std::string& name, const std::string& bytes) { write_file(dir.at(name), bytes); }
    std::string get(const std::string& name) { return read_file(dir.at(name)); }
    std::vector<std::string> names() { return directory_names(dir.path); }
};
