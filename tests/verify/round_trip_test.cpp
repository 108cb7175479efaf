// korvane's output read back: over random images, load and go addresses,
// formats and options, korvane-verify -o gives back the image byte for byte,
// where it loads and where it starts. Where the target would not load it
// cleanly (a hybrid loader or its data in the system area, data over the
// loader, data on the cells a monitor needs, a 65A start from a register save
// area left unset or loaded over the data) the faults are exactly those, and
// korvane warned of the same data; where korvane moves the data or 65A starts
// from the register save area, the report says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "verify_runs.h"

namespace {

struct format_case {
    const char* name;
    const char* korvane_letter;  // after -i for a hybrid
    const char* verify_letter;
    const char* report_name;
    int per_record;    // data bytes per record; 0: one load command for the whole image
    int entry_offset;  // hybrid: where the loader starts; -1 for the other formats
    unsigned seed;
    bool hybrid() const { return entry_offset >= 0; }
};

void PrintTo(const format_case& c, std::ostream* os) { *os << c.name; }

// Bytes that mean something in one of the formats, and so are worth having often.
const unsigned char telling_bytes[] = {0x3B, 0x24, 0x0D, 0x0A, 0x00, 0xFF, '.', '/', 'G', 'L', 'R'};

// Load addresses at the edges of the rules: the monitors' cells, the 65A
// start threshold, the page below the data, the system area, the fixed place
// of the loader.
const int edge_addresses[] = {0x0000, 0x00FB, 0x0100, 0x010E, 0x0129, 0x012E, 0x012F,
                              0x01FB, 0x0200, 0x0234, 0x0235, 0x0334, 0x0335, 0x1E00};

std::string span(int first, int last) {
    return first == last ? "$" + hex4(first) : "$" + hex4(first) + "-$" + hex4(last);
}

// Everything a run depends on, and what the report must say.
struct trip {
    std::vector<std::string> args;  // korvane's
    std::string image;
    int data_at = 0;  // where the data goes on the target
    int go = -1;
    int loader_at = -1;  // hybrid only
    std::vector<std::string> faults;
};

class round_trip : public ::testing::TestWithParam<format_case> {
  protected:
    std::mt19937 rng{GetParam().seed};

    int below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    template <typename T, size_t n>
    T pick(const T (&choices)[n]) {
        return choices[rng() % n];
    }

    int random_address() {
        if (below(3) == 0) return pick(edge_addresses);
        return below(0x10000);
    }

    std::string random_image(int room) {
        int size = 0;
        switch (below(8)) {
            case 0: size = 0; break;
            case 1: size = 1 + below(4); break;
            case 2: size = 1 + below(6000); break;
            default: size = 1 + below(300); break;
        }
        std::string image(static_cast<size_t>(std::min(size, room)), '\0');
        for (char& c : image) {
            c = static_cast<char>(below(2) == 0 ? pick(telling_bytes) : below(256));
        }
        return image;
    }

    // A message of letters, digits, spaces and line ends, as -m writes it.
    std::string random_message() {
        const char letters[] = "LOADING.GR ok 0123 \\r\\n";
        std::string text;
        for (int i = below(20); i > 0; --i) text += letters[below(sizeof letters - 1)];
        return text;
    }

    trip make_trip(const format_case& f) {
        trip t;
        int load = random_address();
        if (f.hybrid()) {
            int given = 0;
            if (below(2) == 0) {
                // Mostly clear of the system area and the data, sometimes not.
                const int places[] = {0x0001 + below(0x234), 0xFF10 + below(0xF0), load,
                                      0x0235 + below(0xFDDB), 0x0235 + below(0xFDDB)};
                given = pick(places);
            }
            t.args = {given != 0 ? "-i" + hex4(given) : "-i"};
            if (given != 0) {
                t.loader_at = given;
                t.data_at = load;
            } else if (load - 0x100 > 0x0234) {
                t.loader_at = load - 0x100;
                t.data_at = load;
            } else {
                t.loader_at = 0x1E00;
                t.data_at = load < 0x200 ? 0x1F00 : load;
            }
        } else {
            t.data_at = load;
        }
        t.args.push_back(f.korvane_letter);
        if (load != 0 || below(2) == 0) t.args.push_back("-l" + hex4(load));
        if (below(4) != 0) {
            t.go = random_address();
            t.args.push_back("-g" + hex4(t.go));
        }
        if (below(3) == 0) t.args.push_back(below(2) == 0 ? "-t" : "-t0");
        if (below(3) == 0) t.args.push_back("-p" + hex4(below(256)).substr(2));
        if (below(3) == 0) t.args.push_back("-m" + random_message());
        t.image = random_image(0x10000 - t.data_at);
        if (f.hybrid()) expect_hybrid_faults(t);
        if (std::string(f.korvane_letter) == "-v") {
            expect_cells_fault(t, {{0x00FB, 0x00FF}, {0x010E, 0x0128}, {0x0200, 0x0234}},
                               "cells that the 65V monitor uses while it loads");
        }
        if (std::string(f.korvane_letter) == "-a") expect_65a_faults(t);
        return t;
    }

