// The buffered output and the block-reading input under every encoder.
#include "formats/streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "formats/encoder_harness.h"
#include "support/memory_streams.h"

namespace {

const size_t buffer_sizes[] = {1, 7, 4096};

// A mix of single bytes, blocks and strings, some longer than a small buffer.
void write_mixed(out_stream& out) {
    for (int c = 0; c < 256; ++c) put_byte(c, out);
    std::string block(5000, 'x');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    put_block(block.data(), block.size(), out);
    put_string("L0300\r\n", out);
    put_block("", 0, out);
    put_byte(0xFF, out);
}

std::string mixed_expected() {
    std::string text;
    for (int c = 0; c < 256; ++c) text.push_back(static_cast<char>(c));
    for (size_t i = 0; i < 5000; ++i) text.push_back(static_cast<char>(i * 7));
    text += "L0300\r\n";
    text.push_back('\xFF');
    return text;
}

TEST(OutStream, PutByteReturnsTheByteValueForAllBytes) {
    for (size_t size : buffer_sizes) {
        memory_sink sink;
        out_stream out;
        open_output(out, sink.sink(), size);
        for (int c = 0; c < 256; ++c) {
            EXPECT_EQ(put_byte(c, out), c) << "buffer " << size;
        }
        EXPECT_EQ(close_output(out), 0);
        ASSERT_EQ(sink.bytes.size(), 256u);
        for (int c = 0; c < 256; ++c) {
            EXPECT_EQ(static_cast<unsigned char>(sink.bytes[static_cast<size_t>(c)]), c);
        }
    }
}

TEST(OutStream, ByteFFIsSuccessNotFailure) {
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), 1);
    EXPECT_EQ(put_byte(0xFF, out), 255);
    EXPECT_EQ(put_byte(0xFF, out), 255);  // goes through a flush
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(close_output(out), 0);
    EXPECT_EQ(sink.bytes, "\xFF\xFF");
}

TEST(OutStream, EveryBufferSizeDeliversTheSameBytes) {
    for (size_t size : buffer_sizes) {
        memory_sink sink;
        out_stream out;
        open_output(out, sink.sink(), size);
        write_mixed(out);
        EXPECT_FALSE(out.failed);
        EXPECT_EQ(close_output(out), 0);
        EXPECT_EQ(sink.bytes, mixed_expected()) << "buffer " << size;
        EXPECT_EQ(sink.closes, 1);
    }
}

TEST(OutStream, ShortWritesAreContinued) {
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{7}, size_t{4095}}) {
        for (size_t size : buffer_sizes) {
            memory_sink sink;
            sink.max_chunk = chunk;
            out_stream out;
            open_output(out, sink.sink(), size);
            write_mixed(out);
            EXPECT_EQ(flush_output(out), 0);
            EXPECT_EQ(sink.bytes, mixed_expected()) << "chunk " << chunk << " buffer " << size;
            EXPECT_EQ(close_output(out), 0);
        }
    }
}

TEST(OutStream, NothingReachesTheSinkBeforeAFlushOrAFullBuffer) {
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), 16);
    put_string("0123456789", out);
    EXPECT_EQ(sink.bytes, "");
    EXPECT_EQ(flush_output(out), 0);
    EXPECT_EQ(sink.bytes, "0123456789");
    EXPECT_EQ(flush_output(out), 0);  // nothing waiting: nothing sent again
    EXPECT_EQ(sink.bytes, "0123456789");
    EXPECT_EQ(close_output(out), 0);
}

// Every way to write after the output has failed returns -1 and sends nothing.
void expect_dead(out_stream& out, memory_sink& sink, const std::string& held) {
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(put_byte('a', out), -1);
    EXPECT_EQ(put_byte(0xFF, out), -1);
    EXPECT_EQ(put_block("abc", 3, out), -1);
    EXPECT_EQ(put_string("abc", out), -1);
    EXPECT_EQ(flush_output(out), -1);
    EXPECT_EQ(close_output(out), -1);
    EXPECT_EQ(sink.bytes, held);
    EXPECT_EQ(sink.writes_after_failure, 0u);
    EXPECT_EQ(sink.closes, 1);
}

TEST(OutStream, FailedFlushIsSticky) {
    for (size_t chunk : {size_t{1}, unlimited}) {
        memory_sink sink;
        sink.limit = 5;
        sink.max_chunk = chunk;
        out_stream out;
        open_output(out, sink.sink(), 4096);
        EXPECT_EQ(put_string("0123456789", out), 0);
        EXPECT_EQ(flush_output(out), -1);
        EXPECT_EQ(sink.bytes, "01234");
        expect_dead(out, sink, "01234");
    }
}

