// Telling the format from the start of the file. A hybrid begins with a 65V
// section that is one of the two loaders relocated to its address, byte for
// byte; plain 65V begins with "." otherwise. Checksum and QSave data may have
// message text ahead of the first record: checksum when the first ";" is
// followed by hex digits (count and address), QSave when the first 0x3B
// starts a record whose count, address and sum hold together. 65A begins
// with "L". A "." or "L" that is only the first letter of message text ahead
// of checksum or QSave records gives way to the records.
#include <string>

#include "loaders/loader_image.h"
#include "verify/decoders.h"
#include "verify/text.h"

namespace {

// A 65V section this close to a loader could be a hybrid with a damaged
// loader as well as plain 65V.
constexpr long near_loader = 24;

bool hex_digits_at(file_bytes file, size_t at, size_t count) {
    if (file.size() < at + count) return false;
    for (size_t i = 0; i < count; ++i) {
        if (hex_digit_value(file[at + i]) < 0) return false;
    }
    return true;
}

bool starts_65v(file_bytes file) {
    return file[0] == '.' && hex_digits_at(file, 1, 4) && file.size() > 5 &&
           (file[5] == '/' || file[5] == 'G');
}

bool checksum_start(file_bytes file, size_t at) {
    if (file[at] == ';') return hex_digits_at(file, at + 1, 6);
    return hex_digits_at(file, at + 1, 4);
}

bool qsave_start(file_bytes file, size_t at) {
    size_t left = file.size() - at;
    if (file[at] == 0x24) return left == 3;
    if (left < 4 || file[at + 1] >= 57) return false;
    size_t count = file[at + 1] == 0 ? 256 : file[at + 1];
    if (left < 4 + count + 2) return false;
    unsigned sum = 0;
    for (size_t i = 1; i < 4 + count; ++i) sum += file[at + i];
    sum &= 0xFFFF;
    return file[at + 4 + count] == (sum >> 8) && file[at + 5 + count] == (sum & 0xFF);
}

const char* const letters = "give one of -v -a -c -q -i";

}  // namespace

recognition recognise_format(file_bytes file) {
    if (file.empty()) {
        return {file_format::unknown,
                std::string("the input is empty, so its format cannot be told; ") + letters};
    }
    if (starts_65v(file)) {
        decoding trial;
        v65_pass pass = read_65v_commands(file, 0, store_kind::loader, trial);
        store_block block = contiguous_stores(trial.stores, 0);
        loader_match match = match_loader(block.bytes, block.address);
        if (match.differences == 0 && block.bytes.size() == trial.stores.size()) {
            return {file_format::hybrid, {}};
        }
        if (match.differences <= near_loader) {
            return {file_format::unknown,
                    "the input reads as a hybrid whose loader differs from the " +
                        std::string(loader_name(match.kind)) + " loader in " +
                        byte_count_text(match.differences) + ", or as 65V" +
                        (pass.end < file.size() ? " with bytes after its go command" : "") +
                        "; give -i or -v"};
        }
        return {file_format::mon_65v, {}};
    }
    size_t first = 0;
    while (first < file.size() && file[first] != ';' && file[first] != '$') ++first;
    if (first < file.size()) {
        bool checksum = checksum_start(file, first);
        bool qsave = qsave_start(file, first);
        if (checksum && qsave) {
            return {file_format::unknown,
                    "the input reads both as checksum and as QSave records; give -c or -q"};
        }
        if (checksum) return {file_format::checksum, {}};
        if (qsave) return {file_format::qsave, {}};
    }
    if (file[0] == '.') return {file_format::mon_65v, {}};
    if (file[0] == 'L') return {file_format::mon_65a, {}};
    return {file_format::unknown,
            std::string("the format cannot be told from the start of the input; ") + letters};
}
