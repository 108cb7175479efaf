#include "verify/report.h"

#include <algorithm>
#include <limits>

#include "verify/text.h"

namespace {

std::string range_text(const address_range& r) {
    return span_text(r.first, r.last) + " " + byte_count_text(r.size());
}

std::string go_text(const go_info& go) {
    switch (go.kind) {
        case go_kind::none: return "none";
        case go_kind::address: return address_text(go.address);
        case go_kind::register_area:
            if (go.start_sequence) {
                return address_text(go.address) + ", set in the register save area";
            }
            if (go.address >= 0) {
                return "from the register save area, which the data leaves holding " +
                       address_text(go.address);
            }
            return "from the register save area, not loaded by this file";
    }
    return "none";
}

// The lines of a load into memory: loader, ranges, gaps, records, go, image.
std::string memory_lines(const decoding& decoded, const memory_map& map, const char* image_name) {
    std::string text;
    if (decoded.format == file_format::hybrid) {
        const loader_section& l = decoded.loader;
        text += "loader: ";
        text += loader_name(l.kind);
        text += " at " + address_text(l.address) + ", entry " + address_text(l.entry) + "\n";
    }
    if (map.ranges.empty()) text += "range: none\n";
    for (const address_range& r : map.ranges) text += "range: " + range_text(r) + "\n";
    if (image_name != nullptr) {
        for (const address_range& g : gaps_between(map.ranges))
            text += "gap: " + range_text(g) + "\n";
    }
    text += "records: " + std::to_string(decoded.records) + "\n";
    text += "go: " + go_text(decoded.go) + "\n";
    if (image_name != nullptr) {
        text += "image: ";
        if (map.ranges.empty()) {
            text += "empty,";
        } else {
            text += range_text({map.ranges.front().first, map.ranges.back().last});
        }
        text += std::string(" to ") + image_name + "\n";
    }
    return text;
}

// The lines of a BASIC stream: the program it leaves, its end, its pacing.
std::string basic_lines(const basic_load& load) {
    std::string text = "lines: ";
    if (load.program.empty()) {
        text += "none\n";
    } else {
        text += std::to_string(load.program.size()) + " numbered, lowest " +
                std::to_string(load.program.front().number) + ", highest " +
                std::to_string(load.program.back().number) + "\n";
    }
    switch (load.end) {
        case basic_end::none:
            text += "end: none (press a key after the tape to stop the load)\n";
            break;
        case basic_end::poke: text += "end: POKE 515,0\n"; break;
        case basic_end::poke_run: text += "end: POKE 515,0:RUN\n"; break;
    }
    return text + "pacing: checked for " + std::to_string(load.baud) + " baud\n";
}

}  // namespace

const char* format_name(file_format format) {
    switch (format) {
        case file_format::mon_65v: return "65V";
        case file_format::mon_65a: return "65A";
        case file_format::checksum: return "checksum";
        case file_format::qsave: return "QSave";
        case file_format::hybrid: return "hybrid";
        case file_format::basic: return "BASIC listing";
        case file_format::unknown: break;
    }
    return "unknown";
}

std::vector<fault> collect_faults(const decoding& decoded, const memory_map& map) {
    std::vector<fault> all = decoded.faults;
    all.insert(all.end(), map.faults.begin(), map.faults.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const fault& a, const fault& b) { return a.offset < b.offset; });
    return all;
}

std::string report_text(const decoding& decoded, bool recognised, const memory_map& map,
                        const std::vector<fault>& faults, const char* image_name,
                        const audio_summary* audio) {
    std::string text;
    if (audio != nullptr) text += "audio: " + audio->line + "\n";
    text += "format: ";
    text += format_name(decoded.format);
    if (recognised) {
        text += " (recognised)";
    } else if (decoded.format == file_format::basic) {
        text += " (forced)";
    }
    text += "\n";
    text += decoded.format == file_format::basic ? basic_lines(decoded.basic)
                                                 : memory_lines(decoded, map, image_name);
    const std::vector<audio_fault> no_audio_faults;
    const std::vector<audio_fault>& heard = audio != nullptr ? audio->faults : no_audio_faults;
    auto next_heard = heard.begin();
    auto put_heard_up_to = [&](long offset) {
        for (; next_heard != heard.end() && next_heard->byte <= offset; ++next_heard)
            text += "fault at " + next_heard->place + ": " + next_heard->what + "\n";
    };
    for (const fault& f : faults) {
        put_heard_up_to(f.offset);
        text += "fault at byte " + std::to_string(f.offset);
        if (f.address >= 0) text += " (" + address_text(f.address) + ")";
        if (f.line >= 0) text += " (line " + std::to_string(f.line) + ")";
        text += ": " + f.text + "\n";
    }
    put_heard_up_to(std::numeric_limits<long>::max());
    long unlisted = audio != nullptr ? audio->unlisted : 0;
    if (unlisted > 0) text += "and " + std::to_string(unlisted) + " more faults in the recording\n";
    text +=
        "faults: " + std::to_string(static_cast<long>(faults.size() + heard.size()) + unlisted) +
        "\n";
    return text;
}

std::vector<unsigned char> image_bytes(const memory_map& map) {
    if (map.ranges.empty()) return {};
    auto first = map.bytes.begin() + map.ranges.front().first;
    auto last = map.bytes.begin() + map.ranges.back().last + 1;
    return std::vector<unsigned char>(first, last);
}

std::vector<unsigned char> program_listing(const basic_load& load) {
    std::string text;
    for (const basic_line& line : load.program) {
        text += std::to_string(line.number) + " " + line.text + "\n";
    }
    return std::vector<unsigned char>(text.begin(), text.end());
}
