// korvane: converts a raw 6502 memory image into an OSI load format.
#include "cli/driver.h"
#include "cli/messages.h"
#include "cli/parse.h"
#include "cli/run_settings.h"

int main(int argc, char** argv) {
    run_settings settings;
    file_names names;
    run_outcome outcome = run_outcome::usage;
    if (argc > 1 && parse_command_line(argc, argv, settings, names)) {
        outcome = run(settings, names);
    }
    report(outcome, names.output);
    return exit_status(outcome);
}