    // The data, from data_at on and never past $FFFF here, reaching into any of the cells.
    static void expect_cells_fault(trip& t, std::vector<std::pair<int, int>> cells,
                                   const std::string& what) {
        if (t.image.empty()) return;
        const int last = t.data_at + static_cast<int>(t.image.size()) - 1;
        for (auto [first_cell, last_cell] : cells) {
            if (t.data_at <= last_cell && first_cell <= last) {
                t.faults.push_back("data at $" + hex4(t.data_at) + "-$" + hex4(last) +
                                   " reaches into " + what);
                return;
            }
        }
    }

    // "GGGG" goes out only where the data from $012E or below covers any of
    // $0129-$012F; otherwise the start sequence loads the go address there.
    static bool restarts_alone(const trip& t) {
        const int last = t.data_at + static_cast<int>(t.image.size()) - 1;
        return t.go >= 0 && !t.image.empty() && t.data_at <= 0x012E && last >= 0x0129;
    }

    static void expect_65a_faults(trip& t) {
        const bool sequence = t.go >= 0 && !restarts_alone(t);
        std::vector<std::pair<int, int>> cells = {{0x00FC, 0x00FF}, {0x011E, 0x0126}};
        if (sequence) cells.push_back({0x01FB, 0x01FD});
        expect_cells_fault(t, cells, "cells that the 65A monitor uses while it loads");
        const int last = t.data_at + static_cast<int>(t.image.size()) - 1;
        if (sequence && !t.image.empty() && t.data_at <= 0x012F && last >= 0x0129) {
            t.faults.push_back("the 65A start sequence overwrites data at $0129-$012F");
        }
        if (restarts_alone(t) && !(t.data_at <= 0x0129 && last >= 0x012F)) {
            t.faults.push_back(
                "the 65A start restarts from $0129-$012F, which the file does not fully set");
        }
    }

    static void expect_hybrid_faults(trip& t) {
        const int loader_last = (t.loader_at + 240) & 0xFFFF;
        if (t.loader_at <= 0x0234 || t.loader_at + 240 > 0xFFFF) {
            t.faults.push_back("loader at $" + hex4(t.loader_at) +
                               " lies in the target's system area ($0000-$0234)");
        }
        if (t.image.empty()) return;
        const int data_last = t.data_at + static_cast<int>(t.image.size()) - 1;
        if (t.data_at <= 0x0234) {
            t.faults.push_back("data at $" + hex4(t.data_at) + "-$" + hex4(data_last) +
                               " reaches into the target's system area ($0000-$0234), which "
                               "the loader reads through");
        }
        // Runs of data addresses that fall among the loader's 241.
        int run_first = -1;
        for (int a = t.data_at; a <= data_last + 1; ++a) {
            bool inside = a <= data_last && ((a - t.loader_at) & 0xFFFF) < 241;
            if (inside && run_first < 0) run_first = a;
            if (!inside && run_first >= 0) {
                t.faults.push_back("data " + span(run_first, a - 1) + " overwrites the loader " +
                                   span(t.loader_at, loader_last));
                run_first = -1;
            }
        }
    }

