// read_records against a plain reading of the records it accepts, for any
// bytes as either record type, and read_prg_header over the same bytes.
//
// Fuzz data: the first byte chooses the type (bit 0 clear: Intel HEX, set:
// S-records) and the conversion of what is accepted: bits 1-3 the format
// (-v, -a, -a -t, -a -t0, -c, -q, -i -c, -i -q), bit 4 -g at the start the
// records give (or $0000), bit 5 the hybrid's loader at $2000 (-i2000); the
// rest is the input.
//
// Checked: whatever the reader accepts, every data byte of its records sits
// at its record's address, nothing else is loaded, the pieces are in address
// order and maximal, and the start address is the last one given; what it
// refuses names a line of the input (none for "no data") and, for data
// loaded twice, an address loaded by an earlier record. And korvane's load
// file of what it accepts, read back by korvane-verify's decoder, loads the
// same bytes at the same addresses and nothing else (the hybrid's loader
// aside; a single piece from below $0200 moved to $1F00 where the loader's
// place is derived, as for a raw image), and starts at -g's address.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "check.h"
#include "formats/primitives.h"
#include "in_memory.h"
#include "loaders/loader_image.h"
#include "records/records.h"
#include "verify/decoders.h"
#include "verify/memory_map.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("records_fuzz", what);
}

// The bytes of the hex digit pairs in text.
std::vector<unsigned> pairs(std::string_view text) {
    std::vector<unsigned> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(
            static_cast<unsigned>(hex_digit_value(static_cast<unsigned char>(text[i])) * 16 +
                                  hex_digit_value(static_cast<unsigned char>(text[i + 1]))));
    }
    return bytes;
}

unsigned long long number(const std::vector<unsigned>& bytes, size_t from, size_t n) {
    unsigned long long value = 0;
    for (size_t i = from; i < from + n; ++i) value = value << 8 | bytes[i];
    return value;
}

// What accepted records say, read without checking them.
struct reference {
    std::vector<int> memory = std::vector<int>(0x10000, -1);  // -1: not loaded
    long long start = -1;
    long lines = 0;
};

void put(reference& ref, unsigned long long address, const std::vector<unsigned>& bytes,
         size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        expect(address + (i - from) <= 0xFFFF, "data above $FFFF was accepted");
        expect(ref.memory[address + (i - from)] < 0, "an address was accepted twice");
        ref.memory[address + (i - from)] = static_cast<int>(bytes[i]);
    }
}

reference read_plainly(std::string_view text, bool hex) {
    reference ref;
    unsigned long long base = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++ref.lines;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        if (hex) {
            const std::vector<unsigned> b = pairs(line.substr(1));
            const size_t n = b[0];
            switch (b[3]) {
                case 0: put(ref, base + number(b, 1, 2), b, 4, 4 + n); break;
                case 2: base = number(b, 4, 2) * 16; break;
                case 3:
                    ref.start = static_cast<long long>(number(b, 4, 2) * 16 + number(b, 6, 2));
                    break;
                case 4: base = number(b, 4, 2) << 16; break;
                case 5: ref.start = static_cast<long long>(number(b, 4, 4)); break;
                default: break;
            }
        } else {
            const std::vector<unsigned> b = pairs(line.substr(2));
            const int type = line[1] - '0';
            const size_t address_size = type == 2 || type == 8 ? 3 : type == 3 || type == 7 ? 4 : 2;
            const unsigned long long address = number(b, 1, address_size);
            if (type >= 1 && type <= 3) put(ref, address, b, 1 + address_size, b.size() - 1);
            if (type >= 7) ref.start = static_cast<long long>(address);
        }
    }
    return ref;
}

struct conversion_choice {
    std::vector<std::string> options;
    file_format read_as;
};

const conversion_choice conversions[] = {
    {{"-v"}, file_format::mon_65v},       {{"-a"}, file_format::mon_65a},
    {{"-a", "-t"}, file_format::mon_65a}, {{"-a", "-t0"}, file_format::mon_65a},
    {{"-c"}, file_format::checksum},      {{"-q"}, file_format::qsave},
    {{"-i", "-c"}, file_format::hybrid},  {{"-i", "-q"}, file_format::hybrid},
};

