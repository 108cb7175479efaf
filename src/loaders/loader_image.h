// The two 6502 bootstrap loaders of the hybrid format, their placement in the
// target's memory, and their emission in 65V form ahead of the data.
#pragma once

#include <cstddef>

#include "cli/run_settings.h"
#include "formats/streams.h"
#include "formats/target_cells.h"

inline constexpr size_t loader_image_size = 241;

// One loader: machine code linked for $0000 and the offsets of the address
// words in it that point into the image itself.
struct loader_image {
    const unsigned char* bytes;   // loader_image_size bytes
    const unsigned char* relocs;  // ascending offsets of little-endian words to relocate
    size_t reloc_count;           // entries in relocs
    unsigned entry_offset;        // where the loader starts, from its first byte
};

extern const unsigned char checksum_loader_image[loader_image_size];
extern const unsigned char checksum_loader_relocs[32];
extern const unsigned char qsave_loader_image[loader_image_size];
extern const unsigned char qsave_loader_relocs[22];
extern const loader_image checksum_loader;
extern const loader_image qsave_loader;

// The loader must stay clear of the target's system area, $0000-$0234.
inline constexpr int system_area_end = target_system_area.last;
// Where the loader goes when it cannot sit a page below the data.
inline constexpr int fallback_loader_address = 0x1E00;
// Where the data goes when it starts below $0200 and the loader's place is derived.
inline constexpr int moved_load_address = 0x1F00;

// Where the loader and the data go.
struct loader_place {
    int loader_address;  // the loader's first byte
    int load_address;    // the data's first byte
    bool derived;        // the loader's place was not given after -i
    bool fixed;          // derived, and at the fixed place: the page below the data is not free
};

// Settles the places from loader_address and load_address (the lowest
// address of the data), changing nothing. Data in two or more pieces is never
// moved.
loader_place place_loader(const run_settings& settings, size_t pieces = 1);

// True when the loader's bytes at loader_address and the data share a cell,
// either of them wrapping past $FFFF.
bool loader_overlaps(int loader_address, data_extent data);

// True when a loader at this address has bytes in the target's system area
// ($0000-$0234), wrapping past $FFFF included.
bool loader_in_system_area(int loader_address);

// The loader that belongs to the action: the QSave loader for QSave, else the checksum loader.
const loader_image& loader_for(const run_settings& settings);

// Relocates a copy of the image to loader_address (taken modulo $10000).
void relocate_loader(const loader_image& loader, int loader_address,
                     unsigned char copy[loader_image_size]);

// Writes the relocated loader as a 65V section: ".AAAA/", one hex pair and CR
// per byte, and the go command for its entry. -1 at the first failed write.
int emit_loader(const loader_image& loader, int loader_address, out_stream& out);

// Stores the settled places for data in the given number of pieces in
// settings and writes the loader of the action.
void prepare_hybrid(run_settings& settings, out_stream& out, size_t pieces = 1);
