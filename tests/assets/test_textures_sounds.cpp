// The textures and sounds as written into the run tree: real DDS images with alpha and
// mipmaps, and 16-bit sounds at a sensible level, the jet's loop without a seam.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kRunTree = KORVAN_RUN_TREE;

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(KorvanTextures, each_is_a_dds_with_all_its_mipmaps_and_the_flames_and_smoke_fade_out_through_alpha) {
    for (const char* name : {"Exhaust_atsme", "exhaust_atrcs", "Contrail2", "Korvan_hull"}) {
        std::ifstream in(kRunTree + "/Textures/" + name + ".dds", std::ios::binary);
        const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(b.size(), 128u) << name;
        EXPECT_EQ(u32(b, 0), 0x20534444u) << name;  // "DDS "
        EXPECT_EQ(u32(b, 4), 124u);
        const std::uint32_t height = u32(b, 12), width = u32(b, 16), mips = u32(b, 28), format_flags = u32(b, 80);
        EXPECT_GE(std::min(width, height), 64u) << name;
        EXPECT_EQ(mips, static_cast<std::uint32_t>(std::log2(std::max(width, height))) + 1) << name;
        EXPECT_NE(u32(b, 8) & 0x20000u, 0u) << name << ": no mipmap count flag";
        const bool dxt1 = (format_flags & 0x4u) != 0 && u32(b, 84) == 0x31545844u;
        std::size_t expected_size = 128;
        for (std::uint32_t level = 0, w = width, h = height; level < mips; ++level, w = std::max(1u, w / 2), h = std::max(1u, h / 2))
            expected_size += dxt1 ? std::max(1u, (w + 3) / 4) * std::max(1u, (h + 3) / 4) * 8 : w * h * 4;
        EXPECT_EQ(b.size(), expected_size) << name;
        if (dxt1) continue;  // the hull: opaque
        ASSERT_EQ(format_flags, 0x41u) << name << ": not 32-bit colour with alpha";
        EXPECT_EQ(u32(b, 104), 0xff000000u) << name << ": alpha mask";
        // Level 0: opaque somewhere, transparent at the rim; every smaller level keeps the
        // average alpha (it is the image made smaller, not filler).
        std::size_t at = 128;
        double first_mean = -1.0;
        for (std::uint32_t level = 0, w = width, h = height; level < mips; ++level, w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
            double sum = 0.0;
            unsigned max_alpha = 0;
            for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
                sum += b[at + 4 * i + 3];
                max_alpha = std::max<unsigned>(max_alpha, b[at + 4 * i + 3]);
            }
            if (level == 0) {
                first_mean = sum / (w * h);
                EXPECT_GE(max_alpha, 200u) << name;
                EXPECT_EQ(b[at + 3], 0) << name << ": corner not transparent";
            } else if (w >= 4) {
                EXPECT_NEAR(sum / (w * h), first_mean, 3.0) << name << " level " << level;
            }
            at += static_cast<std::size_t>(w) * h * 4;
        }
    }
}

struct Wave {
    SF_INFO info{};
    std::vector<double> samples;
};

Wave read_wave(const std::string& path) {
    Wave w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    if (f == nullptr) return w;
    w.samples.resize(static_cast<std::size_t>(w.info.frames * w.info.channels));
    sf_read_double(f, w.samples.data(), static_cast<sf_count_t>(w.samples.size()));
    sf_close(f);
    return w;
}

double db(double level) { return 20.0 * std::log10(level); }
double rms(const std::vector<double>& s, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += s[i] * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(KorvanSounds, each_is_16_bit_pcm_long_enough_loud_enough_unclipped_and_the_jet_loops_without_a_seam) {
    struct Expectation {
        const char* name;
        double min_seconds, max_seconds;
    };
    const Expectation sounds[] = {{"gear", 3.8, 5.0}, {"stg2sep", 1.0, 4.0}, {"fasep", 1.0, 4.0}, {"jet", 2.0, 6.0}};
    std::vector<std::vector<double>> all;
    for (const Expectation& e : sounds) {
        const Wave w = read_wave(kRunTree + "/Sound/Korvan/" + e.name + ".wav");
        ASSERT_FALSE(w.samples.empty()) << e.name;
        EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << e.name;
        EXPECT_GE(w.info.samplerate, 22050) << e.name;
        const double seconds = static_cast<double>(w.info.frames) / w.info.samplerate;
        EXPECT_GE(seconds, e.min_seconds) << e.name;
        EXPECT_LE(seconds, e.max_seconds) << e.name;
        double peak = 0.0;
        for (double v : w.samples) peak = std::max(peak, std::fabs(v));
        EXPECT_LT(db(peak), -0.5) << e.name << ": clipped or at full scale";
        EXPECT_GT(db(peak), -6.0) << e.name << ": too quiet";
        EXPECT_GT(db(rms(w.samples, 0, w.samples.size())), -30.0) << e.name;
        all.push_back(w.samples);
    }
    // The gear's loudest moment is its locking clunk, near its end.
    const std::vector<double>& gear = all[0];
    const std::size_t window = gear.size() / 80;
    std::size_t loudest = 0;
    double loudest_rms = 0.0;
    for (std::size_t i = 0; i + window < gear.size(); i += window / 2)
        if (rms(gear, i, i + window) > loudest_rms) loudest_rms = rms(gear, i, i + window), loudest = i;
    EXPECT_GT(static_cast<double>(loudest) / gear.size(), 0.8);
    EXPECT_NE(all[1].size(), all[2].size()) << "the two separations sound alike";

    // The jet: the step from its last sample to its first is no bigger than the steps within
    // it, and its level at the end matches its start.
    const std::vector<double>& jet = all[3];
    std::vector<double> steps;
    for (std::size_t i = 1; i < jet.size(); ++i) steps.push_back(std::fabs(jet[i] - jet[i - 1]));
    std::sort(steps.begin(), steps.end());
    EXPECT_LE(std::fabs(jet.front() - jet.back()), steps[steps.size() * 99 / 100]);
    const std::size_t tenth = jet.size() / 30;
    EXPECT_NEAR(db(rms(jet, 0, tenth)), db(rms(jet, jet.size() - tenth, jet.size())), 3.0);
}

}  // namespace
