// A cassette recording given to korvane-verify: decoded, streaming, with
// korvane-tape's decoder into the load file it carries.
#pragma once

#include <string>
#include <vector>

#include "verify/audio_summary.h"

// Decodes the recording on fd, of which `bytes` holds what has been read
// from its start already; bytes then holds the load file decoded, at most
// `limit` bytes. False with the whole message in error (named after `shown`)
// when it cannot be decoded, holds no cassette signal or decodes to more
// than the limit, or when this korvane-verify reads no audio.
bool decode_audio_input(int fd, const char* shown, size_t limit, std::vector<unsigned char>& bytes,
                        audio_summary& summary, std::string& error);
