#include "formats/target_cells.h"

bool data_reaches(int first, unsigned long long count, cell_range range) {
    if (count == 0) return false;
    if (count >= 0x10000) return true;
    const unsigned long long start = static_cast<unsigned>(first) & 0xFFFF;
    const unsigned long long end = start + count - 1;  // may pass $FFFF
    auto overlaps = [&](unsigned long long lo, unsigned long long hi) {
        return start <= hi && lo <= end;
    };
    const auto lo = static_cast<unsigned long long>(range.first);
    const auto hi = static_cast<unsigned long long>(range.last);
    // The part past $FFFF is the same cells a turn of the address space higher.
    return overlaps(lo, hi) || overlaps(lo + 0x10000, hi + 0x10000);
}

bool data_reaches(int first, unsigned long long count, std::span<const cell_range> ranges) {
    for (const cell_range& r : ranges) {
        if (data_reaches(first, count, r)) return true;
    }
    return false;
}
