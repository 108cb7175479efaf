// Programs as assemblers and linkers write them: Intel HEX and Motorola
// S-records, which carry their own addresses, read from bytes in memory into
// the target's 64 KiB; the PRG layout, a raw image behind its two-byte load
// address; and Intel HEX written from memory.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "cli/messages.h"
#include "cli/run_settings.h"
#include "formats/encoders.h"
#include "formats/streams.h"
#include "formats/target_cells.h"

// Record text is read whole; a larger input is refused.
inline constexpr size_t record_input_limit = 16u << 20;

// What a record input loads.
struct record_load {
    std::vector<unsigned char> memory;  // 64 KiB once read: the bytes loaded, zero elsewhere
    std::vector<cell_range> pieces;     // the runs of loaded addresses, ascending, none adjacent
    long long start = -1;               // the last start address given; -1 when none is
};

// Reads Intel HEX (input_hex) or S-records (input_srec). Lines end in LF or
// CR LF; blank lines are skipped but counted. `converted`, or the refusal with
// the line it concerns and, for data loaded twice, the lowest such address.
run_end read_records(std::span<const unsigned char> text, int input_type, record_load& load);

// The pieces of a record load, each streaming its bytes from the load's
// memory, which must outlive them; not to be copied once opened.
struct record_pieces {
    std::vector<memory_span> spans;
    std::vector<in_stream> streams;
    std::vector<piece> pieces;
};

void open_record_pieces(const record_load& load, record_pieces& opened);

// Reads the whole input into text: `converted`, `read_input` when a read
// fails, `input_too_large` past record_input_limit bytes.
run_outcome read_record_text(in_stream& in, std::vector<unsigned char>& text);

// Reads a PRG file's two bytes of load address, low byte first; the image
// follows in the stream, whose count starts again from 0. `converted`,
// `read_input`, or `prg_too_short` for an input of under two bytes.
run_outcome read_prg_header(in_stream& in, int& load_address);

// Intel HEX for the pieces of memory (64 KiB): for each piece, records of
// 16 data bytes from its start (the last shorter), then a start linear
// address record where start is not negative, then the end record; upper-case
// hex digits, LF line ends.
std::string intel_hex_text(std::span<const unsigned char> memory,
                           std::span<const cell_range> pieces, long long start);
