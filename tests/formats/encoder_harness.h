// Runs an encoder or a primitive over the in-memory streams and records what
// reached the sink, how the streams ended and how often each was closed.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cli/run_settings.h"
#include "formats/encoders.h"
#include "formats/streams.h"
#include "support/memory_streams.h"

using encoder_fn = int (*)(const run_settings&, in_stream&, out_stream&);

inline constexpr size_t unlimited = std::numeric_limits<size_t>::max();

// How the streams around one run behave.
struct run_conditions {
    size_t buffer_size = 4096;        // output buffer
    size_t read_chunk = unlimited;    // largest read the input hands out
    size_t read_fail_at = unlimited;  // a read at this input position fails
    size_t write_limit = unlimited;   // bytes the sink accepts before failing
    size_t write_chunk = unlimited;   // largest write the sink takes at once
    bool close_fails = false;         // the sink's close reports failure
};

struct encoder_run {
    int result = 0;
    std::string output;
    bool out_failed = false;
    bool in_failed = false;
    bool out_closed = false;
    bool in_closed = false;
    int sink_closes = 0;
    int source_closes = 0;
    size_t writes_after_failure = 0;
    int reads_after_end = 0;
    size_t bytes_read = 0;  // input position reached
};

inline encoder_run run_encoder(encoder_fn encode, const run_settings& settings,
                               const std::string& input, const run_conditions& conditions = {}) {
    memory_sink sink;
    sink.limit = conditions.write_limit;
    sink.max_chunk = conditions.write_chunk;
    sink.close_fails = conditions.close_fails;
    memory_source source(input, conditions.read_chunk);
    source.fail_at = conditions.read_fail_at;

    out_stream out;
    open_output(out, sink.sink(), conditions.buffer_size);
    in_stream in;
    open_input(in, source.source());

    encoder_run run;
    run.result = encode(settings, in, out);
    run.output = sink.bytes;
    run.out_failed = out.failed;
    run.in_failed = in.failed;
    run.out_closed = out.closed;
    run.in_closed = in.closed;
    run.sink_closes = sink.closes;
    run.source_closes = source.closes;
    run.writes_after_failure = sink.writes_after_failure;
    run.reads_after_end = source.reads_after_end;
    run.bytes_read = source.position;
    return run;
}

// Checksum or QSave output read back record by record. An empty error means
// it is well formed.
struct decoded_records {
    std::string error;
    std::string data;         // the data of all records, in order
    std::vector<int> counts;  // each record's count
    int go = -1;              // the go record's address; -1 without one
};

// A run that must go cleanly: each stream closed once, nothing failed, no
// read past the end of the input.
inline encoder_run run_clean(encoder_fn encode, const run_settings& settings,
                             const std::string& input, const run_conditions& conditions = {}) {
    encoder_run run = run_encoder(encode, settings, input, conditions);
    EXPECT_EQ(run.sink_closes, 1);
    EXPECT_EQ(run.source_closes, 1);
    EXPECT_FALSE(run.out_failed);
    EXPECT_FALSE(run.in_failed);
    EXPECT_EQ(run.reads_after_end, 0);
    EXPECT_GE(run.result, 0);
    return run;
}

// The result of one primitive call and the bytes it left in the sink once the
// stream was closed.
struct primitive_run {
    int result = 0;
    int close_result = 0;
    std::string output;
};

template <typename Call>
primitive_run run_primitive(Call call, size_t buffer_size = 4096, size_t write_limit = unlimited) {
    memory_sink sink;
    sink.limit = write_limit;
    out_stream out;
    open_output(out, sink.sink(), buffer_size);
    primitive_run run;
    run.result = call(out);
    run.close_result = close_output(out);
    run.output = sink.bytes;
    return run;
}

// A byte string from a list of byte values.
inline std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

inline std::string repeated(size_t n, int value) {
    return std::string(n, static_cast<char>(value));
}

inline void set_message(run_settings& settings, const char* text) {
    std::strncpy(settings.message_text, text, message_capacity - 1);
    settings.message_text[message_capacity - 1] = '\0';
}

// Four upper-case hex digits of the low 16 bits, written out by hand here so
// that expectations do not lean on the program's own tables.
inline std::string hex4(int value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text.push_back(digits[(value >> shift) & 0xF]);
    return text;
}

// Value of an upper-case hex digit, or -1.
inline int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads two hex digits at pos; -1 if they are not there.
inline int read_hex_pair(const std::string& text, size_t& pos) {
    if (pos + 2 > text.size()) return -1;
    int high = hex_digit_value(text[pos]);
    int low = hex_digit_value(text[pos + 1]);
    if (high < 0 || low < 0) return -1;
    pos += 2;
    return high * 16 + low;
}

// Random memory images, rich in the bytes that mean something in one of the
// formats: ';' and '$' (record and go marks), CR, LF, NUL and 0xFF.
inline std::string random_image(std::mt19937& rng, size_t n) {
    static const int special[] = {0x3B, 0x24, 0x0D, 0x0A, 0xFF, 0x00};
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> pick(0, 5);
    std::uniform_int_distribution<int> any(0, 255);
    std::string image;
    image.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        int value = coin(rng) != 0 ? special[pick(rng)] : any(rng);
        image.push_back(static_cast<char>(value));
    }
    return image;
}

