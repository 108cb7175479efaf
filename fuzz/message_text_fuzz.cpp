// parse_message_text on any text and any capacity: it stores at most
// capacity - 1 characters and a NUL in a buffer of exactly capacity bytes (the
// address sanitizer catches a byte beyond it), returns the count stored, and
// agrees with a plain reading of the rules.
//
// Fuzz data: the first byte chooses the capacity for the second call (0 to
// 99); the rest, up to a NUL, is the text. The first call uses the 80 bytes of
// message_text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "check.h"
#include "cli/parse.h"
#include "cli/run_settings.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("message_text_fuzz", what);
}

char escape_for(char c) {
    switch (c) {
        case 'b':
        case 'B': return '\b';
        case 'f':
        case 'F': return '\f';
        case 'n':
        case 'N': return '\n';
        case 'r':
        case 'R': return '\r';
        case 't':
        case 'T': return '\t';
        default: return c;
    }
}

// The rules, one by one: ';' and '$' vanish without touching a pending
// escape, a backslash escapes the next character, a double quote is the last
// character kept, and no more than capacity - 1 are kept.
std::string reference(const std::string& text, int capacity) {
    std::string kept;
    bool pending = false;
    for (char c : text) {
        if (static_cast<int>(kept.size()) >= capacity - 1) break;
        if (c == ';' || c == '$') continue;
        if (!pending && c == '\\') {
            pending = true;
            continue;
        }
        if (pending) c = escape_for(c);
        pending = false;
        kept += c;
        if (c == '"') break;
    }
    return kept;
}

void check(const std::string& text, int capacity) {
    // Exactly capacity bytes on the heap, filled with a marker, so that a byte
    // written past the end is an overflow and one written after the NUL shows.
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(capacity)]);
    std::memset(buffer.get(), 0x7F, static_cast<size_t>(capacity));
    int count = parse_message_text(text.c_str(), buffer.get(), capacity);
    if (capacity < 1) {
        expect(count == 0, "a buffer without room reported characters");
        return;
    }
    expect(count >= 0 && count < capacity, "the count does not fit the buffer");
    expect(buffer[static_cast<size_t>(count)] == '\0', "the text is not ended by a NUL at count");
    std::string expected = reference(text, capacity);
    expect(std::strlen(buffer.get()) == static_cast<size_t>(count),
           "a NUL was stored inside the text");
    expect(expected == std::string(buffer.get(), static_cast<size_t>(count)),
           "the stored text breaks the rules");
    for (int i = count + 1; i < capacity; ++i) {
        expect(buffer[static_cast<size_t>(i)] == 0x7F, "a byte after the text was written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        char buffer[message_capacity];
        expect(parse_message_text(nullptr, buffer, message_capacity) == 0 && buffer[0] == '\0',
               "no text did not give an empty text");
        return 0;
    }
    // Up to the first NUL, as a command-line argument would be.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text.resize(std::strlen(text.c_str()));

    check(text, message_capacity);
    check(text, data[0] % 100);

    // Through the option, into the settings record itself.
    run_settings settings;
    std::string option = "-m" + text;
    const char* argv[] = {"korvane", option.c_str()};
    file_names names;
    parse_command_line(2, argv, settings, names);
    expect(std::strlen(settings.message_text) < message_capacity, "message_text overran");
    expect(reference(text, message_capacity) == settings.message_text, "-m stored another text");
    return 0;
}
