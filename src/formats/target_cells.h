// The memory cells that the target's monitors and the hybrid's loader need
// intact while a load file comes in. Data that lands on them breaks the load:
// the machine stops taking input, or crashes, minutes before the end.
#pragma once

#include <span>

// An inclusive stretch of target addresses.
struct cell_range {
    int first;
    int last;
};

// The target's system area: zero page, the stack and page 2 up to $0234. The
// hybrid's loader reads and echoes through the ROM's vectors at $0218-$021B,
// writes the load flag at $0203 before every character, and CEGMON keeps its
// vectors and a routine every echo calls at $0218-$0234.
inline constexpr cell_range target_system_area = {0x0000, 0x0234};

// The 65V monitor's load flag, assembled byte and store pointer ($00FB-$00FF),
// its stack while it loads and starts ($010E-$0128), and CEGMON's page-2
// cells ($0200-$0234).
inline constexpr cell_range monitor_65v_cells[] = {
    {0x00FB, 0x00FF},
    {0x010E, 0x0128},
    {0x0200, 0x0234},
};

// The 65A monitor's store pointer and assembled byte ($00FC-$00FF) and its
// stack ($011E-$0126).
inline constexpr cell_range monitor_65a_cells[] = {
    {0x00FC, 0x00FF},
    {0x011E, 0x0126},
};

// Where the 65A restart pushes the start address and status, when korvane's
// start sequence (which sets S to $FD) starts the program.
inline constexpr cell_range restart_stack_cells = {0x01FB, 0x01FD};

// The 65A monitor's register save area: "G" restarts the target from it, and
// $012E-$012F hold the start address.
inline constexpr cell_range register_save_area = {0x0129, 0x012F};

// Where one piece of data lies: `count` bytes from `first` on, wrapping past $FFFF.
struct data_extent {
    int first;
    unsigned long long count;
};

// True when `count` bytes loaded from `first` on (wrapping past $FFFF)
// reach into the range; 64 KiB or more reach every cell.
bool data_reaches(int first, unsigned long long count, cell_range range);

// True when they reach into any of the ranges.
bool data_reaches(int first, unsigned long long count, std::span<const cell_range> ranges);
