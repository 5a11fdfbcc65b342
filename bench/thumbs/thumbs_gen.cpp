// Writes the thumbnail benchmark's pictures: JPEG photographs-like (smooth light, shapes and
// grain; 2000x1500, quality 85) and PNG pictures (1200x900, flatter, as PNGs tend to be).
// Usage: thumbs_gen DIR [JPEGS] [PNGS]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it uses FILE and size_t without including them
#include <png.h>

namespace {

struct SRng {
    uint32_t s;
    uint32_t Next() { return s = s * 1664525u + 1013904223u; }
    int Grain(int amount) { return int(Next() >> 24) % (2 * amount + 1) - amount; }
};

uint8_t Clamp(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A picture: two gradients, a few soft discs and, for photographs, grain.
std::vector<uint8_t> Paint(uint32_t w, uint32_t h, uint32_t seed, int grain) {
    SRng rng{seed * 2654435761u + 1};
    double cx[6], cy[6], rad[6], col[6][3];
    for (int i = 0; i < 6; ++i) {
        cx[i] = rng.Next() % w, cy[i] = rng.Next() % h, rad[i] = 80 + rng.Next() % (w / 4);
        for (double& c : col[i]) c = rng.Next() % 256;
    }
    double phase = (rng.Next() % 628) / 100.0;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            double fx = double(x) / w, fy = double(y) / h;
            double r = 60 + 120 * fx + 30 * std::sin(fy * 7 + phase), g = 90 + 100 * fy, b = 160 - 80 * fx * fy;
            for (int i = 0; i < 6; ++i) {
                double d = std::hypot(x - cx[i], y - cy[i]) / rad[i];
                if (d < 1) {
                    double k = 1 - d * d;
                    r += (col[i][0] - r) * k, g += (col[i][1] - g) * k, b += (col[i][2] - b) * k;
                }
            }
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = Clamp(r + (grain ? rng.Grain(grain) : 0));
            p[1] = Clamp(g + (grain ? rng.Grain(grain) : 0));
            p[2] = Clamp(b + (grain ? rng.Grain(grain) : 0));
        }
    return rgb;
}

bool WriteJpeg(const std::string& path, uint32_t w, uint32_t h, const std::vector<uint8_t>& rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = w, c.image_height = h, c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < h) {
        JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(c.next_scanline) * w * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

bool WritePng(const std::string& path, uint32_t w, uint32_t h, const std::vector<uint8_t>& rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < h; ++y) png_write_row(png, &rgb[size_t(y) * w * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: thumbs_gen DIR [JPEGS] [PNGS]\n");
        return 2;
    }
    std::string dir = argv[1];
    int jpegs = argc > 2 ? std::atoi(argv[2]) : 200, pngs = argc > 3 ? std::atoi(argv[3]) : 50;
    for (int i = 0; i < jpegs; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/photo%03d.jpg", i);
        if (!WriteJpeg(dir + name, 2000, 1500, Paint(2000, 1500, uint32_t(i), 10))) return 1;
    }
    for (int i = 0; i < pngs; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/picture%03d.png", i);
        if (!WritePng(dir + name, 1200, 900, Paint(1200, 900, uint32_t(1000 + i), 2))) return 1;
    }
    return 0;
}
