// OSI 65V ROM monitor format: for each piece ".AAAA/", then one entry per
// byte (two hex digits and CR, the monitor stepping its own address); then
// ".GGGGG" to start.
#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

// Bytes read at a time: a multiple of the 256-byte block, read full.
constexpr size_t chunk_size = 256 * 16;

// The piece's address command and its entries.
int put_65v_piece(const piece& p, out_stream& out) {
    int result = put_65v_address(p.address, out);
    if (result >= 0) result = put_byte('/', out);

    unsigned char data[chunk_size];
    char text[chunk_size * 3];
    while (result >= 0) {
        size_t n = read_block(*p.in, data, chunk_size);
        if (n == 0) break;
        char* t = text;
        for (size_t i = 0; i < n; ++i) {
            t = format_hex_byte(data[i], t);
            *t++ = '\r';
        }
        result = put_block(text, static_cast<size_t>(t - text), out);
    }
    return result;
}

}  // namespace

int encode_65v(const run_settings& settings, std::span<piece> pieces, out_stream& out) {
    return encode_pieces(
        0, pieces, out, [&](const piece& p, size_t, int) { return put_65v_piece(p, out); },
        [&](int) { return put_65v_go(settings.go_address, out); });
}

int encode_65v(const run_settings& settings, in_stream& in, out_stream& out) {
    piece one{settings.load_address, &in};
    return encode_65v(settings, std::span<piece>(&one, 1), out);
}
