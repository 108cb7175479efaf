// OSI 65A serial monitor format: for each piece "LAAAA" and a line end, the
// data as hex pairs eight to a line, and "R" to leave load mode; then the
// start: the register save area loaded with the go address and "G", or
// "GGGG" alone.
#include "formats/encoders.h"
#include "formats/primitives.h"
#include "formats/target_cells.h"

namespace {

// Bytes read at a time: a multiple of the 256-byte block, read full. The line
// counter restarts with every block, which is the same as running on, since
// each full block holds a whole number of lines.
constexpr size_t chunk_size = 256 * 16;

// The highest load address from which the data can cover the register save
// area ($0129-$012F) without wrapping past $FFFF.
constexpr int register_area_end = 0x012E;

// Restart values for $0129-$012D, sent in load mode.
constexpr char restart_values[] = "00000004FD";

// The piece's load command and its lines; the "R" after it is written by
// the next piece or the trailer.
int put_65a_piece(const run_settings& settings, const piece& p, out_stream& out) {
    int result = put_65a_address(settings, p.address, out);

    const bool spaced = settings.eol_mode != -1;
    const char* eol = settings.eol_mode == -1 ? "" : settings.eol_mode == 0 ? "\r" : "\r\n";
    const size_t eol_length = settings.eol_mode == -1 ? 0 : settings.eol_mode == 0 ? 1 : 2;

    unsigned char data[chunk_size];
    char text[chunk_size * 3 + chunk_size / 8 * 2];
    while (result >= 0) {
        size_t n = read_block(*p.in, data, chunk_size);
        if (n == 0) break;
        char* t = text;
        int line_count = 0;
        for (size_t i = 0; i < n; ++i) {
            t = format_hex_byte(data[i], t);
            if (++line_count == 8) {
                for (size_t k = 0; k < eol_length; ++k) *t++ = eol[k];
                line_count = 0;
            } else if (spaced) {
                *t++ = ' ';
            }
        }
        result = put_block(text, static_cast<size_t>(t - text), out);
    }
    return result;
}

}  // namespace

a65_start plan_65a_start(const run_settings& settings, std::span<const data_extent> data) {
    if (settings.go_address < 0) return a65_start::none;
    for (const data_extent& e : data) {
        if (e.first <= register_area_end && data_reaches(e.first, e.count, register_save_area)) {
            return a65_start::restart_alone;
        }
    }
    return a65_start::start_sequence;
}

a65_start plan_65a_start(const run_settings& settings, unsigned long long data_bytes) {
    const data_extent one{settings.load_address, data_bytes};
    return plan_65a_start(settings, std::span<const data_extent>(&one, 1));
}

int put_65a_go(const run_settings& settings, int address, out_stream& out) {
    if (address < 0) return 0;
    if (put_65a_address(settings, 0x0129, out) < 0) return -1;
    if (put_string(restart_values, out) < 0) return -1;
    if (put_hex_byte(address >> 8, out) < 0) return -1;
    if (put_hex_byte(address, out) < 0) return -1;
    if (put_byte('R', out) < 0) return -1;
    for (int i = 0; i < 3; ++i) {
        if (put_byte(0, out) < 0) return -1;
    }
    return put_byte('G', out);
}

int encode_65a(const run_settings& settings, std::span<piece> pieces, out_stream& out) {
    auto put_piece = [&](const piece& p, size_t index, int) {
        if (index > 0 && put_byte('R', out) < 0) return -1;
        return put_65a_piece(settings, p, out);
    };
    return encode_pieces(0, pieces, out, put_piece, [&](int) {
        int last = put_byte('R', out);
        if (last < 0) return last;
        switch (plan_65a_start(settings, piece_extents(pieces))) {
            case a65_start::none: return last;
            case a65_start::start_sequence:
                if (put_string("LLLL", out) < 0) return -1;
                return put_65a_go(settings, settings.go_address, out);
            case a65_start::restart_alone:
                // A piece covers the register save area, so the monitor
                // restarts from whatever the data put there.
                return put_string("GGGG", out) < 0 ? -1 : 'G';
        }
        return -1;
    });
}

int encode_65a(const run_settings& settings, in_stream& in, out_stream& out) {
    piece one{settings.load_address, &in};
    return encode_65a(settings, std::span<piece>(&one, 1), out);
}
