// The report on standard output, one fact per line, in this order:
//
//   audio: 300 baud, speed +2.1%, N bytes, N faults
//                                     a cassette recording, decoded first
//   format: NAME[ (recognised)]       NAME: 65V, 65A, checksum, QSave, hybrid or
//                                     BASIC listing; "(recognised)" when no format
//                                     letter was given, and for BASIC "(forced)" when -b was
//   loader: KIND at $AAAA, entry $EEEE
//                                     hybrid only; KIND: checksum or QSave
//   range: $AAAA-$BBBB N bytes        one line per contiguous range of data,
//                                     ascending; "range: none" when nothing is loaded
//   gap: $AAAA-$BBBB N bytes          with -o only: unloaded stretches between
//                                     ranges, zero in the image
//   records: N                        data records; for 65V and 65A the load
//                                     commands that stored data
//   go: $AAAA                         where the target is started
//   go: $AAAA, set in the register save area
//                                     65A: the start sequence loaded $012E-$012F
//   go: from the register save area, which the data leaves holding $AAAA
//   go: from the register save area, not loaded by this file
//                                     65A "G" alone: $012E-$012F as the data
//                                     leaves them, or as they were
//   go: none
//   image: $AAAA-$BBBB N bytes to NAME    with -o; "image: empty, to NAME"
//
// or, for a BASIC stream, in place of loader to image:
//
//   lines: N numbered, lowest 10, highest 500
//                                     the program BASIC holds after the load, which
//                                     -o writes; "lines: none" when it holds no line
//   end: POKE 515,0:RUN               the line that hands back to the keyboard:
//   end: POKE 515,0                   "POKE 515,0:RUN" also starts the program;
//   end: none (press a key after the tape to stop the load)
//   pacing: checked for 300 baud      the rate its NULs were checked for
//
// then:
//
//   fault at byte N ($AAAA): TEXT     one line per fault, by offset in the file
//   fault at byte N: TEXT             (decimal, from 0); the address where one applies
//   fault at byte N (line 40): TEXT   a BASIC stream's NULs too few: the line's BASIC
//                                     number, where it has one
//   fault at S.SSS s (byte N): TEXT   the recording's faults, by the first byte they
//   fault at S.SSS s (bytes N-M): TEXT    concern, each before the file's own at that byte
//   faults: N
//
// An address $AAAA-$BBBB is written $AAAA alone when both ends are the same;
// "N bytes" is "1 byte" for one.
#pragma once

#include <string>
#include <vector>

#include "verify/audio_summary.h"
#include "verify/memory_map.h"
#include "verify/verify.h"

// The decoder's faults and the memory's, ordered by offset (ties keep their order).
std::vector<fault> collect_faults(const decoding& decoded, const memory_map& map);

// The whole report; image_name is null without -o, audio for a load file
// given as it is.
std::string report_text(const decoding& decoded, bool recognised, const memory_map& map,
                        const std::vector<fault>& faults, const char* image_name,
                        const audio_summary* audio = nullptr);

// The data from the lowest to the highest address loaded, gaps zero; empty
// when nothing is loaded.
std::vector<unsigned char> image_bytes(const memory_map& map);

const char* format_name(file_format format);

// The program a BASIC stream leaves: its numbered lines in number order, each
// as the number, a space and the rest as BASIC keeps it, ended by LF.
std::vector<unsigned char> program_listing(const basic_load& load);
