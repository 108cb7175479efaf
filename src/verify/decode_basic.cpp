// A BASIC stream as BASIC's LOAD reads it: the lines up to the one that
// hands the machine back to its keyboard ("POKE 515,0", or "POKE 515,0:RUN",
// which also starts the program), each line that BASIC would mangle (the
// warnings korvane gives for a listing), every place with fewer NULs than
// korvane -b writes for the rate, and the program BASIC holds afterwards.
#include <map>

#include "basic/listing.h"
#include "basic/pacing.h"
#include "verify/decoders.h"

namespace {

// What BASIC stores of a line as it arrives (its NULs are gone already):
// each byte's top bit cleared, control characters passed over, "@"
// cancelling the line so far and "_" rubbing out the character before it,
// and no more than 71 characters.
std::string as_basic_keeps(const std::string& text) {
    std::string kept;
    for (char byte : text) {
        const auto c = static_cast<char>(byte & 0x7F);
        if (c < 0x20 || c == 0x7F) continue;
        if (c == '@') {
            kept.clear();
        } else if (c == '_') {
            if (!kept.empty()) kept.pop_back();
        } else if (kept.size() < basic_line_capacity) {
            kept += c;
        }
    }
    return kept;
}

std::string nuls_text(int64_t count) {
    return std::to_string(count) + (count == 1 ? " NUL" : " NULs");
}

// "8th", "16th", "32nd".
std::string ordinal(int64_t n) {
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

}  // namespace

void decode_basic(file_bytes file, int baud, decoding& out) {
    out.format = file_format::basic;
    basic_load& load = out.basic;
    load.baud = baud;
    const std::vector<listing_line> lines = split_listing(file);
    const size_t read = lines_read(lines);
    if (read > 0) load.end = end_of(lines[read - 1].text);
    const std::span<const listing_line> stream(lines.data(), read);
    const std::span<const listing_line> listing =
        stream.first(load.end == basic_end::none ? read : read - 1);

    for (const listing_warning& w : listing_warnings(listing)) {
        add_fault(out, static_cast<long>(lines[w.line].offset), -1, w.text);
    }
    const std::string rate = " at " + std::to_string(baud) + " baud";
    for (const pacing_shortfall& s : pacing_shortfalls(stream, {baud})) {
        const listing_line& line = lines[s.line];
        std::string where =
            s.after == 0 ? " after the line" : " after its " + ordinal(s.after) + " character";
        out.faults.push_back(
            {static_cast<long>(line.offset), -1,
             nuls_text(s.found) + where + ", BASIC needs " + std::to_string(s.needed) + rate,
             line_number(line.text)});
    }
    if (read < lines.size()) {
        const size_t left = lines.size() - read;
        add_fault(out, static_cast<long>(lines[read].offset), -1,
                  std::to_string(left) + (left == 1 ? " line follows " : " lines follow ") +
                      lines[read - 1].text + ", after which BASIC reads the keyboard");
    }

    std::map<long, std::string> held;
    for (const listing_line& line : listing) {
        const std::string kept = as_basic_keeps(line.text);
        const long number = line_number(kept);
        if (number < 0 || number > highest_line_number) continue;
        if (only_a_number(kept)) {
            held.erase(number);
            continue;
        }
        size_t text = kept.find_first_not_of("0123456789");
        text = kept.find_first_not_of(' ', text);
        held[number] = kept.substr(text);
    }
    for (auto& [number, text] : held) load.program.push_back({number, std::move(text)});
}
