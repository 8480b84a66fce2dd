// Dispersed values: the distributions a campaign file names, and the seeds that make each
// case's values depend on the campaign seed, the case number and the parameter's name alone.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace campaign {

enum class DistributionKind { Uniform, Normal, Choice };

struct Distribution {
    DistributionKind kind = DistributionKind::Uniform;
    double low = -std::numeric_limits<double>::infinity();   // uniform: its bounds; normal: truncation
    double high = std::numeric_limits<double>::infinity();
    double mean = 0.0, sd = 0.0;                             // normal
    std::vector<std::string> choices;                        // choice: the values as written
    std::vector<double> weights;                             // choice: one each, or none for equal
};

// A stream of 64-bit numbers (splitmix64): the same on every machine and compiler, unlike the
// standard library's distributions.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next();
    double uniform();  // in (0, 1), never either end

private:
    uint64_t state_;
};

uint64_t case_seed(uint64_t campaign_seed, long case_number);
// Each parameter draws from a stream of its own, so adding a parameter to a campaign leaves
// the values of the others as they were.
uint64_t parameter_seed(uint64_t case_seed, const std::string& parameter);

// Why the distribution cannot be drawn from ("" when it can).
std::string distribution_problem(const Distribution& d);
// One value, as text that reads back to the same number (shortest round trip).
std::string draw(const Distribution& d, Rng& rng);

// The shortest text that reads back to exactly this double.
std::string exact_text(double x);

}  // namespace campaign
