// Intel HEX and S-records built from their definitions, for the tests' inputs.
#pragma once

#include <string>

// Hex pairs, upper case, high digit first.
inline std::string hex_pairs_of(const std::string& bytes) {
    const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// ":" count, address, type, data and the checksum that makes every byte sum to 0.
inline std::string intel_hex(int type, unsigned address, const std::string& data) {
    std::string bytes{static_cast<char>(data.size()), static_cast<char>(address >> 8),
                      static_cast<char>(address), static_cast<char>(type)};
    bytes += data;
    unsigned sum = 0;
    for (char c : bytes) sum += static_cast<unsigned char>(c);
    std::string text = ":";
    text += hex_pairs_of(bytes + static_cast<char>(0x100 - (sum & 0xFF)));
    return text + "\n";
}

// "S" and the type, then the count of what follows, the address in
// address_size bytes, the data and the ones' complement of their sum.
inline std::string s_record(int type, unsigned long address, int address_size,
                            const std::string& data) {
    std::string bytes{static_cast<char>(address_size + static_cast<int>(data.size()) + 1)};
    for (int shift = 8 * (address_size - 1); shift >= 0; shift -= 8) {
        bytes += static_cast<char>(address >> shift);
    }
    bytes += data;
    unsigned sum = 0;
    for (char c : bytes) sum += static_cast<unsigned char>(c);
    std::string text{'S', static_cast<char>('0' + type)};
    text += hex_pairs_of(bytes + static_cast<char>(~sum & 0xFF));
    return text + "\n";
}
