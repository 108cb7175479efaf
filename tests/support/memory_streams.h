// In-memory test doubles for the streams: an output that accepts exactly
// `limit` bytes and then fails, and an input that hands out its bytes in
// chunks of a chosen size and can fail after a given number of bytes.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

#include "formats/streams.h"

struct memory_sink {
    std::string bytes;                                      // what was accepted
    size_t limit = std::numeric_limits<size_t>::max();      // bytes accepted before failing
    size_t max_chunk = std::numeric_limits<size_t>::max();  // largest write taken at once
    int closes = 0;                                         // close() calls
    bool close_fails = false;                               // close() reports failure
    size_t writes_after_failure = 0;                        // write() calls after one failed
    bool has_failed = false;

    out_sink sink() { return {write_fn, close_fn, this}; }

    static long write_fn(void* context, const unsigned char* data, size_t n) {
        auto* self = static_cast<memory_sink*>(context);
        if (self->has_failed) ++self->writes_after_failure;
        size_t room = self->limit - self->bytes.size();
        size_t take = n < room ? n : room;
        if (take > self->max_chunk) take = self->max_chunk;
        if (take == 0) {
            self->has_failed = true;
            return -1;
        }
        self->bytes.append(reinterpret_cast<const char*>(data), take);
        return static_cast<long>(take);
    }
    static int close_fn(void* context) {
        auto* self = static_cast<memory_sink*>(context);
        ++self->closes;
        return self->close_fails ? -1 : 0;
    }
};

struct memory_source {
    std::string data;                                     // the whole input
    size_t chunk = std::numeric_limits<size_t>::max();    // largest read handed out
    size_t fail_at = std::numeric_limits<size_t>::max();  // a read at this position fails
    size_t position = 0;
    int closes = 0;
    int reads_after_end = 0;  // read() calls after it returned 0 or -1
    bool finished = false;

    explicit memory_source(std::string input = {},
                           size_t chunk_size = std::numeric_limits<size_t>::max())
        : data(std::move(input)), chunk(chunk_size) {}

    in_source source() { return {read_fn, close_fn, this}; }

    static long read_fn(void* context, unsigned char* out, size_t n) {
        auto* self = static_cast<memory_source*>(context);
        if (self->finished) ++self->reads_after_end;
        if (self->position >= self->fail_at) {
            self->finished = true;
            return -1;
        }
        size_t left = self->data.size() - self->position;
        size_t take = n < left ? n : left;
        if (take > self->chunk) take = self->chunk;
        if (self->fail_at - self->position < take) take = self->fail_at - self->position;
        if (take == 0) {
            self->finished = true;
            return 0;
        }
        std::memcpy(out, self->data.data() + self->position, take);
        self->position += take;
        return static_cast<long>(take);
    }
    static int close_fn(void* context) {
        ++static_cast<memory_source*>(context)->closes;
        return 0;
    }
};
