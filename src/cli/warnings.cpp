#include "cli/warnings.h"

#include "formats/encoders.h"
#include "formats/primitives.h"
#include "formats/target_cells.h"

namespace {

// "$AAAA-$BBBB": the data's first and last target addresses.
std::string data_span(int first, unsigned long long count) {
    int last = static_cast<int>((static_cast<unsigned long long>(first) + count - 1) & 0xFFFF);
    return address_text(first & 0xFFFF) + "-" + address_text(last);
}

}  // namespace

bool hybrid_applies(const run_settings& settings) {
    return settings.hybrid == 1 &&
           (settings.action == action_checksum || settings.action == action_qsave);
}

std::string loader_warning(int loader_address) {
    return "\nWarning: a loader at " + address_text(loader_address) +
           " lies in the target's system area ($0000-$0234) and may not run there.\n";
}

std::vector<std::string> load_warnings(const run_settings& settings,
                                       std::span<const data_extent> data) {
    std::vector<std::string> warnings;
    const a65_start start = plan_65a_start(settings, data);
    const bool starts = start == a65_start::start_sequence;
    bool on_registers = false;
    for (const data_extent& e : data) {
        if (e.count == 0) continue;
        const std::string text = "\nWarning: the data at " + data_span(e.first, e.count);
        if (hybrid_applies(settings)) {
            if (data_reaches(e.first, e.count, target_system_area)) {
                warnings.push_back(text +
                                   " reaches into the target's system area ($0000-$0234), which "
                                   "the loader reads through, and may not load there. Link it at "
                                   "$0235 or above.\n");
            }
        } else if (settings.action == action_65v) {
            if (data_reaches(e.first, e.count, monitor_65v_cells)) {
                warnings.push_back(text +
                                   " reaches into cells that the 65V monitor uses while it loads "
                                   "($00FB-$00FF, $010E-$0128, $0200-$0234) and may not load "
                                   "there.\n");
            }
        } else if (settings.action == action_65a) {
            if (data_reaches(e.first, e.count, monitor_65a_cells) ||
                (starts && data_reaches(e.first, e.count, restart_stack_cells))) {
                warnings.push_back(text +
                                   " reaches into cells that the 65A monitor uses while it loads "
                                   "($00FC-$00FF, $011E-$0126, and $01FB-$01FD when it starts the "
                                   "program) and may not load there.\n");
            }
            on_registers = on_registers || data_reaches(e.first, e.count, register_save_area);
        }
    }
    if (settings.action == action_65a) {
        if (start == a65_start::restart_alone) {
            warnings.push_back(
                "\nWarning: the go address is not used: the target restarts from its register "
                "save area ($0129-$012F), where the data lies.\n");
        } else if (starts && on_registers) {
            warnings.push_back(
                "\nWarning: the start sequence overwrites the data in the register save area "
                "($0129-$012F).\n");
        }
    }
    return warnings;
}

std::vector<std::string> load_warnings(const run_settings& settings,
                                       unsigned long long data_bytes) {
    const data_extent one{settings.load_address, data_bytes};
    return load_warnings(settings, std::span<const data_extent>(&one, 1));
}

std::string start_address_warning(unsigned long long start) {
    std::string digits;
    for (int shift = start > 0xFFFF ? 28 : 12; shift >= 0; shift -= 4) {
        digits += hex_digits[(start >> shift) & 0xF];
    }
    return "\nWarning: the input's start address $" + digits +
           " is not used; give -g to start there.\n";
}

std::vector<std::string> basic_warnings(const std::vector<listing_line>& lines) {
    std::vector<std::string> warnings;
    const std::vector<listing_warning> found = listing_warnings(lines);
    for (const listing_warning& w : found) {
        if (warnings.size() == listing_warning_cap) {
            warnings.push_back("\nWarning: " + std::to_string(found.size() - listing_warning_cap) +
                               " more warnings not shown.\n");
            break;
        }
        warnings.push_back("\nWarning: " + w.text + "\n");
    }
    return warnings;
}