TEST(OutStream, PutByteFailsOnceTheSinkIsFull) {
    for (size_t size : buffer_sizes) {
        memory_sink sink;
        sink.limit = 10;
        out_stream out;
        open_output(out, sink.sink(), size);
        int first_failure = -1;
        for (int i = 0; i < 10000; ++i) {
            if (put_byte('0' + i % 10, out) < 0) {
                first_failure = i;
                break;
            }
        }
        // The failure shows when a full buffer is sent: at the first put that
        // finds no room once the sink has taken its 10 bytes.
        ASSERT_GE(first_failure, 10) << "buffer " << size;
        EXPECT_LE(static_cast<size_t>(first_failure), 10 + size);
        EXPECT_EQ(sink.bytes, "0123456789");
        expect_dead(out, sink, "0123456789");
    }
}

TEST(OutStream, PutBlockLargerThanTheBufferFailsPartWay) {
    memory_sink sink;
    sink.limit = 20;
    out_stream out;
    open_output(out, sink.sink(), 7);
    std::string block(100, 'z');
    EXPECT_EQ(put_block(block.data(), block.size(), out), -1);
    EXPECT_EQ(sink.bytes, std::string(20, 'z'));
    expect_dead(out, sink, std::string(20, 'z'));
}

TEST(OutStream, CloseFlushesAndClosesExactlyOnce) {
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), 4096);
    put_string("tail", out);
    EXPECT_EQ(sink.bytes, "");
    EXPECT_EQ(close_output(out), 0);
    EXPECT_EQ(sink.bytes, "tail");
    EXPECT_EQ(sink.closes, 1);
    EXPECT_TRUE(out.closed);
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(close_output(out), -1);  // a second close does not reach the sink
    EXPECT_EQ(sink.closes, 1);
    EXPECT_EQ(put_byte('x', out), -1);  // nor does anything written after it
    EXPECT_EQ(put_block("xy", 2, out), -1);
    EXPECT_EQ(sink.bytes, "tail");
}

TEST(OutStream, CloseFailureIsReported) {
    memory_sink sink;
    sink.close_fails = true;
    out_stream out;
    open_output(out, sink.sink(), 4096);
    put_string("data", out);
    EXPECT_EQ(close_output(out), -1);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(sink.bytes, "data");
    EXPECT_EQ(sink.closes, 1);
}

TEST(OutStream, FailedFlushAtCloseIsReportedAndTheSinkStillClosedOnce) {
    memory_sink sink;
    sink.limit = 3;
    out_stream out;
    open_output(out, sink.sink(), 4096);
    EXPECT_EQ(put_string("abcdef", out), 0);  // all still in the buffer
    EXPECT_EQ(close_output(out), -1);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(sink.bytes, "abc");
    EXPECT_EQ(sink.closes, 1);
    EXPECT_EQ(sink.writes_after_failure, 0u);
}

TEST(OutStream, CloseAfterAFailureClosesTheSinkWithoutWriting) {
    memory_sink sink;
    sink.limit = 0;
    out_stream out;
    open_output(out, sink.sink(), 1);
    put_byte('a', out);
    EXPECT_EQ(put_byte('b', out), -1);
    EXPECT_EQ(close_output(out), -1);
    EXPECT_EQ(sink.closes, 1);
    EXPECT_EQ(sink.writes_after_failure, 0u);
    EXPECT_EQ(sink.bytes, "");
}

TEST(OutStream, ZeroBufferSizeActsAsOne) {
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), 0);
    EXPECT_EQ(put_string("abc", out), 0);
    EXPECT_EQ(close_output(out), 0);
    EXPECT_EQ(sink.bytes, "abc");
}

std::string counting_input(size_t n) {
    std::string data;
    for (size_t i = 0; i < n; ++i) data.push_back(static_cast<char>(i * 13 + i / 256));
    return data;
}

TEST(InStream, ShortReadsAreContinuedUntilTheBlockIsFull) {
    const std::string data = counting_input(1000);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{13}, size_t{255}, size_t{256}, unlimited}) {
        memory_source source(data, chunk);
        in_stream in;
        open_input(in, source.source());
        std::string got;
        unsigned char block[256];
        std::vector<size_t> sizes;
        for (;;) {
            size_t n = read_block(in, block, sizeof block);
            if (n == 0) break;
            sizes.push_back(n);
            got.append(reinterpret_cast<const char*>(block), n);
        }
        EXPECT_EQ(got, data) << "chunk " << chunk;
        EXPECT_EQ(sizes, (std::vector<size_t>{256, 256, 256, 232})) << "chunk " << chunk;
        EXPECT_TRUE(in.ended);
        EXPECT_FALSE(in.failed);
        EXPECT_EQ(source.reads_after_end, 0);
        EXPECT_EQ(read_block(in, block, sizeof block), 0u);  // ended: nothing read
        EXPECT_EQ(source.reads_after_end, 0);
        EXPECT_EQ(close_input(in), 0);
        EXPECT_EQ(source.closes, 1);
    }
}

