// Drives a whole conversion in memory: the command line and the input image
// come from the fuzz data, the output goes into a sink of limited size.
//
// Layout of the fuzz data: everything before the first NUL byte is the
// command line, one argument per line. A line that starts with '@' is no
// argument but sets a condition of the run:
//   @l<n>  the output takes n bytes, then every write fails
//   @w<n>  a write takes at most n bytes at once
//   @b<n>  the output stream buffers n bytes (at most 128 KiB)
//   @r<n>  a read hands out at most n bytes at once
//   @e<n>  the read at input position n fails
//   @c     closing the output fails
// Everything after the first NUL byte is the input image (with -rprg, its
// first two bytes are the load address; with -rhex and -rsrec it is record
// text, whose pieces are converted from memory under the output's conditions).
//
// Checked beyond what the sanitizers catch:
// - a clean run (perfect input and output) is read back as the target reads
//   it: the loader section relocated to its place, the message, every byte of
//   every piece at its address with the right count and sum, and the start;
// - under the conditions, the output is exactly the clean one, or its first n
//   bytes when the output fails after n; after a failed read it holds the
//   bytes read before it, and nothing after them;
// - the outcome is the one the conditions call for, each stream is closed
//   exactly once, nothing is written after a failed write and nothing read
//   after the end or a failed read.
// A BASIC listing (-b) is read whole before anything is written: a clean run
// gives the listing's lines, leading blanks and blank lines gone, each ended
// by CR, then the POKE line, with NULs only after a CR, or in threes inside
// lines at 1200 baud, or exactly -p's after every line; a failed read or a
// listing with a NUL writes nothing.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "cli/driver.h"
#include "cli/parse.h"
#include "cli/run_settings.h"
#include "formats/streams.h"
#include "loaders/loader_image.h"
#include "records/records.h"
#include "support/memory_streams.h"

namespace {

constexpr size_t none = std::numeric_limits<size_t>::max();
constexpr size_t max_arguments = 32;
constexpr size_t max_buffer = 128 * 1024;

struct fuzz_case {
    std::vector<std::string> arguments;
    std::string image;
    size_t limit = none;
    size_t write_chunk = none;
    size_t buffer = default_output_buffer;
    size_t read_chunk = none;
    size_t fail_at = none;
    bool close_fails = false;
};

void expect(bool condition, const char* what) {
    if (!condition) check_failed("program_fuzz", what);
}

size_t decimal(std::string_view digits) {
    size_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9' || value > 100'000'000) break;
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    return value;
}

fuzz_case split(const uint8_t* data, size_t size) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    size_t nul = all.find('\0');
    std::string_view line_part = all.substr(0, nul);
    fuzz_case fc;
    if (nul != std::string_view::npos) fc.image = std::string(all.substr(nul + 1));

    while (!line_part.empty()) {
        size_t end = line_part.find('\n');
        std::string_view line = line_part.substr(0, end);
        line_part = end == std::string_view::npos ? std::string_view{} : line_part.substr(end + 1);
        if (!line.empty() && line[0] == '@') {
            std::string_view value = line.substr(line.size() > 1 ? 2 : 1);
            switch (line.size() > 1 ? line[1] : '\0') {
                case 'l': fc.limit = decimal(value); break;
                case 'w': fc.write_chunk = decimal(value); break;
                case 'b': fc.buffer = std::min(decimal(value), max_buffer); break;
                case 'r': fc.read_chunk = decimal(value); break;
                case 'e': fc.fail_at = decimal(value); break;
                case 'c': fc.close_fails = true; break;
                default: break;
            }
        } else if (fc.arguments.size() < max_arguments) {
            fc.arguments.emplace_back(line);
        }
    }
    // A source that hands out nothing would only look like the end of the
    // input, and a sink that takes nothing like one that is full.
    fc.read_chunk = std::max<size_t>(fc.read_chunk, 1);
    fc.write_chunk = std::max<size_t>(fc.write_chunk, 1);
    return fc;
}

// ---- Reading a load file back ----

// Walks a load file; anything other than what is due there fails the check,
// which names the part being read.
struct reader {
    std::string_view file;
    const char* part = "";
    size_t at = 0;

