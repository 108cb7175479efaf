// Placeholder: finds no signal.
#include "tape/kcs_decode.h"

struct kcs_decoder {
    int rate;
    int channels;
    decode_options options;
};

namespace {
void destroy(kcs_decoder* decoder) { delete decoder; }
}  // namespace

std::unique_ptr<kcs_decoder, void (*)(kcs_decoder*)> make_decoder(int rate, int channels,
                                                                  const decode_options& options) {
    return {new kcs_decoder{rate, channels, options}, destroy};
}

void decode_samples(kcs_decoder&, const float*, size_t, std::vector<unsigned char>&) {}

void finish_decoding(kcs_decoder& decoder, std::vector<unsigned char>&, decode_result& result) {
    result = {};
    result.baud = decoder.options.baud;
}
