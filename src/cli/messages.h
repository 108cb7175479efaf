// What a run can end with, and the words the user sees for it.
#pragma once

// Why a run ended; every value but `converted` is a failure of the run.
enum class run_outcome {
    converted,       // the encoder ran and everything was written
    usage,           // no arguments, or an unknown option: the usage text
    no_action,       // no format letter was given
    open_input,      // the input could not be opened
    loader_overlap,  // the data would run into the loader at its fixed place
    output_exists,   // the output name exists and -f was not given
    same_file,       // input and output are one regular file
    open_output,     // the output could not be created or opened
    write_output,    // a write to the output failed, at any point up to its close
    read_input,      // a read of the input failed
};

// The process exit status of an outcome (-1 reaches the shell as 255).
int exit_status(run_outcome outcome);

// Writes the outcome's message to standard error; output_name fills the
// exists message. Nothing for `converted`. 0 or -1.
int report(run_outcome outcome, const char* output_name);

// Writes text to standard error in one go, continuing short writes. 0 or -1.
int write_message(const char* text);
