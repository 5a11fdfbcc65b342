#include "image/fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plover {

SSize FitToBox(uint32_t width, uint32_t height, uint32_t boxWidth, uint32_t boxHeight) {
    if (width == 0 || height == 0) return {0, 0};
    if (width <= boxWidth && height <= boxHeight) return {width, height};
    double rw = double(width) / boxWidth;  // a zero box side gives infinity: that side rules
    double rh = double(height) / boxHeight;
    auto side = [](double v) { return std::max<uint32_t>(1, uint32_t(std::min(v, 4294967295.0))); };
    if (rw > rh) return {std::max<uint32_t>(1, boxWidth), side(height / rw)};
    if (rw < rh) return {side(width / rh), std::max<uint32_t>(1, boxHeight)};
    return {std::max<uint32_t>(1, boxWidth), std::max<uint32_t>(1, boxHeight)};
}

namespace {

// For one axis: which source pixels each output pixel covers and with what weight.
struct SAxis {
    std::vector<uint32_t> first;   // first source index of output i
    std::vector<uint32_t> count;   // number of source pixels of output i
    std::vector<size_t> offset;    // where output i's weights start in `weights`
    std::vector<float> weights;    // each output's weights sum to 1
};

SAxis BuildAxis(uint32_t src, uint32_t dst) {
    SAxis a;
    a.first.resize(dst);
    a.count.resize(dst);
    a.offset.resize(dst);
    double scale = double(src) / dst;
    for (uint32_t o = 0; o < dst; ++o) {
        double lo = o * scale, hi = std::min(double(src), (o + 1) * scale);
        uint32_t i0 = std::min(src - 1, uint32_t(lo));
        uint32_t i1 = std::max(i0 + 1, std::min(src, uint32_t(std::ceil(hi))));
        a.first[o] = i0;
        a.count[o] = i1 - i0;
        a.offset[o] = a.weights.size();
        double span = hi - lo, total = 0;
        for (uint32_t i = i0; i < i1; ++i) {
            double w = span > 0 ? (std::min(hi, double(i + 1)) - std::max(lo, double(i))) / span : 1;
            w = std::max(0.0, w);
            a.weights.push_back(float(w));
            total += w;
        }
        if (total <= 0) total = 1;
        for (uint32_t k = 0; k < a.count[o]; ++k) a.weights[a.offset[o] + k] = float(a.weights[a.offset[o] + k] / total);
    }
    return a;
}

uint8_t ToByte(float v) { return uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

}  // namespace

SBitmap Resample(const SBitmap& src, uint32_t width, uint32_t height) {
    SBitmap out;
    out.Allocate(width, height);
    out.sourceWidth = src.sourceWidth;
    out.sourceHeight = src.sourceHeight;
    out.bitDepth = src.bitDepth;
    out.format = src.format;
    if (src.width == 0 || src.height == 0 || width == 0 || height == 0) return out;

    const bool alpha = src.HasTransparency();
    SAxis ax = BuildAxis(src.width, width), ay = BuildAxis(src.height, height);

    // Horizontal pass into premultiplied floats, one row of `width` pixels per source row.
    std::vector<float> mid(size_t(src.height) * width * 4);
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint8_t* in = src.Row(y);
        float* m = &mid[size_t(y) * width * 4];
        for (uint32_t o = 0; o < width; ++o) {
            const uint8_t* p = in + size_t(ax.first[o]) * 4;
            const float* w = &ax.weights[ax.offset[o]];
            float r = 0, g = 0, b = 0, a = 0;
            for (uint32_t k = 0; k < ax.count[o]; ++k, p += 4) {
                float f = alpha ? w[k] * p[3] * (1.0f / 255) : w[k];
                r += f * p[0], g += f * p[1], b += f * p[2], a += w[k] * p[3];
            }
            m[o * 4 + 0] = r, m[o * 4 + 1] = g, m[o * 4 + 2] = b, m[o * 4 + 3] = a;
        }
    }
    // Vertical pass, then back to straight alpha.
    std::vector<float> acc(size_t(width) * 4);
    for (uint32_t o = 0; o < height; ++o) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        const float* w = &ay.weights[ay.offset[o]];
        for (uint32_t k = 0; k < ay.count[o]; ++k) {
            const float* m = &mid[size_t(ay.first[o] + k) * width * 4];
            for (size_t i = 0; i < acc.size(); ++i) acc[i] += w[k] * m[i];
        }
        uint8_t* row = out.Row(o);
        for (uint32_t x = 0; x < width; ++x) {
            float a = acc[x * 4 + 3];
            float un = alpha ? (a > 0 ? 255.0f / a : 0.0f) : 1.0f;
            row[x * 4 + 0] = ToByte(acc[x * 4 + 0] * un);
            row[x * 4 + 1] = ToByte(acc[x * 4 + 1] * un);
            row[x * 4 + 2] = ToByte(acc[x * 4 + 2] * un);
            row[x * 4 + 3] = ToByte(a);
        }
    }
    return out;
}

}  // namespace plover
