#include "watch_exports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "flight_data.h"
#include "svg_sketchpad.h"

namespace sim {

namespace {

constexpr double kMjdUnixEpoch = 40587.0;  // 1970-01-01
constexpr double kSecondsPerDay = 86400.0;

// A number with at most `decimals` places, trailing zeros dropped: the exports' files stay
// small and still hold a centimetre, a hundredth of a degree or better.
std::string num(double x, int decimals) {
    if (!std::isfinite(x)) return "0";
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, x);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
        } else if (c == '<') out += "\\u003c";  // never closes the page's <script>
        else out += c;
    }
    return out + "\"";
}

// Vessels of the Korvan's classes fly as aircraft in other tools; anything else is an object.
std::string acmi_type(const VesselTrack& v) {
    return v.class_name.rfind("Korvan", 0) == 0 ? "Air+FixedWing" : "Misc+Container";
}

// ACMI texts escape their separators.
std::string acmi_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == ',' || c == '\\') out += '\\';
        if (c != '\n' && c != '\r') out += c;
    }
    return out;
}

struct TimedSample {
    double t;
    size_t vessel;
    size_t sample;
};

std::vector<TimedSample> merged_samples(const std::vector<VesselTrack>& tracks) {
    std::vector<TimedSample> all;
    for (size_t v = 0; v < tracks.size(); ++v)
        for (size_t i = 0; i < tracks[v].samples.size(); ++i) all.push_back({tracks[v].samples[i].t, v, i});
    std::stable_sort(all.begin(), all.end(), [](const TimedSample& a, const TimedSample& b) { return a.t < b.t; });
    return all;
}

MATRIX3 matrix_from_quaternion(const Quaternion& q) {
    MATRIX3 m;
    m.m11 = 1 - 2 * (q.y * q.y + q.z * q.z), m.m12 = 2 * (q.x * q.y - q.w * q.z), m.m13 = 2 * (q.x * q.z + q.w * q.y);
    m.m21 = 2 * (q.x * q.y + q.w * q.z), m.m22 = 1 - 2 * (q.x * q.x + q.z * q.z), m.m23 = 2 * (q.y * q.z - q.w * q.x);
    m.m31 = 2 * (q.x * q.z - q.w * q.y), m.m32 = 2 * (q.y * q.z + q.w * q.x), m.m33 = 1 - 2 * (q.x * q.x + q.y * q.y);
    return m;
}

// CesiumJS orients a model by its own axes x forward, y left, z up; this turns a sample's
// attitude into the rotation from those axes to the Earth-fixed frame (x at longitude 0 on
// the equator, z to the north pole).
Quaternion earth_fixed_attitude(const TrackSample& s) {
    const MATRIX3 m = matrix_from_quaternion(s.attitude);  // vessel frame to (east, up, north)
    const double lon = s.longitude_deg * RAD, lat = s.latitude_deg * RAD;
    const VECTOR3 east = _V(-std::sin(lon), std::cos(lon), 0.0);
    const VECTOR3 north = _V(-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat));
    const VECTOR3 up = _V(std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat));
    auto to_earth = [&](const VECTOR3& vessel) {
        const VECTOR3 h = mul(m, vessel);
        return east * h.x + up * h.y + north * h.z;
    };
    const VECTOR3 forward = to_earth(_V(0, 0, 1)), left = to_earth(_V(-1, 0, 0)), top = to_earth(_V(0, 1, 0));
    MATRIX3 c;
    c.m11 = forward.x, c.m12 = left.x, c.m13 = top.x;
    c.m21 = forward.y, c.m22 = left.y, c.m23 = top.y;
    c.m31 = forward.z, c.m32 = left.z, c.m33 = top.z;
    return quaternion_from_matrix(c);
}

double end_time(const WatchRun& run) {
    double end = 0.0;
    for (const VesselTrack& v : run.tracks)
        if (!v.samples.empty()) end = std::max(end, v.samples.back().t);
    return end;
}

}  // namespace

std::string iso_time_from_mjd(double mjd) {
    const double seconds = std::round((mjd - kMjdUnixEpoch) * kSecondsPerDay);
    long long days = static_cast<long long>(std::floor(seconds / kSecondsPerDay));
    const long long in_day = static_cast<long long>(seconds) - days * 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), static_cast<int>(month),
                  static_cast<int>(day), static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60),
                  static_cast<int>(in_day % 60));
    return text;
}

