// A BASIC listing for BASIC's LOAD: each line as it is, CR, and the NULs that
// keep the next line's first character from arriving while BASIC is still
// storing this one (at 1200 baud also three after every 8th character where
// more follow); with -p exactly that many after every line and none inside.
// Then "POKE 515,0" (with -g "POKE 515,0:RUN") and CR, paced inside like
// the rest, which hands the machine back to its keyboard. An empty listing gives an empty stream.
#include <algorithm>

#include "basic/pacing.h"
#include "formats/encoders.h"

namespace {

int put_nuls(int64_t count, out_stream& out) {
    static constexpr unsigned char nuls[4096] = {};
    while (count > 0) {
        const auto n = static_cast<size_t>(std::min<int64_t>(count, sizeof nuls));
        if (put_block(nuls, n, out) < 0) return -1;
        count -= static_cast<int64_t>(n);
    }
    return 0;
}

// The line, with `inside` NULs after every 8th character where more follow,
// CR, and `after` NULs. Returns the last byte written, or -1.
int put_line(const std::string& text, int inside, int64_t after, out_stream& out) {
    for (size_t at = 0; at < text.size(); at += pause_stride) {
        const size_t n = std::min(pause_stride, text.size() - at);
        if (put_block(text.data() + at, n, out) < 0) return -1;
        if (at + n < text.size() && put_nuls(inside, out) < 0) return -1;
    }
    if (put_byte('\r', out) < 0) return -1;
    if (after == 0) return '\r';
    return put_nuls(after, out) < 0 ? -1 : 0;
}

}  // namespace

int encode_basic(const run_settings& settings, const std::vector<listing_line>& lines,
                 out_stream& out) {
    const bool padded = settings.pad_given == 1;
    basic_pacing pacing{settings.basic_baud};
    const int inside = padded ? 0 : nuls_inside_line(settings.basic_baud);
    int result = 0;
    for (const listing_line& line : lines) {
        const int64_t needed = pace_line(pacing, line.text);
        result = put_line(line.text, inside, padded ? settings.pad_count : needed, out);
        if (result < 0) break;
    }
    if (result >= 0 && !lines.empty()) {
        // Nothing follows the last line, so no NULs either.
        result =
            put_line(settings.go_address >= 0 ? "POKE 515,0:RUN" : "POKE 515,0", inside, 0, out);
    }
    if (close_output(out) < 0) result = -1;
    return result;
}
