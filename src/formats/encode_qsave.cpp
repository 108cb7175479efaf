// OSI QSave binary checksum format: the message text, then per 56 input bytes
// a raw record 3B, count, address high, address low, data, sum high, sum low;
// finally the raw go record 24, high, low.
#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

constexpr size_t record_size = 56;
constexpr size_t record_overhead = 6;  // ";", count, address, sum
// Bytes read at a time, read full, so every record but the last holds 56.
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

}  // namespace

int encode_qsave(const run_settings& settings, in_stream& in, out_stream& out) {
    int result = put_string(settings.message_text, out);
    unsigned address = static_cast<unsigned>(settings.load_address) & 0xFFFF;

    unsigned char data[chunk_size];
    unsigned char text[chunk_size / record_size * (record_size + record_overhead)];
    while (result >= 0) {
        size_t n = read_block(in, data, chunk_size);
        if (n == 0) break;
        unsigned char* p = text;
        for (size_t at = 0; at < n; at += record_size) {
            size_t count = n - at < record_size ? n - at : record_size;
            p = format_qsave_record(data + at, count, address, p);
            address = (address + static_cast<unsigned>(count)) & 0xFFFF;
        }
        // The last byte of a record is its sum's low byte, the last byte written.
        result = put_block(text, static_cast<size_t>(p - text), out) < 0 ? -1 : p[-1];
    }
    return finish_encoding(result, in, out, [&] {
        return settings.go_address < 0 ? result : put_qsave_go(settings.go_address, out);
    });
}
