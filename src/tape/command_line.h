// korvane-tape's command line, through getopt: letters may be grouped, a
// value may follow its letter directly or as the next argument, options may
// follow IN, and "--" ends them. IN or OUT given as "-" is the standard stream.
#pragma once

#include <string>

#include "tape/audio_file.h"
#include "tape/kcs.h"
#include "tape/kcs_decode.h"

struct tape_settings {
    bool decode = false;                // -d: a recording in, bytes out
    const char* input_name = nullptr;   // null: standard input
    const char* output_name = nullptr;  // -o; null: standard output
    bool force = false;                 // -f: OUT may be replaced
    bool verbose = false;               // -v
    bool help = false;                  // -h: the help text, nothing else
    tape_signal signal;                 // what the encoder makes
    sample_format format = sample_format::pcm16;
    decode_options decoding;
};

// Fills settings from the whole argument vector (getopt may reorder it).
// Returns false with the reason in error for a usage error.
bool parse_tape_command_line(int argc, char** argv, tape_settings& settings, std::string& error);

// One line, for standard error after a usage error.
extern const char tape_usage_line[];
// The -h text, for standard output.
extern const char tape_help_text[];
