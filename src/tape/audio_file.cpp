#include "tape/audio_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "formats/streams.h"

namespace {

std::string system_error(int error) { return std::strerror(error); }

void put_le(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

int library_subtype(audio_container container, sample_format format) {
    switch (format) {
        case sample_format::pcm8:
            return container == audio_container::wav ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
        case sample_format::pcm16: return SF_FORMAT_PCM_16;
        case sample_format::pcm24: return SF_FORMAT_PCM_24;
        case sample_format::float32: return SF_FORMAT_FLOAT;
    }
    return SF_FORMAT_PCM_16;
}

int library_major(audio_container container) {
    switch (container) {
        case audio_container::wav: return SF_FORMAT_WAV;
        case audio_container::flac: return SF_FORMAT_FLAC;
        case audio_container::aiff: return SF_FORMAT_AIFF;
    }
    return SF_FORMAT_WAV;
}

// A seek within a file of `length` bytes at `position`, as libsndfile asks
// for one: the new position, or -1 before the start.
template <typename File>
sf_count_t seek_in(File& f, sf_count_t offset, int whence) {
    sf_count_t from = whence == SEEK_CUR ? f.position : whence == SEEK_END ? f.length : 0;
    if (from + offset < 0) return -1;
    f.position = from + offset;
    return f.position;
}

// libsndfile's access to the output: the descriptor at a position of its own.
sf_count_t writer_length(void* user) { return static_cast<audio_writer*>(user)->length; }

sf_count_t writer_seek(sf_count_t offset, int whence, void* user) {
    return seek_in(*static_cast<audio_writer*>(user), offset, whence);
}

sf_count_t writer_read(void* ptr, sf_count_t count, void* user) {
    auto& w = *static_cast<audio_writer*>(user);
    ssize_t got = ::pread(w.fd, ptr, static_cast<size_t>(count), static_cast<off_t>(w.position));
    if (got <= 0) return 0;
    w.position += got;
    return got;
}

sf_count_t writer_write(const void* ptr, sf_count_t count, void* user) {
    auto& w = *static_cast<audio_writer*>(user);
    if (w.failed) return 0;
    if (::lseek(w.fd, static_cast<off_t>(w.position), SEEK_SET) < 0 ||
        !write_all(w.fd, static_cast<const unsigned char*>(ptr), static_cast<size_t>(count))) {
        w.error = errno;
        w.failed = true;
        return 0;
    }
    w.position += count;
    if (w.position > w.length) w.length = w.position;
    return count;
}

sf_count_t writer_tell(void* user) { return static_cast<audio_writer*>(user)->position; }

// libsndfile's access to the input: the recording from `base` on.
sf_count_t reader_length(void* user) { return static_cast<audio_reader*>(user)->length; }

sf_count_t reader_seek(sf_count_t offset, int whence, void* user) {
    return seek_in(*static_cast<audio_reader*>(user), offset, whence);
}

sf_count_t reader_read(void* ptr, sf_count_t count, void* user) {
    auto& r = *static_cast<audio_reader*>(user);
    auto* data = static_cast<unsigned char*>(ptr);
    sf_count_t got = 0;
    while (got < count && r.position < r.length) {
        ssize_t part = ::pread(r.fd, data + got, static_cast<size_t>(count - got),
                               static_cast<off_t>(r.base + r.position));
        if (part < 0 && errno == EINTR) continue;
        if (part < 0) {
            if (r.error == 0) r.error = errno;
            break;
        }
        if (part == 0) break;
        got += part;
        r.position += part;
    }
    return got;
}

sf_count_t reader_write(const void*, sf_count_t, void*) { return 0; }

sf_count_t reader_tell(void* user) { return static_cast<audio_reader*>(user)->position; }

// Copies the head and the rest of fd into an unlinked temporary file.
bool spool(audio_reader& reader, int fd, const unsigned char* head, size_t head_size,
           std::string& error) {
    const char* dir = std::getenv("TMPDIR");
    std::string name =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/korvane-tape-XXXXXX";
    int copy = ::mkstemp(name.data());
    if (copy < 0) {
        error = "cannot make a temporary copy in " + name.substr(0, name.rfind('/')) + ": " +
                system_error(errno);
        return false;
    }
    ::unlink(name.c_str());
    reader.fd = copy;
    reader.own_fd = true;
    auto copy_failed = [&] {
        error = "cannot make a temporary copy: " + system_error(errno);
        return false;
    };
    if (!write_all(copy, head, head_size)) return copy_failed();
    int64_t total = static_cast<int64_t>(head_size);
    std::vector<unsigned char> block(64 * 1024);
    for (;;) {
        ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = system_error(errno);
            return false;
        }
        if (got == 0) break;
        if (!write_all(copy, block.data(), static_cast<size_t>(got))) return copy_failed();
        total += got;
    }
    reader.base = 0;
    reader.length = total;
    return true;
}

}  // namespace

