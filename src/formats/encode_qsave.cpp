// OSI QSave binary checksum format: the message text, then per 56 input bytes
// a raw record 3B, count, address high, address low, data, sum high, sum low;
// finally the raw go record 24, high, low.
#include <cstring>

#include "formats/encoders.h"
#include "formats/primitives.h"

namespace {

constexpr size_t record_size = 56;
constexpr size_t chunk_size = record_size * 73;  // read full, so every record but the last holds 56

int put_qsave_record(const unsigned char* data, size_t n, int address, out_stream& out) {
    unsigned char record[record_size + 6];
    unsigned high = (static_cast<unsigned>(address) >> 8) & 0xFF;
    unsigned low = static_cast<unsigned>(address) & 0xFF;
    unsigned sum = static_cast<unsigned>(n) + high + low;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    record[0] = ';';
    record[1] = static_cast<unsigned char>(n);
    record[2] = static_cast<unsigned char>(high);
    record[3] = static_cast<unsigned char>(low);
    std::memcpy(record + 4, data, n);
    record[n + 4] = static_cast<unsigned char>((sum >> 8) & 0xFF);
    record[n + 5] = static_cast<unsigned char>(sum & 0xFF);
    return put_block(record, n + 6, out) < 0 ? -1 : record[n + 5];
}

}  // namespace

int encode_qsave(const run_settings& settings, in_stream& in, out_stream& out) {
    int result = put_string(settings.message_text, out);
    int address = settings.load_address & 0xFFFF;

    unsigned char data[chunk_size];
    while (result >= 0) {
        size_t n = read_block(in, data, chunk_size);
        if (n == 0) break;
        for (size_t at = 0; at < n && result >= 0; at += record_size) {
            size_t count = n - at < record_size ? n - at : record_size;
            result = put_qsave_record(data + at, count, address, out);
            address = (address + static_cast<int>(count)) & 0xFFFF;
        }
    }
    return finish_encoding(result, in, out, [&] {
        return settings.go_address < 0 ? result : put_qsave_go(settings.go_address, out);
    });
}
