// OSI 65V ROM monitor format: ".AAAA/", then one entry per byte (two hex
// digits and CR, the monitor stepping its own address), then ".GGGGG" to start.
#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

// Bytes read at a time: a multiple of the 256-byte block, read full.
constexpr size_t chunk_size = 256 * 16;

}  // namespace

int encode_65v(const run_settings& settings, in_stream& in, out_stream& out) {
    int result = put_65v_address(settings.load_address, out);
    if (result >= 0) result = put_byte('/', out);

    unsigned char data[chunk_size];
    char text[chunk_size * 3];
    while (result >= 0) {
        size_t n = read_block(in, data, chunk_size);
        if (n == 0) break;
        char* p = text;
        for (size_t i = 0; i < n; ++i) {
            p = format_hex_byte(data[i], p);
            *p++ = '\r';
        }
        result = put_block(text, static_cast<size_t>(p - text), out);
    }
    return finish_encoding(result, in, out, [&] { return put_65v_go(settings.go_address, out); });
}
