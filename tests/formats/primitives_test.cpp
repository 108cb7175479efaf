// The small writers: hex pairs, line ends, the 65V and 65A commands and the
// QSave go record, their results and their stop at the first failed write.
#include "formats/primitives.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "formats/encoder_harness.h"

namespace {

run_settings with_eol(int mode) {
    run_settings settings;
    settings.eol_mode = mode;
    return settings;
}

struct primitive_row {
    const char* name;
    std::function<int(out_stream&)> call;
    std::string expected;
    int result;
};

// Expected bytes and results, from the format rules.
std::vector<primitive_row> primitive_rows() {
    const run_settings cr = with_eol(0);
    const run_settings crlf = with_eol(1);
    const run_settings none = with_eol(-1);
    const run_settings two = with_eol(2);
    const run_settings minus_two = with_eol(-2);
    const run_settings big = with_eol(INT_MAX);
    const run_settings low = with_eol(INT_MIN);
    auto hex = [](int v) { return [v](out_stream& o) { return put_hex_byte(v, o); }; };
    auto eol = [](run_settings s) { return [s](out_stream& o) { return put_eol(s, o); }; };
    auto v_addr = [](int a) { return [a](out_stream& o) { return put_65v_address(a, o); }; };
    auto v_go = [](int a) { return [a](out_stream& o) { return put_65v_go(a, o); }; };
    auto a_addr = [](run_settings s, int a) {
        return [s, a](out_stream& o) { return put_65a_address(s, a, o); };
    };
    auto q_go = [](int a) { return [a](out_stream& o) { return put_qsave_go(a, o); }; };
    return {
        {"hex 00", hex(0x00), "00", '0'},
        {"hex 0A", hex(0x0A), "0A", 'A'},
        {"hex FF", hex(0xFF), "FF", 'F'},
        {"hex 1A5 keeps the low byte", hex(0x1A5), "A5", '5'},
        {"hex 5C", hex(0x5C), "5C", 'C'},
        {"hex -1 is FF", hex(-1), "FF", 'F'},
        {"hex 90", hex(0x90), "90", '0'},
        {"eol mode 0", eol(cr), "\r", 0x0D},
        {"eol mode 1", eol(crlf), "\r\n", 0},
        {"eol mode -1", eol(none), "", 0},
        {"eol mode 2 acts as 1", eol(two), "\r\n", 0},
        {"eol mode -2 acts as 1", eol(minus_two), "\r\n", 0},
        {"eol mode INT_MAX acts as 1", eol(big), "\r\n", 0},
        {"eol mode INT_MIN acts as 1", eol(low), "\r\n", 0},
        {"65v address ABCD", v_addr(0xABCD), ".ABCD", 'D'},
        {"65v address 10008", v_addr(0x10008), ".0008", '8'},
        {"65v address 0000", v_addr(0), ".0000", '0'},
        {"65v address FFFF", v_addr(0xFFFF), ".FFFF", 'F'},
        {"65v address -1", v_addr(-1), "", 0},
        {"65v address INT_MIN", v_addr(INT_MIN), "", 0},
        {"65v go 0300", v_go(0x0300), ".0300G", 0x47},
        {"65v go 0000", v_go(0), ".0000G", 0x47},
        {"65v go 1FEDC", v_go(0x1FEDC), ".FEDCG", 0x47},
        {"65v go -1", v_go(-1), "", 0},
        {"65a address 0300 mode 0", a_addr(cr, 0x0300), "L0300\r", 0x0D},
        {"65a address 0300 mode 1", a_addr(crlf, 0x0300), "L0300\r\n", 0},
        {"65a address 0300 mode -1", a_addr(none, 0x0300), "L0300", 0},
        {"65a address 0300 mode 2", a_addr(two, 0x0300), "L0300\r\n", 0},
        {"65a address 0129 mode 0", a_addr(cr, 0x0129), "L0129\r", 0x0D},
        {"65a address 1BEEF mode 0", a_addr(cr, 0x1BEEF), "LBEEF\r", 0x0D},
        {"65a address -1", a_addr(cr, -1), "", 0},
        {"65a address -5 mode 1", a_addr(crlf, -5), "", 0},
        {"qsave go 12FF", q_go(0x12FF), bytes({0x24, 0x12, 0xFF}), 255},
        {"qsave go 0300", q_go(0x0300), bytes({0x24, 0x03, 0x00}), 0},
        {"qsave go 10008", q_go(0x10008), bytes({0x24, 0x00, 0x08}), 0x08},
        {"qsave go FF3B", q_go(0xFF3B), bytes({0x24, 0xFF, 0x3B}), 0x3B},
        {"qsave go -1", q_go(-1), "", 0},
    };
}

TEST(Primitives, WriteTheirBytesAndReturnTheLastWritesResult) {
    for (const auto& row : primitive_rows()) {
        for (size_t size : {size_t{1}, size_t{7}, size_t{4096}}) {
            primitive_run run = run_primitive(row.call, size);
            EXPECT_EQ(run.output, row.expected) << row.name << ", buffer " << size;
            EXPECT_EQ(run.result, row.result) << row.name << ", buffer " << size;
            EXPECT_EQ(run.close_result, 0) << row.name;
        }
    }
}

TEST(Primitives, HexPairsAreUpperCaseAndHighNibbleFirstForEveryByte) {
    for (int b = 0; b < 256; ++b) {
        primitive_run run = run_primitive([b](out_stream& o) { return put_hex_byte(b, o); });
        ASSERT_EQ(run.output.size(), 2u);
        EXPECT_EQ(hex_digit_value(run.output[0]), b >> 4) << b;
        EXPECT_EQ(hex_digit_value(run.output[1]), b & 15) << b;
        EXPECT_EQ(run.result, static_cast<unsigned char>(run.output[1]));
    }
}

TEST(Primitives, FormatHexBytePutsTwoDigitsAndAdvances) {
    char text[5] = "....";
    char* end = format_hex_byte(0x1A5, text);
    EXPECT_EQ(end, text + 2);
    end = format_hex_byte(0x0B, end);
    EXPECT_EQ(std::string(text, 4), "A50B");
}

// For every position at which the sink stops accepting, a primitive leaves
// exactly the bytes before it, and the failure shows either in its own
// result or, for a byte still in the buffer, when the stream is closed.
TEST(Primitives, StopAtTheFirstFailedWrite) {
    for (const auto& row : primitive_rows()) {
        for (size_t size : {size_t{1}, size_t{7}}) {
            for (size_t limit = 0; limit < row.expected.size(); ++limit) {
                primitive_run run = run_primitive(row.call, size, limit);
                EXPECT_EQ(run.output, row.expected.substr(0, limit))
                    << row.name << ", buffer " << size << ", limit " << limit;
                EXPECT_TRUE(run.result == -1 || run.close_result == -1)
                    << row.name << ", buffer " << size << ", limit " << limit;
            }
        }
    }
}

// On an output that has already failed every primitive that has something to
// write returns -1; those with nothing to write return 0.
TEST(Primitives, OnAFailedOutputReturnMinusOne) {
    for (const auto& row : primitive_rows()) {
        memory_sink sink;
        sink.limit = 0;
        out_stream out;
        open_output(out, sink.sink(), 1);
        put_byte('x', out);
        ASSERT_EQ(put_byte('y', out), -1);  // the sink refused 'x'
        int result = row.call(out);
        EXPECT_EQ(result, row.expected.empty() ? 0 : -1) << row.name;
        EXPECT_EQ(sink.writes_after_failure, 0u) << row.name;
        close_output(out);
        EXPECT_EQ(sink.bytes, "") << row.name;
    }
}

// put_hex_byte stops at the digit whose write fails: when the first digit's
// write fails, -1 comes back at once; when the second's fails, the first
// digit has been taken and nothing follows it.
TEST(Primitives, HexByteStopsAtTheFailingDigit) {
    {
        memory_sink sink;
        sink.limit = 0;
        out_stream out;
        open_output(out, sink.sink(), 1);
        ASSERT_EQ(put_byte('x', out), 'x');      // fills the one-byte buffer
        EXPECT_EQ(put_hex_byte(0xAB, out), -1);  // the first digit's flush is refused
        EXPECT_TRUE(out.failed);
        EXPECT_EQ(sink.writes_after_failure, 0u);
        EXPECT_EQ(close_output(out), -1);
        EXPECT_EQ(sink.bytes, "");
    }
    {
        memory_sink sink;
        sink.limit = 2;
        out_stream out;
        open_output(out, sink.sink(), 1);
        ASSERT_EQ(put_byte('x', out), 'x');
        // 'A' sends 'x'; 'B' must send 'A' and then finds the sink full.
        EXPECT_EQ(put_hex_byte(0xAB, out), 'B');
        EXPECT_EQ(put_hex_byte(0xCD, out), -1);
        EXPECT_EQ(sink.bytes, "xA");
        EXPECT_EQ(sink.writes_after_failure, 0u);
        EXPECT_EQ(close_output(out), -1);
        EXPECT_EQ(sink.bytes, "xA");
    }
}

}  // namespace
