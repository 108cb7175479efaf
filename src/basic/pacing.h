// How many NULs a BASIC stream needs where, so that BASIC's LOAD loses no
// character. After it reads a line's CR, BASIC stores the line and does not
// read the port for up to P = 40,000 + 3,300 L + 20 B cycles of the C1P's
// 983,040 Hz clock (L the line's length, B the sum of length + 5 over the
// numbered lines before it); the ACIA keeps the first character that arrives
// meanwhile and loses the rest, and BASIC ignores NULs. So the n NULs after
// the line must satisfy (n + 1) c > P, c the cycles of one character. At
// 1200 baud a scroll of the screen inside a line takes longer than two
// characters: three NULs follow every 8th character where more follow.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "basic/listing.h"

// Cycles of a character, times the baud rate: 983,040 Hz times its bits.
inline constexpr int64_t eleven_bit_character = 10'813'440;  // start, 8 data, 2 stop bits
inline constexpr int64_t ten_bit_character = 9'830'400;      // start, 8 data, 1 stop bit

// The rate of a decimal text "300", "600" or "1200", exactly; 0 for any other.
int basic_baud_of(const char* text);

// The NULs that follow a line's 8th, 16th, ... character at this baud rate:
// 3 at 1200, none at 300 and 600.
int nuls_inside_line(int baud);

// Counts through a stream's lines: B, the lengths of the numbered lines so far.
struct basic_pacing {
    int baud = 300;
    int64_t character = eleven_bit_character;  // cycles of a character, times baud
    int64_t earlier = 0;                       // B
};

// The NULs BASIC needs after the line, the smallest n with
// (n + 1) character > P baud; then counts the line into B.
int64_t pace_line(basic_pacing& pacing, const std::string& text);

// Where a stream has fewer NULs than BASIC needs.
struct pacing_shortfall {
    size_t line;     // index into the lines
    int64_t after;   // the character they follow (8, 16, ...); 0: the line itself
    int64_t found;   // NULs the stream has there
    int64_t needed;  // NULs BASIC needs there
};

// Every shortfall of the lines, in their order: inside a line first, then
// after it. The last line needs no NULs after it, as nothing follows.
std::vector<pacing_shortfall> pacing_shortfalls(std::span<const listing_line> lines,
                                                basic_pacing pacing);