std::string acmi_text(const WatchRun& run) {
    std::ostringstream out;
    out << "FileType=text/acmi/tacview\nFileVersion=2.2\n";
    out << "0,ReferenceTime=" << iso_time_from_mjd(run.start_mjd) << "\n";
    out << "0,Title=" << acmi_escape(run.title) << "\n0,DataRecorder=korvan-sim\n";
    std::vector<bool> introduced(run.tracks.size(), false), removed(run.tracks.size(), false);
    auto events = run.events;
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    size_t next_event = 0;
    double moment = -1.0;
    auto at = [&](double t) {
        if (t != moment) out << "#" << num(t, 2) << "\n";
        moment = t;
    };
    for (const TimedSample& m : merged_samples(run.tracks)) {
        for (; next_event < events.size() && events[next_event].second <= m.t; ++next_event) {
            at(events[next_event].second);
            out << "0,Event=Bookmark|" << acmi_escape(events[next_event].first) << "\n";
        }
        for (size_t v = 0; v < run.tracks.size(); ++v) {
            const double end = run.tracks[v].end_time;
            if (!removed[v] && introduced[v] && end >= 0.0 && end <= m.t) {
                at(std::max(end, moment));
                out << "-" << std::hex << v + 1 << std::dec << "\n";
                removed[v] = true;
            }
        }
        const VesselTrack& track = run.tracks[m.vessel];
        const TrackSample& s = track.samples[m.sample];
        at(m.t);
        out << std::hex << m.vessel + 1 << std::dec << ",T=" << num(s.longitude_deg, 7) << "|"
            << num(s.latitude_deg, 7) << "|" << num(s.altitude_m, 1) << "|" << num(-s.bank_deg, 2) << "|"
            << num(s.pitch_deg, 2) << "|" << num(s.heading_deg, 2);
        if (!introduced[m.vessel]) {
            out << ",Name=" << acmi_escape(track.name) << ",Type=" << acmi_type(track)
                << ",ShortName=" << acmi_escape(track.class_name);
            introduced[m.vessel] = true;
        }
        // The gear's travel is the Korvan's gear-leg animation.
        if (acmi_type(track) == "Air+FixedWing") out << ",LandingGear=" << num(s.animations[1], 3);
        out << ",Mach=" << num(s.mach, 3) << ",AOA=" << num(s.aoa_deg, 2) << ",FuelWeight=" << num(s.fuel_kg, 1)
            << "\n";
    }
    for (; next_event < events.size(); ++next_event) {
        at(events[next_event].second);
        out << "0,Event=Bookmark|" << acmi_escape(events[next_event].first) << "\n";
    }
    return out.str();
}

std::string czml_text(const WatchRun& run) {
    const std::string epoch = iso_time_from_mjd(run.start_mjd);
    const std::string stop = iso_time_from_mjd(run.start_mjd + end_time(run) / kSecondsPerDay);
    std::ostringstream out;
    out << "[\n{\"id\":\"document\",\"name\":" << json_string(run.title) << ",\"version\":\"1.0\",\"clock\":{"
        << "\"interval\":\"" << epoch << "/" << stop << "\",\"currentTime\":\"" << epoch
        << "\",\"multiplier\":10,\"range\":\"LOOP_STOP\",\"step\":\"SYSTEM_CLOCK_MULTIPLIER\"}}";
    for (const VesselTrack& v : run.tracks) {
        if (v.samples.empty()) continue;
        const double first = v.samples.front().t, last = v.samples.back().t;
        const std::string from = iso_time_from_mjd(run.start_mjd + first / kSecondsPerDay);
        const std::string to = iso_time_from_mjd(run.start_mjd + last / kSecondsPerDay);
        out << ",\n{\"id\":" << json_string(v.name) << ",\"name\":" << json_string(v.name)
            << ",\"description\":" << json_string("class " + v.class_name) << ",\"availability\":\"" << from << "/"
            << to << "\",\n\"position\":{\"epoch\":\"" << epoch
            << "\",\"interpolationAlgorithm\":\"LINEAR\",\"cartographicDegrees\":[";
        for (size_t i = 0; i < v.samples.size(); ++i) {
            const TrackSample& s = v.samples[i];
            out << (i ? "," : "") << num(s.t, 2) << "," << num(s.longitude_deg, 7) << "," << num(s.latitude_deg, 7)
                << "," << num(s.altitude_m, 1);
        }
        out << "]},\n\"orientation\":{\"epoch\":\"" << epoch << "\",\"unitQuaternion\":[";
        for (size_t i = 0; i < v.samples.size(); ++i) {
            const TrackSample& s = v.samples[i];
            const Quaternion q = earth_fixed_attitude(s);
            out << (i ? "," : "") << num(s.t, 2) << "," << num(q.x, 6) << "," << num(q.y, 6) << "," << num(q.z, 6)
                << "," << num(q.w, 6);
        }
        out << "]},\n\"path\":{\"show\":true,\"width\":2,\"leadTime\":0,\"trailTime\":" << num(last - first + 1, 0)
            << ",\"resolution\":10,\"material\":{\"solidColor\":{\"color\":{\"rgba\":"
            << (v.focus ? "[255,190,40,255]" : "[120,200,255,255]") << "}}}},"
            << "\"point\":{\"pixelSize\":8,\"color\":{\"rgba\":[255,255,255,255]}},"
            << "\"label\":{\"text\":" << json_string(v.name) << ",\"font\":\"12pt sans-serif\",\"pixelOffset\":"
            << "{\"cartesian2\":[12,-12]}}}";
    }
    out << "\n]\n";
    return out.str();
}