    void literal(std::string_view text) {
        expect(file.substr(at, text.size()) == text, part);
        at += text.size();
    }
    int raw() {
        expect(at < file.size(), part);
        return static_cast<unsigned char>(file[at++]);
    }
    int hex() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            int c = raw();
            expect((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), part);
            value = value << 4 | (c <= '9' ? c - '0' : c - 'A' + 10);
        }
        return value;
    }
    // A byte as two hex digits, or raw.
    int byte(bool text) { return text ? hex() : raw(); }
    // High byte first.
    int word(bool text) {
        int high = byte(text);
        return high << 8 | byte(text);
    }
    // A number that must have the given value.
    void expect_hex_word(int value) { expect(word(true) == (value & 0xFFFF), part); }
};

bool hybrid_applies(const run_settings& s) {
    return s.hybrid == 1 && (s.action == action_checksum || s.action == action_qsave);
}

// The address the data goes to: where -l put it, unless the loader's place is
// derived and the data starts below $0200, where the loader would not fit.
int data_address(const run_settings& s) {
    if (hybrid_applies(s) && s.loader_address <= 0 && s.load_address < 0x200) {
        return moved_load_address;
    }
    return s.load_address;
}

// The loader section: the loader of the action at its place in 65V form, its
// address words (and only they) moved by that place, started at its entry;
// a derived place clear of the data's first address.
void read_loader(reader& r, const run_settings& s, int data) {
    const loader_image& loader = s.action == action_qsave ? qsave_loader : checksum_loader;
    r.part = "the loader section";
    r.literal(".");
    const int place = r.word(true);
    r.literal("/");
    std::array<int, loader_image_size> bytes{};
    for (int& b : bytes) {
        b = r.hex();
        r.literal("\r");
    }
    r.part = "the loader's go command";
    r.literal(".");
    r.expect_hex_word(place + static_cast<int>(loader.entry_offset));
    r.literal("G");

    std::array<bool, loader_image_size> moved{};
    for (size_t i = 0; i < loader.reloc_count; ++i) {
        size_t at = loader.relocs[i];
        int word = bytes[at] | bytes[at + 1] << 8;
        int linked = loader.bytes[at] | loader.bytes[at + 1] << 8;
        expect(word == ((linked + place) & 0xFFFF), "an address word of the loader is not moved");
        moved[at] = moved[at + 1] = true;
    }
    for (size_t i = 0; i < loader_image_size; ++i) {
        expect(moved[i] || bytes[i] == loader.bytes[i], "a byte of the loader was changed");
    }

    if (s.loader_address > 0) {
        expect(place == s.loader_address, "the loader is not where -i put it");
    } else {
        const int end = place + static_cast<int>(loader_image_size);
        expect(place > system_area_end && end <= 0x10000, "a derived loader hits the system area");
        expect(end <= data || place > data, "a derived loader covers the start of the data");
    }
}

// One piece of the data: its target address and its bytes.
struct data_piece {
    int address;
    std::string_view bytes;
};