audio_container container_for_name(const char* name) {
    const char* slash = std::strrchr(name, '/');
    const char* base = slash != nullptr ? slash + 1 : name;
    const char* dot = std::strrchr(base, '.');
    if (dot == nullptr) return audio_container::wav;
    if (strcasecmp(dot, ".flac") == 0) return audio_container::flac;
    if (strcasecmp(dot, ".aiff") == 0) return audio_container::aiff;
    return audio_container::wav;
}

const char* container_name(audio_container container) {
    switch (container) {
        case audio_container::wav: return "WAV";
        case audio_container::flac: return "FLAC";
        case audio_container::aiff: return "AIFF";
    }
    return "WAV";
}

const char* sample_format_name(sample_format format) {
    switch (format) {
        case sample_format::pcm8: return "8-bit";
        case sample_format::pcm16: return "16-bit";
        case sample_format::pcm24: return "24-bit";
        case sample_format::float32: return "float";
    }
    return "16-bit";
}

bool container_holds(audio_container container, sample_format format) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = library_major(container) | library_subtype(container, format);
    return sf_format_check(&info) != 0;
}

int sample_bytes(sample_format format) {
    switch (format) {
        case sample_format::pcm8: return 1;
        case sample_format::pcm16: return 2;
        case sample_format::pcm24: return 3;
        case sample_format::float32: return 4;
    }
    return 2;
}

int32_t pcm_full_scale(sample_format format) {
    return (int32_t{1} << (8 * sample_bytes(format) - 1)) - 1;
}

void to_pcm(const float* in, size_t n, sample_format format, int32_t* out) {
    const double full = pcm_full_scale(format);
    for (size_t i = 0; i < n; ++i) {
        double x = std::clamp(static_cast<double>(in[i]), -1.0, 1.0);
        // Half away from zero; the sine is symmetric, and so are its samples.
        out[i] = static_cast<int32_t>(x * full + std::copysign(0.5, x));
    }
}

bool fits_wav(sample_format format, int64_t frames) {
    int64_t data = frames * sample_bytes(format);
    return frames >= 0 && data + (data & 1) + 36 <= int64_t{0xFFFFFFFF};
}

void wav_header(int rate, sample_format format, int64_t frames,
                unsigned char header[wav_header_size]) {
    const auto bytes = static_cast<uint32_t>(sample_bytes(format));
    const auto data = static_cast<uint32_t>(frames * bytes);
    std::memcpy(header, "RIFF", 4);
    put_le(header + 4, 36 + data + (data & 1), 4);  // an odd data chunk is padded
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put_le(header + 16, 16, 4);
    put_le(header + 20, format == sample_format::float32 ? 3 : 1, 2);
    put_le(header + 22, 1, 2);  // mono
    put_le(header + 24, static_cast<uint32_t>(rate), 4);
    put_le(header + 28, static_cast<uint32_t>(rate) * bytes, 4);
    put_le(header + 32, bytes, 2);
    put_le(header + 34, 8 * bytes, 2);
    std::memcpy(header + 36, "data", 4);
    put_le(header + 40, data, 4);
}

void wav_sample_bytes(const float* in, size_t n, sample_format format, unsigned char* out) {
    if (format == sample_format::float32) {
        for (size_t i = 0; i < n; ++i) {
            uint32_t bits = 0;
            std::memcpy(&bits, &in[i], 4);
            put_le(out + 4 * i, bits, 4);
        }
        return;
    }
    // Converted a stretch at a time through the same rounding as files get.
    constexpr size_t stretch = 1024;
    int32_t pcm[stretch];
    const size_t bytes = static_cast<size_t>(sample_bytes(format));
    for (size_t at = 0; at < n; at += stretch) {
        size_t count = std::min(n - at, stretch);
        to_pcm(in + at, count, format, pcm);
        unsigned char* o = out + at * bytes;
        switch (format) {
            case sample_format::pcm8:
                for (size_t i = 0; i < count; ++i) o[i] = static_cast<unsigned char>(pcm[i] + 128);
                break;
            case sample_format::pcm16:
                for (size_t i = 0; i < count; ++i) {
                    o[2 * i] = static_cast<unsigned char>(pcm[i]);
                    o[2 * i + 1] = static_cast<unsigned char>(pcm[i] >> 8);
                }
                break;
            default:
                for (size_t i = 0; i < count; ++i) {
                    o[3 * i] = static_cast<unsigned char>(pcm[i]);
                    o[3 * i + 1] = static_cast<unsigned char>(pcm[i] >> 8);
                    o[3 * i + 2] = static_cast<unsigned char>(pcm[i] >> 16);
                }
                break;
        }
    }
}

bool open_audio_writer(audio_writer& writer, int fd, bool streamed, audio_container container,
                       sample_format format, int rate, int64_t frames, std::string& error) {
    writer.fd = fd;
    writer.format = format;
    writer.position = 0;
    writer.length = 0;
    writer.error = 0;
    writer.failed = false;
    bool seekable = ::lseek(fd, 0, SEEK_CUR) >= 0;
    if (!streamed && !seekable) {
        if (container != audio_container::wav) {
            error = std::string("cannot seek, and a ") + container_name(container) +
                    " file is finished at its start; write it to a regular file";
            return false;
        }
        streamed = true;
    }
    writer.streamed = streamed;
    if (streamed) {
        unsigned char header[wav_header_size];
        wav_header(rate, format, frames, header);
        if (!write_all(fd, header, sizeof header)) {
            error = system_error(errno);
            return false;
        }
        writer.length = static_cast<int64_t>(frames) * sample_bytes(format);
        return true;
    }
    SF_VIRTUAL_IO io{writer_length, writer_seek, writer_read, writer_write, writer_tell};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = library_major(container) | library_subtype(container, format);
    writer.file = sf_open_virtual(&io, SFM_WRITE, &info, &writer);
    if (writer.file == nullptr) {
        error = writer.error != 0 ? system_error(writer.error) : sf_strerror(nullptr);
        return false;
    }
    return true;
}

