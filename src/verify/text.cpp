#include "verify/text.h"

#include <utility>

#include "formats/primitives.h"

int checksum_loader_digit(unsigned char c) { return (c < 0x41 ? c : c - 7) & 0x0F; }

int monitor_digit_value(unsigned char c) {
    if (c >= '0' && c < ':') return c - '0';
    if (c >= 'A' && c < 'G') return c - 'A' + 10;
    return -1;
}

bool is_lower_case_hex(unsigned char c) { return c >= 'a' && c <= 'f'; }

std::string lower_case_text(unsigned char c, const char* monitor) {
    return "lower-case " + char_text(c) + " where the " + monitor +
           " monitor needs an upper-case hex digit: it is passed over";
}

std::string hex_digit_count_text(int count) {
    return std::to_string(count) + (count == 1 ? " hex digit" : " hex digits");
}

std::string byte_text(unsigned value) {
    char text[3] = {'$'};
    format_hex_byte(value, text + 1);
    return std::string(text, sizeof text);
}

std::string span_text(int first, int last) {
    if (first == last) return address_text(first);
    return address_text(first) + "-" + address_text(last);
}

std::string char_text(unsigned char c) {
    if (c > 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    return "byte " + byte_text(c);
}

std::string byte_count_text(long count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

const char* loader_name(loader_kind kind) {
    return kind == loader_kind::qsave ? "QSave" : "checksum";
}

void add_fault(decoding& out, long offset, int address, std::string text) {
    out.faults.push_back({offset, address, std::move(text)});
}

void add_cut_short(decoding& out, long offset, int address, const char* what) {
    add_fault(out, offset, address, std::string(what) + " cut short by the end of the file");
}
