// Byte streams under every encoder: a buffered output with a sticky failure
// flag, and an input whose block reads are filled until full, end or error.
#pragma once

#include <cstddef>
#include <vector>

// Where buffered output finally goes. write() takes up to n bytes and returns
// how many it took (at least 1), or -1 on failure; close() returns 0 or -1.
struct out_sink {
    long (*write)(void* context, const unsigned char* data, size_t n);
    int (*close)(void* context);
    void* context;
};

// Where input comes from. read() returns 1 to n bytes, 0 at the end, -1 on error.
struct in_source {
    long (*read)(void* context, unsigned char* data, size_t n);
    int (*close)(void* context);
    void* context;
};

inline constexpr size_t default_output_buffer = 64 * 1024;

struct out_stream {
    out_sink sink;
    std::vector<unsigned char> storage;  // the buffer
    unsigned char* buffer = nullptr;     // storage.data()
    size_t used = 0;                     // bytes waiting in the buffer
    size_t room = 0;                     // buffer size; 0 once failed or closed
    bool failed = false;                 // a write, flush or close has failed
    bool closed = false;                 // close_output has run
};

struct in_stream {
    in_source source;
    unsigned long long count = 0;  // bytes read so far
    bool failed = false;           // a read has failed: the input did not end cleanly
    bool ended = false;            // the end of the input was seen
    bool closed = false;           // close_input has run
};

// Sets up a stream over a sink with a buffer of buffer_size bytes (at least 1).
void open_output(out_stream& out, out_sink sink, size_t buffer_size = default_output_buffer);
void open_input(in_stream& in, in_source source);

// Sinks and sources over a POSIX file descriptor, which their close() closes.
// The context is the descriptor itself, cast to a pointer.
out_sink fd_sink(int fd);
in_source fd_source(int fd);

// Bytes in memory, read from the start by a span_source.
struct memory_span {
    const unsigned char* data;
    size_t size;
    size_t position = 0;  // bytes handed out so far
};

// A source over the span, which must outlive it; its close() does nothing.
in_source span_source(memory_span& span);

// Sends the buffer to the sink. 0, or -1 when this or an earlier write failed.
int flush_output(out_stream& out);

// One byte, as standard I/O's putc: returns its value 0 to 255, or -1 once
// the output has failed. Nothing reaches the sink after a failure.
inline int put_byte(int c, out_stream& out) {
    if (out.used == out.room && flush_output(out) < 0) return -1;
    out.buffer[out.used++] = static_cast<unsigned char>(c);
    return c & 0xFF;
}

// n bytes: 0, or -1 once the output has failed.
int put_block(const void* data, size_t n, out_stream& out);

// A NUL-terminated string: 0 or -1.
int put_string(const char* text, out_stream& out);

// Flushes and closes the sink, exactly once. 0, or -1 if anything failed.
int close_output(out_stream& out);

// Writes all n bytes to the descriptor, continuing short and interrupted
// writes; false with errno set (EIO for a write that took nothing).
bool write_all(int fd, const void* data, size_t n);

// Writes n bytes to the descriptor through a stream of its own and closes
// it: true when every write and the close went through; otherwise errno
// tells why where it can (0 where it cannot).
bool write_and_close(int fd, const void* data, size_t n);

// Reads until n bytes are in data, the input ends or a read fails; a short read
// is continued. Returns the bytes read, those before a failed read included;
// `failed` tells a failure from the end of the input. Once the input has
// ended, failed or been closed, nothing more is read and the result is 0.
size_t read_block(in_stream& in, unsigned char* data, size_t n);

// Closes the source, exactly once. 0 or -1.
int close_input(in_stream& in);
