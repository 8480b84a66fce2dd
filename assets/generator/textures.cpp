#include "textures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <stb_dxt.h>
#include <stb_image_write.h>

namespace korvan_assets {

namespace {

Image blank(int w, int h) {
    Image img;
    img.width = w;
    img.height = h;
    img.rgba.assign(4 * static_cast<std::size_t>(w) * h, 0.0f);
    return img;
}

// Smooth value noise in 0..1 on a lattice of `cell` pixels, the same on every platform.
float lattice(int x, int y, unsigned seed) {
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xffff) / 65535.0f;
}
float value_noise(double x, double y, double cell, unsigned seed) {
    const double fx = x / cell, fy = y / cell;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return static_cast<float>(a + (b - a) * sx + (c - a) * sy + (a - b - c + d) * sx * sy);
}

void set(Image& img, int x, int y, float r, float g, float b, float a) {
    float* p = img.at(x, y);
    p[0] = std::clamp(r, 0.0f, 1.0f);
    p[1] = std::clamp(g, 0.0f, 1.0f);
    p[2] = std::clamp(b, 0.0f, 1.0f);
    p[3] = std::clamp(a, 0.0f, 1.0f);
}

// Half the size, each pixel the mean of four (colours weighted by alpha where there is any).
Image half(const Image& src) {
    Image dst = blank(std::max(1, src.width / 2), std::max(1, src.height / 2));
    for (int y = 0; y < dst.height; ++y)
        for (int x = 0; x < dst.width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            int n = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int sx = std::min(src.width - 1, 2 * x + dx), sy = std::min(src.height - 1, 2 * y + dy);
                    const float* p = src.at(sx, sy);
                    for (int k = 0; k < 4; ++k) sum[k] += p[k];
                    ++n;
                }
            float* q = dst.at(x, y);
            for (int k = 0; k < 4; ++k) q[k] = sum[k] / n;
        }
    return dst;
}

std::vector<Image> mip_chain(const Image& image) {
    std::vector<Image> chain{image};
    while (chain.back().width > 1 || chain.back().height > 1) chain.push_back(half(chain.back()));
    return chain;
}

std::uint8_t byte_of(float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// The 128-byte header of a DDS file.
std::vector<std::uint8_t> dds_header(int width, int height, int mips, bool dxt1, std::uint32_t top_size) {
    std::vector<std::uint32_t> h(32, 0);
    constexpr std::uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                            kMipCount = 0x20000, kLinearSize = 0x80000;
    constexpr std::uint32_t kAlphaPixels = 0x1, kFourCc = 0x4, kRgb = 0x40;
    constexpr std::uint32_t kTexture = 0x1000, kMipmap = 0x400000, kComplex = 0x8;
    h[0] = 0x20534444;  // "DDS "
    h[1] = 124;
    h[2] = kCaps | kHeight | kWidth | kPixelFormat | kMipCount | (dxt1 ? kLinearSize : kPitch);
    h[3] = static_cast<std::uint32_t>(height);
    h[4] = static_cast<std::uint32_t>(width);
    h[5] = dxt1 ? top_size : static_cast<std::uint32_t>(width) * 4;
    h[7] = static_cast<std::uint32_t>(mips);
    h[19] = 32;  // pixel format size
    if (dxt1) {
        h[20] = kFourCc;
        h[21] = 0x31545844;  // "DXT1"
    } else {
        h[20] = kRgb | kAlphaPixels;
        h[22] = 32;
        h[23] = 0x00ff0000;
        h[24] = 0x0000ff00;
        h[25] = 0x000000ff;
        h[26] = 0xff000000;
    }
    h[27] = kTexture | kMipmap | kComplex;
    std::vector<std::uint8_t> bytes(128);
    for (int i = 0; i < 32; ++i)
        for (int b = 0; b < 4; ++b) bytes[static_cast<std::size_t>(4 * i + b)] = static_cast<std::uint8_t>(h[static_cast<std::size_t>(i)] >> (8 * b));
    return bytes;
}

void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();  // a failed final flush shows only here
    if (!out) throw std::runtime_error(path + ": cannot write");
}

}  // namespace

Image main_flame_image() {
    // A hot core, white going to yellow and orange outward, long along the flame (v).
    constexpr int kSize = 256;
    Image img = blank(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double u = (x + 0.5) / kSize * 2.0 - 1.0, v = (y + 0.5) / kSize * 2.0 - 1.0;
            const double flicker = 0.85 + 0.3 * value_noise(x, y * 0.25, 16.0, 7u);
            const double across = std::exp(-std::pow(u / (0.42 * flicker), 2.0));
            const double along = std::exp(-std::pow(v / 0.8, 4.0));
            const double core = std::exp(-std::pow(u / 0.16, 2.0)) * along;
            const double edge = std::clamp((1.0 - std::max(std::fabs(u), std::fabs(v))) * 8.0, 0.0, 1.0);
            const double a = std::clamp(across * along * 1.1, 0.0, 1.0) * edge;
            set(img, x, y, static_cast<float>(0.95 + 0.05 * core), static_cast<float>(0.55 + 0.45 * core),
                static_cast<float>(0.2 + 0.75 * core * core), static_cast<float>(a));
        }
    return img;
}

