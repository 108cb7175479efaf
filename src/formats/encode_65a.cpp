// OSI 65A serial monitor format: "LAAAA" and a line end, the data as hex pairs
// eight to a line, "R" to leave load mode, then the start: the register save
// area loaded with the go address and "G", or "GGGG" alone.
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

}  // namespace

a65_start plan_65a_start(const run_settings& settings, unsigned long long data_bytes) {
    if (settings.go_address < 0) return a65_start::none;
    if (settings.load_address <= register_area_end &&
        data_reaches(settings.load_address, data_bytes, register_save_area)) {
        return a65_start::restart_alone;
    }
    return a65_start::start_sequence;
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

int encode_65a(const run_settings& settings, in_stream& in, out_stream& out) {
    int result = put_65a_address(settings, settings.load_address, out);

    const bool spaced = settings.eol_mode != -1;
    const char* eol = settings.eol_mode == -1 ? "" : settings.eol_mode == 0 ? "\r" : "\r\n";
    const size_t eol_length = settings.eol_mode == -1 ? 0 : settings.eol_mode == 0 ? 1 : 2;

    unsigned char data[chunk_size];
    char text[chunk_size * 3 + chunk_size / 8 * 2];
    while (result >= 0) {
        size_t n = read_block(in, data, chunk_size);
        if (n == 0) break;
        char* p = text;
        int line_count = 0;
        for (size_t i = 0; i < n; ++i) {
            p = format_hex_byte(data[i], p);
            if (++line_count == 8) {
                for (size_t k = 0; k < eol_length; ++k) *p++ = eol[k];
                line_count = 0;
            } else if (spaced) {
                *p++ = ' ';
            }
        }
        result = put_block(text, static_cast<size_t>(p - text), out);
    }
    return finish_encoding(result, in, out, [&] {
        int last = put_byte('R', out);
        if (last < 0) return last;
        switch (plan_65a_start(settings, in.count)) {
            case a65_start::none: return last;
            case a65_start::start_sequence:
                if (put_string("LLLL", out) < 0) return -1;
                return put_65a_go(settings, settings.go_address, out);
            case a65_start::restart_alone:
                // The data covers the register save area, so the monitor
                // restarts from whatever the image put there.
                return put_string("GGGG", out) < 0 ? -1 : 'G';
        }
        return -1;
    });
}
