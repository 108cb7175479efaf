// Recordings from anywhere: arbitrary bytes as the file a recording is read
// from, the way korvane-verify takes one (told by its first bytes, then
// decoded through libsndfile while it streams) and the way korvane-tape -d
// takes one (handed to libsndfile whatever it begins with), from a regular
// file and from a pipe, which is first copied aside.
//
// Fuzz data: byte 0, bit 0: from a pipe instead of a file; bit 1: korvane-tape's
// way instead of korvane-verify's. The rest is the file.
//
// Checked beyond what the sanitizers catch: the decoded bytes stay within
// the limit, and a decoding that went through says what it found.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "tape/audio_file.h"
#include "tape/recording.h"
#include "verify/audio_header.h"
#include "verify/audio_input.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("audio_input_fuzz", what);
}

// korvane-verify reads this much of its input before it tells what it is.
constexpr size_t head_size = 64 * 1024;
constexpr size_t limit = 1 << 20;

bool write_whole(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done <= 0) return false;
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

// A descriptor that reads the bytes: a pipe holding them all (they fit its
// buffer), or a file in memory. -1 when neither can be made.
int source_of(const uint8_t* data, size_t size, bool pipe_input) {
    if (pipe_input) {
        int ends[2];
        if (pipe(ends) != 0) return -1;
        fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(head_size));
        bool written = write_whole(ends[1], data, size);
        close(ends[1]);
        if (!written) {
            close(ends[0]);
            return -1;
        }
        return ends[0];
    }
    int fd = memfd_create("recording", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (!write_whole(fd, data, size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool take_bytes(void* context, const unsigned char* data, size_t n) {
    auto& bytes = *static_cast<std::vector<unsigned char>*>(context);
    if (bytes.size() + n > limit) return false;
    bytes.insert(bytes.end(), data, data + n);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > head_size) return 0;
    const bool pipe_input = (data[0] & 1) != 0;
    const bool tape_way = (data[0] & 2) != 0;
    const int fd = source_of(data + 1, size - 1, pipe_input);
    if (fd < 0) return 0;

    if (tape_way) {
        audio_reader reader;
        std::string error;
        if (open_audio_reader(reader, fd, nullptr, 0, error) == audio_open::opened) {
            std::vector<unsigned char> bytes;
            decode_result result;
            decode_end end = decode_recording(reader, {}, {take_bytes, &bytes}, result, error);
            close_audio_reader(reader);
            if (end == decode_end::decoded) {
                expect(result.bytes == static_cast<int64_t>(bytes.size()),
                       "bytes counted are not those given");
                expect(!decode_summary_text(result).empty(), "no summary");
            }
        }
        close(fd);
        return 0;
    }

    // korvane-verify reads the first block, tells a recording by it, and
    // hands the rest of the descriptor to the decoder.
    std::vector<unsigned char> head(head_size);
    size_t got = 0;
    for (ssize_t n = 0; got < head.size(); got += static_cast<size_t>(n)) {
        n = read(fd, head.data() + got, head.size() - got);
        if (n <= 0) break;
    }
    head.resize(got);
    if (looks_like_audio(head.data(), head.size())) {
        audio_summary summary;
        std::string error;
        if (decode_audio_input(fd, "recording", limit, head, summary, error)) {
            expect(head.size() <= limit, "more bytes decoded than the limit");
            expect(!summary.line.empty(), "no summary");
        } else {
            expect(!error.empty(), "a failure without a reason");
        }
    }
    close(fd);
    return 0;
}
