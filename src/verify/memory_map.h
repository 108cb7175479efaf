// What the stores of a decoding leave in the target's memory: the bytes, the
// contiguous ranges of data, and the faults that only the whole picture
// shows: data loaded twice, data on the cells that the monitor or the
// hybrid's loader needs while it loads, a hybrid's data over its loader, and
// a 65A start from a register save area the file leaves unset or that its
// start sequence loads over the data.
#pragma once

#include <vector>

#include "verify/verify.h"

struct address_range {
    int first;  // inclusive
    int last;   // inclusive
    long size() const { return last - first + 1; }
};

struct memory_map {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(0x10000, 0);
    std::vector<bool> loaded = std::vector<bool>(0x10000, false);  // by data
    std::vector<address_range> ranges;                             // the data, ascending
    std::vector<fault> faults;                                     // in the order of the stores
};

memory_map map_memory(const decoding& decoded);

// The unloaded stretches between the ranges.
std::vector<address_range> gaps_between(const std::vector<address_range>& ranges);