bool write_audio(audio_writer& writer, const float* samples, size_t n, std::string& error) {
    if (writer.failed) {
        error = writer.error != 0 ? system_error(writer.error) : "write failed";
        return false;
    }
    if (writer.streamed) {
        writer.bytes.resize(n * static_cast<size_t>(sample_bytes(writer.format)));
        wav_sample_bytes(samples, n, writer.format, writer.bytes.data());
        if (!write_all(writer.fd, writer.bytes.data(), writer.bytes.size())) {
            writer.error = errno;
            writer.failed = true;
            error = system_error(writer.error);
            return false;
        }
        return true;
    }
    sf_count_t want = static_cast<sf_count_t>(n);
    sf_count_t done = 0;
    if (writer.format == sample_format::float32) {
        done = sf_write_float(writer.file, samples, want);
    } else {
        writer.pcm.resize(n);
        to_pcm(samples, n, writer.format, writer.pcm.data());
        if (writer.format == sample_format::pcm24) {
            // libsndfile keeps the top 24 bits of an int.
            for (int32_t& v : writer.pcm) v *= 256;
            done = sf_write_int(writer.file, writer.pcm.data(), want);
        } else {
            // and the top 8 bits of a short for 8-bit files.
            const int32_t scale = writer.format == sample_format::pcm8 ? 256 : 1;
            writer.shorts.resize(n);
            for (size_t i = 0; i < n; ++i)
                writer.shorts[i] = static_cast<short>(writer.pcm[i] * scale);
            done = sf_write_short(writer.file, writer.shorts.data(), want);
        }
    }
    if (done != want || writer.failed) {
        writer.failed = true;
        error = writer.error != 0 ? system_error(writer.error) : sf_strerror(writer.file);
        return false;
    }
    return true;
}

bool close_audio_writer(audio_writer& writer, std::string& error) {
    bool good = !writer.failed;
    if (writer.streamed) {
        // A chunk of odd length is followed by a pad byte.
        static const unsigned char pad = 0;
        if (good && (writer.length & 1) != 0 && !write_all(writer.fd, &pad, 1)) {
            writer.error = errno;
            good = false;
        }
    } else if (writer.file != nullptr) {
        int closed = sf_close(writer.file);
        writer.file = nullptr;
        if (closed != 0 || writer.failed) {
            if (good && writer.error == 0) error = sf_error_number(closed);
            good = false;
        }
    }
    errno = 0;
    if (::close(writer.fd) != 0 && good) {
        writer.error = errno;
        good = false;
    }
    writer.fd = -1;
    if (!good && error.empty()) {
        error = writer.error != 0 ? system_error(writer.error) : "write failed";
    }
    return good;
}

audio_open open_audio_reader(audio_reader& reader, int fd, const unsigned char* head,
                             size_t head_size, std::string& error) {
    reader = audio_reader{};
    struct stat st {};
    off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && at >= 0 &&
        static_cast<size_t>(at) >= head_size) {
        reader.fd = fd;
        reader.base = at - static_cast<off_t>(head_size);
        reader.length = st.st_size - reader.base;
    } else if (!spool(reader, fd, head, head_size, error)) {
        close_audio_reader(reader);
        return audio_open::unreadable;
    }
    SF_VIRTUAL_IO io{reader_length, reader_seek, reader_read, reader_write, reader_tell};
    SF_INFO info{};
    reader.file = sf_open_virtual(&io, SFM_READ, &info, &reader);
    if (reader.file == nullptr) {
        bool read_failed = reader.error != 0;
        error = read_failed ? system_error(reader.error) : sf_strerror(nullptr);
        close_audio_reader(reader);
        return read_failed ? audio_open::unreadable : audio_open::not_audio;
    }
    reader.rate = info.samplerate;
    reader.channels = info.channels;
    reader.frames = info.frames;
    return audio_open::opened;
}

long read_audio(audio_reader& reader, float* samples, size_t frames, std::string& error) {
    sf_count_t got = sf_readf_float(reader.file, samples, static_cast<sf_count_t>(frames));
    if (reader.error != 0) {
        error = system_error(reader.error);
        return -1;
    }
    return static_cast<long>(got);
}

void close_audio_reader(audio_reader& reader) {
    if (reader.file != nullptr) sf_close(reader.file);
    reader.file = nullptr;
    if (reader.own_fd && reader.fd >= 0) ::close(reader.fd);
    reader.fd = -1;
    reader.own_fd = false;
}
