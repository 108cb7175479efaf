// The load formats. Each encoder owns both streams from the moment it is
// called and closes both before it returns (encode_basic, which takes a
// listing read whole, owns and closes the output). It returns -1 when a write or a
// read failed (and then writes no trailer), otherwise what its last write
// returned. The streams' own flags tell the caller which of the two failed.
#pragma once

#include <vector>

#include "basic/listing.h"
#include "cli/run_settings.h"
#include "formats/streams.h"

int encode_65v(const run_settings& settings, in_stream& in, out_stream& out);
int encode_65a(const run_settings& settings, in_stream& in, out_stream& out);
int encode_checksum(const run_settings& settings, in_stream& in, out_stream& out);
int encode_qsave(const run_settings& settings, in_stream& in, out_stream& out);
int encode_basic(const run_settings& settings, const std::vector<listing_line>& lines,
                 out_stream& out);

// How 65A output starts the program after its "R".
enum class a65_start {
    none,            // no go address: nothing follows the "R"
    start_sequence,  // "LLLL", the register save area loaded with the go address, "G"
    restart_alone,   // "GGGG": the data itself lies in the register save area
};

// The start for data_bytes bytes from the load address. The start sequence
// goes out unless the load address is $012E or below and the data covers any
// of the register save area, $0129-$012F.
a65_start plan_65a_start(const run_settings& settings, unsigned long long data_bytes);

// The 65A register-area start sequence: L0129, the restart values, the go
// address, R, three NULs and G. Returns 0 and writes nothing for a negative address.
int put_65a_go(const run_settings& settings, int address, out_stream& out);

// Closes the input, then writes the trailer unless a write or a read has
// failed, then closes the output. Shared by the four encoders.
template <typename Trailer>
int finish_encoding(int result, in_stream& in, out_stream& out, Trailer trailer) {
    close_input(in);
    if (result >= 0 && !in.failed) {
        result = trailer();
    } else {
        result = -1;
    }
    if (close_output(out) < 0) result = -1;
    return result;
}