    // The whole report but its fault lines.
    static std::string expected_report(const format_case& f, const trip& t, bool letter_given) {
        std::string text = std::string("format: ") + f.report_name;
        text += letter_given ? "\n" : " (recognised)\n";
        if (f.hybrid()) {
            text += std::string("loader: ") + (f.entry_offset == 0 ? "QSave" : "checksum") +
                    " at $" + hex4(t.loader_at) + ", entry $" +
                    hex4((t.loader_at + f.entry_offset) & 0xFFFF) + "\n";
        }
        const int size = static_cast<int>(t.image.size());
        const std::string range = size == 0 ? "" : range_text(t.data_at, t.data_at + size - 1);
        text += "range: " + (size == 0 ? "none" : range) + "\n";
        const int per_record = f.per_record > 0 ? f.per_record : 0x10000;
        text += "records: " + std::to_string((size + per_record - 1) / per_record) + "\n";
        text += "go: " + go_text(f, t) + "\n";
        text += "image: " + (size == 0 ? "empty," : range) + " to back.bin\n";
        return text;
    }

    static std::string go_text(const format_case& f, const trip& t) {
        if (t.go < 0) return "none";
        if (std::string(f.korvane_letter) != "-a") return "$" + hex4(t.go);
        if (!restarts_alone(t)) return "$" + hex4(t.go) + ", set in the register save area";
        // "G" alone: the start is whatever the data leaves in $012E-$012F.
        const int size = static_cast<int>(t.image.size());
        if (t.data_at + size - 1 < 0x012F) {
            return "from the register save area, not loaded by this file";
        }
        auto byte_at = [&](int a) {
            return static_cast<unsigned char>(t.image[static_cast<size_t>(a - t.data_at)]);
        };
        return "from the register save area, which the data leaves holding $" +
               hex4(byte_at(0x012E) << 8 | byte_at(0x012F));
    }
};

TEST_P(round_trip, gives_back_the_image_its_addresses_and_exactly_the_expected_faults) {
    const format_case& f = GetParam();
    scratch_dir dir;
    for (int i = 0; i < 40; ++i) {
        trip t = make_trip(f);
        std::string shown;
        for (const std::string& a : t.args) shown += a + " ";
        SCOPED_TRACE("korvane " + shown + "with " + std::to_string(t.image.size()) + " bytes");

        program_result converted = run_korvane(t.args, t.image);
        ASSERT_EQ(converted.status, 0) << converted.err;

        // Without records or a go record, checksum and QSave output is the
        // message alone, which no format can be told from.
        const bool nothing_to_tell = !f.hybrid() && f.per_record > 0 && t.image.empty() && t.go < 0;
        const bool letter = nothing_to_tell || below(4) == 0;
        std::vector<std::string> args = {"-o", "back.bin"};
        if (letter) args.insert(args.begin(), f.verify_letter);
        program_result r = run_verify(args, converted.out, dir.path);

        EXPECT_EQ(r.status, t.faults.empty() ? 0 : 1) << r.out << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<std::string> faults;
        std::string rest;
        for (const std::string& line : lines_after(r.out, "")) {
            if (line.rfind("fault at byte ", 0) == 0) {
                faults.push_back(line.substr(line.find(": ") + 2));
            } else if (line.rfind("faults: ", 0) != 0) {
                rest += line + "\n";
            }
        }
        EXPECT_EQ(rest, expected_report(f, t, letter));
        std::sort(faults.begin(), faults.end());
        std::sort(t.faults.begin(), t.faults.end());
        EXPECT_EQ(faults, t.faults);
        EXPECT_EQ(read_file(dir.at("back.bin")), t.image);
        std::remove(dir.at("back.bin").c_str());

        // korvane warned of exactly the data that the target's cells take.
        auto count = [](const std::string& text, const std::string& what) {
            size_t n = 0;
            for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count(converted.err, "reaches into"), count(r.out, "reaches into"))
            << converted.err;
    }
}

const format_case formats[] = {
    {"v65", "-v", "-v", "65V", 0, -1, 1},
    {"a65", "-a", "-a", "65A", 0, -1, 2},
    {"checksum", "-c", "-c", "checksum", 24, -1, 3},
    {"qsave", "-q", "-q", "QSave", 56, -1, 4},
    {"hybrid_checksum", "-c", "-i", "hybrid", 24, 5, 5},
    {"hybrid_qsave", "-q", "-i", "hybrid", 56, 0, 6},
};

INSTANTIATE_TEST_SUITE_P(formats, round_trip, ::testing::ValuesIn(formats),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
