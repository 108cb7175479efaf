#include "basic/pacing.h"

#include <cstring>
#include <string>

namespace {

constexpr int64_t busy_base = 40'000;  // cycles, whatever the line
constexpr int64_t busy_per_character = 3'300;
constexpr int64_t busy_per_earlier = 20;  // per character of B
constexpr int64_t earlier_per_line = 5;   // what a stored line adds to B beyond its length

}  // namespace

int basic_baud_of(const char* text) {
    for (int baud : {300, 600, 1200}) {
        if (std::strcmp(text, std::to_string(baud).c_str()) == 0) return baud;
    }
    return 0;
}

int nuls_inside_line(int baud) { return baud == 1200 ? 3 : 0; }

int64_t pace_line(basic_pacing& pacing, const std::string& text) {
    const auto length = static_cast<int64_t>(text.size());
    const int64_t busy =
        busy_base + busy_per_character * length + busy_per_earlier * pacing.earlier;
    if (line_number(text) >= 0) pacing.earlier += length + earlier_per_line;
    // (n + 1) character > busy baud: n is the quotient, a remainder or none.
    return busy * pacing.baud / pacing.character;
}

std::vector<pacing_shortfall> pacing_shortfalls(std::span<const listing_line> lines,
                                                basic_pacing pacing) {
    std::vector<pacing_shortfall> shortfalls;
    const int64_t inside = nuls_inside_line(pacing.baud);
    for (size_t i = 0; i < lines.size(); ++i) {
        const listing_line& line = lines[i];
        for (size_t k = 0; k < line.nuls_inside.size(); ++k) {
            if (line.nuls_inside[k] < inside) {
                shortfalls.push_back(
                    {i, static_cast<int64_t>(pause_stride * (k + 1)), line.nuls_inside[k], inside});
            }
        }
        const int64_t needed = pace_line(pacing, line.text);
        if (i + 1 < lines.size() && line.nuls_after < needed) {
            shortfalls.push_back({i, 0, line.nuls_after, needed});
        }
    }
    return shortfalls;
}
