// Recordings on disk and on the standard streams. Files are written and read
// through libsndfile; WAV on standard output, which libsndfile cannot write
// to a pipe, gets a 44-byte header of our own, its lengths known in advance,
// and the samples streamed after it. Both ways the float samples become
// integers here, once, so that a file and standard output carry the same
// sample bytes.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class sample_format { pcm8, pcm16, pcm24, float32 };

enum class audio_container { wav, flac, aiff };

// The container a file name asks for: .wav, .flac or .aiff (in any case);
// any other extension, or none, gives WAV.
audio_container container_for_name(const char* name);

const char* container_name(audio_container container);  // "WAV", "FLAC", "AIFF"
const char* sample_format_name(sample_format format);   // "8-bit", ..., "float"

// False when the container cannot hold the sample format (FLAC has no float).
bool container_holds(audio_container container, sample_format format);

// Bytes one mono sample takes in the file.
int sample_bytes(sample_format format);

// The largest integer of a PCM format: 127, 32767 or 8388607.
int32_t pcm_full_scale(sample_format format);

// The PCM value of every sample (between -1 and 1; beyond is clipped),
// rounded to the nearest integer. Not for float32.
void to_pcm(const float* in, size_t n, sample_format format, int32_t* out);

inline constexpr size_t wav_header_size = 44;

// True when a mono WAV of `frames` samples fits the 32-bit lengths of WAV
// (and of AIFF, which has the same limit).
bool fits_wav(sample_format format, int64_t frames);

// The header of a mono WAV holding `frames` samples: RIFF, a 16-byte "fmt "
// chunk (PCM, or IEEE float for float32) and the "data" chunk's head. The
// caller has checked fits_wav.
void wav_header(int rate, sample_format format, int64_t frames,
                unsigned char header[wav_header_size]);

// The bytes of n samples in a WAV data chunk: little-endian, 8-bit unsigned
// (offset by 128), float as IEEE single. out has room for n * sample_bytes.
void wav_sample_bytes(const float* in, size_t n, sample_format format, unsigned char* out);

// Writing a recording to an open descriptor.
struct audio_writer {
    int fd = -1;
    bool streamed = false;  // our own header and samples; otherwise through libsndfile
    sample_format format = sample_format::pcm16;
    SNDFILE* file = nullptr;
    int64_t position = 0;              // where libsndfile is in the file
    int64_t length = 0;                // how far it has written
    int error = 0;                     // errno of the first failed write or seek; 0 if none
    bool failed = false;               // a write has failed: nothing more is written
    std::vector<unsigned char> bytes;  // one block's sample bytes
    std::vector<int32_t> pcm;          // one block's integer samples
    std::vector<short> shorts;         // the same, as libsndfile takes 8 and 16 bits
};

// Sets up writing `frames` mono samples at `rate`. With streamed, or when fd
// cannot seek and the container is WAV, the WAV header is written by the
// program itself; otherwise libsndfile writes the container. The caller has
// checked container_holds and, for WAV and AIFF, fits_wav. False with the
// reason in error; fd stays the caller's to close then.
bool open_audio_writer(audio_writer& writer, int fd, bool streamed, audio_container container,
                       sample_format format, int rate, int64_t frames, std::string& error);

// Writes n samples. False once anything has failed, with the reason in error.
bool write_audio(audio_writer& writer, const float* samples, size_t n, std::string& error);

// Finishes the container and closes fd, checking both. False with the reason.
bool close_audio_writer(audio_writer& writer, std::string& error);

// Reading a recording from an open descriptor: a file read in place, or
// anything else (a pipe, a terminal) first copied to an unlinked temporary
// file, since libsndfile needs to seek in most containers.
struct audio_reader {
    int fd = -1;
    bool own_fd = false;  // the temporary copy, closed with the reader
    int64_t base = 0;     // where the recording starts in fd
    int64_t length = 0;   // its size in bytes
    int64_t position = 0;
    int error = 0;  // errno of a failed read; 0 if none
    SNDFILE* file = nullptr;
    int rate = 0;
    int channels = 0;
    int64_t frames = 0;
};

enum class audio_open {
    opened,
    unreadable,  // the input could not be read or copied; error tells why
    not_audio,   // libsndfile does not read it; error holds its reason
};

// Opens the recording on fd, of which `head` (head_size bytes) has already
// been read from the start. fd stays the caller's.
audio_open open_audio_reader(audio_reader& reader, int fd, const unsigned char* head,
                             size_t head_size, std::string& error);

// Reads up to `frames` frames of interleaved samples, between -1 and 1.
// Returns the frames read, 0 at the end; -1 on a read error, with the reason.
long read_audio(audio_reader& reader, float* samples, size_t frames, std::string& error);

void close_audio_reader(audio_reader& reader);
