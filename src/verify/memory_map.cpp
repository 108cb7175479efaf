#include "verify/memory_map.h"

#include <string>

#include "loaders/loader_image.h"
#include "verify/text.h"

namespace {

// Gathers faults of one kind over runs of successive addresses, so that a
// stretch of data in the wrong place is one fault and not one per byte.
struct fault_run {
    bool open = false;
    long offset = 0;
    int first = 0;
    int last = 0;
    long earlier = 0;  // for "loaded twice": where the first of the run was loaded before
};

template <typename Describe>
void close_run(fault_run& run, std::vector<fault>& faults, Describe describe) {
    if (!run.open) return;
    faults.push_back({run.offset, run.first, describe(run)});
    run.open = false;
}

template <typename Describe>
void track(fault_run& run, bool hit, const store& s, long earlier, std::vector<fault>& faults,
           Describe describe) {
    if (hit && run.open && s.address == ((run.last + 1) & 0xFFFF)) {
        run.last = s.address;
        return;
    }
    close_run(run, faults, describe);
    if (hit) run = {true, s.offset, s.address, s.address, earlier};
}

}  // namespace

memory_map map_memory(const decoding& decoded) {
    memory_map map;
    std::vector<bool> under_loader(0x10000, false);
    std::vector<long> first_offset(0x10000, -1);
    for (const store& s : decoded.stores) {
        if (s.kind == store_kind::loader) under_loader[static_cast<size_t>(s.address)] = true;
    }
    // The loader runs under the target's ROM, which owns the system area, and
    // stores into it before every character it reads. What the monitors and
    // a loader of unknown kind and place may load there is not known here.
    const bool guard_system_area = decoded.format == file_format::hybrid;
    const int loader_first = decoded.loader.address;
    const int loader_last = (loader_first + static_cast<int>(loader_image_size) - 1) & 0xFFFF;

    auto twice = [](const fault_run& r) {
        return span_text(r.first, r.last) + " loaded twice, first at byte " +
               std::to_string(r.earlier);
    };
    auto system = [](const fault_run& r) {
        return "data " + span_text(r.first, r.last) +
               " lies in the target's system area ($0000-$021B)";
    };
    auto over = [&](const fault_run& r) {
        return "data " + span_text(r.first, r.last) + " overwrites the loader " +
               span_text(loader_first, loader_last);
    };
    fault_run twice_run;
    fault_run system_run;
    fault_run over_run;
    for (const store& s : decoded.stores) {
        if (s.kind != store_kind::data) continue;
        auto a = static_cast<size_t>(s.address);
        track(twice_run, map.loaded[a], s, first_offset[a], map.faults, twice);
        track(system_run, guard_system_area && s.address <= system_area_end, s, 0, map.faults,
              system);
        track(over_run, under_loader[a], s, 0, map.faults, over);
        map.loaded[a] = true;
        map.bytes[a] = s.value;
        if (first_offset[a] < 0) first_offset[a] = s.offset;
    }
    close_run(twice_run, map.faults, twice);
    close_run(system_run, map.faults, system);
    close_run(over_run, map.faults, over);

    for (int a = 0; a < 0x10000; ++a) {
        if (!map.loaded[static_cast<size_t>(a)]) continue;
        if (!map.ranges.empty() && map.ranges.back().last == a - 1) {
            map.ranges.back().last = a;
        } else {
            map.ranges.push_back({a, a});
        }
    }
    return map;
}

std::vector<address_range> gaps_between(const std::vector<address_range>& ranges) {
    std::vector<address_range> gaps;
    for (size_t i = 1; i < ranges.size(); ++i) {
        gaps.push_back({ranges[i - 1].last + 1, ranges[i].first - 1});
    }
    return gaps;
}
