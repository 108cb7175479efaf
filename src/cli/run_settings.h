// The options of one run, filled from the command line before any stream is opened.
#pragma once

// Conversion chosen by -v, -c, -q, -a (and -i when none was chosen before it).
enum action_code : int {
    action_none = 0,
    action_65v = 1,
    action_checksum = 2,
    action_qsave = 3,
    action_65a = 4,
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
};
