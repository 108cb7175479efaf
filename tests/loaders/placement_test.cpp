// Where the loader and the data go: a place given after -i stands; a derived
// place sits a page below the data only where that page is clear of the
// target's system area ($0000-$0234), and goes to $1E00 otherwise.
#include <gtest/gtest.h>

#include <string>

#include "cli/run_settings.h"
#include "loaders/loader_image.h"
#include "support/memory_streams.h"

namespace {

struct placement_case {
    int load_given;    // load_address from -l (0 when not given)
    int loader_given;  // loader_address after -i (-1 when none)
    int loader_want;
    int load_want;
    bool derived_want;
};

const placement_case placement_cases[] = {
    // Given places stand, even with data below $0200.
    {0x1000, 0x0300, 0x0300, 0x1000, false},
    {0x0000, 0x0300, 0x0300, 0x0000, false},
    {0x0100, 0x0050, 0x0050, 0x0100, false},
    {0x0000, 0x0001, 0x0001, 0x0000, false},
    {0x0300, 0xFFFE, 0xFFFE, 0x0300, false},
    // A page below the data, from $0335 on.
    {0x0335, -1, 0x0235, 0x0335, true},
    {0x1000, -1, 0x0F00, 0x1000, true},
    {0xFFFF, -1, 0xFEFF, 0xFFFF, true},
    // Below that the loader goes to $1E00; the data stays from $0200 on ...
    {0x0334, -1, 0x1E00, 0x0334, true},
    {0x031C, -1, 0x1E00, 0x031C, true},
    {0x0300, -1, 0x1E00, 0x0300, true},
    {0x0200, -1, 0x1E00, 0x0200, true},
    // ... and moves to $1F00 below $0200.
    {0x01FF, -1, 0x1E00, 0x1F00, true},
    {0x0100, -1, 0x1E00, 0x1F00, true},
    {0x0000, -1, 0x1E00, 0x1F00, true},
    // An address of 0 after -i is no address.
    {0x0335, 0, 0x0235, 0x0335, true},
    {0x0300, 0, 0x1E00, 0x0300, true},
    {0x0000, 0, 0x1E00, 0x1F00, true},
};

TEST(place_loader, given_and_derived_places) {
    for (const placement_case& c : placement_cases) {
        run_settings settings;
        settings.action = action_checksum;
        settings.hybrid = 1;
        settings.load_address = c.load_given;
        settings.loader_address = c.loader_given;
        loader_place place = place_loader(settings);
        SCOPED_TRACE(::testing::Message()
                     << std::hex << "load " << c.load_given << ", loader " << c.loader_given);
        EXPECT_EQ(place.loader_address, c.loader_want);
        EXPECT_EQ(place.load_address, c.load_want);
        EXPECT_EQ(place.derived, c.derived_want);
        EXPECT_EQ(settings.loader_address, c.loader_given) << "place_loader changes nothing";
        EXPECT_EQ(settings.load_address, c.load_given) << "place_loader changes nothing";
    }
}

// A derived place never lies in the system area, and never overlaps the data's first page.
TEST(place_loader, derived_places_are_clear_of_the_system_area) {
    for (int load = 0; load <= 0xFFFF; load += 0x11) {
        run_settings settings;
        settings.load_address = load;
        loader_place place = place_loader(settings);
        EXPECT_FALSE(loader_in_system_area(place.loader_address)) << std::hex << load;
        int data = place.load_address;
        bool clear = data >= place.loader_address + static_cast<int>(loader_image_size) ||
                     data + 0x100 <= place.loader_address;
        if (place.loader_address != fallback_loader_address) {
            EXPECT_TRUE(clear) << std::hex << load;
        }
    }
}

TEST(loader_in_system_area, edges) {
    struct {
        int address;
        bool warns;
    } cases[] = {
        {0x0000, true},  {0x0050, true},  {0x0200, true},  {0x021C, true},
        {0x0234, true},  {0x0235, false}, {0x0300, false}, {0x1E00, false},
        {0xFF0F, false}, {0xFF10, true},  {0xFFFE, true},  {0xFFFF, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(loader_in_system_area(c.address), c.warns) << std::hex << c.address;
    }
}

struct hybrid_run {
    run_settings settings;
    std::string output;
};

hybrid_run run_prepare(int action, int load, int loader, int eol_mode = 0) {
    hybrid_run run;
    run.settings.action = action;
    run.settings.hybrid = 1;
    run.settings.load_address = load;
    run.settings.loader_address = loader;
    run.settings.eol_mode = eol_mode;
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), 4096);
    prepare_hybrid(run.settings, out);
    EXPECT_EQ(flush_output(out), 0);
    run.output = sink.bytes;
    return run;
}

