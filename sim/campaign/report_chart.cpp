// The chart: a histogram of each figure over the flights that ended well, apoapsis against
// periapsis coloured by success with the worst cases named, and for the first dispersed values
// the figure that follows each most closely, so that a reader sees the dispersions reach the
// flights.
#include "report_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/wait.h>

#include "distributions.h"

namespace campaign {

namespace {

constexpr int kBins = 20;
constexpr size_t kWorstNamed = 5;
constexpr size_t kFollowedParameters = 2;
constexpr const char* kFigureLabels[kFigureCount] = {"apoapsis (km)",          "periapsis (km)",
                                                     "inclination (deg)",      "propellant left (kg)",
                                                     "highest dynamic pressure (Pa)", "highest acceleration (g)"};

// A panel without data: gnuplot refuses to plot nothing, so a line outside the frame.
constexpr const char* kEmptyPanel = "plot [0:1][0:1] -1 title \"no flight gave this figure\"\n";

struct Point {
    double x, y;
};

bool ended_well(const CaseResult& r) { return r.record && r.record->status == Status::ok; }

std::vector<double> figure_values(const std::vector<CaseResult>& results, size_t f) {
    std::vector<double> v;
    for (const CaseResult& r : results)
        if (ended_well(r) && r.figures[f]) v.push_back(*r.figures[f]);
    return v;
}

// Counts are whole: a histogram's axis has a tic every 1, 2 or 5 times a power of ten cases,
// at most this many of them, never one between two counts.
constexpr int kCountTics = 8;

int count_tic_step(int highest) {
    for (int decade = 1;; decade *= 10)
        for (int step : {decade, 2 * decade, 5 * decade})
            if (step * kCountTics >= highest) return step;
}

std::string histogram_block(const std::string& name, const std::vector<double>& values, double& width, int& highest) {
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    width = *hi > *lo ? (*hi - *lo) / kBins : std::max(1e-9, std::fabs(*lo) * 1e-3 + 1e-9);
    std::vector<int> counts(kBins + 1, 0);
    for (double x : values) ++counts[static_cast<size_t>(std::min<double>(kBins, std::floor((x - *lo) / width)))];
    highest = *std::max_element(counts.begin(), counts.end());
    std::string block = "$" + name + " << EOD\n";
    for (int i = 0; i <= kBins; ++i)
        if (counts[static_cast<size_t>(i)] > 0)
            block += exact_text(*lo + (i + 0.5) * width) + " " + std::to_string(counts[static_cast<size_t>(i)]) + "\n";
    return block + "EOD\n";
}

double correlation(const std::vector<Point>& p) {
    if (p.size() < 3) return 0.0;
    double mx = 0, my = 0;
    for (const Point& q : p) mx += q.x, my += q.y;
    mx /= static_cast<double>(p.size()), my /= static_cast<double>(p.size());
    double sxy = 0, sxx = 0, syy = 0;
    for (const Point& q : p) sxy += (q.x - mx) * (q.y - my), sxx += (q.x - mx) * (q.x - mx), syy += (q.y - my) * (q.y - my);
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0.0;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

// For a numeric dispersed value, the figure that follows it most closely, as a scatter panel.
std::string follow_panel(const std::string& column, size_t index, const std::vector<CaseResult>& results, int panel) {
    std::vector<double> x;
    for (const CaseResult& r : results) {
        char* end = nullptr;
        const double v = std::strtod(r.values[index].c_str(), &end);
        if (*end != '\0') return "";
        x.push_back(v);
    }
    size_t best = 0;
    double best_r = 0.0;
    std::vector<Point> best_points;
    for (size_t f = 0; f < kFigureCount; ++f) {
        std::vector<Point> p;
        for (size_t i = 0; i < results.size(); ++i)
            if (ended_well(results[i]) && results[i].figures[f]) p.push_back({x[i], *results[i].figures[f]});
        const double r = correlation(p);
        if (std::fabs(r) > std::fabs(best_r)) best = f, best_r = r, best_points = p;
    }
    if (best_points.empty()) return "";
    const std::string block = "follow" + std::to_string(panel);
    std::string out = "$" + block + " << EOD\n";
    for (const Point& p : best_points) out += exact_text(p.x) + " " + exact_text(p.y) + "\n";
    char title[64];
    std::snprintf(title, sizeof title, "r = %.3f", best_r);
    out += "EOD\nset title " + quoted(std::string(figure_names()[best]) + " against " + column + ", " + title) +
           "\nset xlabel " + quoted(column) + "\nset ylabel " + quoted(kFigureLabels[best]) + "\nplot $" + block +
           " using 1:2 with points pt 7 ps 0.6 notitle\n";
    return out;
}

}  // namespace

std::string report_script(const std::string& chart, const std::string& title, const std::vector<std::string>& columns,
                          const std::vector<CaseResult>& results, const std::string& criterion) {
    const CampaignSummary s = summarise(results, criterion);
    char heading[256];
    std::snprintf(heading, sizeof heading, "%s: %ld cases, %ld ok, %ld failed, %ld timeout; success %ld/%ld (%.1f %%, 95 %% CI %.1f-%.1f %%)",
                  title.c_str(), s.planned, s.ok, s.failed, s.timeout, s.successes, s.decided, 100 * s.rate,
                  100 * s.low95, 100 * s.high95);
    std::string gp = "set terminal pngcairo size 1500,1350 font \",10\" noenhanced\nset output " + quoted(chart) +
                     "\nset multiplot layout 3,3 title " + quoted(heading) +
                     "\nset grid\nset style fill solid 0.6 border -1\nset key top left\n";
    for (size_t f = 0; f < kFigureCount; ++f) {
        const std::vector<double> values = figure_values(results, f);
        gp += "set xlabel " + quoted(kFigureLabels[f]) + "\nset ylabel \"cases\"\n";
        if (values.empty()) {
            gp += kEmptyPanel;
            continue;
        }
        double width = 1.0;
        int highest = 1;
        gp += histogram_block(figure_names()[f], values, width, highest);
        gp += "set ytics " + std::to_string(count_tic_step(highest)) + "\nset yrange [0:*]\nplot $" +
              std::string(figure_names()[f]) + " using 1:2:(" + exact_text(width * 0.9) +
              ") with boxes notitle\nset autoscale y\nset ytics autofreq\n";
    }
    // Apoapsis against periapsis, coloured by success, the worst cases named.
    std::string good = "$good << EOD\n", bad = "$bad << EOD\n", worst = "$worst << EOD\n";
    for (const CaseResult& r : results) {
        if (!ended_well(r) || !r.figures[0] || !r.figures[1]) continue;
        const std::string row = exact_text(*r.figures[1]) + " " + exact_text(*r.figures[0]) + "\n";
        (succeeded(criterion, Status::ok, r.figures) ? good : bad) += row;
    }
    for (long n : worst_cases(results, kWorstNamed)) {
        const CaseResult& r = results[static_cast<size_t>(n)];
        if (ended_well(r) && r.figures[0] && r.figures[1])
            worst += exact_text(*r.figures[1]) + " " + exact_text(*r.figures[0]) + " case_" + std::to_string(n) + "\n";
    }
    gp += good + "EOD\n" + bad + "EOD\n" + worst + "EOD\n";
    // gnuplot warns of a block without points: only those with some are plotted.
    std::string plots;
    auto add = [&](const std::string& block, const std::string& text, const std::string& how) {
        if (text.find('\n') + 1 < text.size()) plots += (plots.empty() ? "plot " : ", ") + block + " " + how;
    };
    add("$good", good, "using 1:2 with points pt 7 ps 0.6 lc rgb \"#2a9d3f\" title \"success\"");
    add("$bad", bad, "using 1:2 with points pt 7 ps 0.6 lc rgb \"#d1362f\" title \"no success\"");
    add("$worst", worst, "using 1:2:3 with labels point pt 6 ps 1.5 lc rgb \"#d1362f\" left offset 0.8,0.6 font \",8\" notitle");
    gp += "set title \"apoapsis against periapsis; the worst cases named\"\nset key bottom right\n"
          "set xlabel \"periapsis (km)\"\nset ylabel \"apoapsis (km)\"\n" +
          (plots.empty() ? std::string(kEmptyPanel) : plots + "\n");
    int panel = 0;
    for (size_t i = 0; i < columns.size() && panel < static_cast<int>(kFollowedParameters); ++i) {
        const std::string p = follow_panel(columns[i], i, results, panel);
        if (!p.empty()) gp += p, ++panel;
    }
    return gp + "unset multiplot\n";
}

std::string draw_report(const std::string& chart, const std::string& script) {
    FILE* pipe = ::popen("gnuplot", "w");
    if (pipe == nullptr) return "cannot start gnuplot";
    std::fwrite(script.data(), 1, script.size(), pipe);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "gnuplot is not installed (bash scripts/setup.sh)"
                                                               : "gnuplot could not draw " + chart;
    return "";
}

}  // namespace campaign
