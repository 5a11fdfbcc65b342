#include "image/fixtures.h"  // tests/image/fixtures.h

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "testutil/temp_dir.h"

namespace plover::test {

const std::vector<SRgba>& Palette16() {
    static const std::vector<SRgba> pal = {
        {0, 0, 0, 255},       {255, 255, 255, 255}, {200, 30, 30, 255},   {30, 200, 30, 255},
        {30, 30, 200, 255},   {220, 220, 40, 255},  {40, 220, 220, 255},  {220, 40, 220, 255},
        {128, 64, 0, 255},    {0, 128, 64, 255},    {64, 0, 128, 255},    {250, 128, 114, 255},
        {100, 100, 100, 255}, {180, 180, 180, 255}, {255, 165, 0, 255},   {75, 0, 130, 255}};
    return pal;
}

uint8_t PatternIndex(uint32_t x, uint32_t y) {
    return uint8_t((x / 4 + (y / 3) * 3 + ((x + y) % 7 == 0 ? 5 : 0)) % 16);
}

SRgba PatternColour(uint32_t x, uint32_t y) { return Palette16()[PatternIndex(x, y)]; }

void Put16(Bytes& b, uint32_t v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

Bytes MakeBmp(const SBmpSpec& s) {
    Bytes info;
    if (s.headerSize == 12) {
        Put32(info, 12);
        Put16(info, uint32_t(s.width));
        Put16(info, uint32_t(s.height));
        Put16(info, 1);
        Put16(info, s.bpp);
    } else {
        Put32(info, s.headerSize);
        Put32(info, uint32_t(s.width));
        Put32(info, uint32_t(s.height));
        Put16(info, 1);
        Put16(info, s.bpp);
        Put32(info, s.compression);
        Put32(info, uint32_t(s.pixels.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, s.colorsUsed);
        Put32(info, 0);
        if (s.headerSize > 40) {
            for (size_t i = 0; i < 4; ++i) Put32(info, i < s.masks.size() ? s.masks[i] : 0);
            info.resize(s.headerSize, '\0');
        } else {
            for (uint32_t m : s.masks) Put32(info, m);
        }
    }
    for (const SRgba& c : s.palette) {
        info += char(c.b), info += char(c.g), info += char(c.r);
        if (s.headerSize != 12) info += '\0';
    }
    Bytes file = "BM";
    Put32(file, uint32_t(14 + info.size() + s.pixels.size()));
    Put32(file, 0);
    Put32(file, uint32_t(14 + info.size()));
    return file + info + s.pixels;
}

Bytes BmpRows(uint32_t w, uint32_t h, uint32_t bpp, bool topDown, const std::function<uint32_t(uint32_t, uint32_t)>& value) {
    Bytes out;
    size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
    for (uint32_t i = 0; i < h; ++i) {
        uint32_t y = topDown ? i : h - 1 - i;
        Bytes row(stride, '\0');
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t v = value(x, y);
            if (bpp < 8) {
                size_t bit = size_t(x) * bpp;
                row[bit / 8] = char(uint8_t(row[bit / 8]) | (v << (8 - bpp - bit % 8)));
            } else {
                for (uint32_t k = 0; k < bpp / 8; ++k) row[x * (bpp / 8) + k] = char((v >> (8 * k)) & 0xFF);
            }
        }
        out += row;
    }
    return out;
}

namespace {

class CBitPacker {
public:
    void Put(uint32_t code, uint32_t bits) {
        acc_ |= uint64_t(code) << count_;
        count_ += bits;
        while (count_ >= 8) {
            out += char(acc_ & 0xFF);
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    Bytes Finish() {
        if (count_ > 0) out += char(acc_ & 0xFF);
        return out;
    }
    Bytes out;

private:
    uint64_t acc_ = 0;
    uint32_t count_ = 0;
};

Bytes SubBlocks(const Bytes& data) {
    Bytes out;
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        out += char(n);
        out += data.substr(i, n);
    }
    out += '\0';
    return out;
}

}  // namespace

Bytes LzwEncode(const std::vector<uint8_t>& indices, uint32_t minSize, bool clearWhenFull) {
    const uint32_t clear = 1u << minSize, end = clear + 1;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2, size = minSize + 1;
    CBitPacker bits;
    bits.Put(clear, size);
    if (indices.empty()) {
        bits.Put(end, size);
        return bits.Finish();
    }
    uint32_t prefix = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        auto key = std::make_pair(prefix, indices[i]);
        auto it = table.find(key);
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        bits.Put(prefix, size);
        if (next < 4096) {
            table[key] = next++;
            if (next > (1u << size) && size < 12) ++size;
        } else if (clearWhenFull) {
            bits.Put(clear, size);
            table.clear();
            next = clear + 2, size = minSize + 1;
        }
        prefix = indices[i];
    }
    bits.Put(prefix, size);
    bits.Put(end, size);
    return bits.Finish();
}

Bytes GifWithLzw(uint16_t w, uint16_t h, uint32_t minSize, const Bytes& lzw) {
    Bytes b = "GIF89a";
    Put16(b, w);
    Put16(b, h);
    b += char(0x80 | 3), b += '\0', b += '\0';  // 16-colour global table
    for (const SRgba& c : Palette16()) b += char(c.r), b += char(c.g), b += char(c.b);
    b += ',';
    Put16(b, 0), Put16(b, 0), Put16(b, w), Put16(b, h);
    b += '\0';
    b += char(minSize);
    return b + SubBlocks(lzw) + ";";
}

Bytes MakeGif(const SGifSpec& s) {
    size_t entries = 2;
    while (entries < s.palette.size()) entries *= 2;
    uint8_t sizeBits = 0;
    while ((size_t(2) << sizeBits) < entries) ++sizeBits;
    Bytes b = "GIF89a";
    Put16(b, s.width);
    Put16(b, s.height);
    b += char(0x80 | sizeBits), b += '\0', b += '\0';
    for (size_t i = 0; i < entries; ++i) {
        SRgba c = i < s.palette.size() ? s.palette[i] : SRgba{};
        b += char(c.r), b += char(c.g), b += char(c.b);
    }
    if (s.transparent >= 0) {
        b += "\x21\xF9\x04\x01";
        Put16(b, 0);
        b += char(s.transparent);
        b += '\0';
    }
    b += ',';
    Put16(b, 0), Put16(b, 0), Put16(b, s.width), Put16(b, s.height);
    b += char(s.interlaced ? 0x40 : 0);
    std::vector<uint8_t> order = s.indices;
    if (s.interlaced) {  // rows in the order of the four passes
        order.clear();
        const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int p = 0; p < 4; ++p)
            for (uint32_t y = start[p]; y < s.height; y += step[p])
                order.insert(order.end(), s.indices.begin() + ptrdiff_t(y) * s.width,
                             s.indices.begin() + ptrdiff_t(y + 1) * s.width);
    }
    b += char(s.minSize);
    return b + SubBlocks(LzwEncode(order, s.minSize, s.clearWhenFull)) + ";";
}

namespace {

// TGA RLE: runs of 2..128 equal values as run packets, everything else as raw packets.
Bytes TgaRle(const Bytes& values, size_t bpp) {
    Bytes out;
    size_t n = values.size() / bpp, i = 0;
    auto same = [&](size_t a, size_t b) { return values.compare(a * bpp, bpp, values, b * bpp, bpp) == 0; };
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out += char(0x80 | (run - 1));
            out += values.substr(i * bpp, bpp);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < n && raw < 128 && !(i + raw + 1 < n && same(i + raw, i + raw + 1))) ++raw;
        out += char(raw - 1);
        out += values.substr(i * bpp, raw * bpp);
        i += raw;
    }
    return out;
}

}  // namespace

