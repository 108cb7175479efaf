#include "cli/messages.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "cli/usage.h"
#include "formats/primitives.h"
#include "formats/streams.h"

namespace {

// "\nLine N of the input" and the rest, which starts with its own space or colon.
int line_message(const run_end& end, const std::string& rest) {
    return write_message(
        ("\nLine " + std::to_string(end.line) + " of the input" + rest + "\n").c_str());
}

}  // namespace

int exit_status(run_outcome outcome) {
    switch (outcome) {
        case run_outcome::converted:
        case run_outcome::usage: return 0;
        case run_outcome::same_file:
        case run_outcome::open_output:
        case run_outcome::write_output: return 1;
        default: return -1;
    }
}

int write_message(const char* text) {
    return write_all(STDERR_FILENO, text, std::strlen(text)) ? 0 : -1;
}

int report(const run_end& end, const char* output_name) {
    switch (end.outcome) {
        case run_outcome::converted: return 0;
        case run_outcome::usage: return print_usage();
        case run_outcome::bad_basic_baud:
            return write_message("\nThe baud rate of -b must be 300, 600 or 1200.\n");
        case run_outcome::bad_input_type:
            return write_message("\nThe input type of -r must be bin, hex, srec or prg.\n");
        case run_outcome::no_action:
            return write_message("\nNo action specified. Nothing to do. Use one of -[avciq]\n");
        case run_outcome::basic_input_type:
            return write_message("\nA BASIC listing is text; leave out -r.\n");
        case run_outcome::load_with_records:
            return write_message("\nThe input gives its own load address; leave out -l.\n");
        case run_outcome::open_input:
            return write_message("\nError opening input file for read.\n");
        case run_outcome::read_input: return write_message("\nError reading input file.\n");
        case run_outcome::input_too_large: return write_message("\nThe input is too large.\n");
        case run_outcome::not_basic: return write_message("\nThe input is not a BASIC listing.\n");
        case run_outcome::not_a_record: return line_message(end, " is not a record.");
        case run_outcome::record_checksum:
            return line_message(end, ": the record's checksum is wrong.");
        case run_outcome::above_ffff: return line_message(end, " puts data above $FFFF.");
        case run_outcome::loaded_twice:
            return line_message(end, " loads " + address_text(end.address) + " a second time.");
        case run_outcome::record_count: return line_message(end, ": the record count is wrong.");
        case run_outcome::no_data: return write_message("\nThe input holds no data.\n");
        case run_outcome::prg_too_short:
            return write_message("\nThe input is too short for its load address.\n");
        case run_outcome::loader_overlap: {
            const int place = end.address >= 0 ? end.address : 0x1E00;
            return write_message(("\nThe data would overwrite the loader at " +
                                  address_text(place) +
                                  ". Give the loader's place with -i<addr>.\n")
                                     .c_str());
        }
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
    }
    return -1;
}
