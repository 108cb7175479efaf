// Intel HEX: ":", then as hex pairs the count of data bytes, a 16-bit address,
// the record type, the data and a checksum that makes all the bytes sum to 0.
// Types: 00 data, 01 end of file, 02 extended segment address (the data's
// base is the value times 16), 03 start segment address (CS:IP), 04 extended
// linear address (the base is the value times 65536), 05 start linear address.
#include "formats/primitives.h"
#include "records/record_walk.h"

namespace {

enum record_type : unsigned {
    data_record = 0,
    end_record = 1,
    segment_base = 2,
    segment_start = 3,
    linear_base = 4,
    linear_start = 5,
};

// The count that each type but data must have.
constexpr unsigned fixed_counts[] = {0, 0, 2, 4, 2, 4};

constexpr size_t data_per_record = 16;

char* format_record(unsigned count, unsigned address, unsigned type, const unsigned char* data,
                    char* text) {
    unsigned sum = count + (address >> 8) + address + type;
    *text++ = ':';
    text = format_hex_byte(count, text);
    text = format_hex_byte(address >> 8, text);
    text = format_hex_byte(address, text);
    text = format_hex_byte(type, text);
    for (unsigned i = 0; i < count; ++i) {
        sum += data[i];
        text = format_hex_byte(data[i], text);
    }
    text = format_hex_byte(0x100 - (sum & 0xFF), text);
    *text++ = '\n';
    return text;
}

}  // namespace

run_end intel_hex_record(record_walk& walk, std::span<const unsigned char> line) {
    unsigned char bytes[most_record_bytes];
    size_t n = 0;
    if (line[0] != ':' || !read_hex_pairs(line.subspan(1), bytes, sizeof bytes, n) || n < 5 ||
        bytes[0] != n - 5) {
        return line_refusal(walk, run_outcome::not_a_record);
    }
    const unsigned count = bytes[0];
    const unsigned type = bytes[3];
    const unsigned char* data = bytes + 4;
    if (type > linear_start || (type != data_record && count != fixed_counts[type])) {
        return line_refusal(walk, run_outcome::not_a_record);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0) return line_refusal(walk, run_outcome::record_checksum);

    switch (type) {
        case data_record:
            return store_data(walk, walk.base + big_endian(bytes + 1, 2), data, count);
        case end_record: walk.ended = true; break;
        case segment_base: walk.base = big_endian(data, 2) << 4; break;
        case segment_start:
            walk.load.start =
                static_cast<long long>((big_endian(data, 2) << 4) + big_endian(data + 2, 2));
            break;
        case linear_base: walk.base = big_endian(data, 2) << 16; break;
        case linear_start: walk.load.start = static_cast<long long>(big_endian(data, 4)); break;
        default: break;
    }
    return {};
}

std::string intel_hex_text(std::span<const unsigned char> memory,
                           std::span<const cell_range> pieces, long long start) {
    std::string text;
    char record[1 + 2 * (4 + data_per_record + 1) + 1];
    for (const cell_range& r : pieces) {
        for (int at = r.first; at <= r.last; at += static_cast<int>(data_per_record)) {
            const int left = r.last - at + 1;
            const unsigned count = left < 16 ? static_cast<unsigned>(left) : 16u;
            char* end = format_record(count, static_cast<unsigned>(at), data_record,
                                      memory.data() + at, record);
            text.append(record, end);
        }
    }
    if (start >= 0) {
        const unsigned char eip[4] = {
            static_cast<unsigned char>(start >> 24), static_cast<unsigned char>(start >> 16),
            static_cast<unsigned char>(start >> 8), static_cast<unsigned char>(start)};
        text.append(record, format_record(4, 0, linear_start, eip, record));
    }
    text.append(record, format_record(0, 0, end_record, nullptr, record));
    return text;
}
