// The small writers that every format and the loader section are made of.
// Each returns what its last write returned (a byte value, or 0 for a string
// or a line end), or -1 at the first failed write, after which it writes no more.
#pragma once

#include <array>
#include <string>

#include "cli/run_settings.h"
#include "formats/streams.h"

inline constexpr char hex_digits[] = "0123456789ABCDEF";

// Two upper-case digits, high nibble first, for every byte value.
struct hex_pair_table {
    std::array<std::array<char, 2>, 256> pair{};
    constexpr hex_pair_table() {
        for (int b = 0; b < 256; ++b)
            pair[static_cast<size_t>(b)] = {hex_digits[b >> 4], hex_digits[b & 15]};
    }
};
inline constexpr hex_pair_table hex_pairs{};

// Writes the two digits of b's low eight bits at text, which needs two bytes.
inline char* format_hex_byte(unsigned b, char* text) {
    const auto& digits = hex_pairs.pair[b & 0xFF];
    text[0] = digits[0];
    text[1] = digits[1];
    return text + 2;
}

// "$HHHH": an address as the messages and reports write it.
std::string address_text(int address);

int put_hex_byte(int value, out_stream& out);
int put_eol(const run_settings& settings, out_stream& out);
int put_65v_address(int address, out_stream& out);
int put_65v_go(int address, out_stream& out);
int put_65a_address(const run_settings& settings, int address, out_stream& out);
int put_qsave_go(int address, out_stream& out);
