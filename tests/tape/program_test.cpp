// korvane-tape as a whole: usage errors, inputs it cannot use, the -v line,
// the output guard and failing writes, each with its exact messages and status.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "front_runs.h"

namespace {

const std::string load_file = ";030300A90060010F\r\0\0\0\0\0\n$0300"s;

// One second of silence: a 16-bit mono WAV at 8000 samples per second.
std::string silent_wav() {
    return "RIFF\x24\x3E\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0"
           "data\x00\x3E\0\0"s +
           std::string(16000, '\0');
}

class tape_program : public ::testing::Test {
  protected:
    scratch_dir dir;
    program_result run(std::vector<std::string> args, const std::string& input = "") {
        return run_tape(std::move(args), input, dir.path);
    }
    program_result run_to(std::vector<std::string> args, const std::string& path,
                          output_to output = output_to::file) {
        return run_program({.args = std::move(args),
                            .directory = dir.path,
                            .output = output,
                            .output_path = path,
                            .program = KORVANE_TAPE_BINARY});
    }
    void put(const std::string& name, const std::string& bytes) { write_file(dir.at(name), bytes); }
    std::string get(const std::string& name) { return read_file(dir.at(name)); }
    void expect_failure(const program_result& r, const std::string& message) {
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out.size() << " bytes on standard output";
        EXPECT_EQ(r.err, "korvane-tape: " + message + "\n");
    }
};

TEST_F(tape_program, refuses_a_bad_command_line_with_its_reason_and_the_usage_line) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-x"}, "unknown option -x"},
        {{"-b"}, "-b needs a value"},
        {{"-b", "450"}, "-b takes 300, 600 or 1200"},
        {{"-b", "300.0"}, "-b takes 300, 600 or 1200"},
        {{"-r", "7999"}, "-r takes a sample rate from 8000 to 192000"},
        {{"-r192001"}, "-r takes a sample rate from 8000 to 192000"},
        {{"-s", "32"}, "-s takes 8, 16, 24 or float"},
        {{"-w", "triangle"}, "-w takes sine or square"},
        {{"-a", "60.5"}, "-a takes decibels, from 0 to 60"},
        {{"-L", "1e1"}, "-L takes seconds, from 0 to 60"},
        {{"-T", "-1"}, "-T takes seconds, from 0 to 60"},
        {{"-d", "-c", "centre"}, "-c takes left, right or mix"},
        {{"-d", "rec.wav", "-r", "8000"}, "-r is for encoding; -d decodes"},
        {{"-1", "-d"}, "-1 is for encoding; -d decodes"},
        {{"-c", "left"}, "-c is for decoding, with -d"},
        {{"a.lod", "b.lod"}, "only one IN may be given"},
        {{"-o", ""}, "-o needs a file name"},
    };
    for (const auto& [args, reason] : cases) {
        program_result r = run(args, load_file);
        EXPECT_EQ(r.status, 2) << reason;
        EXPECT_TRUE(r.out.empty()) << reason;
        EXPECT_EQ(r.err, "korvane-tape: " + reason + "\n" + tape_usage);
    }
    EXPECT_TRUE(directory_names(dir.path).empty());
}

