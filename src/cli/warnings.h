// Loads that korvane writes but the target may not complete: the warnings
// printed on standard error. None changes the output or the exit status.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "basic/listing.h"
#include "cli/run_settings.h"
#include "formats/target_cells.h"

// True when the run sends the hybrid's loader ahead of the data.
bool hybrid_applies(const run_settings& settings);

// For a loader placed by -i<addr> whose bytes reach into the system area.
std::string loader_warning(int loader_address);

// The warnings for a conversion that went through with data at the given
// places, in the order they are printed: each piece on the cells that the load
// path needs (the hybrid's loader, the 65V or the 65A monitor), then the 65A
// start. Settings are those the encoder ran with (the hybrid's data moved
// where it was moved). Plain checksum and QSave files, read by a loader
// already in the machine, get none.
std::vector<std::string> load_warnings(const run_settings& settings,
                                       std::span<const data_extent> data);

// The same for data_bytes bytes from the load address.
std::vector<std::string> load_warnings(const run_settings& settings, unsigned long long data_bytes);

// For an input whose start address goes unused because -g was not given.
std::string start_address_warning(unsigned long long start);

// At most this many warnings of a listing are printed, then a line that counts the rest.
inline constexpr size_t listing_warning_cap = 20;

// The warnings for a listing's lines, in the order they are printed: the
// first listing_warning_cap of them, then "N more warnings not shown" for
// the rest.
std::vector<std::string> basic_warnings(const std::vector<listing_line>& lines);
