// PRG: a raw image behind two bytes of load address, low byte first.
#include "records/records.h"

run_outcome read_prg_header(in_stream& in, int& load_address) {
    unsigned char header[2];
    size_t got = read_block(in, header, sizeof header);
    if (in.failed) return run_outcome::read_input;
    if (got < sizeof header) return run_outcome::prg_too_short;
    load_address = header[0] | header[1] << 8;
    in.count = 0;
    return run_outcome::converted;
}