namespace {

std::string base64(const std::string& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        unsigned v = 0;
        for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// Decimals kept per telemetry column in the page's data: enough for every plot and readout.
int column_decimals(const std::string& name) {
    if (name == "longitude_deg" || name == "latitude_deg") return 6;
    if (name.size() == 2 && name[0] == 'q') return 5;
    return 3;
}

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == sep) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

template <typename Get>
std::string number_array(size_t n, int decimals, Get get) {
    std::string out = "[";
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        out += num(get(i), decimals);
    }
    return out + "]";
}

std::string telemetry_json(const std::string& csv) {
    std::istringstream in(csv);
    std::string header;
    std::getline(in, header);
    const std::vector<std::string> names = split(header, ',');
    std::vector<std::vector<double>> columns(names.size());
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        const std::vector<std::string> cells = split(line, ',');
        for (size_t c = 0; c < names.size(); ++c) columns[c].push_back(c < cells.size() ? std::strtod(cells[c].c_str(), nullptr) : 0.0);
    }
    std::string out = "{";
    for (size_t c = 0; c < names.size(); ++c) {
        out += (c ? ",\n" : "") + json_string(names[c]) + ":" +
               number_array(columns[c].size(), column_decimals(names[c]), [&](size_t i) { return columns[c][i]; });
    }
    return out + "}";
}

std::string track_json(const VesselTrack& v, bool full) {
    const auto& s = v.samples;
    std::string out = "{\"name\":" + json_string(v.name) + ",\"class\":" + json_string(v.class_name) +
                      ",\"end\":" + num(v.end_time, 3) +
                      ",\"t\":" + number_array(s.size(), 3, [&](size_t i) { return s[i].t; }) +
                      ",\"lon\":" + number_array(s.size(), 7, [&](size_t i) { return s[i].longitude_deg; }) +
                      ",\"lat\":" + number_array(s.size(), 7, [&](size_t i) { return s[i].latitude_deg; }) +
                      ",\"alt\":" + number_array(s.size(), 2, [&](size_t i) { return s[i].altitude_m; });
    if (full) {
        out += ",\"qw\":" + number_array(s.size(), 6, [&](size_t i) { return s[i].attitude.w; }) +
               ",\"qx\":" + number_array(s.size(), 6, [&](size_t i) { return s[i].attitude.x; }) +
               ",\"qy\":" + number_array(s.size(), 6, [&](size_t i) { return s[i].attitude.y; }) +
               ",\"qz\":" + number_array(s.size(), 6, [&](size_t i) { return s[i].attitude.z; }) +
               ",\"main\":" + number_array(s.size(), 3, [&](size_t i) { return s[i].main_level; }) + ",\"anim\":[";
        for (size_t k = 0; k < kTrackAnimations; ++k) {
            if (k > 0) out += ',';
            out += number_array(s.size(), 4, [&](size_t i) { return s[i].animations[k]; });
        }
        out += "]";
    }
    return out + "}";
}

std::string direction_json(const HudDirection& d) {
    return "[" + num(d.right_deg, 3) + "," + num(d.up_deg, 3) + "," + (d.in_front ? "1" : "0") + "]";
}

