#include "sounds.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>

namespace korvan_assets {

namespace {

constexpr double kDt = 1.0 / kSampleRate;

// White noise in -1..1 from a generator whose sequence the standard fixes.
class Noise {
public:
    explicit Noise(unsigned seed) : engine_(seed) {}
    double operator()() { return static_cast<double>(engine_()) / 2147483648.0 - 1.0; }

private:
    std::mt19937 engine_;
};

// One-pole low-pass at `hz`.
class LowPass {
public:
    explicit LowPass(double hz) { set(hz); }
    void set(double hz) { a_ = 1.0 - std::exp(-2.0 * M_PI * hz * kDt); }
    double operator()(double x) { return y_ += a_ * (x - y_); }

private:
    double a_ = 0.0, y_ = 0.0;
};

std::size_t samples_for(double seconds) { return static_cast<std::size_t>(std::lround(seconds * kSampleRate)); }

// Scales to the given peak (dBFS).
void normalise(std::vector<double>& s, double peak_db) {
    double peak = 0.0;
    for (double v : s) peak = std::max(peak, std::fabs(v));
    if (peak <= 0.0) return;
    const double gain = std::pow(10.0, peak_db / 20.0) / peak;
    for (double& v : s) v *= gain;
}

// A short fade at the start and the end, so that playback starts and stops without a click.
void fade_ends(std::vector<double>& s, double seconds) {
    const std::size_t n = std::min(s.size() / 2, samples_for(seconds));
    for (std::size_t i = 0; i < n; ++i) {
        const double g = static_cast<double>(i) / n;
        s[i] *= g;
        s[s.size() - 1 - i] *= g;
    }
}

// A decaying knock: a low thump, a metallic ring and a click of noise.
void add_knock(std::vector<double>& s, double at, double thump_hz, double ring_hz, double level, Noise& noise) {
    const std::size_t start = samples_for(at);
    LowPass click_filter(3000.0);
    for (std::size_t i = start; i < s.size(); ++i) {
        const double t = (i - start) * kDt;
        const double thump = std::sin(2 * M_PI * thump_hz * t) * std::exp(-t / 0.12);
        const double ring = 0.35 * std::sin(2 * M_PI * ring_hz * t) * std::exp(-t / 0.06) +
                            0.2 * std::sin(2 * M_PI * ring_hz * 2.76 * t) * std::exp(-t / 0.03);
        const double click = click_filter(noise()) * std::exp(-t / 0.012) * 2.0;
        s[i] += level * (thump + ring + click);
    }
}

}  // namespace

Sound gear_sound() {
    // An electro-hydraulic motor spins up, runs for the gear's 4 s, spins down, and the
    // locks close with a clunk.
    constexpr double kLength = 4.3, kRunEnd = 3.75, kClunk = 3.78;
    std::vector<double> s(samples_for(kLength), 0.0);
    Noise noise(20);
    LowPass hiss_filter(900.0), whine_filter(2500.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = i * kDt;
        const double up = std::clamp(t / 0.25, 0.0, 1.0), down = std::clamp((kRunEnd - t) / 0.2, 0.0, 1.0);
        const double envelope = up * down;
        const double hz = 70.0 + 45.0 * up - 25.0 * (1.0 - down) + 3.0 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * hz * kDt;
        double motor = 0.0;
        for (int k = 1; k <= 8; ++k) motor += std::sin(k * phase) / k;
        const double whine = 0.25 * std::sin(7.3 * phase);
        const double hiss = 0.5 * hiss_filter(noise());
        s[i] = envelope * (0.55 * whine_filter(motor) + whine + hiss);
    }
    add_knock(s, kClunk, 55.0, 1900.0, 1.6, noise);
    add_knock(s, kClunk + 0.05, 48.0, 1450.0, 0.8, noise);
    fade_ends(s, 0.005);
    normalise(s, -3.0);
    return {"gear.wav", s};
}

Sound stage_separation_sound() {
    // Pyrotechnic bolts: a sharp crack that darkens as it dies, over a deep boom.
    constexpr double kLength = 2.6;
    std::vector<double> s(samples_for(kLength), 0.0);
    Noise noise(24);
    LowPass crack_filter(8000.0), rumble_filter(120.0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = i * kDt;
        crack_filter.set(200.0 + 7800.0 * std::exp(-t / 0.08));
        const double crack = crack_filter(noise()) * std::exp(-t / 0.25);
        const double boom = std::sin(2 * M_PI * (38.0 + 20.0 * std::exp(-t / 0.1)) * t) * std::exp(-t / 0.45);
        const double rumble = 3.0 * rumble_filter(noise()) * std::exp(-t / 0.7);
        s[i] = 0.9 * crack + 0.8 * boom + rumble;
    }
    fade_ends(s, 0.002);
    normalise(s, -1.5);
    return {"stg2sep.wav", s};
}

Sound fairing_separation_sound() {
    // Latches let go one after the other with metallic clanks; springs and gas hiss after.
    constexpr double kLength = 1.9;
    std::vector<double> s(samples_for(kLength), 0.0);
    Noise noise(25);
    add_knock(s, 0.02, 90.0, 1130.0, 1.0, noise);
    add_knock(s, 0.14, 80.0, 1420.0, 0.8, noise);
    add_knock(s, 0.23, 95.0, 980.0, 0.6, noise);
    LowPass low(2500.0);
    for (std::size_t i = samples_for(0.05); i < s.size(); ++i) {
        const double t = i * kDt - 0.05;
        const double white = noise();
        const double hiss = (white - low(white)) * std::exp(-t / 0.5) * std::min(1.0, t / 0.03);
        s[i] += 0.45 * hiss;
    }
    fade_ends(s, 0.002);
    normalise(s, -3.0);
    return {"fasep.wav", s};
}

Sound jet_sound() {
    // Broadband roar (noise shaped toward the low end) with a turbine tone. The tones have a
    // whole number of cycles in the loop, and the noise's end is cross-faded into its start,
    // so that the loop has no seam.
    constexpr double kLength = 3.0, kCrossFade = 0.5;
    const std::size_t n = samples_for(kLength), fade = samples_for(kCrossFade);
    std::vector<double> raw(n + fade);
    Noise noise(26);
    LowPass rumble(90.0), roar(600.0), air(3500.0);
    for (double& v : raw) {
        const double w = noise();
        v = 2.2 * rumble(w) + 1.0 * roar(w) + 0.35 * air(w) + 0.05 * w;
    }
    std::vector<double> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (i < fade) {
            const double g = std::sin(0.5 * M_PI * static_cast<double>(i) / fade);  // equal power
            s[i] = raw[i] * g + raw[n + i] * std::cos(0.5 * M_PI * static_cast<double>(i) / fade);
        } else {
            s[i] = raw[i];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * kDt;
        s[i] += 0.12 * std::sin(2 * M_PI * 380.0 * t) + 0.05 * std::sin(2 * M_PI * 1140.0 * t);
    }
    normalise(s, -2.0);
    return {"jet.wav", s};
}

void write_wav(const std::string& path, const Sound& sound) {
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    std::vector<short> pcm;
    pcm.reserve(sound.samples.size());
    for (double v : sound.samples) pcm.push_back(static_cast<short>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0)));
    const sf_count_t written = sf_write_short(file, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    const bool closed = sf_close(file) == 0;
    if (written != static_cast<sf_count_t>(pcm.size()) || !closed) throw std::runtime_error(path + ": write failed");
}

}  // namespace korvan_assets
