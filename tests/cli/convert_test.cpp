// Whole hybrid conversions, the loader section and the data behind it,
// through an output that accepts exactly N bytes and then fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/driver.h"
#include "support/memory_streams.h"

namespace {

struct converted {
    run_outcome outcome;
    std::string output;
    int sink_closes;
    int source_closes;
    size_t writes_after_failure;
};

converted run_convert(run_settings settings, const std::string& input, size_t buffer_size,
                      size_t limit) {
    memory_sink sink;
    sink.limit = limit;
    memory_source source(input);
    out_stream out;
    open_output(out, sink.sink(), buffer_size);
    in_stream in;
    open_input(in, source.source());
    run_outcome outcome = convert(settings, in, out);
    return {outcome, sink.bytes, sink.closes, source.closes, sink.writes_after_failure};
}

run_settings hybrid_settings(int action) {
    run_settings settings;
    settings.action = action;
    settings.hybrid = 1;
    settings.load_address = 0x0400;
    settings.go_address = 0x0400;
    std::snprintf(settings.message_text, sizeof settings.message_text, "HI");
    return settings;
}

TEST(convert, hybrid_output_failing_after_every_byte_count) {
    const std::string input = "\xA9\x3B\x24\x0D\xFF\x60";
    for (int action : {action_checksum, action_qsave}) {
        const run_settings settings = hybrid_settings(action);
        const converted good = run_convert(settings, input, 4096, std::string::npos);
        ASSERT_EQ(good.outcome, run_outcome::converted);
        // The loader section (735 bytes), then the message, the data and the go record.
        ASSERT_GT(good.output.size(), 735u + 2);
        EXPECT_EQ(good.output.substr(0, 6), ".0300/");
        EXPECT_EQ(good.output.substr(735, 2), "HI");
        for (size_t buffer_size : {size_t{1}, size_t{7}, size_t{4096}}) {
            for (size_t n = 0; n <= good.output.size(); ++n) {
                SCOPED_TRACE(::testing::Message()
                             << "action " << action << ", buffer " << buffer_size << ", N " << n);
                const converted run = run_convert(settings, input, buffer_size, n);
                EXPECT_EQ(run.output, good.output.substr(0, n));
                EXPECT_EQ(run.outcome, n < good.output.size() ? run_outcome::write_output
                                                              : run_outcome::converted);
                EXPECT_EQ(run.writes_after_failure, 0u);
                EXPECT_EQ(run.sink_closes, 1);
                EXPECT_EQ(run.source_closes, 1);
            }
        }
    }
}

}  // namespace
