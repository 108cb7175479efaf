// korvane-verify's command line: [-v|-a|-c|-q|-i|-b[BAUD]] [-o IMAGE]
// [-O HEX] [-f] [FILE], through getopt: letters may be grouped (-cf), the
// value of -o and -O may follow it directly or as the next argument, that of
// -b only directly, "--" ends the options, and FILE "-" or no FILE is
// standard input. Options may also follow FILE.
#pragma once

#include <string>

#include "verify/verify.h"

struct verify_settings {
    file_format format = file_format::unknown;  // unknown: recognise it
    const char* input_name = nullptr;           // null: standard input
    const char* image_name = nullptr;           // -o; null: no image
    const char* hex_name = nullptr;             // -O; null: no Intel HEX
    bool force = false;                         // -f: IMAGE and HEX may be replaced
    bool help = false;                          // -h: the help text, nothing else
    int basic_baud = 0;  // -b's rate to check a BASIC stream's NULs for; 0: none given
};

// Fills settings from the whole argument vector (getopt may reorder it).
// Returns false with the reason in error for a usage error.
bool parse_verify_command_line(int argc, char** argv, verify_settings& settings,
                               std::string& error);

// One line, for standard error after a usage error.
extern const char verify_usage_line[];
// The -h text, for standard output.
extern const char verify_help_text[];
