#include "cli/parse.h"

#include <string>

#include "basic/pacing.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

char escaped(char c) {
    switch (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) {
        case 'b': return '\b';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return c;
    }
}

// The input type of a -r value, case folded, or -1 when it names none.
int input_type_of(const char* value) {
    static constexpr const char* names[] = {"bin", "hex", "srec", "prg"};
    std::string folded;
    for (const char* p = value; *p != '\0'; ++p) {
        folded += *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p - 'A' + 'a') : *p;
    }
    for (int type = input_bin; type <= input_prg; ++type) {
        if (folded == names[type]) return type;
    }
    return -1;
}

// Applies one option; returns false for a letter that is not an option.
bool apply_option(char letter, const char* value, run_settings& s) {
    switch (letter) {
        case 'a': s.action = action_65a; return true;
        case 'b': {
            s.action = action_basic;
            int baud = value[0] == '\0' ? 300 : basic_baud_of(value);
            if (baud == 0) {
                s.bad_basic_baud = 1;
            } else {
                s.basic_baud = baud;
            }
            return true;
        }
        case 'c': s.action = action_checksum; return true;
        case 'f': s.force_overwrite = 1; return true;
        case 'g':
        case 'h': s.go_address = parse_hex_field(value, 4); return true;
        case 'i':
            if (*value != '\0') s.loader_address = parse_hex_field(value, 4);
            s.hybrid = 1;
            if (s.action == action_none) s.action = action_checksum;
            return true;
        case 'l':
            s.load_address = parse_hex_field(value, 4);
            s.load_given = 1;
            return true;
        case 'm': parse_message_text(value, s.message_text, message_capacity); return true;
        case 'p':
            s.pad_count = parse_hex_field(value, 2);
            s.pad_given = 1;
            return true;
        case 'q': s.action = action_qsave; return true;
        case 'r': {
            int type = input_type_of(value);
            if (type < 0) {
                s.bad_input_type = 1;
            } else {
                s.input_type = type;
            }
            return true;
        }
        case 't': s.eol_mode = value[0] == '0' ? -1 : 1; return true;
        case 'v': s.action = action_65v; return true;
        default: return false;
    }
}

}  // namespace

int hex_digit_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int parse_hex_field(const char* text, int max_digits) {
    if (text == nullptr || max_digits < 1 || max_digits > 8) return 0;
    unsigned value = 0;
    int digits = 0;
    for (const char* p = text; *p != '\0' && digits < max_digits; ++p) {
        if (digits == 0 && is_blank(*p)) continue;
        int d = hex_digit_value(static_cast<unsigned char>(*p));
        if (d < 0) break;
        value = value * 16 + static_cast<unsigned>(d);
        ++digits;
    }
    return static_cast<int>(value);
}

int parse_message_text(const char* text, char* buffer, int capacity) {
    if (capacity < 1) return 0;
    int count = 0;
    if (text != nullptr) {
        bool escape = false;
        for (const char* p = text; *p != '\0' && count < capacity - 1; ++p) {
            char c = *p;
            if (c == ';' || c == '$') continue;
            if (!escape && c == '\\') {
                escape = true;
                continue;
            }
            if (escape) c = escaped(c);
            buffer[count++] = c;
            escape = false;
            if (c == '"') break;
        }
    }
    buffer[count] = '\0';
    return count;
}

bool parse_command_line(int argc, const char* const* argv, run_settings& settings,
                        file_names& names) {
    bool good = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-') {
            char letter = arg[1];
            if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
            if (letter == '\0' || !apply_option(letter, arg + 2, settings)) good = false;
        } else if (names.input == nullptr) {
            names.input = arg;
        } else if (names.output == nullptr) {
            names.output = arg;
        }
    }
    return good;
}
