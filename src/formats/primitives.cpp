#include "formats/primitives.h"

std::string address_text(int address) {
    char text[5] = {'$'};
    char* p = format_hex_byte(static_cast<unsigned>(address) >> 8, text + 1);
    format_hex_byte(static_cast<unsigned>(address), p);
    return std::string(text, sizeof text);
}

int put_hex_byte(int value, out_stream& out) {
    unsigned b = static_cast<unsigned>(value) & 0xFF;
    if (put_byte(hex_digits[b >> 4], out) < 0) return -1;
    return put_byte(hex_digits[b & 0x0F], out);
}

int put_eol(const run_settings& settings, out_stream& out) {
    if (settings.eol_mode == -1) return 0;
    if (settings.eol_mode == 0) return put_byte('\r', out);
    return put_block("\r\n", 2, out);
}

int put_65v_address(int address, out_stream& out) {
    if (address < 0) return 0;
    if (put_byte('.', out) < 0) return -1;
    if (put_hex_byte(address >> 8, out) < 0) return -1;
    return put_hex_byte(address, out);
}

int put_65v_go(int address, out_stream& out) {
    if (address < 0) return 0;
    if (put_65v_address(address, out) < 0) return -1;
    return put_byte('G', out);
}

int put_65a_address(const run_settings& settings, int address, out_stream& out) {
    if (address < 0) return 0;
    if (put_byte('L', out) < 0) return -1;
    if (put_hex_byte(address >> 8, out) < 0) return -1;
    if (put_hex_byte(address, out) < 0) return -1;
    return put_eol(settings, out);
}

int put_qsave_go(int address, out_stream& out) {
    if (address < 0) return 0;
    if (put_byte('$', out) < 0) return -1;
    if (put_byte((address >> 8) & 0xFF, out) < 0) return -1;
    return put_byte(address & 0xFF, out);
}
