// AVIF through libavif (with the AV1 decoder Debian builds it with). The container is parsed
// first, so that the declared size is checked against the pixel limit before any AV1 data is
// decoded. The container is parsed under libavif's default limits (a picture above them fails
// there without saying why), and ours are given to libavif before the AV1 data is decoded, as the
// AV1 decoder allocates its planes itself. The first picture of a sequence is shown. Colour depths
// above 8 bits are scaled down to 8-bit RGBA by libavif's conversion. The library is loaded on
// the first AVIF picture (avif_library.h).
#include <algorithm>
#include <memory>

#include "image/avif_library.h"
#include "image/decoder.h"

namespace plover {
namespace {

struct SAvifDecoderDeleter {
    const SAvifLibrary* avif;
    void operator()(avifDecoder* d) const { avif->avifDecoderDestroy(d); }
};

bool AvifFailed(const SAvifLibrary& avif, avifResult result, const char* what, std::string& error) {
    if (result == AVIF_RESULT_OK) return false;
    if (result == AVIF_RESULT_TRUNCATED_DATA) error = "truncated AVIF data";
    else error = std::string("cannot decode AVIF (") + what + ": " + avif.avifResultToString(result) + ")";
    return true;
}

}  // namespace

bool DecodeAvif(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    const SAvifLibrary* avif = AvifLibrary(&error);
    if (!avif) return false;
    std::unique_ptr<avifDecoder, SAvifDecoderDeleter> decoder(avif->avifDecoderCreate(), SAvifDecoderDeleter{avif});
    if (!decoder) {
        error = "out of memory";
        return false;
    }
    decoder->maxThreads = 1;
    decoder->imageCountLimit = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Pictures written by common tools miss some of the container's required boxes; viewers
    // show them anyway.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    if (AvifFailed(*avif, avif->avifDecoderSetIOMemory(decoder.get(), data, size), "input", error)) return false;
    if (AvifFailed(*avif, avif->avifDecoderParse(decoder.get()), "container", error)) return false;
    const avifImage* image = decoder->image;
    if (!CheckPictureSize(image->width, image->height, opt, error)) return false;
    uint32_t limit = uint32_t(std::min<uint64_t>(opt.maxPixels, decoder->imageSizeLimit));
    decoder->imageSizeLimit = limit;
    decoder->imageDimensionLimit = std::min(decoder->imageDimensionLimit, limit);
    if (AvifFailed(*avif, avif->avifDecoderNextImage(decoder.get()), "picture", error)) return false;
    image = decoder->image;  // the AV1 data may disagree with the container: check again
    if (!CheckPictureSize(image->width, image->height, opt, error)) return false;

    out.Allocate(image->width, image->height);
    uint32_t channels = image->yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? 1 : 3;
    out.bitDepth = image->depth * (channels + (decoder->alphaPresent ? 1 : 0));
    avifRGBImage rgb;
    avif->avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    rgb.pixels = out.pixels.data();
    rgb.rowBytes = out.width * 4;
    if (AvifFailed(*avif, avif->avifImageYUVToRGB(image, &rgb), "colour conversion", error)) return false;
    return true;
}

}  // namespace plover
