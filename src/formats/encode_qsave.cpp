// OSI QSave binary checksum format: the message text, then per 56 bytes of
// each piece a raw record 3B, count, address high, address low, data, sum
// high, sum low; finally the raw go record 24, high, low.
#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

constexpr size_t record_size = 56;
constexpr size_t record_overhead = 6;  // ";", count, address, sum
// Bytes read at a time, read full, so every record but a piece's last holds 56.
constexpr size_t chunk_size = record_size * 1024;

// Writes the record for the n bytes of data at address into text and returns
// the end of what it wrote (6 + n bytes).
unsigned char* format_qsave_record(const unsigned char* data, size_t n, unsigned address,
                                   unsigned char* text) {
    unsigned high = (address >> 8) & 0xFF;
    unsigned low = address & 0xFF;
    unsigned sum = static_cast<unsigned>(n) + high + low;
    text[0] = ';';
    text[1] = static_cast<unsigned char>(n);
    text[2] = static_cast<unsigned char>(high);
    text[3] = static_cast<unsigned char>(low);
    unsigned char* p = text + 4;
    for (size_t i = 0; i < n; ++i) {
        sum += data[i];
        p[i] = data[i];
    }
    p += n;
    p[0] = static_cast<unsigned char>((sum >> 8) & 0xFF);
    p[1] = static_cast<unsigned char>(sum & 0xFF);
    return p + 2;
}

// The records of one piece; result is what the last write before it returned.
int put_qsave_piece(const piece& p, int result, out_stream& out) {
    unsigned address = static_cast<unsigned>(p.address) & 0xFFFF;
    unsigned char data[chunk_size];
    unsigned char text[chunk_size / record_size * (record_size + record_overhead)];
    while (result >= 0) {
        size_t n = read_block(*p.in, data, chunk_size);
        if (n == 0) break;
        unsigned char* t = text;
        for (size_t at = 0; at < n; at += record_size) {
            size_t count = n - at < record_size ? n - at : record_size;
            t = format_qsave_record(data + at, count, address, t);
            address = (address + static_cast<unsigned>(count)) & 0xFFFF;
        }
        // The last byte of a record is its sum's low byte, the last byte written.
        result = put_block(text, static_cast<size_t>(t - text), out) < 0 ? -1 : t[-1];
    }
    return result;
}

}  // namespace

int encode_qsave(const run_settings& settings, std::span<piece> pieces, out_stream& out) {
    return encode_pieces(
        put_string(settings.message_text, out), pieces, out,
        [&](const piece& p, size_t, int last) { return put_qsave_piece(p, last, out); },
        [&](int last) {
            return settings.go_address < 0 ? last : put_qsave_go(settings.go_address, out);
        });
}

int encode_qsave(const run_settings& settings, in_stream& in, out_stream& out) {
    piece one{settings.load_address, &in};
    return encode_qsave(settings, std::span<piece>(&one, 1), out);
}
