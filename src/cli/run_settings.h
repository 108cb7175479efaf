// The options of one run, filled from the command line before any stream is opened.
#pragma once

// Conversion chosen by -v, -c, -q, -a, -b (and -i when none was chosen before it).
enum action_code : int {
    action_none = 0,
    action_65v = 1,
    action_checksum = 2,
    action_qsave = 3,
    action_65a = 4,
    action_basic = 5,  // a BASIC listing, paced for BASIC's LOAD
};

// The input's layout, chosen by -r.
enum input_code : int {
    input_bin = 0,   // a raw image at the load address
    input_hex = 1,   // Intel HEX records
    input_srec = 2,  // Motorola S-records
    input_prg = 3,   // two bytes of load address, low byte first, then a raw image
};

inline constexpr int message_capacity = 80;  // bytes of message_text, its NUL included

struct run_settings {
    int action = action_none;                  // which conversion runs (action_code)
    int load_address = 0;                      // target address of the first input byte
    int go_address = -1;                       // start address; negative: no start command
    int loader_address = -1;                   // hybrid loader place; 0 or less: derived
    int pad_count = 5;                         // NUL bytes after each checksum record
    int eol_mode = 0;                          // 0 CR, 1 CR LF, -1 no line end (65A only)
    char message_text[message_capacity] = {};  // text ahead of checksum/QSave records
    int force_overwrite = 0;                   // 1: an existing output file may be replaced
    int hybrid = 0;                            // 1: send the loader ahead of the data
    int basic_baud = 300;                      // -b: the baud rate a BASIC stream is paced for
    int bad_basic_baud = 0;                    // 1: a -b value other than 300, 600 or 1200
    int input_type = input_bin;                // -r: the input's layout (input_code)
    int bad_input_type = 0;                    // 1: a -r value other than bin, hex, srec or prg
    int load_given = 0;                        // 1: -l was given, in any form
    int pad_given = 0;                         // 1: -p was given, in any form
};
