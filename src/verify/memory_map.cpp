#include "verify/memory_map.h"

#include <span>
#include <string>

#include "formats/target_cells.h"
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

bool in_range(int address, cell_range r) { return address >= r.first && address <= r.last; }

bool in_ranges(int address, std::span<const cell_range> ranges) {
    for (const cell_range& r : ranges) {
        if (in_range(address, r)) return true;
    }
    return false;
}

// The cells that the file's load path needs intact while it loads, and how
// a fault names them; none for plain checksum and QSave records, which a
// loader already in the machine reads.
struct load_path {
    std::vector<cell_range> cells;
    const char* text = nullptr;
};

load_path load_path_of(const decoding& decoded, bool start_sequence) {
    load_path path;
    switch (decoded.format) {
        case file_format::hybrid:
            path.cells = {target_system_area};
            path.text =
                " reaches into the target's system area ($0000-$0234), which the loader "
                "reads through";
            break;
        case file_format::mon_65v:
            path.cells.assign(std::begin(monitor_65v_cells), std::end(monitor_65v_cells));
            path.text = " reaches into cells that the 65V monitor uses while it loads";
            break;
        case file_format::mon_65a:
            path.cells.assign(std::begin(monitor_65a_cells), std::end(monitor_65a_cells));
            if (start_sequence) path.cells.push_back(restart_stack_cells);
            path.text = " reaches into cells that the 65A monitor uses while it loads";
            break;
        default: break;
    }
    return path;
}

// One fault for each run of data stored at successive addresses that
// reaches into the cells, at the first of its bytes that lands on one.
void check_cells(const decoding& decoded, const load_path& path, std::vector<fault>& faults) {
    if (path.cells.empty()) return;
    const std::vector<store>& stores = decoded.stores;
    size_t i = 0;
    while (i < stores.size()) {
        if (stores[i].kind != store_kind::data) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < stores.size() && stores[end].kind == store_kind::data &&
               stores[end].address == ((stores[end - 1].address + 1) & 0xFFFF)) {
            ++end;
        }
        for (size_t k = i; k < end; ++k) {
            if (!in_ranges(stores[k].address, path.cells)) continue;
            faults.push_back({stores[k].offset, stores[k].address,
                              "data at " + address_text(stores[i].address) + "-" +
                                  address_text(stores[end - 1].address) + path.text});
            break;
        }
        i = end;
    }
}

// The 65A "G" restarts the target from $0129-$012F: a start sequence must not
// overwrite data there, and without one the data must set every cell.
void check_65a_start(const decoding& decoded, const memory_map& map, bool start_sequence,
                     std::vector<fault>& faults) {
    if (decoded.format != file_format::mon_65a || decoded.go.kind != go_kind::register_area) {
        return;
    }
    if (start_sequence) {
        for (const store& s : decoded.stores) {
            if (s.kind == store_kind::data && in_range(s.address, register_save_area)) {
                faults.push_back(
                    {s.offset, s.address, "the 65A start sequence overwrites data at $0129-$012F"});
                return;
            }
        }
        return;
    }
    for (int a = register_save_area.first; a <= register_save_area.last; ++a) {
        if (!map.loaded[static_cast<size_t>(a)]) {
            faults.push_back({decoded.go.offset, -1,
                              "the 65A start restarts from $0129-$012F, which the file does not "
                              "fully set"});
            return;
        }
    }
}

}  // namespace

memory_map map_memory(const decoding& decoded) {
    memory_map map;
    std::vector<bool> under_loader(0x10000, false);
    std::vector<long> first_offset(0x10000, -1);
    for (const store& s : decoded.stores) {
        if (s.kind == store_kind::loader) under_loader[static_cast<size_t>(s.address)] = true;
    }
    const int loader_first = decoded.loader.address;
    const int loader_last = (loader_first + static_cast<int>(loader_image_size) - 1) & 0xFFFF;

    auto twice = [](const fault_run& r) {
        return span_text(r.first, r.last) + " loaded twice, first at byte " +
               std::to_string(r.earlier);
    };
    auto over = [&](const fault_run& r) {
        return "data " + span_text(r.first, r.last) + " overwrites the loader " +
               span_text(loader_first, loader_last);
    };
    fault_run twice_run;
    fault_run over_run;
    for (const store& s : decoded.stores) {
        if (s.kind != store_kind::data) continue;
        auto a = static_cast<size_t>(s.address);
        track(twice_run, map.loaded[a], s, first_offset[a], map.faults, twice);
        track(over_run, under_loader[a], s, 0, map.faults, over);
        map.loaded[a] = true;
        map.bytes[a] = s.value;
        if (first_offset[a] < 0) first_offset[a] = s.offset;
    }
    close_run(twice_run, map.faults, twice);
    close_run(over_run, map.faults, over);

    bool start_sequence = false;
    for (const store& s : decoded.stores) {
        if (s.kind == store_kind::register_area) start_sequence = true;
    }
    check_cells(decoded, load_path_of(decoded, start_sequence), map.faults);
    check_65a_start(decoded, map, start_sequence, map.faults);

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
