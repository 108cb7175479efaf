// The walk over the lines of a record input, shared by the Intel HEX and the
// S-record reader: what one line's record may change, and the store of its
// data into the target's memory.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "cli/messages.h"
#include "records/records.h"

struct record_walk {
    record_load& load;
    std::vector<bool> loaded = std::vector<bool>(0x10000, false);
    long line = 0;                   // the line being read, from 1
    bool ended = false;              // the end record has been read
    unsigned long long base = 0;     // Intel HEX: added to every data record's address
    unsigned long data_records = 0;  // S-records: S1, S2 and S3 records so far
};

// The longest record of either kind: a count of 255 behind the mark and
// type, and the Intel HEX record's four bytes around its data.
inline constexpr size_t most_record_bytes = 4 + 255 + 1;

// Turns text of hex digit pairs, either case, into bytes. False when it holds
// any other character, an odd number of digits or more than `capacity` bytes.
bool read_hex_pairs(std::span<const unsigned char> text, unsigned char* bytes, size_t capacity,
                    size_t& count);

// The big-endian number in n bytes.
unsigned long long big_endian(const unsigned char* bytes, size_t n);

// Stores n bytes from address on: `converted`, or the refusal of data above
// $FFFF or of an address loaded before.
run_end store_data(record_walk& walk, unsigned long long address, const unsigned char* data,
                   size_t n);

// The refusal of the line being read.
inline run_end line_refusal(const record_walk& walk, run_outcome outcome) {
    return {outcome, walk.line};
}

// Reads one line that is not blank, its line end removed.
run_end intel_hex_record(record_walk& walk, std::span<const unsigned char> line);
run_end s_record(record_walk& walk, std::span<const unsigned char> line);
