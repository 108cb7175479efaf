// QSave records as the QSave loader reads them. It scans for 0x3B (a data
// record) or 0x24 (the go record) and passes over every other byte. A record
// is binary: count, address high and low, the data, and the 16-bit sum of
// count, address and data, high byte first. A count of 57 or more drops the
// record, and the loader scans on from the byte after the count; a count of
// 0 stands for 256 bytes. The low sum byte is read only when the high one
// matched.
#include <string>

#include "verify/decoders.h"
#include "verify/text.h"

namespace {

constexpr int qsave_count_limit = 57;  // counts from here on are dropped

struct qsave_reader {
    file_bytes file;
    decoding& out;
    size_t at = 0;

    bool read_byte(int& value) {
        if (at >= file.size()) return false;
        value = file[at++];
        return true;
    }

    void data_record() {
        long start = static_cast<long>(at);
        ++at;
        int count = 0;
        int high = 0;
        int low = 0;
        if (!read_byte(count)) return add_cut_short(out, start, -1, "record");
        if (count >= qsave_count_limit) {
            add_fault(out, start, -1,
                      "record with a count of " + std::to_string(count) +
                          ", which the loader drops (56 at most)");
            return;
        }
        if (!read_byte(high) || !read_byte(low)) return add_cut_short(out, start, -1, "record");
        int address = high << 8 | low;
        int length = count == 0 ? 256 : count;
        unsigned sum = static_cast<unsigned>(count + high + low);
        ++out.records;
        for (int i = 0; i < length; ++i) {
            long offset = static_cast<long>(at);
            int value = 0;
            if (!read_byte(value)) return add_cut_short(out, start, address, "record");
            out.stores.push_back({offset, (address + i) & 0xFFFF, static_cast<unsigned char>(value),
                                  store_kind::data});
            sum += static_cast<unsigned>(value);
        }
        sum &= 0xFFFF;
        int sum_high = 0;
        int sum_low = 0;
        if (!read_byte(sum_high)) return add_cut_short(out, start, address, "record");
        size_t low_at = at;
        bool good = sum_high == static_cast<int>(sum >> 8);
        if (good) {
            if (!read_byte(sum_low)) return add_cut_short(out, start, address, "record");
            good = sum_low == static_cast<int>(sum & 0xFF);
        } else if (low_at < file.size()) {
            sum_low = file[low_at];  // for the text only: the loader does not read it
        }
        if (!good) {
            add_fault(out, start, address,
                      "record sum " + address_text(sum_high << 8 | sum_low).substr(1) +
                          ", but its bytes sum to " +
                          address_text(static_cast<int>(sum)).substr(1));
        }
    }

    bool go_record() {
        long start = static_cast<long>(at);
        ++at;
        int high = 0;
        int low = 0;
        if (!read_byte(high) || !read_byte(low)) {
            add_cut_short(out, start, -1, "go record");
            return false;
        }
        out.go = {go_kind::address, high << 8 | low, start};
        return true;
    }
};

}  // namespace

void decode_qsave_records(file_bytes file, size_t begin, decoding& out) {
    qsave_reader reader{file, out, begin};
    scan_records(reader);
}