// korvane's load file of the records, read back as the target reads it.
void check_conversion(const record_load& load, uint8_t choice, bool hex) {
    const conversion_choice& c = conversions[choice >> 1 & 7];
    std::vector<std::string> arguments = c.options;
    arguments.push_back(hex ? "-rhex" : "-rsrec");
    const bool hybrid = c.read_as == file_format::hybrid;
    const bool placed = hybrid && (choice & 0x20) != 0;
    if (placed) arguments.push_back("-i2000");
    int go = -1;
    if ((choice & 0x10) != 0) {
        go = static_cast<int>(std::max(load.start, 0LL) & 0xFFFF);
        arguments.push_back("-g" + address_text(go).substr(1));
    }
    run_settings settings;
    expect(
        korvane_settings(arguments, settings) && check_settings(settings) == run_outcome::converted,
        "korvane refuses the options of the conversion");
    run_outcome outcome = run_outcome::usage;
    const std::string file = convert_records(settings, load, outcome);
    expect(outcome == run_outcome::converted, "korvane does not convert the records read");

    decoding decoded;
    decode_file({reinterpret_cast<const unsigned char*>(file.data()), file.size()}, c.read_as, 300,
                decoded);
    const memory_map map = map_memory(decoded);
    // Where each loaded byte is due: at its address, unless the data moves.
    const int first = load.pieces.front().first;
    const bool moved = hybrid && !placed && load.pieces.size() == 1 && first < 0x200;
    const int shift = moved ? moved_load_address - first : 0;
    std::vector<bool> due(0x10000, false);
    for (const cell_range& r : load.pieces) {
        for (int a = r.first; a <= r.last; ++a) {
            const auto at = static_cast<size_t>((a + shift) & 0xFFFF);
            due[at] = true;
            expect(map.bytes[at] == load.memory[static_cast<size_t>(a)],
                   "korvane's load file stores another byte");
        }
    }
    expect(map.loaded == due, "korvane's load file loads other addresses");

    // The start: -g's address, which 65A sets in the register save area
    // (unless the data fills it, and the monitor restarts from that alone).
    const go_info& started = decoded.go;
    if (go < 0) {
        expect(started.kind == go_kind::none, "korvane's load file starts without -g");
    } else if (c.read_as == file_format::mon_65a) {
        expect(started.kind == go_kind::register_area &&
                   (!started.start_sequence || started.address == go),
               "korvane's 65A file does not start at -g's address");
    } else {
        expect(started.kind == go_kind::address && started.address == go,
               "korvane's load file does not start at -g's address");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool hex = data[0] % 2 == 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    record_load load;
    const run_end end = read_records({data + 1, size - 1}, hex ? input_hex : input_srec, load);
    if (end.outcome != run_outcome::converted) {
        const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (end.outcome == run_outcome::no_data) {
            expect(end.line == 0, "no data named a line");
        } else {
            expect(end.line >= 1 && end.line <= lines, "a refusal named no line of the input");
        }
        expect((end.outcome == run_outcome::loaded_twice) ==
                   (end.address >= 0 && end.address <= 0xFFFF),
               "only data loaded twice names an address");
    } else {
        const reference ref = read_plainly(text, hex);
        expect(load.start == ref.start, "the start address is not the last one given");
        std::vector<bool> in_piece(0x10000, false);
        int after_last = -2;
        for (const cell_range& r : load.pieces) {
            expect(r.first <= r.last && r.first > after_last + 1,
                   "the pieces are out of order, empty or adjacent");
            for (int a = r.first; a <= r.last; ++a) in_piece[static_cast<size_t>(a)] = true;
            after_last = r.last;
        }
        for (size_t a = 0; a < 0x10000; ++a) {
            expect(in_piece[a] == (ref.memory[a] >= 0), "the pieces are not the data loaded");
            expect(load.memory[a] == (in_piece[a] ? ref.memory[a] : 0),
                   "a byte is not the one its record gives");
        }
        check_conversion(load, data[0], hex);
    }

    // A PRG file: its first two bytes are the load address, the rest the image.
    memory_span span{data + 1, size - 1};
    in_stream in;
    open_input(in, span_source(span));
    int load_address = -1;
    const run_outcome prg = read_prg_header(in, load_address);
    if (size - 1 < 2) {
        expect(prg == run_outcome::prg_too_short, "a short PRG file was not refused");
    } else {
        expect(prg == run_outcome::converted && load_address == (data[1] | data[2] << 8) &&
                   in.count == 0 && span.position == 2,
               "a PRG file's load address is not its first two bytes");
    }
    return 0;
}
