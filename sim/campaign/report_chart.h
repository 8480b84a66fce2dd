// report.png: the campaign's figures drawn by gnuplot.
#pragma once

#include <string>
#include <vector>

#include "results.h"

namespace campaign {

// The gnuplot script for the chart (its data inline), to be written to `chart`.
std::string report_script(const std::string& chart, const std::string& title, const std::vector<std::string>& columns,
                          const std::vector<CaseResult>& results, const std::string& criterion);
// Draws the chart with gnuplot; "" when it was drawn, else what went wrong.
std::string draw_report(const std::string& chart, const std::string& script);

}  // namespace campaign