TEST_F(tape_program, help_goes_to_standard_output) {
    program_result r = run({"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(tape_usage, 0), 0u);
}

TEST_F(tape_program, names_an_input_it_cannot_use) {
    put("prog.lod", load_file);
    expect_failure(run({"missing.lod"}), "missing.lod: No such file or directory");
    expect_failure(run({"-d", "missing.wav"}), "missing.wav: No such file or directory");
    expect_failure(run({"-d", "."}), ".: Is a directory");

    // A load file is no recording; no output is made for it.
    program_result r = run({"-d", "-o", "out.bin", "prog.lod"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("korvane-tape: prog.lod is not an audio file that can be read: ", 0), 0u)
        << r.err;
    EXPECT_GT(r.err.size(), 64u);
    r = run({"-d"}, load_file);
    EXPECT_EQ(
        r.err.rfind("korvane-tape: standard input is not an audio file that can be read: ", 0), 0u)
        << r.err;

    // Silence holds no signal, and the empty output it would leave is removed.
    put("quiet.wav", silent_wav());
    expect_failure(run({"-d", "-o", "out.bin", "quiet.wav"}),
                   "no cassette signal found in quiet.wav");
    expect_failure(run({"-d"}, silent_wav()), "no cassette signal found in standard input");
    EXPECT_EQ(directory_names(dir.path), (std::vector<std::string>{"prog.lod", "quiet.wav"}));
}

TEST_F(tape_program, says_with_v_what_it_wrote_and_how_long_it_plays) {
    // Leader 5 s and trailer 2 s at the defaults, 11 bits a byte.
    const struct {
        size_t bytes;
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {1, {"-v"}, "1 byte, 7 s at 300 baud"},  // 7 + 11/300 s
        // 12294 * 11 / 300 = 450.78 s, and 7 more
        {12294, {"-v"}, "12294 bytes, 7 min 38 s at 300 baud"},
        // 12294 * 11 / 1200 = 112.70 s, and 7 more: 119.70
        {12294, {"-v", "-b", "1200"}, "12294 bytes, 2 min 0 s at 1200 baud"},
        // 10 bits a byte, and no leader or trailer: 12000 * 10 / 600
        {12000, {"-v1", "-b600", "-L0", "-T0", "-r8000"}, "12000 bytes, 3 min 20 s at 600 baud"},
    };
    for (const auto& c : cases) {
        program_result r = run(c.args, std::string(c.bytes, 'A'));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "korvane-tape: " + c.line + "\n");
        EXPECT_TRUE(r.out.starts_with("RIFF"));
    }
    // Without -v nothing is said.
    EXPECT_EQ(run({}, "A").err, "");
}

TEST_F(tape_program, guards_its_output_as_korvane_does) {
    put("prog.lod", load_file);
    put("t.wav", "old");
    expect_failure(run({"-o", "t.wav", "prog.lod"}), "t.wav: exists; give -f to replace it");
    EXPECT_EQ(get("t.wav"), "old");
    put("quiet.wav", silent_wav());
    expect_failure(run({"-d", "-o", "t.wav", "quiet.wav"}), "t.wav: exists; give -f to replace it");

    program_result replaced = run({"prog.lod", "-fo", "t.wav"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(get("t.wav").compare(0, 4, "RIFF"), 0);

    expect_failure(run({"-f", "-o", "prog.lod", "prog.lod"}), "prog.lod: is the input file");
    expect_failure(run_to({"prog.lod"}, "prog.lod", output_to::append_file),
                   "standard output is the input file");
    EXPECT_EQ(get("prog.lod"), load_file);

    // A container that cannot hold the samples is refused before anything is made.
    expect_failure(run({"-s", "float", "-o", "t.flac", "prog.lod"}),
                   "t.flac: a FLAC file cannot hold float samples");
    EXPECT_EQ(directory_names(dir.path),
              (std::vector<std::string>{"prog.lod", "quiet.wav", "t.wav"}));
}

TEST_F(tape_program, fails_a_write_that_fails) {
    put("prog.lod", load_file);
    expect_failure(run({"-f", "-o", "/dev/full", "prog.lod"}),
                   "/dev/full: No space left on device");
    expect_failure(run({"-f", "-o", "/dev/full", "-s", "24", "prog.lod"}),
                   "/dev/full: No space left on device");
    expect_failure(run_to({"prog.lod"}, "/dev/full"), "standard output: No space left on device");
    expect_failure(run_to({"prog.lod"}, "", output_to::closed_pipe),
                   "standard output: Broken pipe");
    // A named output that cannot seek still gets its WAV, with the header made ahead.
    program_result piped = run_to({"-f", "-o", "/dev/stdout", "prog.lod"}, "", output_to::pipe);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(piped.out.size(), 44 + little_endian(piped.out, 40, 4));
}

TEST_F(tape_program, warns_of_a_load_file_that_will_not_load_at_its_rate) {
    auto korvane = [](std::vector<std::string> args, const std::string& input) {
        return run_program(
                   {.args = std::move(args), .input = input_from::bytes, .input_data = input})
            .out;
    };
    const std::string hybrid = korvane({"-i", "-l0400", "-g0400"}, "\xA9\x00\x60"s);
    const std::string listing = "10 PRINT \"HI\"\n20 GOTO 10\n";
    const std::string basic_300 = korvane({"-b"}, listing);
    const std::string basic_1200 = korvane({"-b1200"}, listing);
    const std::string hybrid_warning =
        "korvane-tape: warning: a hybrid played at 1200 baud loses characters on the C1P (its "
        "loader echoes to the screen, which cannot keep up); play it at 600 baud or below\n";
    const std::string basic_warning =
        "korvane-tape: warning: the BASIC listing has fewer NULs than BASIC needs at 1200 baud "
        "(line 10 first); make it with korvane -b1200\n";
    const struct {
        std::vector<std::string> args;
        std::string input;
        std::string err;
    } cases[] = {
        {{"-b", "1200"}, hybrid, hybrid_warning},
        {{"-b", "600"}, hybrid, ""},
        {{"-b", "1200"}, basic_300, basic_warning},
        {{"-b", "1200"}, basic_1200, ""},
        // With one stop bit a character is 8,192 cycles: line 10 needs 10 NULs, not 9.
        {{"-1", "-b", "1200"}, basic_1200, basic_warning},
    };
    for (const auto& c : cases) {
        program_result r = run(c.args, c.input);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
    }
}

}  // namespace
