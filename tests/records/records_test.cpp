// The record reader: what each record type loads and starts, and each
// refusal with the line (and address) it names.
#include "records/records.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/record_text.h"

namespace {

using namespace std::string_literals;

run_end read(int type, const std::string& text, record_load& load) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return read_records({bytes, text.size()}, type, load);
}

struct accepted {
    const char* name;
    int type;
    std::string text;
    std::vector<std::pair<int, int>> pieces;  // first and last address
    std::vector<std::pair<int, int>> bytes;   // address and value
    long long start;
};

const std::string end_hex = ":00000001FF\n";

accepted accept(const char* name, int type, const std::string& text,
                std::vector<std::pair<int, int>> pieces, std::vector<std::pair<int, int>> bytes,
                long long start) {
    return {name, type, text, std::move(pieces), std::move(bytes), start};
}

const accepted accepted_cases[] = {
    // Either case, CR LF, blank lines, no end record; consecutive records are one piece.
    accept("hex loosely written", input_hex,
           "\n:03030000a90060f1\r\n \r\n\t\n" + intel_hex(0, 0x0303, "\x01") +
               intel_hex(0, 0x0304, ""),
           {{0x0300, 0x0303}}, {{0x0300, 0xA9}, {0x0303, 0x01}, {0x02FF, 0}, {0x0304, 0}}, -1),
    accept("hex pieces in address order", input_hex,
           intel_hex(0, 0x1000, "\x3B\x24") + intel_hex(0, 0x0300, "\xA9") +
               intel_hex(0, 0xFFFF, "\x7F"),
           {{0x0300, 0x0300}, {0x1000, 0x1001}, {0xFFFF, 0xFFFF}}, {{0x1001, 0x24}, {0xFFFF, 0x7F}},
           -1),
    // A segment of $0010 puts offset $0200 at $0300; a linear base of 0 changes nothing.
    accept("hex segment and linear bases, segment start", input_hex,
           ":020000020010EC\n" + intel_hex(0, 0x0200, "\x11") + ":020000040000FA\n" +
               intel_hex(0, 0x0400, "\x22") + ":0400000300100200E7\n",
           {{0x0300, 0x0300}, {0x0400, 0x0400}}, {{0x0300, 0x11}, {0x0400, 0x22}}, 0x0300),
    accept("hex linear start, the last one counts", input_hex,
           ":0400000500000300F4\n" + intel_hex(0, 0, "\x01") + ":0400000500010300F3\n" + end_hex,
           {{0, 0}}, {}, 0x10300),
    accept("srec header, data, count, S9", input_srec,
           "S00600004844521B\nS1060300A90060ED\r\nS5030001FB\nS9030300F9\n", {{0x0300, 0x0302}},
           {{0x0301, 0x00}, {0x0302, 0x60}}, 0x0300),
    accept("srec 24- and 32-bit addresses, S6, S8", input_srec,
           s_record(2, 0x00FFFE, 3, "\x01\x02") + s_record(3, 0x00000010, 4, "\x03") +
               s_record(6, 2, 3, "") + s_record(8, 0x123456, 3, ""),
           {{0x0010, 0x0010}, {0xFFFE, 0xFFFF}}, {{0xFFFF, 0x02}, {0x0010, 0x03}}, 0x123456),
    accept("srec S7", input_srec, s_record(1, 0x0300, 2, "\xEA") + s_record(7, 0xFEDCBA98, 4, ""),
           {{0x0300, 0x0300}}, {}, 0xFEDCBA98),
};

TEST(read_records, loads_each_record_type) {
    for (const accepted& c : accepted_cases) {
        SCOPED_TRACE(c.name);
        record_load load;
        ASSERT_EQ(read(c.type, c.text, load).outcome, run_outcome::converted);
        std::vector<std::pair<int, int>> pieces;
        for (const cell_range& r : load.pieces) pieces.emplace_back(r.first, r.last);
        EXPECT_EQ(pieces, c.pieces);
        for (auto [address, value] : c.bytes) {
            EXPECT_EQ(load.memory[static_cast<size_t>(address)], value) << address;
        }
        EXPECT_EQ(load.start, c.start);
    }
}

struct refused {
    const char* name;
    int type;
    std::string text;
    run_outcome outcome;
    long line;
    int address = -1;
};

const std::string data_hex = ":03030000A90060F1\n";

const refused refused_cases[] = {
    {"not hex", input_hex, data_hex + "x\n", run_outcome::not_a_record, 2},
    {"odd digits", input_hex, ":0303000A90060F1\n", run_outcome::not_a_record, 1},
    {"count not the data's", input_hex, ":04030000A90060F0\n", run_outcome::not_a_record, 1},
    {"unknown type", input_hex, ":00000006FA\n", run_outcome::not_a_record, 1},
    {"end record with data", input_hex, ":0100000100FE\n", run_outcome::not_a_record, 1},
    {"CR-only line ends", input_hex, ":03030000A90060F1\r:00000001FF\r", run_outcome::not_a_record,
     1},
    {"record after the end", input_hex, end_hex + "\n" + data_hex, run_outcome::not_a_record, 3},
    {"data running past $FFFF", input_hex, intel_hex(0, 0xFFFE, "\x01\x02\x03"),
     run_outcome::above_ffff, 1},
    {"linear base above", input_hex, ":020000040001F9\n" + intel_hex(0, 0, "\x01"),
     run_outcome::above_ffff, 2},
    {"segment base above", input_hex, ":020000021000EC\n" + intel_hex(0, 0, "\x01"),
     run_outcome::above_ffff, 2},
    {"hex without data", input_hex, intel_hex(0, 0x0300, "") + end_hex, run_outcome::no_data, 0},
    {"S4", input_srec, "S4030000FC\n", run_outcome::not_a_record, 1},
    {"S9 with data", input_srec, s_record(9, 0, 2, "\x01"), run_outcome::not_a_record, 1},
    {"record after S9", input_srec, "S9030000FC\nS1060300A90060ED\n", run_outcome::not_a_record, 2},
    {"srec checksum", input_srec, "S1060300A90060EE\n", run_outcome::record_checksum, 1},
    {"S2 above $FFFF", input_srec, s_record(2, 0x010000, 3, "\x01"), run_outcome::above_ffff, 1},
    {"srec loaded twice", input_srec, "S1060300A90060ED\n" + s_record(1, 0x02FF, 2, "\x01\x02"),
     run_outcome::loaded_twice, 2, 0x0300},
    {"srec without data", input_srec, "S00600004844521B\nS9030000FC\n", run_outcome::no_data, 0},
};

TEST(read_records, refuses_with_the_line) {
    for (const refused& c : refused_cases) {
        SCOPED_TRACE(c.name);
        record_load load;
        run_end end = read(c.type, c.text, load);
        EXPECT_EQ(end.outcome, c.outcome);
        EXPECT_EQ(end.line, c.line);
        EXPECT_EQ(end.address, c.address);
    }
}

}  // namespace
