// Motorola S-records: "S" and the type digit, then as hex pairs the count of
// the bytes that follow, the address, the data and a checksum, the ones'
// complement of the sum of the count, address and data bytes. S0 is a header,
// S1, S2 and S3 data at 16-, 24- and 32-bit addresses, S5 and S6 the count
// of data records so far, S7, S8 and S9 the start address and the end.
#include "records/record_walk.h"

namespace {

// The bytes of each type's address field; 0 for the type that does not exist.
constexpr size_t address_sizes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

run_end s_record(record_walk& walk, std::span<const unsigned char> line) {
    const run_end not_record = line_refusal(walk, run_outcome::not_a_record);
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return not_record;
    const unsigned type = line[1] - '0';
    const size_t address_size = address_sizes[type];
    unsigned char bytes[most_record_bytes];
    size_t n = 0;
    if (address_size == 0 || !read_hex_pairs(line.subspan(2), bytes, sizeof bytes, n) ||
        n < address_size + 2 || bytes[0] != n - 1) {
        return not_record;
    }
    const unsigned char* data = bytes + 1 + address_size;
    const size_t data_size = n - 2 - address_size;
    // Only the header and data records carry data.
    if (type >= 5 && data_size != 0) return not_record;
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0xFF) return line_refusal(walk, run_outcome::record_checksum);

    const unsigned long long address = big_endian(bytes + 1, address_size);
    switch (type) {
        case 1:
        case 2:
        case 3: ++walk.data_records; return store_data(walk, address, data, data_size);
        case 5:
        case 6:
            if (address != walk.data_records) return line_refusal(walk, run_outcome::record_count);
            break;
        case 7:
        case 8:
        case 9:
            walk.load.start = static_cast<long long>(address);
            walk.ended = true;
            break;
        default: break;  // S0: the header says nothing about the data
    }
    return {};
}
