// The vessel's textures, drawn here and written as DDS files with their mipmaps: the main
// engines' flame, the attitude thrusters' jet, a smoke puff and the hull's skin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvan_assets {

struct Image {
    int width = 0, height = 0;
    std::vector<float> rgba;  // 0..1, row after row from the top
    float* at(int x, int y) { return &rgba[4 * (static_cast<std::size_t>(y) * width + x)]; }
    const float* at(int x, int y) const { return &rgba[4 * (static_cast<std::size_t>(y) * width + x)]; }
};

Image main_flame_image();
Image rcs_jet_image();
Image smoke_puff_image();
Image hull_skin_image();

// Uncompressed 32-bit BGRA with alpha, full mipmap chain.
void write_dds_bgra(const std::string& path, const Image& image);
// DXT1 (BC1) blocks, full mipmap chain: for the hull, which needs no alpha.
void write_dds_dxt1(const std::string& path, const Image& image);
// The image as PNG bytes.
std::string png_bytes(const Image& image);

}  // namespace korvan_assets