// Lengths at and around the record sizes (24, 56), the 256-byte block and the
// reads of a few kilobytes the encoders make.
inline constexpr size_t edge_lengths[] = {
    0,    1,    7,    8,    9,    23,   24,   25,   55,   56,   57,   255,  256,  257,
    4079, 4080, 4081, 4087, 4088, 4089, 4095, 4096, 4097, 8160, 8176, 8192, 8193, 9001};

// Input lengths for trial number `trial`: the edge lengths first, then random.
inline size_t trial_length(std::mt19937& rng, int trial, size_t most) {
    const int edges = static_cast<int>(sizeof edge_lengths / sizeof edge_lengths[0]);
    if (trial < edges) return edge_lengths[trial];
    // Short inputs are the interesting ones for record and line edges.
    if (std::uniform_int_distribution<int>(0, 1)(rng) == 0) {
        return std::uniform_int_distribution<size_t>(0, 80)(rng);
    }
    return std::uniform_int_distribution<size_t>(0, most)(rng);
}

// A load address that often lies just below $FFFF, so that runs wrap.
inline int random_address(std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 3);
    if (kind(rng) == 0) return std::uniform_int_distribution<int>(0xFF00, 0xFFFF)(rng);
    return std::uniform_int_distribution<int>(0, 0xFFFF)(rng);
}

// A go address, or -1 for none about a third of the time.
inline int random_go(std::mt19937& rng) {
    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) return -1;
    return std::uniform_int_distribution<int>(0, 0xFFFF)(rng);
}

// A small conversion of each format with its output written out by hand,
// split into the part before the trailer (what a read error may leave) and
// the trailer (the go command, "R" and start sequence, or go record).
struct small_conversion {
    const char* name;
    encoder_fn encode;
    run_settings settings;
    std::string input;
    std::string body;
    std::string trailer;
    std::string output() const { return body + trailer; }
};

inline run_settings conversion_settings(int action, int load, int go, int eol_mode = 0, int pad = 5,
                                        const char* message = "") {
    run_settings settings;
    settings.action = action;
    settings.load_address = load;
    settings.go_address = go;
    settings.eol_mode = eol_mode;
    settings.pad_count = pad;
    set_message(settings, message);
    return settings;
}

inline std::vector<small_conversion> small_conversions() {
    const std::string program = bytes({0xA9, 0x00, 0x60});
    const std::string ten = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const std::string nuls(3, '\0');
    const std::string zeros24(48, '0');
    return {
        {"65v", encode_65v, conversion_settings(action_65v, 0x0300, 0x0300), program,
         ".0300/A9\r00\r60\r", ".0300G"},
        {"65a", encode_65a, conversion_settings(action_65a, 0x0300, 0x0400), ten,
         "L0300\r01 02 03 04 05 06 07 08\r09 0A ", "RLLLLL0129\r00000004FD0400R" + nuls + "G"},
        {"65a -t", encode_65a, conversion_settings(action_65a, 0x0300, 0x0400, 1), ten,
         "L0300\r\n01 02 03 04 05 06 07 08\r\n09 0A ",
         "RLLLLL0129\r\n00000004FD0400R" + nuls + "G"},
        {"65a -t0", encode_65a, conversion_settings(action_65a, 0x0300, 0x0400, -1), ten,
         "L03000102030405060708090A", "RLLLLL012900000004FD0400R" + nuls + "G"},
        {"65a GGGG", encode_65a, conversion_settings(action_65a, 0x0120, 0x0400), ten,
         "L0120\r01 02 03 04 05 06 07 08\r09 0A ", "RGGGG"},
        {"checksum", encode_checksum,
         conversion_settings(action_checksum, 0x0300, 0x0300, 0, 5, "HI\r\n"), program,
         "HI\r\n;030300A90060010F\r" + std::string(5, '\0') + "\n", "$0300"},
        {"checksum wrapping", encode_checksum,
         conversion_settings(action_checksum, 0xFFF0, 0xFFF0, 0, 2, "M"), std::string(25, '\0'),
         "M;18FFF0" + zeros24 + "0207\r" + std::string(2, '\0') + "\n;010008000009\r" +
             std::string(2, '\0') + "\n",
         "$FFF0"},
        {"qsave", encode_qsave, conversion_settings(action_qsave, 0x0300, 0x0300, 0, 5, "HI"),
         program,
         std::string("HI").append(bytes({0x3B, 0x03, 0x03, 0x00, 0xA9, 0x00, 0x60, 0x01, 0x0F})),
         bytes({0x24, 0x03, 0x00})},
        {"qsave wrapping", encode_qsave,
         conversion_settings(action_qsave, 0xFFF0, 0x1234, 0, 5, "M"), std::string(57, '\0'),
         std::string("M").append(bytes({0x3B, 0x38, 0xFF, 0xF0})) + std::string(56, '\0') +
             bytes({0x02, 0x27}) + bytes({0x3B, 0x01, 0x00, 0x28, 0x00, 0x00, 0x29}),
         bytes({0x24, 0x12, 0x34})},
    };
}
