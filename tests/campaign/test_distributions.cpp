// Dispersed values over many generated cases: within their bounds, with the moments of their
// distribution (compared with the formulas of the truncated normal), the same whatever else the
// campaign holds, and written so that they read back exactly.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <map>
#include <numeric>

#include "distributions.h"
#include "results.h"

namespace {

using campaign::Distribution;
using campaign::DistributionKind;

constexpr int kDraws = 40000;

// Mean and standard deviation of a normal truncated to [low, high], from its closed form.
std::pair<double, double> truncated_normal_moments(double mean, double sd, double low, double high) {
    const double a = (low - mean) / sd, b = (high - mean) / sd;
    auto pdf = [](double z) { return std::exp(-0.5 * z * z) / std::sqrt(2 * M_PI); };
    auto cdf = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
    const double mass = cdf(b) - cdf(a);
    const double shift = (pdf(a) - pdf(b)) / mass;
    const double var = 1 + (a * pdf(a) - b * pdf(b)) / mass - shift * shift;
    return {mean + sd * shift, sd * std::sqrt(var)};
}

TEST(Distributions, DrawWithinBoundsWithTheirMomentsAndReadBackExactly) {
    Distribution uniform{DistributionKind::Uniform, 60, 80};
    Distribution normal{DistributionKind::Normal};
    normal.mean = 0.95, normal.sd = 0.02, normal.low = 0.85, normal.high = 1.0;
    Distribution tail = normal;  // an interval far above the mean, mirrored below it to draw
    tail.low = 1.05, tail.high = 1.2;
    Distribution choice{DistributionKind::Choice};
    choice.choices = {"a", "b", "c"}, choice.weights = {1, 0, 3};
    for (const Distribution* d : {&uniform, &normal, &tail}) {
        ASSERT_EQ(campaign::distribution_problem(*d), "");
        std::vector<double> x;
        for (long n = 0; n < kDraws; ++n) {
            campaign::Rng rng(campaign::parameter_seed(campaign::case_seed(7, n), "p"));
            const std::string text = campaign::draw(*d, rng);
            double back = 0;
            std::from_chars(text.data(), text.data() + text.size(), back);
            ASSERT_EQ(campaign::exact_text(back), text);
            ASSERT_GE(back, d->low);
            ASSERT_LE(back, d->high);
            x.push_back(back);
        }
        const double m = std::accumulate(x.begin(), x.end(), 0.0) / kDraws;
        double ss = 0;
        for (double v : x) ss += (v - m) * (v - m);
        const double s = std::sqrt(ss / (kDraws - 1));
        const auto [em, es] = d->kind == DistributionKind::Uniform
                                  ? std::pair(70.0, 20.0 / std::sqrt(12.0))
                                  : truncated_normal_moments(d->mean, d->sd, d->low, d->high);
        EXPECT_NEAR(m, em, 4 * es / std::sqrt(kDraws));
        EXPECT_NEAR(s, es, 0.02 * es);
    }
    std::map<std::string, int> counts;
    for (long n = 0; n < kDraws; ++n) {
        campaign::Rng rng(campaign::case_seed(3, n));
        ++counts[campaign::draw(choice, rng)];
    }
    EXPECT_EQ(counts["b"], 0);
    EXPECT_NEAR(counts["c"] / double(kDraws), 0.75, 0.01);
}

// A case's seed depends on the campaign seed and the case number alone, every parameter's
// value on the case seed and its own name: no two cases or parameters share a stream.
TEST(Distributions, SeedsDependOnTheCaseAndTheNameAlone) {
    std::map<uint64_t, long> seen;
    for (long n = 0; n < kDraws; ++n) {
        const uint64_t s = campaign::case_seed(11, n);
        ASSERT_EQ(seen.count(s), 0u);
        seen[s] = n;
        ASSERT_NE(campaign::parameter_seed(s, "azimuth"), campaign::parameter_seed(s, "fuel"));
    }
    EXPECT_NE(campaign::case_seed(11, 0), campaign::case_seed(12, 0));
}

// Wilson's interval against published values (Newcombe 1998, Table I: 81/263 and 0/20).
TEST(Results, SuccessIntervalsAndPercentiles) {
    const auto [lo1, hi1] = campaign::wilson_interval(81, 263);
    EXPECT_NEAR(lo1, 0.2553, 5e-4);
    EXPECT_NEAR(hi1, 0.3662, 5e-4);
    const auto [lo2, hi2] = campaign::wilson_interval(0, 20);
    EXPECT_EQ(lo2, 0.0);
    EXPECT_NEAR(hi2, 0.1611, 5e-4);
    const std::vector<double> sorted = {1, 2, 3, 4, 5};
    EXPECT_DOUBLE_EQ(campaign::percentile(sorted, 50), 3);
    EXPECT_DOUBLE_EQ(campaign::percentile(sorted, 5), 1.2);
    EXPECT_DOUBLE_EQ(campaign::percentile(sorted, 95), 4.8);
}

}  // namespace
