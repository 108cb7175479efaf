// How the input arrives: short reads must not change the output, and a read
// error must never look like the end of the input (no trailer is written).
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "formats/encoder_harness.h"

namespace {

struct format_row {
    const char* name;
    encoder_fn encode;
    int action;
};

const format_row formats[] = {
    {"65v", encode_65v, action_65v},
    {"65a", encode_65a, action_65a},
    {"checksum", encode_checksum, action_checksum},
    {"qsave", encode_qsave, action_qsave},
};

TEST(InputArrival, ShortReadsGiveTheSameOutputAsOneRead) {
    std::mt19937 rng(1977);
    for (const auto& f : formats) {
        for (int trial = 0; trial < 40; ++trial) {
            const size_t n = trial_length(rng, trial, 3000);
            const std::string input = random_image(rng, n);
            const run_settings settings = conversion_settings(
                f.action, random_address(rng), random_go(rng), trial % 3 - 1, 5, "HI");
            const encoder_run whole = run_encoder(f.encode, settings, input);
            ASSERT_GE(whole.result, 0);
            for (size_t chunk : {size_t{1}, size_t{7}, size_t{13}}) {
                run_conditions conditions;
                conditions.read_chunk = chunk;
                encoder_run run = run_encoder(f.encode, settings, input, conditions);
                EXPECT_EQ(run.output, whole.output)
                    << f.name << ", " << n << " bytes, chunk " << chunk;
                EXPECT_EQ(run.result, whole.result) << f.name;
                EXPECT_EQ(run.reads_after_end, 0) << f.name;
                EXPECT_EQ(run.bytes_read, n) << f.name;
                EXPECT_EQ(run.source_closes, 1) << f.name;
            }
        }
    }
}

// What a good conversion of the bytes before a failed read writes ahead of
// its trailer: every byte read is converted, and nothing else is written.
std::string body_before_failure(encoder_fn encode, run_settings settings, const std::string& input,
                                size_t fail_at) {
    settings.go_address = -1;
    std::string body = run_encoder(encode, settings, input.substr(0, fail_at)).output;
    if (settings.action == action_65a) body.pop_back();  // the "R" belongs to the trailer
    return body;
}

void expect_read_error_outcome(const encoder_run& run, const std::string& body,
                               const std::string& where) {
    EXPECT_EQ(run.result, -1) << where;
    EXPECT_TRUE(run.in_failed) << where;
    EXPECT_FALSE(run.out_failed) << where;
    EXPECT_EQ(run.output, body) << where;
    EXPECT_EQ(run.sink_closes, 1) << where;
    EXPECT_EQ(run.source_closes, 1) << where;
    EXPECT_EQ(run.reads_after_end, 0) << where;
}

// A read failing at every position of the input, the very end included.
TEST(InputArrival, ReadErrorWritesNoTrailer) {
    for (const auto& c : small_conversions()) {
        for (size_t chunk : {size_t{1}, size_t{7}, unlimited}) {
            for (size_t fail_at = 0; fail_at <= c.input.size(); ++fail_at) {
                run_conditions conditions;
                conditions.read_chunk = chunk;
                conditions.read_fail_at = fail_at;
                for (size_t size : {size_t{1}, size_t{4096}}) {
                    conditions.buffer_size = size;
                    encoder_run run = run_encoder(c.encode, c.settings, c.input, conditions);
                    expect_read_error_outcome(
                        run, body_before_failure(c.encode, c.settings, c.input, fail_at),
                        std::string(c.name) + ", chunk " + std::to_string(chunk) + ", fail at " +
                            std::to_string(fail_at));
                }
            }
        }
    }
}

// The same over images of several read blocks, failing on either side of a
// block boundary.
TEST(InputArrival, ReadErrorInALargeImageWritesNoTrailer) {
    std::mt19937 rng(42);
    const std::string input = random_image(rng, 10000);
    const size_t positions[] = {0, 1, 4079, 4080, 4088, 4095, 4096, 4097, 8192, 9999, 10000};
    for (const auto& f : formats) {
        run_settings settings = conversion_settings(f.action, 0x0300, 0x0300, 0, 5, "MSG");
        for (size_t fail_at : positions) {
            const std::string body = body_before_failure(f.encode, settings, input, fail_at);
            for (size_t chunk : {size_t{7}, unlimited}) {
                run_conditions conditions;
                conditions.read_chunk = chunk;
                conditions.read_fail_at = fail_at;
                encoder_run run = run_encoder(f.encode, settings, input, conditions);
                expect_read_error_outcome(
                    run, body, std::string(f.name) + ", fail at " + std::to_string(fail_at));
            }
        }
    }
}

// A read error together with a failed write: both flags are set and the
// result is the failure.
TEST(InputArrival, WriteFailureWithAFailingInput) {
    for (const auto& c : small_conversions()) {
        run_conditions conditions;
        conditions.write_limit = 0;
        conditions.read_fail_at = 1;
        conditions.buffer_size = 1;
        encoder_run run = run_encoder(c.encode, c.settings, c.input, conditions);
        EXPECT_EQ(run.result, -1) << c.name;
        EXPECT_TRUE(run.out_failed) << c.name;
        EXPECT_EQ(run.output, "") << c.name;
        EXPECT_EQ(run.sink_closes, 1) << c.name;
        EXPECT_EQ(run.source_closes, 1) << c.name;
    }
}

}  // namespace
