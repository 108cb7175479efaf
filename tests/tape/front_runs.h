// Running korvane-tape for its tests, and reading back the WAV it writes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

using namespace std::string_literals;

inline const std::string tape_usage = "usage: korvane-tape [-d] [options] [-o OUT] [IN]\n";

// korvane-tape in a directory, with the bytes on standard input.
inline program_result run_tape(std::vector<std::string> args, const std::string& input = "",
                               const std::string& directory = {}) {
    return run_program({.args = std::move(args),
                        .directory = directory,
                        .input = input.empty() ? input_from::null_device : input_from::bytes,
                        .input_data = input,
                        .program = KORVANE_TAPE_BINARY});
}

inline unsigned little_endian(const std::string& bytes, size_t at, int count) {
    unsigned value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

// The contents of a WAV file's "data" chunk, found by walking its chunks;
// empty when there is none.
inline std::string wav_data_chunk(const std::string& wav) {
    size_t at = 12;
    while (at + 8 <= wav.size()) {
        unsigned size = little_endian(wav, at + 4, 4);
        if (wav.compare(at, 4, "data") == 0) return wav.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}
