// The whole run of korvane-verify: command line, input, decoding, image and
// report. Usage errors and failures go to standard error as
// "korvane-verify: ..." lines; the report goes to standard output. Its core,
// verify_load_file, works on the load file's bytes in memory and writes nothing.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "verify/audio_summary.h"
#include "verify/command_line.h"

inline constexpr int verify_clean = 0;    // the file loads cleanly
inline constexpr int verify_faults = 1;   // it has faults
inline constexpr int verify_trouble = 2;  // usage error, unreadable input, unwritable output

// Files larger than this are no load file for a 64 KiB target.
inline constexpr size_t verify_input_limit = 16u << 20;

struct input_file {
    std::vector<unsigned char> bytes;
    int fd = -1;         // kept open, so that the image is never written over the input
    bool audio = false;  // a recording: bytes holds only its first block, read so far
};

// Reads the named file, or standard input for a null name, whole; a
// recording only as far as its header. False with the reason in error when
// it cannot be opened or read, or is too large.
bool read_input(const char* name, input_file& input, std::string& error);

// Writes the image to the settings' IMAGE: exclusive creation unless -f,
// never onto the input itself; a failed write or close is an error.
bool write_image(const verify_settings& settings, const input_file& input,
                 const std::vector<unsigned char>& image, std::string& error);

// What a run makes of a load file, before anything is written.
struct verify_output {
    int status = verify_clean;
    std::string error;  // with verify_trouble: the message, without the program's name
    file_format format = file_format::unknown;  // the format given or recognised
    std::string report;                         // for standard output
    std::vector<unsigned char> image;           // what -o writes of a load into memory
    std::vector<unsigned char> listing;         // what -o writes of a BASIC stream
    std::string hex;                            // what -O writes; empty for BASIC
};

// Recognises (where the settings give no format), decodes and reports the
// load file, named `shown` in messages; audio is the recording it was decoded
// from, or null. The settings' names are only words in the report here.
verify_output verify_load_file(const verify_settings& settings, std::span<const unsigned char> file,
                               const char* shown, const audio_summary* audio);

// Returns the exit status.
int verify_main(int argc, char** argv);
