// WebP through libwebp: lossy (VP8), lossless (VP8L) and either with an alpha channel. The
// header is read first so that the declared size is checked against the pixel limit before
// our buffer is allocated; libwebp then decodes straight into that buffer as 8-bit RGBA and
// checks every read against the input's length itself. Of an animation the first frame is
// shown, composed on the canvas by libwebp's animation decoder; the canvas size is the one the
// header declares, so it too is checked before libwebp allocates it.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "image/decoder.h"

namespace plover {
namespace {

const char* WebPStatusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
        case VP8_STATUS_INVALID_PARAM: return "invalid WebP parameter";
        case VP8_STATUS_BITSTREAM_ERROR: return "corrupt WebP data";
        case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported WebP feature";
        case VP8_STATUS_NOT_ENOUGH_DATA: return "truncated WebP data";
        default: return "cannot decode WebP";
    }
}

struct SAnimDecoderDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The first frame of an animation, already checked against the pixel limit by its canvas size.
bool DecodeFirstFrame(const uint8_t* data, size_t size, SBitmap& out, std::string& error) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        error = "cannot decode WebP (library version)";
        return false;
    }
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    WebPData input = {data, size};
    std::unique_ptr<WebPAnimDecoder, SAnimDecoderDeleter> decoder(WebPAnimDecoderNew(&input, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) {
        error = "corrupt animated WebP";
        return false;
    }
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (info.canvas_width != out.width || info.canvas_height != out.height || info.frame_count < 1 ||
        !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas) {
        error = "corrupt animated WebP";
        return false;
    }
    std::memcpy(out.pixels.data(), canvas, out.pixels.size());
    return true;
}

}  // namespace

bool DecodeWebp(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        error = "cannot decode WebP (library version)";
        return false;
    }
    VP8StatusCode status = WebPGetFeatures(data, size, &config.input);
    if (status != VP8_STATUS_OK) {
        error = WebPStatusText(status);
        return false;
    }
    int width = config.input.width, height = config.input.height;
    if (!CheckPictureSize(uint64_t(width < 0 ? 0 : width), uint64_t(height < 0 ? 0 : height), opt, error)) return false;
    out.Allocate(uint32_t(width), uint32_t(height));
    out.bitDepth = config.input.has_alpha ? 32 : 24;
    if (config.input.has_animation) return DecodeFirstFrame(data, size, out, error);
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out.pixels.data();
    config.output.u.RGBA.stride = int(out.width * 4);
    config.output.u.RGBA.size = out.pixels.size();
    status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);  // frees nothing of ours: the memory is external
    if (status != VP8_STATUS_OK) {
        error = WebPStatusText(status);
        return false;
    }
    return true;
}

}  // namespace plover
