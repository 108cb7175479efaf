// What a run can end with, and the words the user sees for it.
#pragma once

// Why a run ended; every value but `converted` is a failure of the run.
enum class run_outcome {
    converted,          // the encoder ran and everything was written
    usage,              // no arguments, or an unknown option: the usage text
    bad_basic_baud,     // -b with a value other than 300, 600 or 1200
    bad_input_type,     // -r with a value other than bin, hex, srec or prg
    no_action,          // no format letter was given
    basic_input_type,   // -b with an -r other than bin
    load_with_records,  // -l with an input that gives its own addresses
    open_input,         // the input could not be opened
    read_input,         // a read of the input failed
    input_too_large,    // an input read whole is larger than its reader takes
    not_basic,          // -b: the input holds a NUL, or is too large for a listing
    not_a_record,       // a line of the input is no record of its type
    record_checksum,    // a record's checksum is wrong
    above_ffff,         // a record puts data above $FFFF
    loaded_twice,       // a record loads an address that an earlier one loaded
    record_count,       // an S5/S6 count that does not match the data records
    no_data,            // records, but not a byte of data among them
    prg_too_short,      // a PRG file of under two bytes
    loader_overlap,     // the data would run into the loader
    output_exists,      // the output name exists and -f was not given
    same_file,          // input and output are one regular file
    open_output,        // the output could not be created or opened
    write_output,       // a write to the output failed, at any point up to its close
};

// How a run ended: the outcome, and what its message names where it names
// something of the input.
struct run_end {
    run_outcome outcome = run_outcome::converted;
    long line = 0;     // the input's line, from 1
    int address = -1;  // the address loaded twice, or the loader's place
};

// The process exit status of an outcome (-1 reaches the shell as 255).
int exit_status(run_outcome outcome);

// Writes the outcome's message to standard error; output_name fills the
// exists message. Nothing for `converted`. 0 or -1.
int report(const run_end& end, const char* output_name);

// Writes text to standard error in one go, continuing short writes. 0 or -1.
int write_message(const char* text);
