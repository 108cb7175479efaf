// korvane: converts a raw 6502 memory image into an OSI load format.
#include <csignal>

#include "cli/driver.h"
#include "cli/messages.h"
#include "cli/parse.h"
#include "cli/run_settings.h"

int main(int argc, char** argv) {
    run_settings settings;
    file_names names;
    // A reader that goes away fails the next write, which is reported like any other.
    std::signal(SIGPIPE, SIG_IGN);
    run_end end{run_outcome::usage};
    if (argc > 1 && parse_command_line(argc, argv, settings, names)) end = run(settings, names);
    report(end, names.output);
    return exit_status(end.outcome);
}
