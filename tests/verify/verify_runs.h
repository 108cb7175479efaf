// Running korvane and korvane-verify for the verifier's tests, and the
// address texts of the report.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

inline std::string hex4(int value) {
    const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 15];
    return text;
}

// "$AAAA-$BBBB N bytes" as the report writes a range; "$AAAA 1 byte" for one.
inline std::string range_text(int first, int last) {
    std::string text = "$" + hex4(first);
    if (last != first) text += "-$" + hex4(last);
    int size = last - first + 1;
    return text + " " + std::to_string(size) + (size == 1 ? " byte" : " bytes");
}

// korvane's output for the given options and input bytes.
inline program_result run_korvane(std::vector<std::string> args, const std::string& input) {
    return run_program({.args = std::move(args), .input = input_from::bytes, .input_data = input});
}

// korvane-verify with the bytes on standard input, in a directory.
inline program_result run_verify(std::vector<std::string> args, const std::string& input,
                                 const std::string& directory = {}) {
    return run_program({.args = std::move(args),
                        .directory = directory,
                        .input = input_from::bytes,
                        .input_data = input,
                        .program = KORVANE_VERIFY_BINARY});
}

// The report's lines that begin with the prefix, the prefix dropped.
inline std::vector<std::string> lines_after(const std::string& report, const std::string& prefix) {
    std::vector<std::string> found;
    size_t at = 0;
    while (at < report.size()) {
        size_t end = report.find('\n', at);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(at, end - at);
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line.substr(prefix.size()));
        at = end + 1;
    }
    return found;
}
