// The BASIC listing reader through korvane -b and back through
// korvane-verify's BASIC decoding at the same baud rate.
//
// Fuzz data: the first byte chooses the command line: its bits 0-1 the rate
// (-b300, -b600, -b1200, -b300), bit 2 -g, bit 3 -p, whose count is then the
// second byte; the rest is the listing.
//
// Checked: a listing with a NUL is refused; any other converts (as korvane
// converts a listing read whole), and korvane's printed warnings are the first of all its warnings
// on the listing, with a count of the rest. Its stream verifies with a fault for each of those
// warnings, in their order, about the same line (counted in the stream, which
// has no blank lines) and saying the same, up to a line of the listing that
// ends the load, whose warning stands for the fault of the lines after it
// (BASIC reads none of them); and with no other fault but too few NULs where
// -p gives fewer than BASIC needs: -p's count after a line, or none inside
// one at 1200 baud.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "basic/listing.h"
#include "check.h"
#include "cli/warnings.h"
#include "formats/encoders.h"
#include "formats/primitives.h"
#include "in_memory.h"
#include "verify/decoders.h"
#include "verify/memory_map.h"
#include "verify/report.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("basic_fuzz", what);
}

constexpr int rates[] = {300, 600, 1200, 300};

// "line N of the listing ", which begins every warning about the line.
std::string line_words(long line_in_file) {
    return "line " + std::to_string(line_in_file) + " of the listing ";
}

bool is_pacing(const fault& f) { return f.text.find(", BASIC needs ") != std::string::npos; }

// The faults -p may leave: its count of NULs after a line where BASIC needs
// more, and none where a 1200-baud line needs a pause inside.
bool pad_shortfall(const fault& f, const run_settings& s) {
    const std::string after =
        std::to_string(s.pad_count) + (s.pad_count == 1 ? " NUL" : " NULs") + " after the line, ";
    return f.text.starts_with(after) ||
           (s.basic_baud == 1200 && f.text.starts_with("0 NULs after its "));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int baud = rates[data[0] & 3];
    std::vector<std::string> arguments{"-b" + std::to_string(baud)};
    if ((data[0] & 4) != 0) arguments.push_back("-g0");
    size_t from = 1;
    if ((data[0] & 8) != 0 && size > 1) {
        char digits[2];
        format_hex_byte(data[1], digits);
        arguments.push_back("-p" + std::string(digits, 2));
        from = 2;
    }
    const std::string listing(reinterpret_cast<const char*>(data + from), size - from);
    run_settings settings;
    expect(
        korvane_settings(arguments, settings) && check_settings(settings) == run_outcome::converted,
        "korvane refuses the options");

    // korvane's conversion of a listing read whole (program_fuzz covers the
    // reading): refused with a NUL, else its lines encoded, then the warnings.
    const auto* text = reinterpret_cast<const unsigned char*>(listing.data());
    if (!is_listing({text, listing.size()})) {
        expect(listing.find('\0') != std::string::npos, "a listing is refused");
        return 0;
    }
    const std::vector<listing_line> lines = split_listing({text, listing.size()});
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink());
    expect(encode_basic(settings, lines, out) >= 0 && !out.failed, "a listing is not converted");

    const std::vector<listing_warning> warned = listing_warnings(lines);
    const std::vector<std::string> printed = basic_warnings(lines);
    expect(printed.size() == std::min(warned.size(), listing_warning_cap + 1),
           "korvane prints the wrong number of warnings");
    for (size_t i = 0; i < printed.size() && i < listing_warning_cap; ++i) {
        expect(printed[i] == "\nWarning: " + warned[i].text + "\n",
               "a printed warning is not the listing's");
    }

    const auto* stream = reinterpret_cast<const unsigned char*>(sink.bytes.data());
    decoding decoded;
    decode_file({stream, sink.bytes.size()}, file_format::basic, baud, decoded);
    // A BASIC stream stores nothing in memory: its faults are the decoder's alone.
    static const memory_map nothing_stored;
    const std::vector<fault> faults = collect_faults(decoded, nothing_stored);
    expect(decoded.basic.baud == baud, "the stream is not checked for its rate");

    size_t next = 0;     // korvane's next warning
    bool ended = false;  // past a line of the listing that ends the load
    for (const fault& f : faults) {
        if (is_pacing(f)) {
            expect(settings.pad_given == 1 && pad_shortfall(f, settings),
                   "the stream has too few NULs");
            continue;
        }
        expect(!ended && next < warned.size(),
               "the stream has a fault that korvane did not warn of");
        const listing_warning& w = warned[next++];
        const std::string& line = lines[w.line].text;
        if (end_of(line) != basic_end::none) {
            // BASIC reads no more: one fault for the lines after it, the
            // stream's own end line among them.
            const size_t left = lines.size() - w.line;
            expect(f.text == std::to_string(left) +
                                 (left == 1 ? " line follows " : " lines follow ") + line +
                                 ", after which BASIC reads the keyboard",
                   "the stream's fault is not the end korvane warned of");
            ended = true;
            continue;
        }
        const std::string words = line_words(lines[w.line].line_in_file);
        expect(w.text.starts_with(words), "a warning does not name its line");
        expect(f.text == line_words(static_cast<long>(w.line) + 1) + w.text.substr(words.size()),
               "the stream's fault is not the warning korvane gave");
    }
    expect(ended || next == warned.size(), "korvane warned of a line that loads without a fault");
    return 0;
}
