// The setjmp of libpng's error handling sits in one small function with plain locals only; the
// rows are prepared and the output vector grown by the caller and by a plain write callback.
#include "image/png_writer.h"
#include "platform/file_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace plover {
namespace {

struct SPngOut {
    png_structp png;
    png_infop info;
    std::vector<uint8_t>* bytes;
    char message[200];
    bool noMemory;
    png_uint_32 width, height;
    int colorType;
    png_bytepp rows;
};

void OnError(png_structp png, png_const_charp msg) {
    auto* job = static_cast<SPngOut*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Appends without letting std::bad_alloc escape through libpng's C frames.
void OnWrite(png_structp png, png_bytep data, size_t n) {
    auto* job = static_cast<SPngOut*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        job->bytes->insert(job->bytes->end(), data, data + n);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) png_error(png, "out of memory");
}

void OnFlush(png_structp) {}

bool PngWriteSteps(SPngOut* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_set_write_fn(job->png, job, OnWrite, OnFlush);
    png_set_IHDR(job->png, job->info, job->width, job->height, 8, job->colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Thumbnails are small and written often: the fastest level costs little in size, while the
    // default level spends more time than decoding the picture did (grainy photographs above all).
    png_set_compression_level(job->png, 1);
    png_write_info(job->png, job->info);
    if (job->colorType == PNG_COLOR_TYPE_RGB) png_set_filler(job->png, 0, PNG_FILLER_AFTER);  // drop the alpha byte
    png_write_image(job->png, job->rows);
    png_write_end(job->png, nullptr);
    return true;
}

}  // namespace

bool EncodePng(const SBitmap& bmp, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    if (bmp.width == 0 || bmp.height == 0) {
        error = "empty picture";
        return false;
    }
    SPngOut job;
    std::memset(&job, 0, sizeof job);
    job.bytes = &out;
    job.width = bmp.width;
    job.height = bmp.height;
    job.colorType = bmp.HasTransparency() ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    std::vector<png_bytep> rows(bmp.height);
    for (uint32_t y = 0; y < bmp.height; ++y) rows[y] = const_cast<png_bytep>(bmp.Row(y));
    job.rows = rows.data();
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    bool ok = job.png && job.info && PngWriteSteps(&job);
    if (!ok) error = job.message[0] ? job.message : "cannot encode PNG";
    png_destroy_write_struct(job.png ? &job.png : nullptr, job.info ? &job.info : nullptr);
    return ok;
}

bool WritePngFile(const SBitmap& bmp, const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!EncodePng(bmp, bytes, error)) return false;
    // A picture of the user's: readable by all, replaced whole or not at all.
    std::string why;
    if (SaveFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           {0644, false}, &why))
        return true;
    error = why;
    return false;
}

}  // namespace plover
