// A BASIC listing as BASIC-in-ROM's LOAD takes it from the cassette port: the
// lines, what BASIC makes of each, and the lines it would mangle. korvane
// reads a listing with these rules, korvane-verify and korvane-tape read a
// BASIC stream with them.
//
// Lines end in LF, CR LF or CR (the last may lack one). NUL bytes are no part
// of a line: BASIC ignores them, and a stream carries them only for pacing.
// Blanks (spaces and tabs) before a line's first character are dropped, and a
// line that is empty or blank is skipped; trailing blanks are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A listing is small: anything larger is no listing.
inline constexpr size_t listing_limit = 1u << 20;

// A line keeps at most this many characters, its number included.
inline constexpr size_t basic_line_capacity = 71;

// Line numbers run from 0 to this.
inline constexpr long highest_line_number = 63999;

// A stream may pause inside a line after every this many characters.
inline constexpr size_t pause_stride = 8;

struct listing_line {
    size_t offset = 0;       // where the line begins in the bytes, its leading blanks included
    long line_in_file = 0;   // 1 for the first line of the bytes, blank lines counted
    std::string text;        // from its first character that is no blank, NULs dropped,
                             // without the line end
    int64_t nuls_after = 0;  // NULs that directly follow its line end's first byte
    // NULs directly after its 8th, 16th, ... character, where more characters follow.
    std::vector<int64_t> nuls_inside;
};

// The lines of the bytes that are neither empty nor blank.
std::vector<listing_line> split_listing(std::span<const unsigned char> bytes);

// Where the bytes hold a NUL, or more than listing_limit of them, they are no listing.
bool is_listing(std::span<const unsigned char> bytes);

// The number a line begins with: its leading digits; -1 when it begins with
// none. Numbers beyond highest_line_number stop growing at 999999.
long line_number(const std::string& text);

// True when the line holds its number and nothing but blanks after it: BASIC
// deletes the line of that number.
bool only_a_number(const std::string& text);

// How a BASIC stream hands the machine back to its keyboard.
enum class basic_end {
    none,      // it does not: a key pressed after the tape ends the load
    poke,      // "POKE 515,0"
    poke_run,  // "POKE 515,0:RUN", which also starts the program
};

// The end a line makes, where it is one of the two.
basic_end end_of(const std::string& text);

// How many of the lines BASIC's LOAD reads: up to and including the first
// that ends the load, or all of them.
size_t lines_read(std::span<const listing_line> lines);

// One of the lines BASIC would mangle, with what it does to it: "line N of
// the listing has ..." (N the line's line_in_file), ending in a full stop.
struct listing_warning {
    size_t line;  // index into the lines
    std::string text;
};

// Every warning of the lines, in their order, and within a line in a fixed
// order: over 71 characters, no line number, numbered above 63999,
// lower-case letters outside quotes, a byte BASIC cannot take, "@", "_", a
// repeated line number; a line that is only a number gets the deletion
// alone, and a line that ends the load (see end_of) that alone.
std::vector<listing_warning> listing_warnings(std::span<const listing_line> lines);