Bytes MakeTga(const STgaSpec& s) {
    Bytes b;
    b += '\0';  // no id
    b += char(s.map.empty() ? 0 : 1);
    b += char(s.type);
    Put16(b, s.mapFirst);
    Put16(b, uint32_t(s.map.size()));
    b += char(s.map.empty() ? 0 : s.mapBits);
    Put16(b, 0), Put16(b, 0);
    Put16(b, s.width), Put16(b, s.height);
    b += char(s.depth), b += char(s.descriptor);
    for (const SRgba& c : s.map) {
        b += char(c.b), b += char(c.g), b += char(c.r);
        if (s.mapBits == 32) b += char(c.a);
    }
    size_t bpp = (s.depth + 7) / 8;
    return b + ((s.type & 8) ? TgaRle(s.pixelValues, bpp) : s.pixelValues);
}

Bytes MakePcx(const SPcxSpec& s) {
    Bytes h(128, '\0');
    h[0] = 0x0A, h[1] = 5, h[2] = 1, h[3] = char(s.bpp);
    auto put16 = [&](size_t at, uint32_t v) { h[at] = char(v & 0xFF), h[at + 1] = char(v >> 8); };
    put16(4, 0), put16(6, 0), put16(8, s.width - 1u), put16(10, s.height - 1u);
    for (size_t i = 0; i < s.headerPalette.size() && i < 16; ++i)
        h[16 + 3 * i] = char(s.headerPalette[i].r), h[17 + 3 * i] = char(s.headerPalette[i].g),
                 h[18 + 3 * i] = char(s.headerPalette[i].b);
    uint32_t lineBytes = (uint32_t(s.width) * s.bpp + 15) / 16 * 2;
    h[65] = char(s.planes);
    put16(66, lineBytes);
    put16(68, 1);
    Bytes data;
    for (uint32_t y = 0; y < s.height; ++y) {
        Bytes line(size_t(lineBytes) * s.planes, '\0');
        for (uint32_t x = 0; x < s.width; ++x) {
            uint32_t v = s.value(x, y);
            if (s.bpp == 8 && s.planes >= 3) {
                for (uint32_t p = 0; p < 3; ++p) line[p * lineBytes + x] = char((v >> (16 - 8 * p)) & 0xFF);
                if (s.planes == 4) line[3 * lineBytes + x] = char(v >> 24);
            } else if (s.bpp == 1) {
                for (uint32_t p = 0; p < s.planes; ++p)
                    if ((v >> p) & 1) line[p * lineBytes + x / 8] = char(uint8_t(line[p * lineBytes + x / 8]) | (0x80 >> (x % 8)));
            } else {
                size_t bit = size_t(x) * s.bpp;
                line[bit / 8] = char(uint8_t(line[bit / 8]) | (v << (8 - s.bpp - bit % 8)));
            }
        }
        for (size_t i = 0; i < line.size();) {  // RLE, runs kept inside the line
            size_t run = 1;
            while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
            if (run > 1 || uint8_t(line[i]) >= 0xC0) data += char(0xC0 | run);
            data += line[i];
            i += run;
        }
    }
    Bytes file = h + data;
    if (!s.palette256.empty()) {
        file += '\x0C';
        for (size_t i = 0; i < 256; ++i) {
            SRgba c = i < s.palette256.size() ? s.palette256[i] : SRgba{};
            file += char(c.r), file += char(c.g), file += char(c.b);
        }
    }
    return file;
}

