// Telling a recording from a load file by its first bytes: the containers
// libsndfile reads that a cassette recording comes in. Needs no audio library,
// so that a korvane-verify built without one still knows what it was given.
#pragma once

#include <cstddef>

// The bytes needed to tell; fewer are never a recording.
inline constexpr size_t audio_header_size = 12;

// True for the start of a WAV (RIFF, RIFX, RF64), AIFF, FLAC, Ogg or MP3 file.
bool looks_like_audio(const unsigned char* data, size_t size);
