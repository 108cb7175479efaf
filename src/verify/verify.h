// korvane-verify reads a load file back the way the target reads it: the 65V
// and 65A monitors, the checksum and QSave loaders, and BASIC's LOAD. A decoder turns the
// file into the bytes it stores (with the file offset each came from), the
// records it holds, where it starts the target and the faults it meets.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "basic/listing.h"

// What the file is.
enum class file_format {
    unknown,   // not given and not yet recognised
    mon_65v,   // 65V ROM monitor commands
    mon_65a,   // 65A serial monitor commands
    checksum,  // checksum records in hex text
    qsave,     // QSave binary records
    hybrid,    // a loader in 65V form, then data in that loader's format
    basic,     // a BASIC listing, paced with NULs for BASIC's LOAD
};

enum class loader_kind { none, checksum, qsave };

// One problem, at a byte offset in the file; address is -1 where none
// applies, and so is line, a BASIC stream's line number.
struct fault {
    long offset;
    int address;
    std::string text;
    long line = -1;
};

// Who put a byte into the target's memory.
enum class store_kind : unsigned char {
    data,           // the program: part of the image
    loader,         // the hybrid's loader section
    register_area,  // the 65A start sequence into $0129-$012F
};

// One byte stored on the target, in the order the target stores it.
struct store {
    long offset;  // where in the file the byte (its first hex digit) is
    int address;  // 0 to $FFFF
    unsigned char value;
    store_kind kind;
};

enum class go_kind {
    none,           // the file starts nothing
    address,        // a go command or go record names the address
    register_area,  // 65A "G": the start comes from the register save area
};

struct go_info {
    go_kind kind = go_kind::none;
    int address = -1;             // for register_area: the address held at $012E-$012F, or -1
    long offset = -1;             // where the go command or record starts
    bool start_sequence = false;  // register_area: the file's start sequence set the address
};

// The loader section of a hybrid file.
struct loader_section {
    loader_kind kind = loader_kind::none;  // the loader it is (or comes nearest to)
    int address = -1;                      // its first byte on the target
    int entry = -1;                        // where it must be started
    long offset = -1;                      // where the section starts in the file
};

// A line of the program BASIC holds after the load.
struct basic_line {
    long number;
    std::string text;  // what follows the number, as BASIC keeps it
};

// What BASIC's LOAD made of a BASIC stream.
struct basic_load {
    std::vector<basic_line> program;  // in number order
    basic_end end = basic_end::none;
    int baud = 300;  // the rate its NULs were checked for
};

// Everything a decoder found.
struct decoding {
    file_format format = file_format::unknown;
    loader_section loader;  // hybrid only
    std::vector<store> stores;
    std::vector<fault> faults;
    int records = 0;  // data records; for the monitors, load commands that stored data
    go_info go;
    basic_load basic;  // a BASIC stream only
};

// The 65A monitor's register save area and the part that holds the start address.
inline constexpr int register_area_first = 0x0129;
inline constexpr int register_area_last = 0x012F;
inline constexpr int register_go_high = 0x012E;
inline constexpr int register_go_low = 0x012F;