Image rcs_jet_image() {
    // A small, bluish-white jet: round and soft.
    constexpr int kSize = 128;
    Image img = blank(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double u = (x + 0.5) / kSize * 2.0 - 1.0, v = (y + 0.5) / kSize * 2.0 - 1.0;
            const double r2 = u * u / 0.25 + v * v / 0.6;
            const double glow = std::exp(-2.5 * r2);
            const double core = std::exp(-12.0 * r2);
            const double a = std::clamp(glow * 1.2 - 0.05, 0.0, 1.0);
            set(img, x, y, static_cast<float>(0.75 + 0.25 * core), static_cast<float>(0.85 + 0.15 * core), 1.0f,
                static_cast<float>(a));
        }
    return img;
}

Image smoke_puff_image() {
    // A soft grey-white puff with a ragged rim.
    constexpr int kSize = 128;
    Image img = blank(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double u = (x + 0.5) / kSize * 2.0 - 1.0, v = (y + 0.5) / kSize * 2.0 - 1.0;
            const double ragged = 0.75 + 0.35 * value_noise(x, y, 14.0, 3u) + 0.15 * value_noise(x, y, 5.0, 11u);
            const double r = std::sqrt(u * u + v * v) / ragged;
            const double a = std::clamp(0.9 * std::exp(-3.0 * r * r) * (1.0 - std::clamp((r - 0.8) * 5.0, 0.0, 1.0)), 0.0, 1.0);
            const float shade = static_cast<float>(0.8 + 0.15 * value_noise(x, y, 9.0, 5u));
            set(img, x, y, shade, shade, static_cast<float>(shade * 1.02), static_cast<float>(a));
        }
    return img;
}

Image hull_skin_image() {
    // The skin seen from above over 50 m across and 100 m along (u = 0.5 + x/50,
    // v = 0.5 - z/100): panels of slightly differing grey, panel lines, a dark carbon nose
    // cap and dark wing leading edges.
    constexpr int kSize = 1024;
    constexpr double kSpanX = 50.0, kSpanZ = 100.0;
    constexpr double kPanelX = 2.0, kPanelZ = 2.5;   // m
    constexpr double kLine = 0.06;                   // m, half the width of a panel line
    Image img = blank(kSize, kSize);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px) {
            const double x = ((px + 0.5) / kSize - 0.5) * kSpanX;
            const double z = (0.5 - (py + 0.5) / kSize) * kSpanZ;
            const int cx = static_cast<int>(std::floor(x / kPanelX)), cz = static_cast<int>(std::floor(z / kPanelZ));
            const double dx = std::fabs(x - std::round(x / kPanelX) * kPanelX);
            const double dz = std::fabs(z - std::round(z / kPanelZ) * kPanelZ);
            double shade = 0.86 + 0.06 * lattice(cx, cz, 17u) + 0.02 * value_noise(px, py, 3.0, 23u);
            if (dx < kLine || dz < kLine) shade -= 0.22;
            const double ax = std::fabs(x);
            const double wing_le = -26.0 - (ax - 2.0) * (12.6 / 22.5);
            const bool leading_edge = ax > 9.0 && ax < 24.6 && z < wing_le + 0.1 && z > wing_le - 0.9;
            if (z > 43.5 || leading_edge) shade = 0.2 + 0.04 * value_noise(px, py, 4.0, 29u);
            set(img, px, py, static_cast<float>(shade), static_cast<float>(shade), static_cast<float>(shade * 1.01), 1.0f);
        }
    return img;
}

void write_dds_bgra(const std::string& path, const Image& image) {
    const std::vector<Image> chain = mip_chain(image);
    std::vector<std::uint8_t> bytes = dds_header(image.width, image.height, static_cast<int>(chain.size()), false, 0);
    for (const Image& level : chain)
        for (int y = 0; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x) {
                const float* p = level.at(x, y);
                bytes.insert(bytes.end(), {byte_of(p[2]), byte_of(p[1]), byte_of(p[0]), byte_of(p[3])});
            }
    write_bytes(path, bytes);
}

void write_dds_dxt1(const std::string& path, const Image& image) {
    const std::vector<Image> chain = mip_chain(image);
    const std::uint32_t top = static_cast<std::uint32_t>(std::max(1, image.width / 4) * std::max(1, image.height / 4) * 8);
    std::vector<std::uint8_t> bytes = dds_header(image.width, image.height, static_cast<int>(chain.size()), true, top);
    for (const Image& level : chain) {
        const int bw = std::max(1, (level.width + 3) / 4), bh = std::max(1, (level.height + 3) / 4);
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                unsigned char block[64];
                for (int k = 0; k < 16; ++k) {
                    const int x = std::min(level.width - 1, 4 * bx + k % 4), y = std::min(level.height - 1, 4 * by + k / 4);
                    const float* p = level.at(x, y);
                    for (int c = 0; c < 4; ++c) block[4 * k + c] = byte_of(p[c]);
                }
                unsigned char out[8];
                stb_compress_dxt_block(out, block, 0, STB_DXT_HIGHQUAL);
                bytes.insert(bytes.end(), out, out + 8);
            }
    }
    write_bytes(path, bytes);
}

std::string png_bytes(const Image& image) {
    std::vector<unsigned char> pixels;
    pixels.reserve(image.rgba.size());
    for (float v : image.rgba) pixels.push_back(byte_of(v));
    std::string out;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
        },
        &out, image.width, image.height, 4, pixels.data(), image.width * 4);
    return out;
}

}  // namespace korvan_assets
