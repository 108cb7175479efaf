// The run: the checks in their order, the opening of both streams with the
// overwrite guard, the hybrid loader step and exactly one encoder.
#pragma once

#include <span>

#include "cli/messages.h"
#include "cli/parse.h"
#include "cli/run_settings.h"
#include "formats/encoders.h"
#include "formats/streams.h"

// Standard input and output carry bytes unchanged; on POSIX there is nothing to switch.
#define SET_BINARY_MODE(fd) ((void)(fd))

// Runs the hybrid step where it applies, then the encoder of the action, on
// the pieces of the data (in address order, the load address the first
// one's) and an output that are open; all are closed when it returns. May
// move the load address (and a single piece with it) and settle the loader's
// place in settings. Writes the warnings of a conversion that went through.
run_outcome convert(run_settings& settings, std::span<piece> pieces, out_stream& out);

// The same for a raw image: one piece at the load address. A BASIC listing
// is read whole first, and refused (read_input, not_basic) with nothing written.
run_outcome convert(run_settings& settings, in_stream& in, out_stream& out);

// Everything after the command line: checks, streams, conversion. Prints
// nothing but the warnings; the outcome's message is the caller's.
run_end run(run_settings& settings, const file_names& names);

// The checks that need no stream, in their order: the values of -b and -r,
// a format, -r with -b, -l with an input that gives its own addresses.
// `converted` when all pass.
run_outcome check_settings(const run_settings& settings);