Bytes MakeJpeg(uint32_t w, uint32_t h, int components, const std::function<SRgba(uint32_t, uint32_t)>& colour,
               int quality, bool cmyk) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = cmyk ? 4 : components;
    c.in_color_space = cmyk ? JCS_CMYK : components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * c.input_components);
    while (c.next_scanline < h) {
        for (uint32_t x = 0; x < w; ++x) {
            SRgba p = colour(x, c.next_scanline);
            uint8_t* o = &row[size_t(x) * c.input_components];
            if (cmyk) {  // Adobe's inverted CMYK of an RGB colour with black 0
                o[0] = p.r, o[1] = p.g, o[2] = p.b, o[3] = 255;
            } else if (components == 1) {
                o[0] = p.r;
            } else {
                o[0] = p.r, o[1] = p.g, o[2] = p.b;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(reinterpret_cast<char*>(mem), size);
    free(mem);
    return out;
}

namespace {

void AppendPng(png_structp png, png_bytep data, size_t n) {
    static_cast<Bytes*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}
void FlushPng(png_structp) {}

}  // namespace

Bytes MakePngRaw(uint32_t w, uint32_t h, int colorType, int bitDepth, bool interlaced, const std::vector<Bytes>& rows,
                 const std::vector<SRgba>& palette, const Bytes& trns) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, w, h, bitDepth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> pal;
    for (const SRgba& c : palette) pal.push_back({c.r, c.g, c.b});
    if (!pal.empty()) png_set_PLTE(png, info, pal.data(), int(pal.size()));
    if (!trns.empty())
        png_set_tRNS(png, info, reinterpret_cast<png_const_bytep>(trns.data()), int(trns.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> ptrs;
    for (const Bytes& r : rows) ptrs.push_back(reinterpret_cast<png_bytep>(const_cast<char*>(r.data())));
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes MakePngRgba(uint32_t w, uint32_t h, const std::function<SRgba(uint32_t, uint32_t)>& colour) {
    std::vector<Bytes> rows;
    for (uint32_t y = 0; y < h; ++y) {
        Bytes r;
        for (uint32_t x = 0; x < w; ++x) {
            SRgba c = colour(x, y);
            r += char(c.r), r += char(c.g), r += char(c.b), r += char(c.a);
        }
        rows.push_back(r);
    }
    return MakePngRaw(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, rows);
}

Bytes MakeTiffRgb(uint32_t w, uint32_t h, const std::function<SRgba(uint32_t, uint32_t)>& colour, uint16_t compression) {
    TempDir dir;
    std::string path = (dir / "t.tif").string();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("TIFFOpen failed");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            SRgba c = colour(x, y);
            row[3 * x] = c.r, row[3 * x + 1] = c.g, row[3 * x + 2] = c.b;
        }
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
    return ReadFile(path);
}

SRgba PixelAt(const SBitmap& b, uint32_t x, uint32_t y) {
    const uint8_t* p = b.Row(y) + size_t(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

::testing::AssertionResult PixelsMatch(const SBitmap& b, const std::function<SRgba(uint32_t, uint32_t)>& expected,
                                       int tolerance) {
    for (uint32_t y = 0; y < b.height; ++y)
        for (uint32_t x = 0; x < b.width; ++x) {
            SRgba got = PixelAt(b, x, y), want = expected(x, y);
            if (std::abs(got.r - want.r) > tolerance || std::abs(got.g - want.g) > tolerance ||
                std::abs(got.b - want.b) > tolerance || std::abs(got.a - want.a) > tolerance) {
                char text[160];
                std::snprintf(text, sizeof text, "pixel (%u,%u) is %d,%d,%d,%d, expected %d,%d,%d,%d", x, y, got.r, got.g,
                              got.b, got.a, want.r, want.g, want.b, want.a);
                return ::testing::AssertionFailure() << text;
            }
        }
    return ::testing::AssertionSuccess();
}

}  // namespace plover::test
