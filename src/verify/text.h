// Small pieces of text shared by the decoders and the report: hex digits as
// the target reads them, addresses as $HHHH, characters as the user sees them.
#pragma once

#include <string>

#include "cli/parse.h"  // hex_digit_value
#include "verify/verify.h"

// The value the checksum loader takes from any character where it wants a
// digit: the low four bits, less 7 from "A" ($41) up.
int checksum_loader_digit(unsigned char c);

// "$HHHH" for an address, "$HH" for a byte.
std::string address_text(int address);
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
