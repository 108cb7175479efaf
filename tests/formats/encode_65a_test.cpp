// The 65A serial monitor format: "LAAAA", hex pairs eight to a line, "R", and
// the start through the register save area or "GGGG".
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "formats/encoder_harness.h"
#include "formats/encoders.h"

namespace {

run_settings settings_65a(int load, int go, int eol_mode) {
    return conversion_settings(action_65a, load, go, eol_mode);
}

encoder_run run_65a(const run_settings& settings, const std::string& input,
                    const run_conditions& conditions = {}) {
    return run_clean(encode_65a, settings, input, conditions);
}

std::string one_to(int n) {
    std::string input;
    for (int i = 1; i <= n; ++i) input.push_back(static_cast<char>(i));
    return input;
}

const std::string nuls = std::string(3, '\0');

TEST(Encode65a, WorkedExamples) {
    struct row {
        const char* name;
        int load;
        int eol_mode;
        std::string expected;
    };
    const row rows[] = {
        {"default line end", 0x0300, 0,
         "L0300\r01 02 03 04 05 06 07 08\r09 0A RLLLLL0129\r00000004FD0400R" + nuls + "G"},
        {"-t0", 0x0300, -1, "L03000102030405060708090ARLLLLL012900000004FD0400R" + nuls + "G"},
        // $0100-$0109 leaves the register save area alone: it is loaded as ever.
        {"load address 0100", 0x0100, 0,
         "L0100\r01 02 03 04 05 06 07 08\r09 0A RLLLLL0129\r00000004FD0400R" + nuls + "G"},
        // $0120-$0129 reaches $0129: the target restarts from what the data put there.
        {"load address 0120", 0x0120, 0, "L0120\r01 02 03 04 05 06 07 08\r09 0A RGGGG"},
        {"-t", 0x0300, 1,
         "L0300\r\n01 02 03 04 05 06 07 08\r\n09 0A RLLLLL0129\r\n00000004FD0400R" + nuls + "G"},
        {"other modes act as -t", 0x0300, 7,
         "L0300\r\n01 02 03 04 05 06 07 08\r\n09 0A RLLLLL0129\r\n00000004FD0400R" + nuls + "G"},
    };
    for (const auto& r : rows) {
        encoder_run run = run_65a(settings_65a(r.load, 0x0400, r.eol_mode), one_to(10));
        EXPECT_EQ(run.output, r.expected) << r.name;
    }
}

TEST(Encode65a, ResultIsTheLastWrite) {
    EXPECT_EQ(run_65a(settings_65a(0x0300, 0x0400, 0), one_to(10)).result, 'G');
    EXPECT_EQ(run_65a(settings_65a(0x0100, 0x0400, 0), one_to(10)).result, 'G');
    EXPECT_EQ(run_65a(settings_65a(0x0300, -1, 0), one_to(10)).result, 'R');
}

TEST(Encode65a, LineBreaking) {
    struct row {
        int n;
        int eol_mode;
        std::string expected;
    };
    const row rows[] = {
        {0, 0, "L0000\rR"},
        {0, 1, "L0000\r\nR"},
        {0, -1, "L0000R"},
        {8, 0, "L0000\r01 02 03 04 05 06 07 08\rR"},
        {8, 1, "L0000\r\n01 02 03 04 05 06 07 08\r\nR"},
        {8, -1, "L00000102030405060708R"},
        {9, 0, "L0000\r01 02 03 04 05 06 07 08\r09 R"},
        {9, 1, "L0000\r\n01 02 03 04 05 06 07 08\r\n09 R"},
        {9, -1, "L0000010203040506070809R"},
        {16, 0, "L0000\r01 02 03 04 05 06 07 08\r09 0A 0B 0C 0D 0E 0F 10\rR"},
        {16, 1, "L0000\r\n01 02 03 04 05 06 07 08\r\n09 0A 0B 0C 0D 0E 0F 10\r\nR"},
        {16, -1, "L00000102030405060708090A0B0C0D0E0F10R"},
        {20, 0, "L0000\r01 02 03 04 05 06 07 08\r09 0A 0B 0C 0D 0E 0F 10\r11 12 13 14 R"},
        {20, 1, "L0000\r\n01 02 03 04 05 06 07 08\r\n09 0A 0B 0C 0D 0E 0F 10\r\n11 12 13 14 R"},
        {20, -1, "L00000102030405060708090A0B0C0D0E0F1011121314R"},
    };
    for (const auto& r : rows) {
        encoder_run run = run_65a(settings_65a(0, -1, r.eol_mode), one_to(r.n));
        EXPECT_EQ(run.output, r.expected) << r.n << " bytes, mode " << r.eol_mode;
    }
}

// 264 bytes: 33 full lines, the last one ending with the last byte of the
// second 256-byte block, then "R" at the start of the next line.
TEST(Encode65a, TwoHundredSixtyFourBytesEndALineAfterTheLastByte) {
    std::string input;
    for (int i = 0; i < 264; ++i) input.push_back(static_cast<char>(i));
    for (int mode : {0, 1, -1}) {
        const std::string eol = mode == 0 ? "\r" : mode == 1 ? "\r\n" : "";
        std::string expected = "L0200" + eol;
        for (int line = 0; line < 33; ++line) {
            for (int k = 0; k < 8; ++k) {
                expected += hex4(line * 8 + k).substr(2);
                expected += k < 7 && mode != -1 ? " " : k == 7 ? eol : "";
            }
        }
        expected += "R";
        encoder_run run = run_65a(settings_65a(0x0200, -1, mode), input);
        EXPECT_EQ(run.output, expected) << "mode " << mode;
        EXPECT_EQ(run.output.substr(run.output.size() - 1 - eol.size() - 2, 2),
                  "07");  // 264th = 0x07
    }
}

TEST(Encode65a, StartThresholdAt012E) {
    struct row {
        int load;
        int go;
        int eol_mode;
        std::string expected;
    };
    const std::string sequence_0400 = "LLLLL0129\r00000004FD0400R" + nuls + "G";
    const row rows[] = {
        {0x012E, 0x0400, 0, "L012E\r01 RGGGG"},
        {0x0129, 0x0400, 0, "L0129\r01 RGGGG"},
        {0x0128, 0x0400, 0, "L0128\r01 R" + sequence_0400},
        {0x012F, 0x0400, 0, "L012F\r01 RLLLLL0129\r00000004FD0400R" + nuls + "G"},
        {0x012F, 0xABCD, -1, "L012F01RLLLLL012900000004FDABCDR" + nuls + "G"},
        {0x012F, 0x0000, 1, "L012F\r\n01 RLLLLL0129\r\n00000004FD0000R" + nuls + "G"},
        {0xFFFF, 0x1234, 0, "LFFFF\r01 RLLLLL0129\r00000004FD1234R" + nuls + "G"},
        // The default load address with a go address: one byte at $0000 leaves
        // the register save area alone, so it is loaded with the go address.
        {0x0000, 0x0400, 0, "L0000\r01 R" + sequence_0400},
        {0x0000, 0x0000, -1, "L000001RLLLLL012900000004FD0000R" + nuls + "G"},
        {0x012E, -1, 0, "L012E\r01 R"},
        {0x012F, -1, 0, "L012F\r01 R"},
    };
    for (const auto& r : rows) {
        encoder_run run = run_65a(settings_65a(r.load, r.go, r.eol_mode), bytes({0x01}));
        EXPECT_EQ(run.output, r.expected) << hex4(r.load) << " go " << r.go;
    }
}

TEST(Encode65a, EmptyInputWithAStart) {
    EXPECT_EQ(run_65a(settings_65a(0x0300, 0x0300, 0), "").output,
              "L0300\rRLLLLL0129\r00000004FD0300R" + nuls + "G");
    EXPECT_EQ(run_65a(settings_65a(0x0100, 0x0300, -1), "").output,
              "L0100RLLLLL012900000004FD0300R" + nuls + "G");
    EXPECT_EQ(run_65a(settings_65a(0x012E, 0x0300, -1), "").output,
              "L012ERLLLLL012900000004FD0300R" + nuls + "G");
}

// Whether the data covers any of $0129-$012F decides the start below $012F,
// and only there.
TEST(Encode65a, LowLoadsStartThroughTheAreaUnlessTheDataCoversIt) {
    struct row {
        int load;
        size_t n;
        a65_start start;
    };
    const row rows[] = {
        {0x0000, 0x129, a65_start::start_sequence},  // $0000-$0128
        {0x0000, 0x12A, a65_start::restart_alone},   // $0000-$0129
        {0x012E, 0, a65_start::start_sequence},
        {0x012E, 1, a65_start::restart_alone},
        {0x012F, 1, a65_start::start_sequence},
        {0xFFFF, 0x12B, a65_start::start_sequence},  // wraps onto $0000-$0129
        {0x0100, 0x10000, a65_start::restart_alone},
    };
    for (const auto& r : rows) {
        run_settings settings = settings_65a(r.load, 0x0400, 0);
        EXPECT_EQ(plan_65a_start(settings, r.n), r.start) << hex4(r.load) << " " << r.n;
        settings.go_address = -1;
        EXPECT_EQ(plan_65a_start(settings, r.n), a65_start::none);
    }
}

TEST(Encode65a, RegisterAreaStartSequence) {
    struct row {
        int address;
        int eol_mode;
        std::string expected;
        int result;
    };
    const row rows[] = {
        {0x0400, 0, "L0129\r00000004FD0400R" + nuls + "G", 'G'},
        {0x1234, 1, "L0129\r\n00000004FD1234R" + nuls + "G", 'G'},
        {0xFFFF, -1, "L012900000004FDFFFFR" + nuls + "G", 'G'},
        {0x10008, 0, "L0129\r00000004FD0008R" + nuls + "G", 'G'},
        {-1, 0, "", 0},
    };
    for (const auto& r : rows) {
        const run_settings settings = settings_65a(0x0300, -1, r.eol_mode);
        primitive_run run =
            run_primitive([&](out_stream& o) { return put_65a_go(settings, r.address, o); });
        EXPECT_EQ(run.output, r.expected) << hex4(r.address);
        EXPECT_EQ(run.result, r.result);
    }
}

TEST(Encode65a, MessageAndPaddingHaveNoEffect) {
    run_settings settings = settings_65a(0x0300, 0x0400, 0);
    settings.pad_count = 0x20;
    set_message(settings, "HELLO\r\n");
    EXPECT_EQ(run_65a(settings, one_to(10)).output,
              "L0300\r01 02 03 04 05 06 07 08\r09 0A RLLLLL0129\r00000004FD0400R" + nuls + "G");
}

// Decodes 65A output, checking every separator, line end and the trailer
// against the settings. An empty error means it is well formed.
struct decoded_65a {
    std::string error;
    std::string data;
};

decoded_65a decode_65a(const std::string& text, const run_settings& settings) {
    decoded_65a d;
    const std::string eol = settings.eol_mode == -1 ? "" : settings.eol_mode == 0 ? "\r" : "\r\n";
    const std::string header = "L" + hex4(settings.load_address) + eol;
    if (text.compare(0, header.size(), header) != 0) {
        d.error = "bad load command";
        return d;
    }
    size_t pos = header.size();
    while (pos < text.size() && text[pos] != 'R') {
        int b = read_hex_pair(text, pos);
        if (b < 0) {
            d.error = "bad hex pair at " + std::to_string(pos);
            return d;
        }
        d.data.push_back(static_cast<char>(b));
        const std::string separator = d.data.size() % 8 == 0    ? eol
                                      : settings.eol_mode == -1 ? ""
                                                                : " ";
        if (text.compare(pos, separator.size(), separator) != 0) {
            d.error = "bad separator after byte " + std::to_string(d.data.size());
            return d;
        }
        pos += separator.size();
    }
    std::string trailer = "R";
    // From $012E or below, data covers the register save area once its last
    // byte reaches $0129.
    const bool covers_registers =
        settings.load_address <= 0x012E && !d.data.empty() &&
        settings.load_address + static_cast<int>(d.data.size()) - 1 >= 0x0129;
    if (settings.go_address >= 0) {
        if (!covers_registers) {
            trailer +=
                "LLLLL0129" + eol + "00000004FD" + hex4(settings.go_address) + "R" + nuls + "G";
        } else {
            trailer += "GGGG";
        }
    }
    if (text.substr(pos) != trailer) d.error = "bad trailer at " + std::to_string(pos);
    return d;
}

TEST(Encode65a, RandomImagesDecodeBackInEveryMode) {
    std::mt19937 rng(0x65A);
    const int modes[] = {0, 1, -1};
    for (int trial = 0; trial < 150; ++trial) {
        const std::string input = random_image(rng, trial_length(rng, trial, 3000));
        run_settings settings = settings_65a(random_address(rng), random_go(rng), modes[trial % 3]);
        if (trial % 10 == 0) settings.load_address = 0x012E + trial % 20 / 10;
        encoder_run run = run_65a(settings, input);
        decoded_65a d = decode_65a(run.output, settings);
        ASSERT_EQ(d.error, "") << "trial " << trial;
        EXPECT_EQ(d.data, input) << "trial " << trial;
    }
}

}  // namespace
