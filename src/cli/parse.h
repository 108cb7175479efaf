// The command line: the option values and the walk that fills run_settings.
#pragma once

#include "cli/run_settings.h"

// The file names of the command line; null where none was given.
struct file_names {
    const char* input = nullptr;   // first name: the input image
    const char* output = nullptr;  // second name: the load file
};

// The value of a hex digit, lower case included; -1 for any other character.
int hex_digit_value(unsigned char c);

// Up to max_digits (1 to 8) hex digits after leading blanks; 0 when none.
int parse_hex_field(const char* text, int max_digits);

// The -m text with its backslash escapes resolved and ';' and '$' dropped,
// ending after a double quote; at most capacity - 1 characters. Returns the
// number stored.
int parse_message_text(const char* text, char* buffer, int capacity);

// Walks the arguments after the program name into settings and names.
// Returns false when an option letter is not known (the usage text is due).
bool parse_command_line(int argc, const char* const* argv, run_settings& settings,
                        file_names& names);
