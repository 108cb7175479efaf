// Loads that korvane writes but the target may not complete: the warnings
// printed on standard error. None changes the output or the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/run_settings.h"

// True when the run sends the hybrid's loader ahead of the data.
bool hybrid_applies(const run_settings& settings);

// For a loader placed by -i<addr> whose bytes reach into the system area.
std::string loader_warning(int loader_address);

// The warnings for a conversion that went through with data_bytes bytes of
// data, in the order they are printed: data on the cells that the load path
// needs (the hybrid's loader, the 65V or the 65A monitor), then the 65A start.
// Settings are those the encoder ran with (the hybrid's data moved where it
// was moved). Plain checksum and QSave files, read by a loader already in the
// machine, get none.
std::vector<std::string> load_warnings(const run_settings& settings, unsigned long long data_bytes);
