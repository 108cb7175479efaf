// What decoding a cassette recording found, in the words of the report: its
// own line, and its faults, which take their place among the load file's.
#pragma once

#include <string>
#include <vector>

struct audio_fault {
    long byte;          // the first decoded byte concerned, from 0
    std::string place;  // "12.345 s (byte 4567)", "30.400 s (bytes 1383-1385)"
    std::string what;   // "framing error", "dropout"
};

struct audio_summary {
    std::string line;  // "300 baud, speed +2.1%, 12294 bytes, 0 faults"
    std::vector<audio_fault> faults;
    long unlisted = 0;  // faults past those the decoder keeps: counted, not listed
    int baud = 0;       // the bit rate found; 0 when none was
};
