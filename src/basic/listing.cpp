#include "basic/listing.h"

#include <algorithm>

#include "formats/primitives.h"

namespace {

bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// A control character (the line ends never reach a line's text), or a byte
// with its top bit set.
bool is_untakeable(unsigned char c) { return c < 0x20 || c >= 0x7F; }

// Lower-case letters where BASIC looks for keywords: outside quotes, before
// any REM, and outside the items of a DATA statement (up to a ":" outside quotes).
bool lower_case_outside_quotes(const std::string& text) {
    bool quoted = false;
    bool data = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (data) {
            data = c != ':';
        } else if (text.compare(i, 3, "REM") == 0) {
            return false;
        } else if (text.compare(i, 4, "DATA") == 0) {
            data = true;
            i += 3;
        } else if (c >= 'a' && c <= 'z') {
            return true;
        }
    }
    return false;
}

std::string line_text(const listing_line& line) {
    return "line " + std::to_string(line.line_in_file) + " of the listing ";
}

// The line being read: its text so far and the pauses inside it.
struct line_reader {
    listing_line line;
    bool started = false;  // a byte of the line has been seen
    bool in_text = false;  // past the leading blanks

    void take(unsigned char c) {
        if (!in_text && is_blank(c)) return;
        in_text = true;
        line.text += static_cast<char>(c);
    }
};

}  // namespace

std::vector<listing_line> split_listing(std::span<const unsigned char> bytes) {
    std::vector<listing_line> lines;
    line_reader reader;
    long line_in_file = 1;
    auto nuls_from = [&](size_t at) {
        size_t end = at;
        while (end < bytes.size() && bytes[end] == 0) ++end;
        return end;
    };
    auto finish = [&] {
        listing_line& line = reader.line;
        line.line_in_file = line_in_file;
        // A pause after the last character is the pause after the line.
        const size_t inside = line.text.empty() ? 0 : (line.text.size() - 1) / pause_stride;
        line.nuls_inside.resize(inside);
        if (!line.text.empty()) lines.push_back(std::move(line));
        reader = line_reader{};
    };
    size_t at = 0;
    while (at < bytes.size()) {
        const unsigned char c = bytes[at];
        if (c == 0) {
            ++at;
            continue;
        }
        if (!reader.started) {
            reader.started = true;
            reader.line.offset = at;
        }
        if (c == '\r' || c == '\n') {
            const size_t after = nuls_from(at + 1);
            reader.line.nuls_after = static_cast<int64_t>(after - at - 1);
            at = after;
            if (c == '\r' && at < bytes.size() && bytes[at] == '\n') at = nuls_from(at + 1);
            finish();
            ++line_in_file;
            continue;
        }
        reader.take(c);
        ++at;
        const std::string& text = reader.line.text;
        if (!text.empty() && text.size() % pause_stride == 0) {
            const size_t after = nuls_from(at);
            reader.line.nuls_inside.push_back(static_cast<int64_t>(after - at));
            at = after;
        }
    }
    if (reader.started) finish();
    return lines;
}

bool is_listing(std::span<const unsigned char> bytes) {
    return bytes.size() <= listing_limit && std::find(bytes.begin(), bytes.end(), 0) == bytes.end();
}

long line_number(const std::string& text) {
    if (text.empty() || !is_digit(static_cast<unsigned char>(text[0]))) return -1;
    long number = 0;
    for (size_t i = 0; i < text.size() && is_digit(static_cast<unsigned char>(text[i])); ++i) {
        number = std::min(number * 10 + (text[i] - '0'), 999999L);
    }
    return number;
}

bool only_a_number(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && is_digit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == 0) return false;
    return std::all_of(text.begin() + static_cast<long>(i), text.end(),
                       [](char c) { return is_blank(static_cast<unsigned char>(c)); });
}

basic_end end_of(const std::string& text) {
    if (text == "POKE 515,0") return basic_end::poke;
    if (text == "POKE 515,0:RUN") return basic_end::poke_run;
    return basic_end::none;
}

size_t lines_read(std::span<const listing_line> lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (end_of(lines[i].text) != basic_end::none) return i + 1;
    }
    return lines.size();
}

std::vector<listing_warning> listing_warnings(std::span<const listing_line> lines) {
    std::vector<listing_warning> warnings;
    std::vector<bool> stored(highest_line_number + 1, false);
    for (size_t i = 0; i < lines.size(); ++i) {
        const listing_line& line = lines[i];
        const std::string& text = line.text;
        const std::string about = line_text(line);
        auto warn = [&](const std::string& what) { warnings.push_back({i, about + what}); };
        if (end_of(text) != basic_end::none) {
            warn("ends the load; BASIC reads the keyboard after it, not the lines that follow.");
            continue;
        }
        const long number = line_number(text);
        if (number >= 0 && number <= highest_line_number && only_a_number(text)) {
            warn("is only a line number; BASIC deletes line " + std::to_string(number) + ".");
            continue;
        }
        if (text.size() > basic_line_capacity) {
            warn("has " + std::to_string(text.size()) + " characters; BASIC keeps " +
                 std::to_string(basic_line_capacity) + " and drops the rest.");
        }
        if (number < 0) warn("has no line number; BASIC runs it during the load.");
        if (number > highest_line_number) warn("is numbered above 63999; BASIC rejects it.");
        if (lower_case_outside_quotes(text)) {
            warn("has lower-case letters outside quotes; BASIC reads no keywords in lower case.");
        }
        auto untakeable = std::find_if(text.begin(), text.end(), [](char c) {
            return is_untakeable(static_cast<unsigned char>(c));
        });
        if (untakeable != text.end()) {
            char digits[2];
            format_hex_byte(static_cast<unsigned char>(*untakeable), digits);
            warn("has a byte BASIC cannot take (" + std::string(digits, 2) + ").");
        }
        if (text.find('@') != std::string::npos) {
            warn("has @, with which BASIC cancels what it has read of the line.");
        }
        if (text.find('_') != std::string::npos) {
            warn("has _, with which BASIC rubs out the character before it.");
        }
        if (number >= 0 && number <= highest_line_number) {
            auto slot = static_cast<size_t>(number);
            if (stored[slot]) {
                warn("repeats line number " + std::to_string(number) + "; BASIC keeps the later.");
            }
            stored[slot] = true;
        }
    }
    return warnings;
}
