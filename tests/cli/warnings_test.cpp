// Which loads korvane warns about: data on the cells each load path needs,
// at the edges of every range, wrapping past $FFFF, and the 65A start.
#include "cli/warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a warning is about, from its words.
std::string kind_of(const std::string& warning) {
    if (warning.find("65V monitor") != std::string::npos) return "65v";
    if (warning.find("65A monitor") != std::string::npos) return "65a";
    if (warning.find("system area") != std::string::npos) return "system";
    if (warning.find("go address is not used") != std::string::npos) return "unused go";
    if (warning.find("start sequence overwrites") != std::string::npos) return "overwrites";
    return "?";
}

struct warning_case {
    int action;
    int hybrid;
    int load;
    unsigned long long bytes;
    int go;
    std::vector<std::string> kinds;  // in the order they are printed
};

const warning_case cases[] = {
    // 65V: $00FB-$00FF, $010E-$0128, $0200-$0234.
    {action_65v, 0, 0x00FA, 1, -1, {}},
    {action_65v, 0, 0x00FB, 1, -1, {"65v"}},
    {action_65v, 0, 0x00FF, 1, -1, {"65v"}},
    {action_65v, 0, 0x0100, 0x0E, -1, {}},  // $0100-$010D
    {action_65v, 0, 0x0100, 0x0F, -1, {"65v"}},
    {action_65v, 0, 0x0128, 1, -1, {"65v"}},
    {action_65v, 0, 0x0129, 0xD7, -1, {}},  // $0129-$01FF
    {action_65v, 0, 0x0200, 1, -1, {"65v"}},
    {action_65v, 0, 0x0234, 1, -1, {"65v"}},
    {action_65v, 0, 0x0235, 0xFEC6, -1, {}},  // up to $FFFF, then $0000-$00FA
    {action_65v, 0, 0x0235, 0xFEC7, -1, {"65v"}},
    {action_65v, 0, 0x0300, 0x10000, -1, {"65v"}},
    {action_65v, 0, 0x0200, 0, 0x0200, {}},
    // 65A: $00FC-$00FF, $011E-$0126, and $01FB-$01FD when the start sequence goes out.
    {action_65a, 0, 0x00FB, 1, -1, {}},
    {action_65a, 0, 0x00FC, 1, -1, {"65a"}},
    {action_65a, 0, 0x00FF, 1, -1, {"65a"}},
    {action_65a, 0, 0x0100, 0x1E, -1, {}},  // $0100-$011D
    {action_65a, 0, 0x011E, 1, -1, {"65a"}},
    {action_65a, 0, 0x0126, 1, -1, {"65a"}},
    {action_65a, 0, 0x0127, 2, -1, {}},
    {action_65a, 0, 0x01FA, 1, 0x0300, {}},
    {action_65a, 0, 0x01FB, 1, 0x0300, {"65a"}},
    {action_65a, 0, 0x01FD, 1, 0x0300, {"65a"}},
    {action_65a, 0, 0x01FE, 1, 0x0300, {}},
    {action_65a, 0, 0x01FB, 3, -1, {}},
    // The 65A start: "GGGG" where the data lies in $0129-$012F from below, the
    // start sequence over it from above.
    {action_65a, 0, 0x0128, 1, 0x0300, {}},
    {action_65a, 0, 0x0129, 1, 0x0300, {"unused go"}},
    {action_65a, 0, 0x0120, 10, 0x0300, {"65a", "unused go"}},
    {action_65a, 0, 0x012F, 1, 0x0300, {"overwrites"}},
    {action_65a, 0, 0x0130, 1, 0x0300, {}},
    {action_65a, 0, 0xFFFF, 0x12B, 0x0300, {"65a", "overwrites"}},
    {action_65a, 0, 0x0129, 7, -1, {}},
    {action_65a, 0, 0x0129, 0, 0x0300, {}},
    // The hybrid's data, read through $0000-$0234.
    {action_checksum, 1, 0x0234, 1, -1, {"system"}},
    {action_checksum, 1, 0x0235, 1, 0x0235, {}},
    {action_qsave, 1, 0xFFFF, 2, -1, {"system"}},
    {action_qsave, 1, 0x1F00, 0xE100, -1, {}},  // $1F00-$FFFF
    {action_checksum, 1, 0x1F00, 0xE101, -1, {"system"}},
    {action_checksum, 1, 0x0000, 0, 0x0300, {}},
    // Plain checksum and QSave files are read by a loader already in the machine.
    {action_checksum, 0, 0x0000, 0x10000, 0x0300, {}},
    {action_qsave, 0, 0x00FC, 1, -1, {}},
};

TEST(load_warnings, cover_the_cells_of_each_load_path_and_no_other) {
    for (const warning_case& c : cases) {
        run_settings settings;
        settings.action = c.action;
        settings.hybrid = c.hybrid;
        settings.load_address = c.load;
        settings.go_address = c.go;
        std::vector<std::string> kinds;
        for (const std::string& w : load_warnings(settings, c.bytes)) kinds.push_back(kind_of(w));
        EXPECT_EQ(kinds, c.kinds) << "action " << c.action << std::hex << ", load " << c.load
                                  << ", " << c.bytes << " bytes, go " << c.go;
    }
}

TEST(load_warnings, name_the_data_from_its_first_to_its_last_address) {
    run_settings settings;
    settings.action = action_checksum;
    settings.hybrid = 1;
    settings.load_address = 0xFFF0;
    ASSERT_EQ(load_warnings(settings, 0x19).size(), 1u);
    EXPECT_EQ(load_warnings(settings, 0x19)[0].substr(0, 42),
              "\nWarning: the data at $FFF0-$0008 reaches ");
    settings.load_address = 0x0200;
    EXPECT_EQ(load_warnings(settings, 1)[0].substr(0, 42),
              "\nWarning: the data at $0200-$0200 reaches ");
}

}  // namespace
