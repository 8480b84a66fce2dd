// flight.acmi and flight.czml read back from disk and held against the telemetry of the same
// flight: positions, attitudes, gear, Mach, angle of attack, propellant and bookmarks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "default_ascent.h"
#include "simulation.h"

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep) out.emplace_back();
        else out.back().push_back(c);
    }
    return out;
}

double angle_gap(double a, double b) { return std::abs(std::remainder(a - b, 360.0)); }

// The values of samples (t, v0, v1, ...) at time t, linear between neighbours.
std::vector<double> at(const std::vector<std::vector<double>>& samples, double t) {
    size_t j = 1;
    while (j + 1 < samples.size() && samples[j][0] < t) ++j;
    const auto &a = samples[j - 1], &b = samples[j];
    const double f = std::clamp((t - a[0]) / (b[0] - a[0]), 0.0, 1.0);
    std::vector<double> v(a.size());
    for (size_t k = 0; k < a.size(); ++k) v[k] = a[k] + (b[k] - a[k]) * f;
    return v;
}

struct Angles {
    double pitch, bank, heading;
};

// Pitch, bank and heading of the vessel axes (forward, right, up) given in east, up, north.
Angles angles(const double f[3], const double r[3], const double u[3]) {
    return {std::asin(f[1]) / kRad, std::atan2(r[1], u[1]) / kRad, std::atan2(f[0], f[2]) / kRad};
}

// v rotated by the unit quaternion (w, x, y, z).
void rotate(const double q[4], const double v[3], double out[3]) {
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    const double m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    for (int i = 0; i < 3; ++i) out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
}

