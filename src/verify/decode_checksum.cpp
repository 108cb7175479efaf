// Checksum records as the checksum loader reads them. It scans for ";" (a data
// record) or "$" (the go record) and passes over every other character. A
// record is hex text: count, address high and low, the data, and the 16-bit
// sum of count, address and data, high byte first. A count of 0 ends the
// record at once; at a sum that does not match, the low sum byte is read only
// when the high one matched. The loader takes any character where it wants a
// digit and makes a value of its low bits, so such a character is a fault
// even where the sum happens to match.
#include <string>
#include <utility>

#include "verify/decoders.h"
#include "verify/text.h"

namespace {

struct checksum_reader {
    file_bytes file;
    decoding& out;
    size_t at = 0;
    bool digit_faulted = false;  // one bad-digit fault per record

    // Reads two characters as the loader does; false at the end of the file.
    bool read_byte(int& value, int address) {
        if (file.size() - at < 2) {
            at = file.size();
            return false;
        }
        value = 0;
        for (int i = 0; i < 2; ++i, ++at) {
            unsigned char c = file[at];
            if (hex_digit_value(c) < 0 && !digit_faulted) {
                add_fault(out, static_cast<long>(at), address,
                          char_text(c) + " where a hex digit is needed");
                digit_faulted = true;
            }
            value = value << 4 | checksum_loader_digit(c);
        }
        return true;
    }

    // The two digits of a sum byte the loader did not read, for the fault text.
    std::string unread_byte(size_t where) {
        if (file.size() - where < 2) return "..";
        int value =
            checksum_loader_digit(file[where]) << 4 | checksum_loader_digit(file[where + 1]);
        return byte_text(static_cast<unsigned>(value)).substr(1);
    }

    void data_record() {
        long start = static_cast<long>(at);
        ++at;
        digit_faulted = false;
        int count = 0;
        int high = 0;
        int low = 0;
        if (!read_byte(count, -1)) return add_cut_short(out, start, -1, "record");
        if (count == 0) {
            add_fault(out, start, -1, "record with a count of 0, which the loader drops");
            return;
        }
        if (!read_byte(high, -1) || !read_byte(low, -1))
            return add_cut_short(out, start, -1, "record");
        int address = high << 8 | low;
        unsigned sum = static_cast<unsigned>(count + high + low);
        ++out.records;
        for (int i = 0; i < count; ++i) {
            int target = (address + i) & 0xFFFF;
            long offset = static_cast<long>(at);
            int value = 0;
            if (!read_byte(value, target)) return add_cut_short(out, start, address, "record");
            out.stores.push_back(
                {offset, target, static_cast<unsigned char>(value), store_kind::data});
            sum += static_cast<unsigned>(value);
        }
        sum &= 0xFFFF;
        int sum_high = 0;
        int sum_low = 0;
        if (!read_byte(sum_high, address)) return add_cut_short(out, start, address, "record");
        size_t low_at = at;
        bool good = sum_high == static_cast<int>(sum >> 8);
        if (good) {
            if (!read_byte(sum_low, address)) return add_cut_short(out, start, address, "record");
            good = sum_low == static_cast<int>(sum & 0xFF);
        }
        if (!good) {
            std::string low_text = sum_high == static_cast<int>(sum >> 8)
                                       ? byte_text(static_cast<unsigned>(sum_low)).substr(1)
                                       : unread_byte(low_at);
            add_fault(out, start, address,
                      "record sum " + byte_text(static_cast<unsigned>(sum_high)).substr(1) +
                          low_text + ", but its bytes sum to " +
                          address_text(static_cast<int>(sum)).substr(1));
        }
    }

    // Returns false when the go record is cut short.
    bool go_record() {
        long start = static_cast<long>(at);
        ++at;
        digit_faulted = false;
        int high = 0;
        int low = 0;
        if (!read_byte(high, -1) || !read_byte(low, -1)) {
            add_cut_short(out, start, -1, "go record");
            return false;
        }
        out.go = {go_kind::address, high << 8 | low, start};
        return true;
    }
};

}  // namespace

void decode_checksum_records(file_bytes file, size_t begin, decoding& out) {
    checksum_reader reader{file, out, begin};
    scan_records(reader);
}