// Reads the file back as the target would and checks that it holds each
// piece at its address and, where `whole`, the start the settings ask for;
// without `whole` (a read failed) the file must end with the data. Returns
// where the data ends.
size_t check_load_file(std::string_view file, const run_settings& s,
                       const std::vector<data_piece>& pieces, bool whole) {
    reader r{file};
    const int go = s.go_address;
    size_t data_end = 0;
    switch (s.action) {
        case action_65v:
            for (const data_piece& p : pieces) {
                r.part = "the 65V data";
                r.literal(".");
                r.expect_hex_word(p.address);
                r.literal("/");
                for (char b : p.bytes) {
                    expect(r.hex() == static_cast<unsigned char>(b), r.part);
                    r.literal("\r");
                }
            }
            data_end = r.at;
            if (!whole || go < 0) break;
            r.part = "the 65V go command";
            r.literal(".");
            r.expect_hex_word(go);
            r.literal("G");
            break;
        case action_65a: {
            const std::string_view eol = s.eol_mode == -1 ? "" : s.eol_mode == 0 ? "\r" : "\r\n";
            bool restart_alone = false;
            for (const data_piece& p : pieces) {
                r.part = "the 65A data";
                if (&p != &pieces.front()) r.literal("R");
                r.literal("L");
                r.expect_hex_word(p.address);
                r.literal(eol);
                for (size_t i = 0; i < p.bytes.size(); ++i) {
                    expect(r.hex() == static_cast<unsigned char>(p.bytes[i]), r.part);
                    r.literal(i % 8 == 7 ? eol : s.eol_mode == -1 ? "" : " ");
                }
                // Data from $012E or below that covers some of the register
                // save area ($0129-$012F) is where the monitor restarts from.
                restart_alone =
                    restart_alone || (p.address <= 0x012E && !p.bytes.empty() &&
                                      p.address + static_cast<int>(p.bytes.size()) - 1 >= 0x0129);
            }
            data_end = r.at;
            if (!whole) break;
            r.part = "the 65A end of load and start";
            r.literal("R");
            if (go < 0) break;
            if (restart_alone) {
                r.literal("GGGG");
                break;
            }
            r.literal("LLLLL0129");
            r.literal(eol);
            r.literal("00000004FD");
            r.expect_hex_word(go);
            r.literal(std::string_view("R\0\0\0G", 5));
            break;
        }
        case action_checksum:
        case action_qsave: {
            const bool text = s.action == action_checksum;
            const size_t record_size = text ? 24 : 56;
            if (hybrid_applies(s)) read_loader(r, s, pieces.front().address);
            r.part = "the message ahead of the records";
            r.literal(s.message_text);
            r.part = text ? "a checksum record" : "a QSave record";
            for (const data_piece& p : pieces) {
                for (size_t at = 0; at < p.bytes.size(); at += record_size) {
                    const size_t n = std::min(record_size, p.bytes.size() - at);
                    r.literal(";");
                    const int count = r.byte(text);
                    const int address = r.word(text);
                    expect(count == static_cast<int>(n),
                           "a record holds the wrong number of bytes");
                    expect(address == ((p.address + static_cast<int>(at)) & 0xFFFF),
                           "a record is not at its address");
                    int sum = count + (address >> 8) + (address & 0xFF);
                    for (size_t i = at; i < at + n; ++i) {
                        int b = r.byte(text);
                        expect(b == static_cast<unsigned char>(p.bytes[i]),
                               "a record holds another byte");
                        sum += b;
                    }
                    expect(r.word(text) == sum, "a record's sum is wrong");
                    if (!text) continue;
                    r.literal("\r");
                    r.literal(std::string(static_cast<size_t>(std::max(s.pad_count, 0)), '\0'));
                    r.literal("\n");
                }
            }
            data_end = r.at;
            if (!whole || go < 0) break;
            r.part = "the go record";
            r.literal("$");
            expect(r.word(text) == go, r.part);
            break;
        }
        default: expect(false, "an action without a format"); break;
    }
    expect(r.at == file.size(), "something follows the end of the load file");
    return data_end;
}

// ---- Running a conversion ----

struct conversion {
    run_outcome outcome = run_outcome::usage;
    memory_sink sink;
    memory_source source;
};

// Converts with a copy of the settings (the hybrid step settles places in it).
void convert_in_memory(const run_settings& parsed, conversion& c,
                       size_t buffer = default_output_buffer) {
    run_settings settings = parsed;
    in_stream in;
    out_stream out;
    open_input(in, c.source.source());
    open_output(out, c.sink.sink(), buffer);
    c.outcome = convert(settings, in, out);

    expect(c.sink.closes == 1, "the output was not closed exactly once");
    expect(c.source.closes == 1, "the input was not closed exactly once");
    expect(c.sink.writes_after_failure == 0, "a write reached the output after a failed one");
    expect(c.source.reads_after_end == 0, "the input was read after its end or a failed read");
}

// The output of a run with a perfect input and output, checked by reading it back.
std::string clean_output(const run_settings& parsed, std::string_view image, size_t& data_end) {
    conversion clean;
    clean.source = memory_source(std::string(image));
    convert_in_memory(parsed, clean);
    expect(clean.outcome == run_outcome::converted, "a clean run did not end as converted");
    data_end = check_load_file(clean.sink.bytes, parsed, {{data_address(parsed), image}}, true);
    return std::move(clean.sink.bytes);
}

