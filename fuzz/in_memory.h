// korvane in memory for the fuzz targets: a command line parsed as korvane
// parses it, and records converted as korvane's run converts them once they
// are read (the load address the first piece's, each piece streamed from the
// load's memory), the output kept in memory.
#pragma once

#include <string>
#include <vector>

#include "cli/driver.h"
#include "cli/parse.h"
#include "records/records.h"
#include "support/memory_streams.h"

// The settings of korvane's arguments (after its name); false where korvane
// would print its usage text.
inline bool korvane_settings(const std::vector<std::string>& arguments, run_settings& settings) {
    std::vector<const char*> argv{"korvane"};
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    file_names names;
    return parse_command_line(static_cast<int>(argv.size()), argv.data(), settings, names);
}

// The load file korvane writes for the records' pieces; outcome is the conversion's.
inline std::string convert_records(const run_settings& parsed, const record_load& load,
                                   run_outcome& outcome) {
    run_settings settings = parsed;
    settings.load_address = load.pieces.front().first;
    record_pieces opened;
    open_record_pieces(load, opened);
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink());
    outcome = convert(settings, opened.pieces, out);
    return std::move(sink.bytes);
}
