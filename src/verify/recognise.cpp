// Telling the format from the start of the file. A hybrid begins with a 65V
// section that is one of the two loaders relocated to its address, byte for
// byte; plain 65V begins with "." otherwise. Checksum and QSave data may have
// message text ahead of the first record: checksum when the first ";" is
// followed by hex digits (count and address), QSave when the first 0x3B
// starts a record whose count, address and sum hold together. 65A begins
// with "L". A "." or "L" that is only the first letter of message text ahead
// of checksum or QSave records gives way to the records.
//
// A BASIC stream comes next, before the records: its first line (NULs and
// leading blanks dropped) begins with a digit, and no line begins with ";",
// "." or "$" (records and commands), nor does its first ";" start a data
// record that the checksum or QSave loader takes whole (a message ahead of
// records may begin with a digit and lack a line end).
//
// A 65A load ("L" and four upper-case hex digits, after any blanks and line
// ends) may carry a stray ";" or "$" as well, and message text may begin
// like one. There the records win only where the file holds a data record
// that the loader takes whole: a checksum record whose count, digits and sum
// are right, or a valid QSave record. A go record proves nothing there: "$"
// and a few characters may as well be a stray "$" in 65A text.
#include <cstring>
#include <string>

#include "basic/listing.h"
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

int hex_byte_at(file_bytes file, size_t at) {
    return hex_digit_value(file[at]) << 4 | hex_digit_value(file[at + 1]);
}

size_t after_blanks(file_bytes file) {
    size_t at = 0;
    while (at < file.size() &&
           (file[at] == 0 || file[at] == '\r' || file[at] == '\n' || file[at] == ' ')) {
        ++at;
    }
    return at;
}

bool starts_65a(file_bytes file) {
    size_t at = after_blanks(file);
    if (file.size() < at + 5 || file[at] != 'L') return false;
    for (size_t i = 1; i <= 4; ++i) {
        if (monitor_digit_value(file[at + i]) < 0) return false;
    }
    return true;
}

// A checksum data record at `at` (its ";") that the loader takes without a fault.
bool checksum_record_holds(file_bytes file, size_t at) {
    if (file[at] != ';' || !hex_digits_at(file, at + 1, 2)) return false;
    size_t count = static_cast<size_t>(hex_byte_at(file, at + 1));
    if (count == 0 || !hex_digits_at(file, at + 1, 2 * (count + 5))) return false;
    unsigned sum = 0;
    for (size_t i = 0; i < count + 3; ++i) {
        sum += static_cast<unsigned>(hex_byte_at(file, at + 1 + 2 * i));
    }
    unsigned given = static_cast<unsigned>(hex_byte_at(file, at + 1 + 2 * (count + 3)) << 8 |
                                           hex_byte_at(file, at + 3 + 2 * (count + 3)));
    return (sum & 0xFFFF) == given;
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

// A QSave data record at `at` (its 0x3B) that the loader takes whole.
bool qsave_record_holds(file_bytes file, size_t at) {
    return file[at] == 0x3B && qsave_start(file, at);
}

// Whether any ";" from `first` on starts a data record that passes `holds`.
template <typename Test>
bool holds_a_record(file_bytes file, size_t first, Test holds) {
    for (size_t at = first; at < file.size(); ++at) {
        if (file[at] == ';' && holds(file, at)) return true;
    }
    return false;
}

bool starts_basic(file_bytes file) {
    size_t at = 0;
    while (at < file.size() && (file[at] == 0 || std::strchr(" \t\r\n", file[at]) != nullptr)) {
        ++at;
    }
    if (at == file.size() || file[at] < '0' || file[at] > '9') return false;
    const std::vector<listing_line> lines = split_listing(file);
    if (lines.empty() || line_number(lines.front().text) < 0) return false;
    for (const listing_line& line : lines) {
        if (line.text[0] == ';' || line.text[0] == '.' || line.text[0] == '$') return false;
    }
    // Only the first ";" can start the records after a message: a listing
    // has many, in PRINT statements, and the more there are, the likelier
    // one of them happens to add up like a QSave record.
    size_t first = 0;
    while (first < file.size() && file[first] != ';') ++first;
    return first == file.size() ||
           (!checksum_record_holds(file, first) && !qsave_record_holds(file, first));
}

const char* const letters = "give one of -v -a -c -q -i -b";

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
    if (starts_basic(file)) return {file_format::basic, {}};
    size_t first = 0;
    while (first < file.size() && file[first] != ';' && file[first] != '$') ++first;
    const bool load_65a = starts_65a(file);
    if (first < file.size()) {
        bool checksum = load_65a ? holds_a_record(file, first, checksum_record_holds)
                                 : checksum_start(file, first);
        bool qsave =
            load_65a ? holds_a_record(file, first, qsave_record_holds) : qsave_start(file, first);
        if (checksum && qsave) {
            return {file_format::unknown,
                    "the input reads both as checksum and as QSave records; give -c or -q"};
        }
        if (checksum) return {file_format::checksum, {}};
        if (qsave) return {file_format::qsave, {}};
    }
    if (load_65a) return {file_format::mon_65a, {}};
    if (file[0] == '.') return {file_format::mon_65v, {}};
    size_t start = after_blanks(file);
    if (start < file.size() && file[start] == 'L') return {file_format::mon_65a, {}};
    return {file_format::unknown,
            std::string("the format cannot be told from the start of the input; ") + letters};
}
