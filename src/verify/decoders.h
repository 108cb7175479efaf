// The decoders, one per way the target reads a file. Each appends what it
// finds to a decoding; none of them looks at memory already loaded (see
// memory_map.h for what the stores add up to).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "verify/text.h"
#include "verify/verify.h"

using file_bytes = std::span<const unsigned char>;

// What the 65V monitor did with one stretch of commands.
struct v65_pass {
    size_t end = 0;    // the offset after the go command, or the file's size
    go_info go;        // the go command, if the stretch ended with one
    int sections = 0;  // "/" commands that stored at least one byte
};

// Runs the 65V monitor from `begin` up to and including the first go command
// (".HHHHG"), or to the end of the file. Every data entry ("HH" and CR) stores
// a byte of the given kind and moves on to the next address.
v65_pass read_65v_commands(file_bytes file, size_t begin, store_kind kind, decoding& out);

// A whole 65V file: the commands, then nothing after the go command.
void decode_65v(file_bytes file, decoding& out);

// A whole 65A file: load commands ("L" and four digits), hex pairs, "R", and
// the start: "G" (four times) or the register-area sequence and "G".
void decode_65a(file_bytes file, decoding& out);

// Checksum records (";", hex text) and the "$" go record, as the checksum
// loader reads them from `begin`: any other character between records is
// passed over.
void decode_checksum_records(file_bytes file, size_t begin, decoding& out);

// QSave records (0x3B, binary) and the 0x24 go record, as the QSave loader
// reads them from `begin`.
void decode_qsave_records(file_bytes file, size_t begin, decoding& out);

// A hybrid file: the loader section in 65V form, matched against both
// loaders, then the data in the format of the loader it holds.
void decode_hybrid(file_bytes file, decoding& out);

// A BASIC stream as BASIC's LOAD reads it, its NULs checked for the baud rate.
void decode_basic(file_bytes file, int baud, decoding& out);

// The decoder of a given format (not unknown); a BASIC stream's NULs are
// checked for basic_baud.
void decode_file(file_bytes file, file_format format, int basic_baud, decoding& out);

// The loader a section of stores holds, compared byte for byte with both
// loaders relocated to `address`.
struct loader_match {
    loader_kind kind = loader_kind::checksum;  // the nearer of the two (checksum on a tie)
    long differences = 0;         // bytes that differ from it, missing and extra bytes included
    size_t first_difference = 0;  // index of the first differing byte
    unsigned char expected = 0;   // the loader's byte there, where it has one
};
loader_match match_loader(const std::vector<unsigned char>& bytes, int address);

// The stores from `first` on that run on from the address of the first one,
// as one block: a loader section as the monitor leaves it in memory.
struct store_block {
    int address = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> offsets;  // where each byte is in the file
};
store_block contiguous_stores(const std::vector<store>& stores, size_t first);

// How both loaders read what follows them: ";" (0x3B) starts a data record,
// "$" (0x24) the go record, after which nothing more is read; any other byte
// is passed over. The reader has `file`, `out`, `at`, data_record() and
// go_record(), which returns false when the record is cut short.
template <typename Reader>
void scan_records(Reader& reader) {
    while (reader.at < reader.file.size()) {
        unsigned char c = reader.file[reader.at];
        if (c == ';') {
            reader.data_record();
        } else if (c == '$') {
            if (reader.go_record() && reader.at < reader.file.size()) {
                add_fault(reader.out, static_cast<long>(reader.at), -1,
                          byte_count_text(static_cast<long>(reader.file.size() - reader.at)) +
                              " after the go record");
            }
            return;
        } else {
            ++reader.at;
        }
    }
}

// The format recognised from the start of a file, or unknown with the reason
// (the input is empty, fits no format, or fits more than one).
struct recognition {
    file_format format = file_format::unknown;
    std::string problem;
};
recognition recognise_format(file_bytes file);