// Records: the pieces they load, converted from memory, read back piece by
// piece; the output's conditions as for a raw image (the input, read whole
// before, has none).
void check_records(const run_settings& parsed, const fuzz_case& fc) {
    record_load load;
    const auto* text = reinterpret_cast<const unsigned char*>(fc.image.data());
    if (read_records({text, fc.image.size()}, parsed.input_type, load).outcome !=
        run_outcome::converted) {
        return;
    }
    run_settings start = parsed;
    start.load_address = load.pieces.front().first;
    std::vector<data_piece> pieces;
    for (const cell_range& r : load.pieces) {
        const auto* first = reinterpret_cast<const char*>(load.memory.data()) + r.first;
        pieces.push_back(
            {r.first, std::string_view(first, static_cast<size_t>(r.last - r.first + 1))});
    }
    // A single piece goes where a raw image at its address goes.
    if (pieces.size() == 1) pieces[0].address = data_address(start);

    auto convert_pieces = [&](conversion& c, size_t buffer) {
        run_settings settings = start;
        record_pieces opened;
        open_record_pieces(load, opened);
        out_stream out;
        open_output(out, c.sink.sink(), buffer);
        c.outcome = convert(settings, opened.pieces, out);
        expect(c.sink.closes == 1, "the output was not closed exactly once");
        expect(c.sink.writes_after_failure == 0, "a write reached the output after a failed one");
        for (const in_stream& in : opened.streams) {
            expect(in.closed, "a piece's input was not closed");
        }
    };
    conversion clean;
    convert_pieces(clean, default_output_buffer);
    expect(clean.outcome == run_outcome::converted, "a clean run did not end as converted");
    check_load_file(clean.sink.bytes, start, pieces, true);

    conversion varied;
    varied.sink.limit = fc.limit;
    varied.sink.max_chunk = fc.write_chunk;
    varied.sink.close_fails = fc.close_fails;
    convert_pieces(varied, fc.buffer);
    const bool write_fails = fc.limit < clean.sink.bytes.size();
    expect(varied.sink.bytes == clean.sink.bytes.substr(0, fc.limit),
           "the output is not what the clean run and the conditions give");
    expect(varied.outcome ==
               (write_fails || fc.close_fails ? run_outcome::write_output : run_outcome::converted),
           "the outcome is not the one the conditions call for");
}

// Converts the image with the case's reads, writes, buffer and close.
void convert_under_conditions(const run_settings& parsed, const fuzz_case& fc, conversion& c) {
    c.source = memory_source(fc.image, fc.read_chunk);
    c.source.fail_at = fc.fail_at;
    c.sink.limit = fc.limit;
    c.sink.max_chunk = fc.write_chunk;
    c.sink.close_fails = fc.close_fails;
    convert_in_memory(parsed, c, fc.buffer);
}

// ---- A BASIC listing ----