TEST(WatchExports, ReadBackAgreeWithTheTelemetryOfTheAscent) {
    const std::string dir = ::testing::TempDir() + "korvan_watch_exports";
    std::filesystem::remove_all(dir);
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.until = 600.0;  // runway, gear up, Mach 1, the engine switch and the cut-off
    opt.out_dir = dir;
    opt.write_replay = false;
    sim::Simulation s(opt);
    s.run();
    s.write_outputs();

    // The telemetry's own attitude quaternion gives its pitch, bank and heading on every row.
    const std::vector<std::string> names = split(sim::telemetry_header(), ',');
    auto col = [&](const std::string& n) { return static_cast<size_t>(std::find(names.begin(), names.end(), n) - names.begin()); };
    std::vector<std::vector<double>> rows;
    for (const std::string& line : s.telemetry_rows()) {
        std::vector<double> r;
        for (const std::string& cell : split(line, ',')) r.push_back(std::stod(cell));
        const double q[4] = {r[col("qw")], r[col("qx")], r[col("qy")], r[col("qz")]};
        double f[3], right[3], u[3];
        rotate(q, std::array<double, 3>{0, 0, 1}.data(), f);
        rotate(q, std::array<double, 3>{1, 0, 0}.data(), right);
        rotate(q, std::array<double, 3>{0, 1, 0}.data(), u);
        const Angles a = angles(f, right, u);
        EXPECT_NEAR(a.pitch, r[col("pitch_deg")], 1e-6);
        EXPECT_LT(angle_gap(a.heading, r[col("heading_deg")]), 1e-6);
        EXPECT_LT(angle_gap(a.bank, r[col("bank_deg")]), 1e-6);
        rows.push_back(r);
    }
    ASSERT_GT(rows.size(), 590u);

    // flight.acmi: the Korvan as object 1, its moments, and a bookmark for each event.
    const std::string acmi = read_text(dir + "/flight.acmi");
    ASSERT_EQ(acmi.rfind("FileType=text/acmi/tacview\nFileVersion=2.2\n", 0), 0u);
    std::vector<std::vector<double>> track;  // t, lon, lat, alt, roll, pitch, yaw, gear, mach, aoa, fuel
    std::vector<std::pair<std::string, double>> bookmarks;
    std::string reference_time, name, type;
    double moment = -1.0;
    for (const std::string& line : split(acmi, '\n')) {
        if (line.rfind("0,ReferenceTime=", 0) == 0) reference_time = line.substr(16);
        if (line.rfind("0,Event=Bookmark|", 0) == 0) bookmarks.emplace_back(line.substr(17), moment);
        if (line.rfind("#", 0) == 0) {
            EXPECT_GE(std::stod(line.substr(1)), moment) << "moments go forward";
            moment = std::stod(line.substr(1));
        }
        if (line.rfind("1,", 0) != 0) continue;
        std::map<std::string, std::string> props;
        for (const std::string& p : split(line.substr(2), ',')) props[p.substr(0, p.find('='))] = p.substr(p.find('=') + 1);
        if (props.count("Name")) name = props["Name"], type = props["Type"];
        std::vector<double> sample{moment};
        for (const std::string& v : split(props["T"], '|')) sample.push_back(std::stod(v));
        for (const char* p : {"LandingGear", "Mach", "AOA", "FuelWeight"}) sample.push_back(std::stod(props[p]));
        track.push_back(sample);
    }
    EXPECT_EQ(name, "Korvan1");
    EXPECT_EQ(type, "Air+FixedWing");
    EXPECT_EQ(reference_time, "2023-02-25T12:00:00Z");  // the scenario's MJD 60000.5
    ASSERT_EQ(bookmarks.size(), s.events().size());
    for (size_t i = 0; i < bookmarks.size(); ++i) {
        EXPECT_EQ(bookmarks[i].first, s.events()[i].name);
        EXPECT_NEAR(bookmarks[i].second, s.events()[i].time, 0.005);
    }
    // The track is thinned to what interpolation needs: far fewer moments than 10 a second.
    EXPECT_LT(track.size(), 6000u);
    for (const auto& r : rows) {
        const double t = r[col("time_s")];
        if (t < 1.0) continue;  // the gear's animation follows its travel from the first step on
        const std::vector<double> a = at(track, t);
        EXPECT_NEAR(a[1], r[col("longitude_deg")], 3e-5) << t;
        EXPECT_NEAR(a[2], r[col("latitude_deg")], 3e-5) << t;
        EXPECT_NEAR(a[3], r[col("altitude_m")], 3.0) << t;
        EXPECT_NEAR(a[4], -r[col("bank_deg")], 0.3) << t;
        EXPECT_NEAR(a[5], r[col("pitch_deg")], 0.3) << t;
        EXPECT_LT(angle_gap(a[6], r[col("heading_deg")]), 0.3) << t;
        EXPECT_NEAR(a[7], r[col("gear_position")], 0.01) << t;
        EXPECT_NEAR(a[8], r[col("mach")], 0.02 + 0.002 * r[col("mach")]) << t;
        EXPECT_NEAR(a[10], r[col("fuel_kg")], 0.002 * r[col("fuel_kg")]) << t;
    }

    // flight.czml: the same epoch, positions, and an orientation that, turned into the local
    // horizon at each position, gives the telemetry's pitch, bank and heading.
    const nlohmann::json czml = nlohmann::json::parse(read_text(dir + "/flight.czml"));
    ASSERT_EQ(czml[0]["id"], "document");
    const nlohmann::json& korvan = czml[1];
    ASSERT_EQ(korvan["id"], "Korvan1");
    EXPECT_EQ(korvan["position"]["epoch"], reference_time);
    auto samples = [](const nlohmann::json& flat, size_t width) {
        std::vector<std::vector<double>> out;
        for (size_t i = 0; i + width <= flat.size(); i += width)
            out.emplace_back(flat.begin() + static_cast<long>(i), flat.begin() + static_cast<long>(i + width));
        return out;
    };
    const auto position = samples(korvan["position"]["cartographicDegrees"], 4);
    const auto orientation = samples(korvan["orientation"]["unitQuaternion"], 5);
    for (const auto& r : rows) {
        const double t = r[col("time_s")];
        const std::vector<double> p = at(position, t);
        EXPECT_NEAR(p[1], r[col("longitude_deg")], 3e-5) << t;
        EXPECT_NEAR(p[2], r[col("latitude_deg")], 3e-5) << t;
        EXPECT_NEAR(p[3], r[col("altitude_m")], 3.0) << t;
        std::vector<double> o = at(orientation, t);
        const double n = std::sqrt(o[1] * o[1] + o[2] * o[2] + o[3] * o[3] + o[4] * o[4]);
        const double q[4] = {o[4] / n, o[1] / n, o[2] / n, o[3] / n};  // Cesium writes x, y, z, w
        const double lon = r[col("longitude_deg")] * kRad, lat = r[col("latitude_deg")] * kRad;
        const double east[3] = {-std::sin(lon), std::cos(lon), 0};
        const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
        const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
        auto horizon = [&](const double v[3], double h[3]) {
            double e[3];
            rotate(q, v, e);
            h[0] = e[0] * east[0] + e[1] * east[1] + e[2] * east[2];
            h[1] = e[0] * up[0] + e[1] * up[1] + e[2] * up[2];
            h[2] = e[0] * north[0] + e[1] * north[1] + e[2] * north[2];
        };
        // Cesium's model axes: x forward, y left, z up.
        const double fwd_b[3] = {1, 0, 0}, right_b[3] = {0, -1, 0}, up_b[3] = {0, 0, 1};
        double f[3], right[3], u[3];
        horizon(fwd_b, f), horizon(right_b, right), horizon(up_b, u);
        const Angles a = angles(f, right, u);
        EXPECT_NEAR(a.pitch, r[col("pitch_deg")], 0.3) << t;
        EXPECT_LT(angle_gap(a.bank, r[col("bank_deg")]), 0.3) << t;
        EXPECT_LT(angle_gap(a.heading, r[col("heading_deg")]), 0.3) << t;
    }
}

}  // namespace
