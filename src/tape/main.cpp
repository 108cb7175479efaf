// korvane-tape: puts an OSI load file on Kansas City standard cassette audio,
// and reads a recording back into its bytes.
#include <csignal>

#include "tape/tape_run.h"

int main(int argc, char** argv) {
    // A reader that goes away fails the next write, which is reported like any other.
    std::signal(SIGPIPE, SIG_IGN);
    return tape_main(argc, argv);
}