std::string hud_json(const std::vector<HudRecord>& hud) {
    const HUDPAINTSPEC hps = hud_paint_spec();
    std::string out = "{\"W\":" + std::to_string(hps.W) + ",\"H\":" + std::to_string(hps.H) +
                      ",\"CX\":" + std::to_string(hps.CX) + ",\"CY\":" + std::to_string(hps.CY) +
                      ",\"Scale\":" + num(hps.Scale, 6) + ",\"Markersize\":" + std::to_string(hps.Markersize) +
                      ",\"orbit_mode_altitude_m\":" + num(kHudOrbitModeAltitude, 0) + ",\"rows\":[";
    for (size_t r = 0; r < hud.size(); ++r) {
        const HudRecord& h = hud[r];
        out += std::string(r ? ",\n" : "") + "{\"t\":" + num(h.t, 3) + ",\"mode\":" + std::to_string(h.standard.mode) +
               ",\"fpm\":" + direction_json(h.standard.flight_path) + ",\"pro\":" + direction_json(h.standard.prograde) +
               ",\"retro\":" + direction_json(h.standard.retrograde) +
               ",\"v\":" + num(h.standard.orbital_speed_m_s, 1) + ",\"items\":[";
        for (size_t i = 0; i < h.items.size(); ++i) {
            const auto& c = h.items[i];
            if (i > 0) out += ',';
            out += std::string("[") + std::to_string(static_cast<int>(c.kind)) + "," +
                   std::to_string(c.x0) + "," + std::to_string(c.y0);
            if (c.kind == runtime::RecordingSketchpad::Kind::Text) out += "," + json_string(c.text);
            else if (c.kind != runtime::RecordingSketchpad::Kind::MoveTo && c.kind != runtime::RecordingSketchpad::Kind::LineTo)
                out += "," + std::to_string(c.x1) + "," + std::to_string(c.y1);
            out += "]";
        }
        out += "]}";
    }
    return out + "]}";
}

// The focus vessel's exhaust flames, where they sit and which way they point (vessel frame),
// so that the page sizes a plume on each by its engine's level.
std::string exhausts_json(const runtime::World& world, const runtime::VesselRecord& v) {
    const runtime::ThrusterGroupRecord* main = world.group(const_cast<runtime::VesselRecord&>(v), THGROUP_MAIN);
    std::string out = "[";
    bool first = true;
    for (const runtime::ExhaustRecord& e : v.def.exhausts) {
        if (e.thruster == nullptr) continue;
        const bool in_main = main != nullptr && std::find(main->thrusters.begin(), main->thrusters.end(), e.thruster) !=
                                                    main->thrusters.end();
        const VECTOR3 pos = e.has_position ? e.pos : e.thruster->pos;
        const VECTOR3 dir = e.has_position ? e.dir : -e.thruster->dir;
        out += std::string(first ? "" : ",") + "{\"pos\":[" + num(pos.x, 3) + "," + num(pos.y, 3) + "," +
               num(pos.z, 3) + "],\"dir\":[" + num(dir.x, 4) + "," + num(dir.y, 4) + "," + num(dir.z, 4) +
               "],\"length\":" + num(e.lscale, 3) + ",\"width\":" + num(e.wscale, 3) +
               ",\"main\":" + (in_main ? "true" : "false") + "}";
        first = false;
    }
    return out + "]";
}

}  // namespace

std::string replay_model_js(const std::string& model_glb) {
    return "// The hull model for replay.html: the run tree's glTF file in base64, or null.\nwindow.korvanModel = " +
           (model_glb.empty() ? std::string("null") : "\"" + base64(model_glb) + "\"") + ";\n";
}

std::string replay_data_js(const WatchRun& run) {
    std::string out = "// The data of one korvan-sim run for replay.html.\n(window.korvanRuns = window.korvanRuns || []).push({\n";
    out += "\"format\":1,\"title\":" + json_string(run.title) + ",\"start_mjd\":" + num(run.start_mjd, 8) + ",\n";
    if (run.world != nullptr) {
        const runtime::BodyRecord& b = run.world->earth;
        out += "\"body\":{\"radius\":" + num(b.radius, 1) + ",\"mu\":" + num(b.mu, 0) +
               ",\"sidereal_period\":" + num(b.sidereal_period, 3) + ",\"rotation_offset\":" +
               num(b.rotation_offset, 9) + "},\n";
    }
    out += "\"events\":[";
    for (size_t i = 0; i < run.events.size(); ++i) {
        if (i > 0) out += ',';
        out += std::string("{\"name\":") + json_string(run.events[i].first) + ",\"t\":" + num(run.events[i].second, 3) + "}";
    }
    out += "],\n\"telemetry\":" + telemetry_json(run.telemetry_csv) + ",\n\"vessels\":[";
    bool first = true;
    for (const VesselTrack& v : run.tracks) {
        out += (first ? "" : ",\n") + track_json(v, v.focus);
        first = false;
    }
    out += "],\n\"hud\":" + (run.hud != nullptr ? hud_json(*run.hud) : std::string("null"));
    out += ",\n\"exhausts\":" + (run.world != nullptr && run.focus != nullptr ? exhausts_json(*run.world, *run.focus) : "[]");
    return out + "\n});\n";
}

}  // namespace sim
