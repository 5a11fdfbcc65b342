// The setjmp of libjpeg's error handling sits in one small function with plain locals only (as in
// decode_jpeg.cpp); the caller owns every C++ object.
#include "image/jpeg_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>

namespace plover {
namespace {

struct SJpegOut {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool created;
    const SBitmap* bmp;
    int quality;
    unsigned char* bytes;  // libjpeg's buffer (malloc), freed by the caller
    unsigned long size;
};

void OnError(j_common_ptr cinfo) {
    auto* job = static_cast<SJpegOut*>(cinfo->client_data);
    (*cinfo->err->format_message)(cinfo, job->message);
    std::longjmp(job->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

bool JpegWriteSteps(SJpegOut* job) {
    if (setjmp(job->jump)) return false;
    jpeg_create_compress(&job->cinfo);
    job->created = true;
    job->cinfo.client_data = job;
    jpeg_mem_dest(&job->cinfo, &job->bytes, &job->size);
    job->cinfo.image_width = job->bmp->width;
    job->cinfo.image_height = job->bmp->height;
    job->cinfo.input_components = 4;
    job->cinfo.in_color_space = JCS_EXT_RGBX;  // the alpha byte is skipped
    jpeg_set_defaults(&job->cinfo);
    jpeg_set_quality(&job->cinfo, job->quality, TRUE);
    jpeg_start_compress(&job->cinfo, TRUE);
    while (job->cinfo.next_scanline < job->cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->bmp->Row(job->cinfo.next_scanline));
        jpeg_write_scanlines(&job->cinfo, &row, 1);
    }
    jpeg_finish_compress(&job->cinfo);
    return true;
}

}  // namespace

bool EncodeJpeg(const SBitmap& bmp, int quality, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    if (bmp.width == 0 || bmp.height == 0 || bmp.pixels.size() < size_t(bmp.width) * bmp.height * 4) {
        error = "empty picture";
        return false;
    }
    SJpegOut job;
    std::memset(&job, 0, sizeof job);
    job.bmp = &bmp;
    job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    job.cinfo.err = jpeg_std_error(&job.err);
    job.err.error_exit = OnError;
    job.err.emit_message = OnMessage;
    bool ok = JpegWriteSteps(&job);
    if (job.created) jpeg_destroy_compress(&job.cinfo);
    if (ok) {
        try {
            out.assign(job.bytes, job.bytes + job.size);
        } catch (const std::bad_alloc&) {
            ok = false;
            std::snprintf(job.message, sizeof job.message, "out of memory");
        }
    }
    std::free(job.bytes);
    if (!ok) error = job.message[0] ? job.message : "cannot encode JPEG";
    return ok;
}

}  // namespace plover