// What a BASIC stream holds once its NULs are dropped, read from the listing
// independently of korvane's reader.
std::string basic_text(std::string_view listing, const run_settings& s) {
    std::string text;
    size_t at = 0;
    while (at < listing.size()) {
        size_t end = listing.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = listing.size();
        std::string_view line = listing.substr(at, end - at);
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (!line.empty()) text += std::string(line) + "\r";
        at = end + (listing.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (!text.empty()) text += s.go_address >= 0 ? "POKE 515,0:RUN\r" : "POKE 515,0\r";
    return text;
}

// Where the NULs of a clean BASIC stream are: runs after a CR (none after the
// last), of exactly -p's count where -p is given; inside a line only at 1200
// baud without -p, three after every 8th character.
void check_basic_nuls(std::string_view stream, const run_settings& s) {
    size_t in_line = 0;  // characters of the line so far
    size_t at = 0;
    while (at < stream.size()) {
        if (stream[at] != '\0') {
            in_line = stream[at] == '\r' ? 0 : in_line + 1;
            ++at;
            continue;
        }
        const size_t end = std::min(stream.find_first_not_of('\0', at), stream.size());
        expect(at > 0 && end < stream.size(), "NULs before the first line or after the last");
        if (stream[at - 1] == '\r') {
            expect(s.pad_given == 0 || end - at == static_cast<size_t>(s.pad_count),
                   "not -p's NULs after a line");
        } else {
            expect(s.pad_given == 0 && s.basic_baud == 1200 && end - at == 3 && in_line % 8 == 0,
                   "NULs inside a line where none belong");
        }
        at = end;
    }
}

void check_basic(const run_settings& parsed, const fuzz_case& fc) {
    const bool listing = fc.image.find('\0') == std::string::npos;
    conversion clean;
    clean.source = memory_source(fc.image);
    convert_in_memory(parsed, clean);
    expect(clean.outcome == (listing ? run_outcome::converted : run_outcome::not_basic),
           "a clean BASIC run did not end as the listing calls for");
    std::string nulless = clean.sink.bytes;
    std::erase(nulless, '\0');
    expect(nulless == (listing ? basic_text(fc.image, parsed) : ""),
           "the BASIC stream is not the listing's lines");
    check_basic_nuls(clean.sink.bytes, parsed);

    conversion varied;
    convert_under_conditions(parsed, fc, varied);
    const bool read_fails = fc.fail_at <= fc.image.size();
    const bool written = !read_fails && listing;
    const std::string& due = clean.sink.bytes;
    const bool write_fails = written && fc.limit < due.size();
    expect(varied.sink.bytes ==
               (written ? due.substr(0, std::min(due.size(), fc.limit)) : std::string()),
           "the BASIC stream is not what the clean run and the conditions give");
    const run_outcome outcome = read_fails                      ? run_outcome::read_input
                                : !listing                      ? run_outcome::not_basic
                                : write_fails || fc.close_fails ? run_outcome::write_output
                                                                : run_outcome::converted;
    expect(varied.outcome == outcome, "the BASIC outcome is not the one the conditions call for");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_case fc = split(data, size);

    std::vector<const char*> argv{"korvane"};
    for (const std::string& a : fc.arguments) argv.push_back(a.c_str());
    run_settings parsed;
    file_names names;
    if (!parse_command_line(static_cast<int>(argv.size()), argv.data(), parsed, names)) return 0;

    if (parsed.action == action_none) {
        conversion c;
        convert_in_memory(parsed, c);
        expect(c.outcome == run_outcome::no_action, "no action, yet not the no-action outcome");
        expect(c.sink.bytes.empty(), "no action, yet output was written");
        return 0;
    }
    if (parsed.action == action_basic) {
        check_basic(parsed, fc);
        return 0;
    }

    // Settings refused before any stream never reach the conversion.
    if (check_settings(parsed) != run_outcome::converted) return 0;
    if (parsed.input_type == input_hex || parsed.input_type == input_srec) {
        check_records(parsed, fc);
        return 0;
    }
    // A PRG file is a raw image at the address of its first two bytes.
    if (parsed.input_type == input_prg) {
        if (fc.image.size() < 2) return 0;
        parsed.load_address =
            static_cast<unsigned char>(fc.image[0]) | static_cast<unsigned char>(fc.image[1]) << 8;
        fc.image.erase(0, 2);
    }

    // What the output must hold under the conditions, were it never cut short:
    // the clean output, or after a failed read the clean output for the bytes
    // before it, up to the end of their data.
    const bool read_fails = fc.fail_at <= fc.image.size();
    size_t data_end = 0;
    std::string due = clean_output(parsed, fc.image, data_end);
    if (read_fails) {
        due = clean_output(parsed, std::string_view(fc.image).substr(0, fc.fail_at), data_end);
        due.resize(data_end);
    }
    const bool write_fails = fc.limit < due.size();
    if (write_fails) due.resize(fc.limit);

    conversion varied;
    convert_under_conditions(parsed, fc, varied);

    expect(varied.sink.bytes == due,
           "the output is not what the clean run and the conditions give");
    expect(varied.sink.has_failed == write_fails, "the output failed without running out of room");
    const run_outcome outcome = write_fails || fc.close_fails ? run_outcome::write_output
                                : read_fails                  ? run_outcome::read_input
                                                              : run_outcome::converted;
    expect(varied.outcome == outcome, "the outcome is not the one the conditions call for");
    return 0;
}