TEST(prepare_hybrid, checksum_action_with_data_at_0300_puts_the_loader_at_1e00) {
    hybrid_run run = run_prepare(action_checksum, 0x0300, -1);
    EXPECT_EQ(run.settings.loader_address, 0x1E00);
    EXPECT_EQ(run.settings.load_address, 0x0300);
    ASSERT_EQ(run.output.size(), 735u);
    EXPECT_EQ(run.output.substr(0, 6 + 8 * 3), ".1E00/00\r00\r00\r00\r00\r20\rA2\r1E\r");
    EXPECT_EQ(run.output.substr(735 - 6), ".1E05G");
}

TEST(prepare_hybrid, qsave_action_writes_the_qsave_loader) {
    hybrid_run run = run_prepare(action_qsave, 0x0300, -1);
    EXPECT_EQ(run.settings.loader_address, 0x1E00);
    EXPECT_EQ(run.settings.load_address, 0x0300);
    ASSERT_EQ(run.output.size(), 735u);
    EXPECT_EQ(run.output.substr(0, 6 + 7 * 3), ".1E00/D8\r78\rA2\r03\r20\rC8\r1E\r");
    EXPECT_EQ(run.output.substr(735 - 6), ".1E00G");
}

TEST(prepare_hybrid, stores_the_settled_places) {
    struct {
        int action, load, loader;
        int loader_want, load_want;
        const char* head;
        const char* go;
    } cases[] = {
        {action_checksum, 0x0335, -1, 0x0235, 0x0335, ".0235/", ".023AG"},
        {action_checksum, 0x031C, -1, 0x1E00, 0x031C, ".1E00/", ".1E05G"},
        {action_checksum, 0x0000, -1, 0x1E00, 0x1F00, ".1E00/", ".1E05G"},
        {action_checksum, 0x0100, 0x0050, 0x0050, 0x0100, ".0050/", ".0055G"},
        {action_checksum, 0x0000, 0x0300, 0x0300, 0x0000, ".0300/", ".0305G"},
        {action_qsave, 0x1000, 0x0300, 0x0300, 0x1000, ".0300/", ".0300G"},
        {action_qsave, 0x0200, 0, 0x1E00, 0x0200, ".1E00/", ".1E00G"},
        {action_qsave, 0x0150, -1, 0x1E00, 0x1F00, ".1E00/", ".1E00G"},
        {action_qsave, 0x4000, -1, 0x3F00, 0x4000, ".3F00/", ".3F00G"},
    };
    for (const auto& c : cases) {
        hybrid_run run = run_prepare(c.action, c.load, c.loader);
        SCOPED_TRACE(::testing::Message() << "action " << c.action << std::hex << ", load "
                                          << c.load << ", loader " << c.loader);
        EXPECT_EQ(run.settings.loader_address, c.loader_want);
        EXPECT_EQ(run.settings.load_address, c.load_want);
        ASSERT_EQ(run.output.size(), 735u);
        EXPECT_EQ(run.output.substr(0, 6), c.head);
        EXPECT_EQ(run.output.substr(735 - 6), c.go);
        // The first image byte tells the loaders apart: 00 for checksum, D8 (CLD) for QSave.
        EXPECT_EQ(run.output.substr(6, 2), c.action == action_qsave ? "D8" : "00");
    }
}

}  // namespace
