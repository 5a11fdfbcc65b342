// JPEG through libjpeg(-turbo), shrinking while decoding with its DCT scaling.
//
// libjpeg reports a fatal error by calling error_exit, which must not return. Ours longjmps back
// to a setjmp taken in one of three small step functions below. Each step function has only
// plain locals and calls only libjpeg (C code), so the jump never skips a C++ destructor; every
// C++ object (the pixel buffer, strings) lives in the caller, between the steps.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "image/decoder.h"
#include "image/fit.h"

namespace plover {
namespace {

// A hostile progressive file can carry thousands of tiny scans, each costing a pass over the
// whole picture; real files have a dozen or so.
constexpr int kMaxScans = 500;

struct SJpegJob {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    jpeg_progress_mgr progress;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool created;
    const uint8_t* data;
    size_t size;
    uint8_t* pixels;  // output rows, 4 bytes a pixel
    size_t stride;
};

SJpegJob* JobOf(j_common_ptr cinfo) {
    // err is the first member after cinfo, but the job is reached through client_data.
    return static_cast<SJpegJob*>(cinfo->client_data);
}

void OnJpegError(j_common_ptr cinfo) {
    SJpegJob* job = JobOf(cinfo);
    (*cinfo->err->format_message)(cinfo, job->message);
    std::longjmp(job->jump, 1);
}

// Warnings (corrupt data, premature end) are not fatal: the decoder fills in what is missing.
void OnJpegMessage(j_common_ptr, int) {}
void OnJpegOutput(j_common_ptr) {}

void OnJpegProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        SJpegJob* job = JobOf(cinfo);
        std::snprintf(job->message, sizeof job->message, "too many scans");
        std::longjmp(job->jump, 1);
    }
}

// Step 1: create the decompressor and read the header.
bool JpegReadHeader(SJpegJob* job) {
    if (setjmp(job->jump)) return false;
    jpeg_create_decompress(&job->cinfo);
    job->created = true;
    job->cinfo.client_data = job;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, job->data, static_cast<unsigned long>(job->size));
    jpeg_read_header(&job->cinfo, TRUE);
    return true;
}

// Step 2: the output size for the scaling chosen by the caller.
bool JpegOutputSize(SJpegJob* job) {
    if (setjmp(job->jump)) return false;
    jpeg_calc_output_dimensions(&job->cinfo);
    return true;
}

// Step 3: decode every row into the caller's buffer.
bool JpegReadRows(SJpegJob* job) {
    if (setjmp(job->jump)) return false;
    jpeg_start_decompress(&job->cinfo);
    while (job->cinfo.output_scanline < job->cinfo.output_height) {
        JSAMPROW row = job->pixels + size_t(job->cinfo.output_scanline) * job->stride;
        if (jpeg_read_scanlines(&job->cinfo, &row, 1) != 1) return false;
    }
    return true;
}

// The smallest scale n/8 whose output still covers the fitted size in both directions.
unsigned ChooseScale(uint32_t width, uint32_t height, SSize box) {
    if (box.cx == 0 || box.cy == 0) return 8;
    SSize fit = FitToBox(width, height, box.cx, box.cy);
    for (unsigned n = 1; n < 8; ++n) {
        uint64_t w = (uint64_t(width) * n + 7) / 8, h = (uint64_t(height) * n + 7) / 8;
        if (w >= fit.cx && h >= fit.cy) return n;
    }
    return 8;
}

// Adobe writers store CMYK inverted; others store it plain.
void CmykToRgba(SBitmap& out, bool inverted) {
    for (size_t i = 0; i + 3 < out.pixels.size(); i += 4) {
        uint8_t* p = &out.pixels[i];
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        p[0] = uint8_t(c * k / 255);
        p[1] = uint8_t(m * k / 255);
        p[2] = uint8_t(y * k / 255);
        p[3] = 255;
    }
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    SJpegJob job;
    std::memset(&job, 0, sizeof job);
    job.data = data;
    job.size = size;
    job.cinfo.err = jpeg_std_error(&job.err);
    job.err.error_exit = OnJpegError;
    job.err.emit_message = OnJpegMessage;
    job.err.output_message = OnJpegOutput;
    job.progress.progress_monitor = OnJpegProgress;
    job.cinfo.client_data = &job;

    bool ok = JpegReadHeader(&job);
    if (ok) {
        jpeg_decompress_struct& c = job.cinfo;
        // The coefficient buffers of progressive files grow with the picture: bound them.
        c.mem->max_memory_to_use = long(opt.maxPixels * 8 + (32u << 20));
        ok = CheckPictureSize(c.image_width, c.image_height, opt, error);
        if (ok) {
            bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
            c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
            c.scale_num = ChooseScale(c.image_width, c.image_height, opt.box);
            c.scale_denom = 8;
            ok = JpegOutputSize(&job) && c.output_components == 4;
            if (ok) {
                out.Allocate(c.output_width, c.output_height);
                out.sourceWidth = c.image_width;
                out.sourceHeight = c.image_height;
                out.bitDepth = uint32_t(c.num_components) * 8;
                job.pixels = out.pixels.data();
                job.stride = size_t(out.width) * 4;
                ok = JpegReadRows(&job);
                if (ok && cmyk) CmykToRgba(out, c.saw_Adobe_marker);
            }
        }
    }
    if (!ok && error.empty()) error = job.message[0] ? job.message : "cannot decode JPEG";
    if (job.created) jpeg_destroy_decompress(&job.cinfo);
    return ok;
}

}  // namespace plover
