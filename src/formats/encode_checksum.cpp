// MOS/OSI checksum load format: the message text, then per 24 bytes of each
// piece ";" count address data sum as hex pairs, each record closed by CR, a
// run of NULs and LF; finally "$" and the go address.
#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

constexpr size_t record_size = 24;
// Bytes read at a time, read full, so every record but a piece's last holds 24.
constexpr size_t chunk_size = record_size * 170;
constexpr size_t record_text = 1 + 2 * (3 + record_size + 2) + 1;  // ";" to CR
constexpr size_t max_packed_pad = 256;  // NUL runs up to this long go out with their record

// Writes one record: the n bytes of data for the given target address.
int put_checksum_record(const run_settings& settings, const unsigned char* data, size_t n,
                        int address, out_stream& out) {
    char text[record_text + max_packed_pad + 1];
    unsigned sum = static_cast<unsigned>(n) + ((static_cast<unsigned>(address) >> 8) & 0xFF) +
                   (static_cast<unsigned>(address) & 0xFF);
    char* p = text;
    *p++ = ';';
    p = format_hex_byte(static_cast<unsigned>(n), p);
    p = format_hex_byte(static_cast<unsigned>(address) >> 8, p);
    p = format_hex_byte(static_cast<unsigned>(address), p);
    for (size_t i = 0; i < n; ++i) {
        sum += data[i];
        p = format_hex_byte(data[i], p);
    }
    p = format_hex_byte(sum >> 8, p);
    p = format_hex_byte(sum, p);
    *p++ = '\r';
    size_t pad = settings.pad_count > 0 ? static_cast<size_t>(settings.pad_count) : 0;
    if (pad <= max_packed_pad) {
        for (size_t i = 0; i < pad; ++i) *p++ = '\0';
        *p++ = '\n';
        return put_block(text, static_cast<size_t>(p - text), out) < 0 ? -1 : '\n';
    }
    if (put_block(text, static_cast<size_t>(p - text), out) < 0) return -1;
    for (size_t i = 0; i < pad; ++i) {
        if (put_byte(0, out) < 0) return -1;
    }
    return put_byte('\n', out);
}

// The records of one piece; result is what the last write before it returned.
int put_checksum_piece(const run_settings& settings, const piece& p, int result, out_stream& out) {
    int address = p.address & 0xFFFF;
    unsigned char data[chunk_size];
    while (result >= 0) {
        size_t n = read_block(*p.in, data, chunk_size);
        if (n == 0) break;
        for (size_t at = 0; at < n && result >= 0; at += record_size) {
            size_t count = n - at < record_size ? n - at : record_size;
            result = put_checksum_record(settings, data + at, count, address, out);
            address = (address + static_cast<int>(count)) & 0xFFFF;
        }
    }
    return result;
}

}  // namespace

int encode_checksum(const run_settings& settings, std::span<piece> pieces, out_stream& out) {
    return encode_pieces(
        put_string(settings.message_text, out), pieces, out,
        [&](const piece& p, size_t, int last) {
            return put_checksum_piece(settings, p, last, out);
        },
        [&](int last) {
            if (settings.go_address < 0) return last;
            if (put_byte('$', out) < 0 || put_hex_byte(settings.go_address >> 8, out) < 0) {
                return -1;
            }
            return put_hex_byte(settings.go_address, out);
        });
}

int encode_checksum(const run_settings& settings, in_stream& in, out_stream& out) {
    piece one{settings.load_address, &in};
    return encode_checksum(settings, std::span<piece>(&one, 1), out);
}
