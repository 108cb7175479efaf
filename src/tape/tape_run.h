// The whole run of korvane-tape: command line, input, encoding or decoding,
// output. Usage errors and failures go to standard error as
// "korvane-tape: ..." lines; so do the decoder's summary and faults.
#pragma once

#include <cstddef>

inline constexpr int tape_done = 0;     // encoded, or decoded cleanly
inline constexpr int tape_faults = 1;   // decoded, with faults; the bytes are written
inline constexpr int tape_trouble = 2;  // usage error, unreadable input, failed write

// A load file is small: anything larger is refused rather than read whole.
inline constexpr size_t tape_input_limit = 16u << 20;

// Returns the exit status.
int tape_main(int argc, char** argv);
