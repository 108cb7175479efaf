// Small pieces of text shared by the decoders and the report: hex digits as
// the target reads them, addresses as $HHHH, characters as the user sees them.
// The checksum loader takes hex digits in either case (hex_digit_value); the
// 65V and 65A monitors only "0"-"9" and upper-case "A"-"F".
#pragma once

#include <string>

#include "cli/parse.h"           // hex_digit_value
#include "formats/primitives.h"  // address_text
#include "verify/verify.h"

// The value the checksum loader takes from any character where it wants a
// digit: the low four bits, less 7 from "A" ($41) up.
int checksum_loader_digit(unsigned char c);

// The value of a hex digit as both monitors test for one (from "0" below ":",
// from "A" below "G"), or -1: lower-case letters are no digits to them.
int monitor_digit_value(unsigned char c);

// "a" to "f": a hex digit to the checksum loader, passed over by the monitors.
bool is_lower_case_hex(unsigned char c);

// The fault at a lower-case hex letter in the text of the named monitor
// ("65V" or "65A").
std::string lower_case_text(unsigned char c, const char* monitor);

// "1 hex digit", "3 hex digits".
std::string hex_digit_count_text(int count);

// "$HH" for a byte ("$HHHH" for an address is address_text, shared with korvane).
std::string byte_text(unsigned value);

// "$AAAA-$BBBB", or "$AAAA" when both are the same.
std::string span_text(int first, int last);

// "'X'" for a printable character, "byte $0D" for any other.
std::string char_text(unsigned char c);

// "1 byte", "3 bytes".
std::string byte_count_text(long count);

// "checksum" or "QSave".
const char* loader_name(loader_kind kind);

void add_fault(decoding& out, long offset, int address, std::string text);

// A record or command that the end of the file cut off.
void add_cut_short(decoding& out, long offset, int address, const char* what);
