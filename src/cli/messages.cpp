#include "cli/messages.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/usage.h"
#include "formats/streams.h"

int exit_status(run_outcome outcome) {
    switch (outcome) {
        case run_outcome::converted:
        case run_outcome::usage: return 0;
        case run_outcome::no_action:
        case run_outcome::open_input:
        case run_outcome::loader_overlap:
        case run_outcome::output_exists:
        case run_outcome::read_input: return -1;
        case run_outcome::same_file:
        case run_outcome::open_output:
        case run_outcome::write_output: return 1;
    }
    return 1;
}

int write_message(const char* text) {
    return write_all(STDERR_FILENO, text, std::strlen(text)) ? 0 : -1;
}

int report(run_outcome outcome, const char* output_name) {
    switch (outcome) {
        case run_outcome::converted: return 0;
        case run_outcome::usage: return print_usage();
        case run_outcome::no_action:
            return write_message("\nNo action specified. Nothing to do. Use one of -[avciq]\n");
        case run_outcome::open_input:
            return write_message("\nError opening input file for read.\n");
        case run_outcome::loader_overlap:
            return write_message(
                "\nThe data would overwrite the loader at $1E00. Give the loader's place with "
                "-i<addr>.\n");
        case run_outcome::output_exists: {
            std::string text = "Output file ";
            text += output_name != nullptr ? output_name : "";
            text += " exists! Use -f to force overwrite.\r\n";
            return write_message(text.c_str());
        }
        case run_outcome::same_file:
            return write_message("\nInput and output are the same file.\n");
        case run_outcome::open_output:
            return write_message("\nError opening output file for write.\n");
        case run_outcome::write_output: return write_message("\nError writing output file.\n");
        case run_outcome::read_input: return write_message("\nError reading input file.\n");
    }
    return -1;
}
