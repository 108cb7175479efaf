// The load formats. Each encoder owns its streams from the moment it is
// called and closes them all before it returns (encode_basic, which takes a
// listing read whole, owns and closes the output). It returns -1 when a write
// or a read failed (and then writes no trailer), otherwise what its last write
// returned. The streams' own flags tell the caller which of them failed.
#pragma once

#include <span>
#include <vector>

#include "basic/listing.h"
#include "cli/run_settings.h"
#include "formats/streams.h"
#include "formats/target_cells.h"

// One piece of the data: a run of consecutive target addresses and the
// stream of its bytes. A raw image is one piece; records give one for every
// run of addresses they load, in address order.
struct piece {
    int address;    // target address of the first byte
    in_stream* in;  // its bytes; in->count is the piece's length once it has ended
};

// Where the pieces lie, once their streams have ended.
inline std::vector<data_extent> piece_extents(std::span<const piece> pieces) {
    std::vector<data_extent> extents;
    for (const piece& p : pieces) extents.push_back({p.address, p.in->count});
    return extents;
}

// Each format writes its header once, then every piece, then its trailer
// once; nothing goes out for the gaps between pieces.
int encode_65v(const run_settings& settings, std::span<piece> pieces, out_stream& out);
int encode_65a(const run_settings& settings, std::span<piece> pieces, out_stream& out);
int encode_checksum(const run_settings& settings, std::span<piece> pieces, out_stream& out);
int encode_qsave(const run_settings& settings, std::span<piece> pieces, out_stream& out);

// A raw image: one piece at the load address.
int encode_65v(const run_settings& settings, in_stream& in, out_stream& out);
int encode_65a(const run_settings& settings, in_stream& in, out_stream& out);
int encode_checksum(const run_settings& settings, in_stream& in, out_stream& out);
int encode_qsave(const run_settings& settings, in_stream& in, out_stream& out);
int encode_basic(const run_settings& settings, const std::vector<listing_line>& lines,
                 out_stream& out);

// How 65A output starts the program after its last "R".
enum class a65_start {
    none,            // no go address: nothing follows the "R"
    start_sequence,  // "LLLL", the register save area loaded with the go address, "G"
    restart_alone,   // "GGGG": the data itself lies in the register save area
};

// The start for data at the given places. The start sequence goes out unless
// a piece starting at $012E or below covers any of the register save area,
// $0129-$012F.
a65_start plan_65a_start(const run_settings& settings, std::span<const data_extent> data);

// The same for data_bytes bytes from the load address.
a65_start plan_65a_start(const run_settings& settings, unsigned long long data_bytes);

// The 65A register-area start sequence: L0129, the restart values, the go
// address, R, three NULs and G. Returns 0 and writes nothing for a negative address.
int put_65a_go(const run_settings& settings, int address, out_stream& out);

// Starting from result, what the header's writes returned, writes each piece
// with put_piece(piece, index, what the last write returned) until a write or
// a read fails; then closes
// every piece's input, writes the trailer with trailer(what the last write
// returned) unless a write or a read has failed, and closes the output.
// Shared by the four encoders.
template <typename PutPiece, typename Trailer>
int encode_pieces(int result, std::span<piece> pieces, out_stream& out, PutPiece put_piece,
                  Trailer trailer) {
    bool read_failed = false;
    for (size_t i = 0; i < pieces.size() && result >= 0 && !read_failed; ++i) {
        result = put_piece(pieces[i], i, result);
        read_failed = pieces[i].in->failed;
    }
    for (piece& p : pieces) close_input(*p.in);
    if (result >= 0 && !read_failed) {
        result = trailer(result);
    } else {
        result = -1;
    }
    if (close_output(out) < 0) result = -1;
    return result;
}
