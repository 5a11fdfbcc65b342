// PNG through libpng. libpng reports fatal errors by longjmp to the jmp_buf of its read struct;
// as with JPEG, the setjmp is taken in small step functions that have only plain locals and
// call only libpng and our plain read callback, so the jump never skips a C++ destructor.
// Every PNG becomes 8-bit RGBA through libpng's own transformations.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/decoder.h"

namespace plover {
namespace {

struct SPngJob {
    png_structp png;
    png_infop info;
    const uint8_t* data;
    size_t size;
    size_t pos;
    char message[200];
    png_uint_32 width, height;
    int bitDepth, colorType, channels;
    png_bytepp rows;
};

void OnPngError(png_structp png, png_const_charp msg) {
    auto* job = static_cast<SPngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp png, png_bytep out, size_t n) {
    auto* job = static_cast<SPngJob*>(png_get_io_ptr(png));
    if (n > job->size - job->pos) png_error(png, "truncated data");
    std::memcpy(out, job->data + job->pos, n);
    job->pos += n;
}

// Step 1: read up to the image data and set the transformations to 8-bit RGBA.
bool PngReadHeader(SPngJob* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_set_read_fn(job->png, job, OnPngRead);
    png_read_info(job->png, job->info);
    png_get_IHDR(job->png, job->info, &job->width, &job->height, &job->bitDepth, &job->colorType, nullptr, nullptr,
                 nullptr);
    job->channels = png_get_channels(job->png, job->info);
    if (job->colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job->png);
    if (job->colorType == PNG_COLOR_TYPE_GRAY && job->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
    if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(job->png);
    if (job->bitDepth == 16) png_set_scale_16(job->png);
    if (job->colorType == PNG_COLOR_TYPE_GRAY || job->colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(job->png);
    png_set_add_alpha(job->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    if (png_get_rowbytes(job->png, job->info) != size_t(job->width) * 4) png_error(job->png, "unexpected row layout");
    return true;
}

// Step 2: every row, all interlace passes.
bool PngReadRows(SPngJob* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_read_image(job->png, job->rows);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    SPngJob job;
    std::memset(&job, 0, sizeof job);
    job.data = data;
    job.size = size;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
    if (!job.png) {
        error = "out of memory";
        return false;
    }
    job.info = png_create_info_struct(job.png);
    bool ok = job.info != nullptr;
    if (ok) {
        png_set_user_limits(job.png, 0x7FFFFFFF, 0x7FFFFFFF);
        png_set_chunk_malloc_max(job.png, 64u << 20);
        ok = PngReadHeader(&job) && CheckPictureSize(job.width, job.height, opt, error);
    }
    if (ok) {
        out.Allocate(job.width, job.height);
        out.bitDepth = uint32_t(job.bitDepth * job.channels);
        std::vector<png_bytep> rows(job.height);
        for (uint32_t y = 0; y < job.height; ++y) rows[y] = out.Row(y);
        job.rows = rows.data();
        ok = PngReadRows(&job);
    }
    if (!ok && error.empty()) error = job.message[0] ? job.message : "cannot decode PNG";
    png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
    return ok;
}

}  // namespace plover
