#include "distributions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <tuple>

namespace campaign {

namespace {

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;  // 2^64 over the golden ratio
constexpr double kTwoToMinus53 = 1.0 / 9007199254740992.0;
// A truncated normal whose interval holds less of the distribution than this is almost surely
// a mistake in the file (and its draws would lose precision).
constexpr double kLeastProbability = 1e-12;
// Standard deviations beyond which the normal's tails are taken as empty.
constexpr double kTailEnd = 40.0;
constexpr int kBisections = 200;

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// The standard normal truncated to [a, b], as drawn by inverting its distribution function at
// u. Intervals above the mean are mirrored below it, where the function keeps its precision.
struct StandardInterval {
    double a, b;
    bool mirrored;
};
StandardInterval standard_interval(const Distribution& d) {
    double a = (d.low - d.mean) / d.sd, b = (d.high - d.mean) / d.sd;
    const bool mirrored = a > 0.0;
    if (mirrored) std::tie(a, b) = std::pair(-b, -a);
    return {std::max(a, -kTailEnd), std::min(b, kTailEnd), mirrored};
}

double draw_normal(const Distribution& d, double u) {
    if (d.sd == 0.0) return d.mean;
    const StandardInterval s = standard_interval(d);
    const double pa = normal_cdf(s.a), pb = normal_cdf(s.b);
    const double target = pa + u * (pb - pa);
    double lo = s.a, hi = s.b;
    for (int i = 0; i < kBisections && lo < hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        (normal_cdf(mid) < target ? lo : hi) = mid;
    }
    const double z = 0.5 * (lo + hi);
    return std::clamp(d.mean + d.sd * (s.mirrored ? -z : z), d.low, d.high);
}

std::string draw_choice(const Distribution& d, double u) {
    if (d.weights.empty()) {
        const size_t i = std::min(d.choices.size() - 1, static_cast<size_t>(u * static_cast<double>(d.choices.size())));
        return d.choices[i];
    }
    const double total = std::accumulate(d.weights.begin(), d.weights.end(), 0.0);
    double left = u * total;
    for (size_t i = 0; i < d.choices.size(); ++i) {
        if (left < d.weights[i]) return d.choices[i];
        left -= d.weights[i];
    }
    // Rounding may leave u * total at the very end: the last value with any weight.
    for (size_t i = d.choices.size(); i-- > 0;)
        if (d.weights[i] > 0.0) return d.choices[i];
    return d.choices.back();
}

}  // namespace

uint64_t Rng::next() {
    state_ += kGolden;
    return mix(state_);
}

double Rng::uniform() { return (static_cast<double>(next() >> 11) + 0.5) * kTwoToMinus53; }

uint64_t case_seed(uint64_t campaign_seed, long case_number) {
    return mix(mix(campaign_seed) + kGolden * static_cast<uint64_t>(case_number + 1));
}

uint64_t parameter_seed(uint64_t case_seed, const std::string& parameter) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the name
    for (unsigned char c : parameter) h = (h ^ c) * 0x100000001B3ull;
    return mix(case_seed ^ h);
}

std::string distribution_problem(const Distribution& d) {
    switch (d.kind) {
        case DistributionKind::Uniform:
            if (!std::isfinite(d.low) || !std::isfinite(d.high)) return "a uniform distribution needs \"low\" and \"high\"";
            if (d.low > d.high) return "\"low\" " + exact_text(d.low) + " lies above \"high\" " + exact_text(d.high);
            return "";
        case DistributionKind::Normal: {
            if (!std::isfinite(d.mean) || !(d.sd >= 0.0) || !std::isfinite(d.sd))
                return "a normal distribution needs a \"mean\" and an \"sd\" of 0 or more";
            if (d.low > d.high) return "\"low\" " + exact_text(d.low) + " lies above \"high\" " + exact_text(d.high);
            if (d.sd == 0.0)
                return d.mean >= d.low && d.mean <= d.high ? "" : "the mean lies outside [low, high] and sd is 0";
            const StandardInterval s = standard_interval(d);
            if (!(s.a < s.b) || normal_cdf(s.b) - normal_cdf(s.a) < kLeastProbability)
                return "[low, high] holds almost none of the normal distribution (mean " + exact_text(d.mean) + ", sd " +
                       exact_text(d.sd) + ")";
            return "";
        }
        case DistributionKind::Choice:
            if (d.choices.empty()) return "a choice needs a non-empty \"values\" array";
            if (!d.weights.empty()) {
                if (d.weights.size() != d.choices.size()) return "\"weights\" needs one weight for each value";
                for (double w : d.weights)
                    if (!(w >= 0.0) || !std::isfinite(w)) return "weights must be numbers of 0 or more";
                if (!(std::accumulate(d.weights.begin(), d.weights.end(), 0.0) > 0.0)) return "the weights add up to 0";
            }
            return "";
    }
    return "";
}

std::string draw(const Distribution& d, Rng& rng) {
    const double u = rng.uniform();
    switch (d.kind) {
        case DistributionKind::Uniform: return exact_text(d.low + (d.high - d.low) * u);
        case DistributionKind::Normal: return exact_text(draw_normal(d, u));
        case DistributionKind::Choice: return draw_choice(d, u);
    }
    return "";
}

std::string exact_text(double x) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, x);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

}  // namespace campaign
