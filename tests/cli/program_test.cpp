// Whole-program runs of the built binary: the usage text, the checks with
// their messages and statuses, named files and standard streams, the 65V
// format end to end, and the guarded failure paths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "cli/program_fixture.h"

namespace {

// The 26 lines of the usage text, each ended by CR LF.
std::string expected_usage() {
    const char* const lines[] = {
        "",
        "V1.08 Usage:",
        "",
        "KORVANE [-l<hex address>][-g<hex address>][-t][-f][-p<nn>][-r<type>]",
        "        [-a|-v|-i<hex addr>|-c|-q|-b[baud]] [InFile] [OutFile]",
        "",
        "-a  Convert binary data to OSI 65A Serial Monitor Load Format",
        "-v  Convert binary data to OSI 65V ROM Monitor Load Format",
        "-c  Convert binary data to MOS/OSI Checksum Load Format",
        "-q  Convert binary data to OSI QSave Binary Checksum Load Format",
        "-b[baud]  Convert a BASIC listing for BASIC's LOAD played at 300, 600 or 1200 baud",
        "        (default 300)",
        "-i[addr]  Convert data to hybrid 65V / Checksum/QSave load format for BASIC-IN-ROM OSIs",
        "        (optional address specifies loader location. Defaults to load addr-256)",
        "-g<addr>  go/execute address; Defaults to load address.",
        "-l<addr>  load/target address of file",
        "-r<type>  input type: bin (raw image, the default), hex (Intel HEX), srec (S-records)",
        "        or prg (two bytes of load address, low byte first, then the image)",
        "-p<nn> nn=number of bytes of nul padding at end of line in hex) defaults to 5",
        "-m\"Message\" Add a text message before the start of checksum/qsave format",
        "-f  Force overwrite of target file",
        "-t  Use CR/LF End of Line. Normally just CR",
        " Infile can be redirected console input (stdin), Outfile defaults to (stdout)",
        "",
        " ex: Korvane -i -l0300 6502.bin file.lod",
        "     Korvane -i0300 > lod.chk < nul  (emit checksum loader at $0300 with no data)",
    };
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

// 65V data entries: two upper-case hex digits and CR per byte.
std::string entries_65v(const std::string& bytes) {
    const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += digits[b >> 4];
        text += digits[b & 15];
        text += '\r';
    }
    return text;
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(byte(generator));
    return bytes;
}

// ---------------------------------------------------------------- usage

TEST(usage_expectation, is_26_lines_of_1376_bytes) { EXPECT_EQ(expected_usage().size(), 1376u); }

class usage_runs : public program,
                   public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(usage_runs, print_the_usage_text_and_open_nothing) {
    put("in.bin", example_input);
    program_result r = run(GetParam());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, expected_usage());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(names(), std::vector<std::string>{"in.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    command_lines, usage_runs,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"-x"},
                      std::vector<std::string>{"-"}, std::vector<std::string>{"-?"},
                      std::vector<std::string>{"-x", "-v", "in.bin", "out.bin"},
                      std::vector<std::string>{"-v", "in.bin", "out.bin", "-"},
                      std::vector<std::string>{"-v", "-f", "-x", "in.bin", "out.bin"},
                      std::vector<std::string>{"-v", "-d", "missing.bin", "out.bin"},
                      std::vector<std::string>{"-x", "in.bin", "in.bin"},
                      std::vector<std::string>{"in.bin", "out.bin", "-z"}));

// ---------------------------------------------------------------- refused runs

struct refusal_case {
    const char* name;
    std::vector<std::string> args;
    std::string err;
    int status;
};

void PrintTo(const refusal_case& c, std::ostream* os) { *os << c.name; }

class refused_runs : public program, public ::testing::WithParamInterface<refusal_case> {};

// The scratch directory holds in.bin; nothing else may appear in it.
TEST_P(refused_runs, give_the_message_and_create_nothing) {
    const refusal_case& c = GetParam();
    put("in.bin", example_input);
    program_result r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(names(), std::vector<std::string>{"in.bin"});
    EXPECT_EQ(get("in.bin"), example_input);
}

INSTANTIATE_TEST_SUITE_P(
    messages, refused_runs,
    ::testing::Values(
        refusal_case{"no_action", {"in.bin", "out.bin"}, no_action_message, 255},
        refusal_case{"no_action_with_every_other_option",
                     {"-f", "-l0300", "-g0300", "-t", "-p1", "-mhi", "in.bin", "out.bin"},
                     no_action_message,
                     255},
        refusal_case{"no_action_before_input", {"missing.bin", "out.bin"}, no_action_message, 255},
        refusal_case{"no_action_no_names", {"-l0300"}, no_action_message, 255},
        refusal_case{"input_missing", {"-v", "missing.bin"}, open_input_message, 255},
        refusal_case{"input_missing_before_output",
                     {"-v", "missing.bin", "out.bin"},
                     open_input_message,
                     255},
        refusal_case{"input_in_missing_directory",
                     {"-c", "nodir/in.bin", "out.bin"},
                     open_input_message,
                     255},
        refusal_case{"input_name_empty", {"-v", "", "out.bin"}, open_input_message, 255},
        refusal_case{"output_in_missing_directory",
                     {"-v", "in.bin", "nodir/out.bin"},
                     open_output_message,
                     1},
        refusal_case{"output_in_missing_directory_forced",
                     {"-v", "-f", "in.bin", "nodir/out.bin"},
                     open_output_message,
                     1},
        refusal_case{"output_in_missing_directory_hybrid",
                     {"-i", "in.bin", "nodir/out.lod"},
                     open_output_message,
                     1},
        refusal_case{
            "input_is_its_own_output", {"-v", "in.bin", "in.bin"}, exists_message("in.bin"), 255},
        // the values of -b and -r come before every other check, -b first
        refusal_case{
            "bad_baud_before_all", {"-b450", "-v", "-rx", "missing.bin"}, bad_baud_message, 255},
        refusal_case{"bad_type_before_no_action", {"-r", "missing.bin"}, bad_type_message, 255},
        refusal_case{"basic_with_records",
                     {"-b", "-rhex", "-l", "missing.bin"},
                     "\nA BASIC listing is text; leave out -r.\n",
                     255},
        refusal_case{"load_with_records",
                     {"-c", "-rprg", "-l0000", "missing.bin", "out.bin"},
                     "\nThe input gives its own load address; leave out -l.\n",
                     255}),
    [](const ::testing::TestParamInfo<refusal_case>& tested) { return tested.param.name; });

// ---------------------------------------------------------------- existing outputs

TEST_F(program, existing_output_is_refused_without_f) {
    put("in.bin", example_input);
    put("out.bin", "old contents");
    program_result r = run({"-v", "in.bin", "out.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("out.bin"));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(get("out.bin"), "old contents");
}

TEST_F(program, exists_message_names_the_output_as_given) {
    put("in.bin", example_input);
    put("out.bin", "");
    program_result r = run({"-c", "in.bin", "./out.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("./out.bin"));
    EXPECT_EQ(get("out.bin"), "");
}

TEST_F(program, existing_directory_or_device_as_output_is_refused_without_f) {
    put("in.bin", example_input);
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    program_result r = run({"-v", "in.bin", "sub"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("sub"));

    r = run({"-v", "in.bin", "sub/"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("sub/"));

    r = run({"-v", "in.bin", "/dev/null"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("/dev/null"));
    EXPECT_EQ(names(), (std::vector<std::string>{"in.bin", "sub"}));
}

TEST_F(program, existing_output_is_replaced_with_f) {
    put("in.bin", example_input);
    put("out.bin", std::string(1000, 'x'));  // longer than the new contents
    for (const char* force : {"-f", "-F"}) {
        program_result r = run({force, "-v", "-l0300", "-g0300", "in.bin", "out.bin"});
        EXPECT_EQ(r.status, 0) << force;
        EXPECT_EQ(r.err, "") << force;
        EXPECT_EQ(r.out, "") << force;
        EXPECT_EQ(get("out.bin"), example_65v) << force;
    }
}

TEST_F(program, forced_output_onto_a_directory_cannot_be_opened) {
    put("in.bin", example_input);
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    program_result r = run({"-v", "-f", "in.bin", "sub"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, open_output_message);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(directory_names(dir.at("sub")), std::vector<std::string>{});
}

TEST_F(program, f_without_output_name_writes_standard_output) {
    put("in.bin", example_input);
    program_result r = run({"-v", "-f", "-l0300", "-g0300", "in.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, example_65v);
    EXPECT_EQ(names(), std::vector<std::string>{"in.bin"});
}

TEST_F(program, third_file_name_is_skipped) {
    put("in.bin", example_input);
    program_result r = run({"-v", "-l0300", "-g0300", "in.bin", "out.bin", "third.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(get("out.bin"), example_65v);
    EXPECT_EQ(names(), (std::vector<std::string>{"in.bin", "out.bin"}));

    put("third.bin", "keep");
    r = run({"-v", "in.bin", "new.bin", "third.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(get("third.bin"), "keep");
    EXPECT_EQ(get("new.bin"), ".0000/A9\r00\r60\r");
}

TEST_F(program, value_is_not_taken_from_the_next_argument) {
    // -l and 0300: load address 0, and 0300 is the input name.
    put("0300", example_input);
    program_result r = run({"-v", "-l", "0300"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ".0000/A9\r00\r60\r");
}

// ---------------------------------------------------------------- conversions end to end

std::string cells_65v_warning(const std::string& span) {
    return "\nWarning: the data at " + span +
           " reaches into cells that the 65V monitor uses while it loads ($00FB-$00FF, "
           "$010E-$0128, $0200-$0234) and may not load there.\n";
}

std::string cells_65a_warning(const std::string& span) {
    return "\nWarning: the data at " + span +
           " reaches into cells that the 65A monitor uses while it loads ($00FC-$00FF, "
           "$011E-$0126, and $01FB-$01FD when it starts the program) and may not load there.\n";
}

const std::string go_not_used_warning =
    "\nWarning: the go address is not used: the target restarts from its register save area "
    "($0129-$012F), where the data lies.\n";

const std::string start_overwrites_warning =
    "\nWarning: the start sequence overwrites the data in the register save area "
    "($0129-$012F).\n";

struct conversion_case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string output;
    std::string err = {};  // the warnings, if any
};

void PrintTo(const conversion_case& c, std::ostream* os) { *os << c.name; }

class conversions : public program, public ::testing::WithParamInterface<conversion_case> {};

TEST_P(conversions, through_pipes) {
    const conversion_case& c = GetParam();
    program_result r = run_with_input(c.args, c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, c.output);
}

TEST_P(conversions, through_named_files) {
    const conversion_case& c = GetParam();
    put("in.bin", c.input);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"in.bin", "out.lod"});
    program_result r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(get("out.lod"), c.output);
}

TEST_P(conversions, through_redirected_files) {
    const conversion_case& c = GetParam();
    put("in.bin", c.input);
    program_result r = run_program({.args = c.args,
                                    .directory = dir.path,
                                    .input = input_from::file,
                                    .input_data = "in.bin",
                                    .output = output_to::file,
                                    .output_path = "out.lod"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(get("out.lod"), c.output);
}

std::string counting_bytes(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(i & 0xFF);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    cases, conversions,
    ::testing::Values(
        conversion_case{"worked_example", {"-v", "-l0300", "-g0300"}, example_input, example_65v},
        conversion_case{
            "upper_case_letters", {"-V", "-L0300", "-G0300"}, example_input, example_65v},
        conversion_case{"go_by_h", {"-v", "-l0300", "-h0300"}, example_input, example_65v},
        conversion_case{"no_go_address", {"-v", "-l0300"}, example_input, ".0300/A9\r00\r60\r"},
        conversion_case{"empty_input", {"-v"}, "", ".0000/"},
        conversion_case{"empty_input_go_alone", {"-v", "-g"}, "", ".0000/.0000G"},
        conversion_case{"address_zero", {"-v", "-l0", "-g0"}, "\x01", ".0000/01\r.0000G"},
        conversion_case{"line_end_options_ignored",
                        {"-v", "-t", "-l0300", "-g0300"},
                        example_input,
                        example_65v},
        conversion_case{"no_line_end_option_ignored",
                        {"-v", "-T0", "-l0300", "-g0300"},
                        example_input,
                        example_65v},
        conversion_case{"message_and_pad_ignored",
                        {"-v", "-mHello;", "-p0", "-l0300", "-g0300"},
                        example_input,
                        example_65v},
        conversion_case{"awkward_bytes",
                        {"-v"},
                        "\xFF\x0A\x0D\x00\x2E\x2F\x47"s,
                        ".0000/FF\r0A\r0D\r00\r2E\r2F\r47\r"},
        conversion_case{
            "five_digit_load_address", {"-v", "-l12345", "-hABCD"}, "\x60", ".1234/60\r.ABCDG"},
        conversion_case{"three_hundred_bytes",
                        {"-v", "-lFF00"},
                        counting_bytes(300),
                        ".FF00/" + entries_65v(counting_bytes(300))},
        conversion_case{"large_random_input",
                        {"-v", "-l1000", "-g1000"},
                        random_bytes(200000, 7),
                        ".1000/" + entries_65v(random_bytes(200000, 7)) + ".1000G",
                        // 64 KiB or more covers every cell of the target.
                        cells_65v_warning("$1000-$1D3F")}),
    [](const ::testing::TestParamInfo<conversion_case>& tested) { return tested.param.name; });

INSTANTIATE_TEST_SUITE_P(
    other_formats, conversions,
    ::testing::Values(
        conversion_case{"checksum_worked_example",
                        {"-c", "-l0300", "-g0300"},
                        example_input,
                        ";030300A90060010F\r\0\0\0\0\0\n$0300"s},
        // Escapes resolved, ";" and "$" left out, the text written once ahead of the records.
        conversion_case{"checksum_message_and_no_padding",
                        {"-c", "-mHI\\r\\n;$\\tX", "-p0"},
                        "\xFF",
                        "HI\r\n\tX;010000FF0100\r\n"},
        conversion_case{"qsave_worked_example",
                        {"-q", "-l0300", "-g0300", "-t", "-p9"},
                        example_input,
                        "\x3B\x03\x03\x00\xA9\x00\x60\x01\x0F\x24\x03\x00"s},
        conversion_case{
            "qsave_message_and_go_alone", {"-q", "-mHI", "-g1234"}, "", "HI\x24\x12\x34"},
        conversion_case{"65a_worked_example", {"-a", "-l0300", "-g0400"}, ten_bytes, ten_bytes_65a},
        conversion_case{"65a_no_line_ends",
                        {"-a", "-t0", "-l0300", "-g0400"},
                        ten_bytes,
                        "L03000102030405060708090ARLLLLL012900000004FD0400R\0\0\0G"s},
        // $0100-$0109 leaves the register save area alone: it is loaded with the go address.
        conversion_case{
            "65a_low_load_address",
            {"-a", "-l0100", "-g0400"},
            ten_bytes,
            "L0100\r01 02 03 04 05 06 07 08\r09 0A RLLLLL0129\r00000004FD0400R\0\0\0G"s},
        conversion_case{"65a_default_load_address",
                        {"-a", "-g0300"},
                        example_input,
                        "L0000\rA9 00 60 RLLLLL0129\r00000004FD0300R\0\0\0G"s},
        // $0120-$0129: the monitor's stack, then the register save area.
        conversion_case{"65a_data_on_the_stack_and_registers",
                        {"-a", "-l0120", "-g0400"},
                        ten_bytes,
                        "L0120\r01 02 03 04 05 06 07 08\r09 0A RGGGG",
                        cells_65a_warning("$0120-$0129") + go_not_used_warning},
        conversion_case{"65a_start_over_the_data",
                        {"-a", "-l012F", "-g0400"},
                        "\x01",
                        "L012F\r01 RLLLLL0129\r00000004FD0400R\0\0\0G"s,
                        start_overwrites_warning},
        conversion_case{"65a_data_where_the_restart_pushes",
                        {"-a", "-l01FD", "-g0400"},
                        "\x01",
                        "L01FD\r01 RLLLLL0129\r00000004FD0400R\0\0\0G"s,
                        cells_65a_warning("$01FD-$01FD")},
        conversion_case{"65a_data_there_without_a_start", {"-a", "-l01FD"}, "\x01", "L01FD\r01 R"},
        conversion_case{"65v_data_on_the_load_flag",
                        {"-v", "-l00FA"},
                        "\x01\x02",
                        ".00FA/01\r02\r",
                        cells_65v_warning("$00FA-$00FB")},
        conversion_case{"65v_data_below_the_load_flag", {"-v", "-l00FA"}, "\x01", ".00FA/01\r"},
        conversion_case{"65v_empty_input_at_0200", {"-v", "-l0200"}, "", ".0200/"},
        conversion_case{"checksum_is_read_by_a_loader_of_its_own",
                        {"-c", "-l0000"},
                        "\x01",
                        ";010000010002\r\0\0\0\0\0\n"s}),
    [](const ::testing::TestParamInfo<conversion_case>& tested) { return tested.param.name; });

// -i has no effect with -v and -a: no loader, no placement, no warning.
INSTANTIATE_TEST_SUITE_P(
    without_loader, conversions,
    ::testing::Values(
        conversion_case{"i_then_v", {"-i", "-v", "-l0300", "-g0300"}, example_input, example_65v},
        conversion_case{"v_then_i", {"-v", "-i", "-l0300", "-g0300"}, example_input, example_65v},
        conversion_case{
            "low_place_then_v", {"-i0050", "-v", "-l0300", "-g0300"}, example_input, example_65v},
        conversion_case{"v_then_wrapping_place",
                        {"-v", "-iFFFE", "-l0300", "-g0300"},
                        example_input,
                        example_65v},
        conversion_case{
            "v_then_i_low_load", {"-v", "-i", "-g0300"}, example_input, ".0000/A9\r00\r60\r.0300G"},
        conversion_case{"a_then_i", {"-a", "-i", "-l0300", "-g0400"}, ten_bytes, ten_bytes_65a},
        conversion_case{
            "a_then_low_place", {"-a", "-i0050", "-l0300", "-g0400"}, ten_bytes, ten_bytes_65a},
        conversion_case{"i_then_a", {"-i", "-A", "-l0300", "-g0400"}, ten_bytes, ten_bytes_65a}),
    [](const ::testing::TestParamInfo<conversion_case>& tested) { return tested.param.name; });

TEST_F(program, standard_input_from_a_file_and_standard_output_to_a_pipe) {
    put("in.bin", example_input);
    program_result r = run_program({.args = {"-v", "-l0300", "-g0300"},
                                    .directory = dir.path,
                                    .input = input_from::file,
                                    .input_data = "in.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, example_65v);
}

TEST_F(program, dash_is_not_standard_input) {
    program_result r = run_program({.args = {"-v", "-l0300", "-g0300", "-", "out.lod"},
                                    .directory = dir.path,
                                    .input = input_from::bytes,
                                    .input_data = example_input});
    // '-' is not a file name but a bad option: the usage text, and nothing made.
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, expected_usage());
    EXPECT_FALSE(name_exists(dir.at("out.lod")));
}

// ---------------------------------------------------------------- write failures

struct failing_case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
};

void PrintTo(const failing_case& c, std::ostream* os) { *os << c.name; }

class full_device : public program, public ::testing::WithParamInterface<failing_case> {};

TEST_P(full_device, as_standard_output_ends_with_status_1) {
    const failing_case& c = GetParam();
    program_result r = run_program({.args = c.args,
                                    .directory = dir.path,
                                    .input = input_from::bytes,
                                    .input_data = c.input,
                                    .output = output_to::file,
                                    .output_path = "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, write_message);
}

TEST_P(full_device, as_forced_named_output_ends_with_status_1) {
    const failing_case& c = GetParam();
    put("in.bin", c.input);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-f", "in.bin", "/dev/full"});
    program_result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, write_message);
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    formats, full_device,
    ::testing::Values(failing_case{"v_small", {"-v", "-g0300"}, example_input},
                      failing_case{"v_empty_no_go", {"-v"}, ""},
                      failing_case{"v_beyond_the_buffer", {"-v", "-g0"}, random_bytes(300000, 3)},
                      failing_case{"a_small", {"-a", "-l0300", "-g0300"}, example_input},
                      failing_case{"c_small", {"-c", "-g0300"}, example_input},
                      failing_case{"c_message_only", {"-c", "-mhello"}, ""},
                      failing_case{"q_small", {"-q", "-g0300"}, example_input},
                      failing_case{"q_beyond_the_buffer", {"-q"}, random_bytes(300000, 4)},
                      failing_case{"hybrid_checksum", {"-i", "-l0300"}, example_input},
                      failing_case{"hybrid_qsave", {"-i", "-q", "-l0300"}, example_input},
                      // Loads that would be warned about: a failed run gives no warning.
                      failing_case{"v_on_the_load_flag", {"-v", "-l00FB"}, example_input},
                      failing_case{"a_on_the_registers", {"-a", "-l0120", "-g0300"}, ten_bytes},
                      failing_case{"hybrid_in_the_system_area", {"-i", "-l0200"}, example_input}),
    [](const ::testing::TestParamInfo<failing_case>& tested) { return tested.param.name; });

// A reader that has gone away is a failed write, not a signal that ends the run.
TEST_F(program, closed_pipe_is_a_failed_write) {
    put("in.bin", example_input);
    program_result r = run_program(
        {.args = {"-v", "in.bin"}, .directory = dir.path, .output = output_to::closed_pipe});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, write_message);
}

TEST_F(program, full_device_is_an_existing_name_without_f) {
    put("in.bin", example_input);
    program_result r = run({"-v", "in.bin", "/dev/full"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("/dev/full"));
}

// ---------------------------------------------------------------- read failures

struct read_error_case {
    const char* name;
    std::vector<std::string> args;
    std::string output;  // what was written before the read failed
};

void PrintTo(const read_error_case& c, std::ostream* os) { *os << c.name; }

class directory_input : public program, public ::testing::WithParamInterface<read_error_case> {};

TEST_P(directory_input, ends_with_the_read_message_and_no_trailer) {
    const read_error_case& c = GetParam();
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    std::vector<std::string> args = c.args;
    args.push_back("sub");
    program_result r = run(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, read_message);
    EXPECT_EQ(r.out, c.output);
}

TEST_P(directory_input, into_a_named_output) {
    const read_error_case& c = GetParam();
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"sub", "out.lod"});
    program_result r = run(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, read_message);
    EXPECT_EQ(get("out.lod"), c.output);
}

TEST_P(directory_input, write_error_wins_over_read_error) {
    const read_error_case& c = GetParam();
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    std::vector<std::string> args = c.args;
    args.push_back("sub");
    program_result r = run_program({.args = args,
                                    .directory = dir.path,
                                    .output = output_to::file,
                                    .output_path = "/dev/full"});
    // Where nothing was due before the read failed, no write failed either.
    if (c.output.empty()) {
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, read_message);
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, write_message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    formats, directory_input,
    ::testing::Values(read_error_case{"v", {"-v", "-g0300"}, ".0000/"},
                      read_error_case{"v_with_load_address", {"-v", "-l0300", "-g0"}, ".0300/"},
                      read_error_case{"a", {"-a", "-l0300", "-g0300"}, "L0300\r"},
                      read_error_case{"c", {"-c", "-g0300"}, ""},
                      read_error_case{"c_message", {"-c", "-mHI", "-g0300"}, "HI"},
                      read_error_case{"q", {"-q", "-g0300"}, ""}),
    [](const ::testing::TestParamInfo<read_error_case>& tested) { return tested.param.name; });

// ---------------------------------------------------------------- the overwrite guard

TEST_F(program, dangling_link_as_output_is_refused_without_f) {
    put("in.bin", example_input);
    ASSERT_EQ(::symlink("target.bin", dir.at("out.bin").c_str()), 0);
    program_result r = run({"-v", "in.bin", "out.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("out.bin"));
    EXPECT_EQ(r.out, "");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.at("out.bin").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_FALSE(name_exists(dir.at("target.bin")));
    EXPECT_EQ(names(), (std::vector<std::string>{"in.bin", "out.bin"}));
}

TEST_F(program, dangling_link_as_output_is_written_through_with_f) {
    put("in.bin", example_input);
    ASSERT_EQ(::symlink("target.bin", dir.at("out.bin").c_str()), 0);
    program_result r = run({"-v", "-f", "-l0300", "-g0300", "in.bin", "out.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(get("target.bin"), example_65v);
}

TEST_F(program, link_to_an_existing_file_is_refused_without_f) {
    put("in.bin", example_input);
    put("target.bin", "keep");
    ASSERT_EQ(::symlink("target.bin", dir.at("out.bin").c_str()), 0);
    program_result r = run({"-c", "in.bin", "out.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("out.bin"));
    EXPECT_EQ(get("target.bin"), "keep");
}

TEST_F(program, unreadable_existing_output_is_refused_without_f) {
    if (::geteuid() == 0) GTEST_SKIP() << "every file is readable when running as root";
    put("in.bin", example_input);
    put("out.bin", "keep");
    ASSERT_EQ(::chmod(dir.at("out.bin").c_str(), 0), 0);
    program_result r = run({"-v", "in.bin", "out.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, exists_message("out.bin"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.at("out.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0u);
    EXPECT_EQ(st.st_size, 4);
    ASSERT_EQ(::chmod(dir.at("out.bin").c_str(), 0600), 0);
    EXPECT_EQ(get("out.bin"), "keep");
}

// ---------------------------------------------------------------- the same file both ways

class same_file : public program {
  protected:
    void SetUp() override {
        put("a.bin", example_input);
        ASSERT_EQ(::link(dir.at("a.bin").c_str(), dir.at("hard.bin").c_str()), 0);
        ASSERT_EQ(::symlink("a.bin", dir.at("soft.bin").c_str()), 0);
    }
    void expect_refused(const program_result& r) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, same_file_message);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(get("a.bin"), example_input);
    }
};

TEST_F(same_file, named_both_ways_with_f) {
    for (const char* action : {"-v", "-a", "-c", "-q", "-i"}) {
        SCOPED_TRACE(action);
        expect_refused(run({action, "-f", "a.bin", "a.bin"}));
        expect_refused(run({action, "-f", "a.bin", "hard.bin"}));
        expect_refused(run({action, "-f", "soft.bin", "a.bin"}));
        expect_refused(run({action, "-f", "a.bin", "soft.bin"}));
    }
}

// The comparison comes before the open, which a read-only file would fail.
TEST_F(same_file, read_only_input_named_both_ways_with_f) {
    ASSERT_EQ(::chmod(dir.at("a.bin").c_str(), 0444), 0);
    expect_refused(run({"-v", "-f", "a.bin", "a.bin"}));
    expect_refused(run({"-c", "-f", "soft.bin", "hard.bin"}));
}

TEST_F(same_file, named_input_and_standard_output_appending_to_it) {
    expect_refused(run_program({.args = {"-v", "a.bin"},
                                .directory = dir.path,
                                .output = output_to::append_file,
                                .output_path = "a.bin"}));
    expect_refused(run_program({.args = {"-i", "-q", "-l0300", "hard.bin"},
                                .directory = dir.path,
                                .output = output_to::append_file,
                                .output_path = "a.bin"}));
}

TEST_F(same_file, standard_input_and_standard_output) {
    expect_refused(run_program({.args = {"-c"},
                                .directory = dir.path,
                                .input = input_from::file,
                                .input_data = "a.bin",
                                .output = output_to::append_file,
                                .output_path = "a.bin"}));
    expect_refused(run_program({.args = {"-v"},
                                .directory = dir.path,
                                .input = input_from::file,
                                .input_data = "a.bin",
                                .output = output_to::file,
                                .output_path = "hard.bin"}));
}

TEST_F(same_file, different_files_are_converted) {
    put("b.bin", "old:");
    program_result r = run_program({.args = {"-v", "-l0300", "-g0300", "a.bin"},
                                    .directory = dir.path,
                                    .output = output_to::append_file,
                                    .output_path = "b.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(get("b.bin"), "old:" + example_65v);
    EXPECT_EQ(get("a.bin"), example_input);
}

}  // namespace
