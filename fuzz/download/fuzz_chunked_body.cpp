// Feeds arbitrary server bytes to the chunked body decoder, once whole and once split into blocks
// at arbitrary points. Nothing may crash or hang, every span must lie inside its block, and the
// split feeding must give the same body, the same verdict and the same end as the whole one.
#include <cstdlib>
#include <string>
#include <vector>

#include "download/http_body.h"

using namespace plover;

namespace {

struct SOutcome {
    std::string body;
    CChunkedDecoder::EResult result = CChunkedDecoder::CHUNKS_MORE;
    size_t end = 0;  // offset in the input where the chunked body ended (DONE or ERROR)
};

SOutcome Decode(const uint8_t* data, size_t size, size_t step) {
    CChunkedDecoder decoder;
    SOutcome out;
    for (size_t at = 0; at < size; at += step) {
        size_t n = std::min(step, size - at);
        std::vector<CChunkedDecoder::SSpan> spans;
        size_t used = 0;
        out.result = decoder.Feed(data + at, n, spans, &used);
        if (used > n) abort();
        for (const auto& s : spans) {
            if (s.offset + s.length > used) abort();
            out.body.append(reinterpret_cast<const char*>(data + at + s.offset), s.length);
        }
        if (out.result != CChunkedDecoder::CHUNKS_MORE) {
            out.end = at + used;
            break;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t step = size_t(data[0] % 17) + 1;
    ++data;
    --size;
    SOutcome whole = Decode(data, size, size ? size : 1);
    SOutcome split = Decode(data, size, step);
    // The decoder reads byte by byte: where the blocks end never changes what it finds.
    if (whole.result != split.result || whole.end != split.end || whole.body != split.body) abort();
    return 0;
}