TEST(InStream, EmptyInputEndsAtOnce) {
    memory_source source("", 7);
    in_stream in;
    open_input(in, source.source());
    unsigned char block[24];
    EXPECT_EQ(read_block(in, block, sizeof block), 0u);
    EXPECT_TRUE(in.ended);
    EXPECT_FALSE(in.failed);
}

TEST(InStream, ExactMultipleEndsWithAnEmptyRead) {
    memory_source source(counting_input(48), 5);
    in_stream in;
    open_input(in, source.source());
    unsigned char block[24];
    EXPECT_EQ(read_block(in, block, sizeof block), 24u);
    EXPECT_EQ(read_block(in, block, sizeof block), 24u);
    EXPECT_FALSE(in.ended);
    EXPECT_EQ(read_block(in, block, sizeof block), 0u);
    EXPECT_TRUE(in.ended);
    EXPECT_FALSE(in.failed);
}

TEST(InStream, ReadFailureIsToldFromTheEnd) {
    struct case_row {
        size_t chunk;
        size_t fail_at;
        std::vector<size_t> sizes;  // blocks handed out, up to the failure
    };
    const case_row rows[] = {
        {unlimited, 0, {}},  {7, 0, {}}, {7, 56, {56}},  // fails at a block boundary
        {7, 60, {56, 4}},     // fails inside the second block: the bytes before it are kept
        {1, 111, {56, 55}},   // one byte short of the second block
        {13, 112, {56, 56}},  // fails where the end would otherwise be seen
    };
    const std::string data = counting_input(112);
    for (const auto& row : rows) {
        memory_source source(data, row.chunk);
        source.fail_at = row.fail_at;
        in_stream in;
        open_input(in, source.source());
        unsigned char block[56];
        std::vector<size_t> sizes;
        for (;;) {
            size_t n = read_block(in, block, sizeof block);
            if (n == 0) break;
            sizes.push_back(n);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(block), n),
                      data.substr(56 * (sizes.size() - 1), n));
        }
        EXPECT_EQ(sizes, row.sizes) << "chunk " << row.chunk << " fail at " << row.fail_at;
        EXPECT_TRUE(in.failed);
        EXPECT_FALSE(in.ended);
        EXPECT_EQ(read_block(in, block, sizeof block), 0u);  // failed: nothing more is read
        EXPECT_EQ(source.reads_after_end, 0);
        EXPECT_EQ(close_input(in), 0);
        EXPECT_EQ(source.closes, 1);
    }
}

TEST(InStream, CloseIsExactlyOnceAndStopsReading) {
    memory_source source(counting_input(100), 7);
    in_stream in;
    open_input(in, source.source());
    unsigned char block[10];
    EXPECT_EQ(read_block(in, block, sizeof block), 10u);
    EXPECT_EQ(close_input(in), 0);
    EXPECT_EQ(close_input(in), -1);
    EXPECT_EQ(source.closes, 1);
    EXPECT_EQ(read_block(in, block, sizeof block), 0u);
    EXPECT_EQ(source.position, 10u);
}

// The descriptor sink and source, over a pipe and over /dev/full.
TEST(FdStreams, PipeCarriesEveryByteAndCloseClosesTheDescriptor) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string data = mixed_expected();
    ASSERT_LT(data.size(), 60000u);  // fits in the pipe without a reader

    out_stream out;
    open_output(out, fd_sink(fds[1]), 7);
    write_mixed(out);
    EXPECT_EQ(close_output(out), 0);
    EXPECT_EQ(fcntl(fds[1], F_GETFD), -1);  // closed by close_output

    in_stream in;
    open_input(in, fd_source(fds[0]));
    std::string got;
    unsigned char block[256];
    for (;;) {
        size_t n = read_block(in, block, sizeof block);
        if (n == 0) break;
        got.append(reinterpret_cast<const char*>(block), n);
    }
    EXPECT_FALSE(in.failed);
    EXPECT_TRUE(in.ended);
    EXPECT_EQ(got, data);
    EXPECT_EQ(close_input(in), 0);
    EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);
}

TEST(FdStreams, FullDeviceFailsAtFlushOrClose) {
    int fd = open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "/dev/full is not available";
    out_stream out;
    open_output(out, fd_sink(fd), 4096);
    EXPECT_EQ(put_string("abc", out), 0);  // still buffered
    EXPECT_EQ(close_output(out), -1);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}

TEST(FdStreams, ReadingADirectoryIsAFailureNotAnEnd) {
    int fd = open("/", O_RDONLY);
    ASSERT_GE(fd, 0);
    in_stream in;
    open_input(in, fd_source(fd));
    unsigned char block[24];
    EXPECT_EQ(read_block(in, block, sizeof block), 0u);
    EXPECT_TRUE(in.failed);
    EXPECT_FALSE(in.ended);
    EXPECT_EQ(close_input(in), 0);
}

}  // namespace
