// The option value parsers and the walk over the command line.
#include "cli/parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/run_settings.h"

namespace {

// ---------------------------------------------------------------- parse_hex_field

struct hex_case {
    const char* text;
    int max_digits;
    int expected;
};

class hex_field : public ::testing::TestWithParam<hex_case> {};

TEST_P(hex_field, reads_the_leading_digits) {
    const hex_case& c = GetParam();
    EXPECT_EQ(parse_hex_field(c.text, c.max_digits), c.expected)
        << "text \"" << (c.text != nullptr ? c.text : "(null)") << "\", " << c.max_digits
        << " digits";
}

INSTANTIATE_TEST_SUITE_P(
    values, hex_field,
    ::testing::Values(hex_case{"0300", 4, 0x0300}, hex_case{"ffff", 4, 0xFFFF},
                      hex_case{"FFFF", 4, 0xFFFF}, hex_case{"aBcD", 4, 0xABCD}, hex_case{"0", 4, 0},
                      hex_case{"9f", 4, 0x9F},
                      // a non-digit ends the number
                      hex_case{"12x", 4, 0x12}, hex_case{"1 2", 4, 0x1}, hex_case{"1\t2", 4, 0x1},
                      hex_case{"0300 ", 4, 0x0300}, hex_case{"3G", 4, 0x3},
                      // the digit count stops the number, leading zeros included
                      hex_case{"12345", 4, 0x1234}, hex_case{"00300", 4, 0x0030},
                      hex_case{"123", 2, 0x12}, hex_case{"FFF", 2, 0xFF}, hex_case{"12", 1, 0x1},
                      hex_case{"12345678", 8, 0x12345678}, hex_case{"123456789", 8, 0x12345678},
                      // blanks before the first digit are skipped, and only these four
                      hex_case{"   300", 4, 0x300}, hex_case{" \t\r\n300", 4, 0x300},
                      hex_case{"\v300", 4, 0}, hex_case{"\f300", 4, 0}, hex_case{"   ", 4, 0},
                      // no digit at all
                      hex_case{"", 4, 0}, hex_case{"g", 4, 0}, hex_case{"G1", 4, 0},
                      hex_case{"-1", 4, 0}, hex_case{"+1", 4, 0}, hex_case{"$300", 4, 0},
                      hex_case{"\xC1\xC2", 4, 0},
                      // no prefix: the x ends the number after the 0
                      hex_case{"0x10", 4, 0}, hex_case{"0X10", 4, 0},
                      // no text, or a digit count out of range
                      hex_case{nullptr, 4, 0}, hex_case{"12", 0, 0}, hex_case{"12", -1, 0},
                      hex_case{"12", 9, 0}, hex_case{"12", 100, 0}));

// ---------------------------------------------------------------- parse_message_text

struct message_case {
    const char* name;
    std::string text;
    std::string stored;
};

void PrintTo(const message_case& c, std::ostream* os) { *os << c.name; }

class message_text : public ::testing::TestWithParam<message_case> {};

// A buffer with guard bytes behind the 80 that the parser may use.
constexpr int guard = 16;

TEST_P(message_text, stores_the_resolved_text) {
    const message_case& c = GetParam();
    char buffer[message_capacity + guard];
    std::memset(buffer, 'Z', sizeof buffer);
    int count = parse_message_text(c.text.c_str(), buffer, message_capacity);
    EXPECT_EQ(count, static_cast<int>(c.stored.size()));
    ASSERT_EQ(buffer[c.stored.size()], '\0');
    EXPECT_EQ(std::string(buffer, c.stored.size()), c.stored);
    for (int i = static_cast<int>(c.stored.size()) + 1; i < message_capacity + guard; ++i) {
        ASSERT_EQ(buffer[i], 'Z') << "byte " << i << " written";
    }
}

std::string letters_and_digits(size_t n) {
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string text;
    for (size_t i = 0; i < n; ++i) text += alphabet[i % (sizeof alphabet - 1)];
    return text;
}

std::string repeated(const std::string& part, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += part;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    texts, message_text,
    ::testing::Values(
        message_case{"plain", "Hello", "Hello"}, message_case{"empty", "", ""},
        message_case{"hundred_letters", letters_and_digits(100), letters_and_digits(79)},
        message_case{"exactly_79", letters_and_digits(79), letters_and_digits(79)},
        message_case{"escapes_count_once", repeated("\\n", 100), std::string(79, '\n')},
        message_case{"dropped_do_not_count", repeated("a;", 100), std::string(79, 'a')},
        message_case{"escape_past_the_limit", letters_and_digits(79) + "\\n",
                     letters_and_digits(79)},
        message_case{"tab", "a\\tb", "a\tb"}, message_case{"unknown_escape", "a\\qb", "aqb"},
        message_case{"unknown_escape_keeps_case", "a\\Qb", "aQb"},
        message_case{"two_backslashes", "a\\\\b", "a\\b"},
        message_case{"escaped_backslash_then_t", "a\\\\tb", "a\\tb"},
        message_case{"three_backslashes_and_n", "\\\\\\n", "\\\n"},
        message_case{"lower_case_escapes", "\\b\\f\\n\\r\\t", "\b\f\n\r\t"},
        message_case{"upper_case_escapes", "\\B\\F\\N\\R\\T", "\b\f\n\r\t"},
        message_case{"quote_ends", "ab\"cd", "ab\""},
        message_case{"escaped_quote_ends", "ab\\\"cd", "ab\""},
        message_case{"quote_first", "\"rest", "\""},
        message_case{"record_starts_dropped", "a;b$c;;$$", "abc"},
        message_case{"pending_escape_kept_over_semicolon", "a\\;n", "a\n"},
        message_case{"pending_escape_kept_over_dollar", "a\\$$t", "a\t"},
        message_case{"trailing_backslash", "ab\\", "ab"},
        message_case{"backslash_semicolon_at_end", "ab\\;", "ab"},
        message_case{"crlf", "HI\\r\\n", "HI\r\n"}),
    [](const ::testing::TestParamInfo<message_case>& tested) { return tested.param.name; });

TEST(message_text_limits, null_text_empties_the_buffer) {
    char buffer[message_capacity];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(parse_message_text(nullptr, buffer, message_capacity), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(message_text_limits, smaller_capacities) {
    char buffer[8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(parse_message_text("abcdef", buffer, 4), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'Z');
    EXPECT_EQ(parse_message_text("abcdef", buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'b');  // left from the call before
}

// ---------------------------------------------------------------- parse_command_line

// What one command line must leave in the settings and the names.
struct expected_line {
    bool good = true;
    int action = action_none;
    int load_address = 0;
    int go_address = -1;
    int loader_address = -1;
    int pad_count = 5;
    int eol_mode = 0;
    std::string message;
    int force_overwrite = 0;
    int hybrid = 0;
    const char* input = nullptr;
    const char* output = nullptr;
};

struct line_case {
    std::vector<std::string> args;
    expected_line expected;
};

void PrintTo(const line_case& c, std::ostream* os) {
    *os << "korvane";
    for (const std::string& a : c.args) *os << " [" << a << "]";
}

class command_line : public ::testing::TestWithParam<line_case> {};

TEST_P(command_line, fills_settings_and_names) {
    const line_case& c = GetParam();
    std::vector<const char*> argv{"korvane"};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    run_settings s;
    file_names names;
    bool good = parse_command_line(static_cast<int>(argv.size() - 1), argv.data(), s, names);

    const expected_line& e = c.expected;
    EXPECT_EQ(good, e.good);
    EXPECT_EQ(s.action, e.action);
    EXPECT_EQ(s.load_address, e.load_address);
    EXPECT_EQ(s.go_address, e.go_address);
    EXPECT_EQ(s.loader_address, e.loader_address);
    EXPECT_EQ(s.pad_count, e.pad_count);
    EXPECT_EQ(s.eol_mode, e.eol_mode);
    EXPECT_EQ(std::string(s.message_text), e.message);
    EXPECT_EQ(s.force_overwrite, e.force_overwrite);
    EXPECT_EQ(s.hybrid, e.hybrid);
    if (e.input == nullptr) {
        EXPECT_EQ(names.input, nullptr);
    } else {
        ASSERT_NE(names.input, nullptr);
        EXPECT_STREQ(names.input, e.input);
    }
    if (e.output == nullptr) {
        EXPECT_EQ(names.output, nullptr);
    } else {
        ASSERT_NE(names.output, nullptr);
        EXPECT_STREQ(names.output, e.output);
    }
}

// Builders that keep the table readable: each starts from the defaults.
expected_line with_action(int action) {
    expected_line e;
    e.action = action;
    return e;
}

expected_line hybrid_line(int action, int loader_address = -1) {
    expected_line e;
    e.action = action;
    e.hybrid = 1;
    e.loader_address = loader_address;
    return e;
}

expected_line bad_line(int action = action_none) {
    expected_line e;
    e.good = false;
    e.action = action;
    return e;
}

template <typename Change>
expected_line changed(Change change) {
    expected_line e;
    change(e);
    return e;
}

INSTANTIATE_TEST_SUITE_P(formats, command_line,
                         ::testing::Values(line_case{{}, expected_line{}},
                                           line_case{{"-v"}, with_action(action_65v)},
                                           line_case{{"-c"}, with_action(action_checksum)},
                                           line_case{{"-q"}, with_action(action_qsave)},
                                           line_case{{"-a"}, with_action(action_65a)},
                                           line_case{{"-V"}, with_action(action_65v)},
                                           line_case{{"-C"}, with_action(action_checksum)},
                                           line_case{{"-Q"}, with_action(action_qsave)},
                                           line_case{{"-A"}, with_action(action_65a)},
                                           line_case{{"-I"}, hybrid_line(action_checksum)},
                                           // the value text of a format letter is ignored
                                           line_case{{"-vq"}, with_action(action_65v)},
                                           line_case{{"-cv"}, with_action(action_checksum)},
                                           // the last format letter wins
                                           line_case{{"-v", "-c"}, with_action(action_checksum)},
                                           line_case{{"-c", "-a"}, with_action(action_65a)},
                                           line_case{{"-q", "-v"}, with_action(action_65v)},
                                           line_case{{"-a", "-q"}, with_action(action_qsave)}));

INSTANTIATE_TEST_SUITE_P(
    hybrid, command_line,
    ::testing::Values(line_case{{"-i"}, hybrid_line(action_checksum)},
                      line_case{{"-i", "-q"}, hybrid_line(action_qsave)},
                      line_case{{"-q", "-i"}, hybrid_line(action_qsave)},
                      line_case{{"-i", "-c"}, hybrid_line(action_checksum)},
                      line_case{{"-i", "-v"}, hybrid_line(action_65v)},
                      line_case{{"-v", "-i"}, hybrid_line(action_65v)},
                      line_case{{"-a", "-i"}, hybrid_line(action_65a)},
                      line_case{{"-i", "-a"}, hybrid_line(action_65a)},
                      line_case{{"-i0300"}, hybrid_line(action_checksum, 0x0300)},
                      line_case{{"-iFFFE"}, hybrid_line(action_checksum, 0xFFFE)},
                      line_case{{"-i12345"}, hybrid_line(action_checksum, 0x1234)},
                      line_case{{"-i0"}, hybrid_line(action_checksum, 0)},
                      line_case{{"-ix"}, hybrid_line(action_checksum, 0)},
                      line_case{{"-i0300", "-i"}, hybrid_line(action_checksum, 0x0300)},
                      line_case{{"-i0300", "-i0400"}, hybrid_line(action_checksum, 0x0400)},
                      line_case{{"-i", "0300"}, changed([](expected_line& e) {
                                    e = hybrid_line(action_checksum);
                                    e.input = "0300";
                                })}));

INSTANTIATE_TEST_SUITE_P(
    values, command_line,
    ::testing::Values(
        line_case{{"-l0300"}, changed([](expected_line& e) { e.load_address = 0x0300; })},
        line_case{{"-l12x"}, changed([](expected_line& e) { e.load_address = 0x12; })},
        line_case{{"-l12345"}, changed([](expected_line& e) { e.load_address = 0x1234; })},
        line_case{{"-l"}, expected_line{}},
        line_case{{"-l   300"}, changed([](expected_line& e) { e.load_address = 0x300; })},
        line_case{{"-lg"}, expected_line{}},
        line_case{{"-L00300"}, changed([](expected_line& e) { e.load_address = 0x30; })},
        line_case{{"-l0x10"}, expected_line{}}, line_case{{"-l0300", "-l"}, expected_line{}},
        line_case{{"-g"}, changed([](expected_line& e) { e.go_address = 0; })},
        line_case{{"-G"}, changed([](expected_line& e) { e.go_address = 0; })},
        line_case{{"-g0300"}, changed([](expected_line& e) { e.go_address = 0x0300; })},
        line_case{{"-h1234"}, changed([](expected_line& e) { e.go_address = 0x1234; })},
        line_case{{"-H12"}, changed([](expected_line& e) { e.go_address = 0x12; })},
        line_case{{"-g0300", "-h0400"}, changed([](expected_line& e) { e.go_address = 0x0400; })},
        line_case{{"-gzz"}, changed([](expected_line& e) { e.go_address = 0; })},
        line_case{{"-p"}, changed([](expected_line& e) { e.pad_count = 0; })},
        line_case{{"-p123"}, changed([](expected_line& e) { e.pad_count = 0x12; })},
        line_case{{"-pFF"}, changed([](expected_line& e) { e.pad_count = 0xFF; })},
        line_case{{"-P0"}, changed([](expected_line& e) { e.pad_count = 0; })},
        line_case{{"-t"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-t0"}, changed([](expected_line& e) { e.eol_mode = -1; })},
        line_case{{"-T0"}, changed([](expected_line& e) { e.eol_mode = -1; })},
        line_case{{"-T"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-t1"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-tx"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-t00"}, changed([](expected_line& e) { e.eol_mode = -1; })},
        line_case{{"-t 0"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-t0", "-t"}, changed([](expected_line& e) { e.eol_mode = 1; })},
        line_case{{"-f"}, changed([](expected_line& e) { e.force_overwrite = 1; })},
        line_case{{"-F"}, changed([](expected_line& e) { e.force_overwrite = 1; })},
        line_case{{"-mHello"}, changed([](expected_line& e) { e.message = "Hello"; })},
        line_case{{"-mfirst", "-mnext"}, changed([](expected_line& e) { e.message = "next"; })},
        line_case{{"-mlonger text", "-mab"}, changed([](expected_line& e) { e.message = "ab"; })},
        line_case{{"-mfirst", "-m"}, expected_line{}},
        line_case{{"-Ma\\tb;c"}, changed([](expected_line& e) { e.message = "a\tbc"; })}));

INSTANTIATE_TEST_SUITE_P(
    names_and_bad_options, command_line,
    ::testing::Values(
        // a value is never taken from the next argument
        line_case{{"-l", "0300"}, changed([](expected_line& e) { e.input = "0300"; })},
        line_case{{"-g", "0300"}, changed([](expected_line& e) {
                      e.go_address = 0;
                      e.input = "0300";
                  })},
        line_case{{"-p", "12"}, changed([](expected_line& e) {
                      e.pad_count = 0;
                      e.input = "12";
                  })},
        line_case{{"-m", "text"}, changed([](expected_line& e) { e.input = "text"; })},
        line_case{{"-t", "0"}, changed([](expected_line& e) {
                      e.eol_mode = 1;
                      e.input = "0";
                  })},
        // file names: the first two count, later ones are skipped
        line_case{{"in.bin"}, changed([](expected_line& e) { e.input = "in.bin"; })},
        line_case{{"in.bin", "out.lod"}, changed([](expected_line& e) {
                      e.input = "in.bin";
                      e.output = "out.lod";
                  })},
        line_case{{"in.bin", "out.lod", "third"}, changed([](expected_line& e) {
                      e.input = "in.bin";
                      e.output = "out.lod";
                  })},
        line_case{{"in.bin", "-v", "out.lod", "third", "-f"}, changed([](expected_line& e) {
                      e.action = action_65v;
                      e.force_overwrite = 1;
                      e.input = "in.bin";
                      e.output = "out.lod";
                  })},
        line_case{{"", "out.lod"}, changed([](expected_line& e) {
                      e.input = "";
                      e.output = "out.lod";
                  })},
        // letters outside the table, and no letter at all
        line_case{{"-"}, bad_line()}, line_case{{"-x"}, bad_line()}, line_case{{"-?"}, bad_line()},
        line_case{{"--v"}, bad_line()}, line_case{{"-d"}, bad_line()},
        line_case{{"-@"}, bad_line()}, line_case{{"-["}, bad_line()}, line_case{{"-`"}, bad_line()},
        line_case{{"-\xD6"}, bad_line()}, line_case{{"-\xF6"}, bad_line()},
        line_case{{"-\xC3"}, bad_line()}, line_case{{"-1"}, bad_line()},
        line_case{{"- v"}, bad_line()},
        // the walk goes on after a bad letter
        line_case{{"-x", "-v"}, bad_line(action_65v)},
        line_case{{"-v", "-", "-l0300"}, changed([](expected_line& e) {
                      e = bad_line(action_65v);
                      e.load_address = 0x0300;
                  })},
        line_case{{"-v", "-x", "in.bin", "out.lod"}, changed([](expected_line& e) {
                      e = bad_line(action_65v);
                      e.input = "in.bin";
                      e.output = "out.lod";
                  })}));

// ---------------------------------------------------------------- -b, -r and what was given

struct value_case {
    std::vector<std::string> args;
    int action;
    int basic_baud;
    int bad_basic_baud;
    int input_type;
    int bad_input_type;
    int load_given;
    int pad_given;
};

void PrintTo(const value_case& c, std::ostream* os) {
    for (const std::string& a : c.args) *os << " [" << a << "]";
}

class option_values : public ::testing::TestWithParam<value_case> {};

TEST_P(option_values, are_kept_with_what_was_given) {
    const value_case& c = GetParam();
    std::vector<const char*> argv{"korvane"};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    run_settings s;
    file_names names;
    EXPECT_TRUE(parse_command_line(static_cast<int>(argv.size()), argv.data(), s, names));
    EXPECT_EQ(s.action, c.action);
    EXPECT_EQ(s.basic_baud, c.basic_baud);
    EXPECT_EQ(s.bad_basic_baud, c.bad_basic_baud);
    EXPECT_EQ(s.input_type, c.input_type);
    EXPECT_EQ(s.bad_input_type, c.bad_input_type);
    EXPECT_EQ(s.load_given, c.load_given);
    EXPECT_EQ(s.pad_given, c.pad_given);
}

constexpr int none = action_none;
constexpr int basic = action_basic;

INSTANTIATE_TEST_SUITE_P(
    table, option_values,
    ::testing::Values(value_case{{"-b"}, basic, 300, 0, input_bin, 0, 0, 0},
                      value_case{{"-B600"}, basic, 600, 0, input_bin, 0, 0, 0},
                      value_case{{"-b1200"}, basic, 1200, 0, input_bin, 0, 0, 0},
                      value_case{{"-b300", "-v"}, action_65v, 300, 0, input_bin, 0, 0, 0},
                      value_case{{"-i", "-b"}, basic, 300, 0, input_bin, 0, 0, 0},
                      value_case{{"-b600", "-i"}, basic, 600, 0, input_bin, 0, 0, 0},
                      // exactly the three numbers: a bad value sticks, whatever follows
                      value_case{{"-b450"}, basic, 300, 1, input_bin, 0, 0, 0},
                      value_case{{"-b0300"}, basic, 300, 1, input_bin, 0, 0, 0},
                      value_case{{"-b600x"}, basic, 300, 1, input_bin, 0, 0, 0},
                      value_case{{"-b 600"}, basic, 300, 1, input_bin, 0, 0, 0},
                      value_case{
                          {"-b450", "-b600", "-c"}, action_checksum, 600, 1, input_bin, 0, 0, 0},
                      value_case{{"-rhex"}, none, 300, 0, input_hex, 0, 0, 0},
                      value_case{{"-RSREC"}, none, 300, 0, input_srec, 0, 0, 0},
                      value_case{{"-rPrG"}, none, 300, 0, input_prg, 0, 0, 0},
                      value_case{{"-rhex", "-rbin"}, none, 300, 0, input_bin, 0, 0, 0},
                      value_case{{"-r"}, none, 300, 0, input_bin, 1, 0, 0},
                      value_case{{"-rhexx"}, none, 300, 0, input_bin, 1, 0, 0},
                      value_case{{"-r hex"}, none, 300, 0, input_bin, 1, 0, 0},
                      value_case{{"-rx", "-rhex"}, none, 300, 0, input_hex, 1, 0, 0},
                      value_case{{"-l"}, none, 300, 0, input_bin, 0, 1, 0},
                      value_case{{"-l0000", "-p"}, none, 300, 0, input_bin, 0, 1, 1},
                      value_case{{"-p05"}, none, 300, 0, input_bin, 0, 0, 1}));

}  // namespace
