// A whole recording through the decoder, a block of samples at a time, and
// the words for what the decoder found. korvane-tape -d and korvane-verify
// both decode this way.
#pragma once

#include <cstddef>
#include <string>

#include "tape/audio_file.h"
#include "tape/kcs_decode.h"

// Where the decoded bytes go, a block at a time. take() returns false to stop
// the decoding (the output failed, or has had enough).
struct byte_sink {
    bool (*take)(void* context, const unsigned char* data, size_t n);
    void* context;
};

enum class decode_end {
    decoded,     // the whole recording went through; result is filled
    unsuitable,  // a channel count or sample rate the decoder cannot take
    unreadable,  // a read failed
    stopped,     // the sink asked to stop
};

// Decodes the open recording into sink; error holds the reason for
// `unsuitable` and `unreadable` (for unsuitable, the words follow the file's
// name: "has 6 channels; ...").
decode_end decode_recording(audio_reader& reader, const decode_options& options, byte_sink sink,
                            decode_result& result, std::string& error);

// "300 baud, speed +2.1%, 12294 bytes, 0 faults", all the faults counted;
// "bit rate unknown, ..." when no byte told the rate and none was given.
std::string decode_summary_text(const decode_result& result);

// Where a fault is: "12.345 s (byte 4567)", "30.400 s (bytes 1383-1385)".
std::string fault_place_text(const tape_fault& fault);

// What it is: "framing error", "dropout".
const char* fault_kind_text(tape_fault_kind kind);
