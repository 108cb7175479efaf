#include "formats/streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

int descriptor(void* context) { return static_cast<int>(reinterpret_cast<intptr_t>(context)); }

long fd_write(void* context, const unsigned char* data, size_t n) {
    for (;;) {
        ssize_t done = ::write(descriptor(context), data, n);
        if (done > 0) return static_cast<long>(done);
        if (done < 0 && errno == EINTR) continue;
        return -1;  // an error, or a write that took nothing
    }
}

long fd_read(void* context, unsigned char* data, size_t n) {
    for (;;) {
        ssize_t got = ::read(descriptor(context), data, n);
        if (got >= 0) return static_cast<long>(got);
        if (errno == EINTR) continue;
        return -1;
    }
}

int fd_close(void* context) { return ::close(descriptor(context)) == 0 ? 0 : -1; }

long span_read(void* context, unsigned char* data, size_t n) {
    auto* span = static_cast<memory_span*>(context);
    size_t left = span->size - span->position;
    if (n > left) n = left;
    if (n > 0) std::memcpy(data, span->data + span->position, n);
    span->position += n;
    return static_cast<long>(n);
}

int span_close(void*) { return 0; }

// From here on every put fails: with no room left, each one goes to
// flush_output, which refuses it.
void fail_output(out_stream& out) {
    out.failed = true;
    out.used = 0;
    out.room = 0;
}

// Hands n bytes to the sink, continuing short writes; the first failure
// fails the stream for good.
int send_to_sink(out_stream& out, const unsigned char* data, size_t n) {
    size_t sent = 0;
    while (sent < n) {
        long done = out.sink.write(out.sink.context, data + sent, n - sent);
        if (done <= 0) {
            fail_output(out);
            return -1;
        }
        sent += static_cast<size_t>(done);
    }
    return 0;
}

}  // namespace

out_sink fd_sink(int fd) { return {fd_write, fd_close, reinterpret_cast<void*>(intptr_t{fd})}; }

in_source fd_source(int fd) { return {fd_read, fd_close, reinterpret_cast<void*>(intptr_t{fd})}; }

in_source span_source(memory_span& span) { return {span_read, span_close, &span}; }

void open_output(out_stream& out, out_sink sink, size_t buffer_size) {
    if (buffer_size == 0) buffer_size = 1;
    out.sink = sink;
    out.storage.assign(buffer_size, 0);
    out.buffer = out.storage.data();
    out.used = 0;
    out.room = buffer_size;
    out.failed = false;
    out.closed = false;
}

void open_input(in_stream& in, in_source source) {
    in.source = source;
    in.failed = false;
    in.ended = false;
    in.closed = false;
}

int flush_output(out_stream& out) {
    if (out.failed || out.closed) return -1;
    if (send_to_sink(out, out.buffer, out.used) < 0) return -1;
    out.used = 0;
    return 0;
}

int put_block(const void* data, size_t n, out_stream& out) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    // A block at least as large as the buffer goes to the sink directly, after
    // what is already waiting, instead of being copied through the buffer.
    if (n >= out.room && n > 0 && !out.failed && !out.closed) {
        if (flush_output(out) < 0) return -1;
        return send_to_sink(out, bytes, n);
    }
    while (n > 0) {
        if (out.used == out.room && flush_output(out) < 0) return -1;
        size_t chunk = out.room - out.used;
        if (chunk > n) chunk = n;
        std::memcpy(out.buffer + out.used, bytes, chunk);
        out.used += chunk;
        bytes += chunk;
        n -= chunk;
    }
    return out.failed ? -1 : 0;
}

int put_string(const char* text, out_stream& out) {
    return put_block(text, std::strlen(text), out);
}

int close_output(out_stream& out) {
    if (out.closed) return -1;
    int result = out.failed ? -1 : flush_output(out);
    out.closed = true;
    if (out.sink.close(out.sink.context) < 0) result = -1;
    if (result < 0) out.failed = true;
    out.used = 0;
    out.room = 0;
    out.storage.clear();
    out.storage.shrink_to_fit();
    out.buffer = nullptr;
    return result;
}

bool write_all(int fd, const void* data, size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        ssize_t done = ::write(fd, bytes, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = EIO;
            return false;
        }
        bytes += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

bool write_and_close(int fd, const void* data, size_t n) {
    out_stream out;
    open_output(out, fd_sink(fd));
    errno = 0;
    int written = put_block(data, n, out);
    int closed = close_output(out);
    return written == 0 && closed == 0;
}

size_t read_block(in_stream& in, unsigned char* data, size_t n) {
    size_t got = 0;
    while (got < n && !in.ended && !in.failed && !in.closed) {
        long part = in.source.read(in.source.context, data + got, n - got);
        if (part < 0) {
            in.failed = true;
            break;
        }
        if (part == 0) in.ended = true;
        got += static_cast<size_t>(part);
    }
    in.count += got;
    return got;
}

int close_input(in_stream& in) {
    if (in.closed) return -1;
    in.closed = true;
    return in.source.close(in.source.context) < 0 ? -1 : 0;
}
