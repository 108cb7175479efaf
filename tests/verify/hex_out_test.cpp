// korvane-verify -O: the data a load file stores, as Intel HEX, goes back
// through korvane -rhex into the same load file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/record_text.h"
#include "verify_runs.h"

namespace {

using namespace std::string_literals;

TEST(hex_out, gives_the_load_file_back_in_every_format) {
    const std::string table = "0123456789ABCDEFGH";
    const std::string hex = intel_hex(0, 0x2000, table) + intel_hex(0, 0x0300, "\xA9\x00\x60"s);
    // Each piece from its start, 16 bytes a record, then the go address and the end.
    const std::string want = intel_hex(0, 0x0300, "\xA9\x00\x60"s) +
                             intel_hex(0, 0x2000, table.substr(0, 16)) +
                             intel_hex(0, 0x2010, "GH") + ":0400000500000300F4\n:00000001FF\n";
    const std::vector<std::string> formats[] = {{"-v"}, {"-a", "-t"}, {"-c", "-mHI", "-p2"},
                                                {"-q"}, {"-i"},       {"-i", "-q"}};
    for (const std::vector<std::string>& format : formats) {
        SCOPED_TRACE(format[0] + (format.size() > 1 ? " " + format[1] : ""));
        std::vector<std::string> args = format;
        args.insert(args.end(), {"-g0300", "-rhex"});
        const program_result load = run_korvane(args, hex);
        ASSERT_EQ(load.status, 0) << load.err;
        scratch_dir dir;
        const program_result verified = run_verify({"-O", "back.hex"}, load.out, dir.path);
        EXPECT_EQ(verified.status, 0) << verified.out;
        EXPECT_EQ(read_file(dir.at("back.hex")), want);
        EXPECT_EQ(run_korvane(args, want).out, load.out);
    }
}

TEST(hex_out, keeps_the_last_value_of_a_byte_loaded_twice) {
    scratch_dir dir;
    const std::string twice = ";010300010005\r\n;010300020006\r\n";
    EXPECT_EQ(run_verify({"-c", "-O", "back.hex"}, twice, dir.path).status, 1);
    EXPECT_EQ(read_file(dir.at("back.hex")), ":0103000002FA\n:00000001FF\n");
}

}  // namespace
