// The 65V ROM monitor format: ".AAAA/", one "HH" CR entry per byte, ".GGGGG".
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "formats/encoder_harness.h"
#include "formats/encoders.h"

namespace {

run_settings settings_65v(int load, int go) { return conversion_settings(action_65v, load, go); }

encoder_run run_65v(const run_settings& settings, const std::string& input) {
    return run_clean(encode_65v, settings, input);
}

TEST(Encode65v, WorkedExample) {
    encoder_run run = run_65v(settings_65v(0x0300, 0x0300), bytes({0xA9, 0x00, 0x60}));
    EXPECT_EQ(run.output, ".0300/A9\r00\r60\r.0300G");
    EXPECT_EQ(run.output.size(), 21u);
    EXPECT_EQ(run.result, 'G');
}

TEST(Encode65v, EdgeCases) {
    struct row {
        const char* name;
        int load;
        int go;
        int eol_mode;
        std::string input;
        std::string expected;
    };
    const row rows[] = {
        {"empty, no go", 0, -1, 0, "", ".0000/"},
        {"empty with go", 0, 0x0300, 0, "", ".0000/.0300G"},
        {"no go ends with the last CR", 0x1234, -1, 0, bytes({0x01, 0x02}), ".1234/01\r02\r"},
        {"-t changes nothing", 0x0300, 0x0300, 1, bytes({0xA9, 0x00, 0x60}),
         ".0300/A9\r00\r60\r.0300G"},
        {"-t0 changes nothing", 0x0300, 0x0300, -1, bytes({0xA9, 0x00, 0x60}),
         ".0300/A9\r00\r60\r.0300G"},
        {"FF and 0A entries", 0x0300, -1, 0, bytes({0xFF, 0x0A}), ".0300/FF\r0A\r"},
        {"0000 addresses are given addresses", 0, 0, 0, bytes({0x3B}), ".0000/3B\r.0000G"},
        {"FFFF addresses", 0xFFFF, 0xFFFF, 0, bytes({0x24}), ".FFFF/24\r.FFFFG"},
    };
    for (const auto& r : rows) {
        run_settings settings = settings_65v(r.load, r.go);
        settings.eol_mode = r.eol_mode;
        settings.pad_count = 9;
        set_message(settings, "ignored");
        EXPECT_EQ(run_65v(settings, r.input).output, r.expected) << r.name;
    }
}

// Decodes 65V output back into its load address, data and go address, checking
// every character of the layout on the way. An empty error means it is well formed.
struct decoded_65v {
    std::string error;
    int load = -1;
    std::string data;
    int go = -1;
};

decoded_65v decode_65v(const std::string& text) {
    decoded_65v d;
    size_t pos = 0;
    auto address = [&](int& value) {
        if (pos >= text.size() || text[pos] != '.') return false;
        ++pos;
        int high = read_hex_pair(text, pos);
        int low = read_hex_pair(text, pos);
        if (high < 0 || low < 0) return false;
        value = high * 256 + low;
        return true;
    };
    if (!address(d.load) || pos >= text.size() || text[pos++] != '/') {
        d.error = "bad header";
        return d;
    }
    while (pos < text.size() && text[pos] != '.') {
        int b = read_hex_pair(text, pos);
        if (b < 0 || pos >= text.size() || text[pos] != '\r') {
            d.error = "bad entry at " + std::to_string(pos);
            return d;
        }
        ++pos;
        d.data.push_back(static_cast<char>(b));
    }
    if (pos < text.size()) {
        if (!address(d.go) || pos >= text.size() || text[pos++] != 'G' || pos != text.size()) {
            d.error = "bad go command at " + std::to_string(pos);
        }
    }
    return d;
}

TEST(Encode65v, ThreeHundredBytesAreThreeHundredEntries) {
    std::string input;
    for (int i = 0; i < 300; ++i) input.push_back(static_cast<char>(i));
    encoder_run run = run_65v(settings_65v(0x0300, -1), input);
    ASSERT_EQ(run.output.size(), 6u + 3u * 300u);
    EXPECT_EQ(run.output.substr(0, 6), ".0300/");
    // Entries 255 to 258 lie across the change from the first block to the second.
    EXPECT_EQ(run.output.substr(6 + 3 * 254, 15), "FE\rFF\r00\r01\r02\r");
    decoded_65v d = decode_65v(run.output);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.data, input);
}

TEST(Encode65v, RandomImagesDecodeBack) {
    std::mt19937 rng(6502);
    for (int trial = 0; trial < 150; ++trial) {
        const size_t n = trial_length(rng, trial, 3000);
        const std::string input = random_image(rng, n);
        run_settings settings = settings_65v(random_address(rng), random_go(rng));
        encoder_run run = run_65v(settings, input);
        ASSERT_EQ(run.output.size(), 6 + 3 * n + (settings.go_address >= 0 ? 6 : 0));
        decoded_65v d = decode_65v(run.output);
        ASSERT_EQ(d.error, "") << "trial " << trial;
        EXPECT_EQ(d.load, settings.load_address);
        EXPECT_EQ(d.go, settings.go_address);
        EXPECT_EQ(d.data, input) << "trial " << trial;
    }
}

}  // namespace
