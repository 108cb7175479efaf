// parse_hex_field against a plain reading of its rules, for every digit limit
// (out-of-range ones included) and any text.
//
// Fuzz data: the first byte chooses max_digits (-2 to 10); the rest, up to a
// NUL, is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"
#include "cli/parse.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("hex_field_fuzz", what);
}

int reference(const char* text, int max_digits) {
    if (text == nullptr || max_digits < 1 || max_digits > 8) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
    const char* digits = "0123456789ABCDEF";
    uint32_t value = 0;
    for (int n = 0; n < max_digits && *p != '\0'; ++n, ++p) {
        char c = *p >= 'a' && *p <= 'f' ? static_cast<char>(*p - 'a' + 'A') : *p;
        const char* at = std::strchr(digits, c);
        if (at == nullptr) break;
        value = value * 16 + static_cast<uint32_t>(at - digits);
    }
    return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int max_digits = data[0] % 13 - 2;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* c_text = text.c_str();  // ends at the first NUL of the data

    int got = parse_hex_field(c_text, max_digits);
    expect(got == reference(c_text, max_digits), "the value breaks the rules");
    if (max_digits >= 1 && max_digits < 8) {
        expect(got >= 0 && got < (1 << (4 * max_digits)), "more digits than allowed were read");
    }
    expect(parse_hex_field(nullptr, max_digits) == 0, "no text did not give 0");
    return 0;
}
