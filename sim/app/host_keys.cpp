// The host's own vessel keys: parsing, formatting, and the keys of a vessel's state.
#include "host_keys.h"

#include <algorithm>
#include <cmath>

#include "pilot/mode_names.h"
#include "scenario_file.h"
#include "text_util.h"

namespace sim {

namespace {

constexpr double kMinAlt = -kMaxDepthBelowSurface;  // m, ALT of a vessel placed on the ground
constexpr double kMaxAlt = runtime::kMaxLandedHeight;  // m

bool read_numbers(const std::vector<std::string>& words, double* out, size_t n) {
    if (words.size() != n + 1) return false;
    for (size_t i = 0; i < n; ++i)
        if (!parse_double(words[i + 1], out[i])) return false;
    return true;
}

bool read_vector(const std::vector<std::string>& words, std::optional<VECTOR3>& out) {
    VECTOR3 v{};
    if (!read_numbers(words, v.data, 3)) return false;
    out = v;
    return true;
}

std::string vector_text(const VECTOR3& v) {
    return format_double(v.x) + " " + format_double(v.y) + " " + format_double(v.z);
}

// "<idx>:<level>" pairs, levels 0..1.
bool read_prplevels(const std::vector<std::string>& words, HostKeys& keys, std::string& error) {
    if (words.size() < 2) {
        error = "PRPLEVEL needs at least one \"<index>:<level>\"";
        return false;
    }
    std::vector<std::pair<int, double>> levels;
    for (size_t i = 1; i < words.size(); ++i) {
        const size_t colon = words[i].find(':');
        int idx = 0;
        double level = 0.0;
        if (colon == std::string::npos || !parse_int(words[i].substr(0, colon), idx) ||
            !parse_double(words[i].substr(colon + 1), level) || idx < 0) {
            error = "PRPLEVEL entry \"" + words[i] + "\" is not \"<index>:<level>\"";
            return false;
        }
        if (level < 0.0 || level > 1.0) {
            error = "PRPLEVEL level " + words[i].substr(colon + 1) + " is outside 0..1";
            return false;
        }
        levels.emplace_back(idx, level);
    }
    keys.prplevels = std::move(levels);
    return true;
}

// "<parent point>:<child point>,<parent name>"
bool read_attached(const std::string& rest, HostKeys& keys) {
    const size_t colon = rest.find(':');
    const size_t comma = rest.find(',');
    if (colon == std::string::npos || comma == std::string::npos || comma < colon) return false;
    AttachedKey a;
    const std::string parent = trim(rest.substr(comma + 1));
    if (!parse_int(trim(rest.substr(0, colon)), a.parent_point) ||
        !parse_int(trim(rest.substr(colon + 1, comma - colon - 1)), a.child_point) || a.parent_point < 0 ||
        a.child_point < 0 || parent.empty() || split_words(parent).size() != 1)
        return false;
    a.parent = parent;
    keys.attached = a;
    return true;
}

MATRIX3 rows(double a11, double a12, double a13, double a21, double a22, double a23, double a31, double a32,
             double a33) {
    MATRIX3 m;
    m.m11 = a11, m.m12 = a12, m.m13 = a13;
    m.m21 = a21, m.m22 = a22, m.m23 = a23;
    m.m31 = a31, m.m32 = a32, m.m33 = a33;
    return m;
}

}  // namespace

bool parse_host_key(const std::string& line, HostKeys& keys, std::string& error) {
    const std::vector<std::string> words = split_words(line);
    if (words.empty()) return false;
    const std::string key = to_lower(words[0]);
    error.clear();
    if (key == "status") {
        if (words.size() != 3 || !(iequals(words[1], "Landed") || iequals(words[1], "Orbiting")))
            error = "expected \"STATUS Landed <body>\" or \"STATUS Orbiting <body>\"";
        else if (words[2] != "Earth")
            error = "unknown body \"" + words[2] + "\" (this host knows Earth)";
        else
            keys.status = iequals(words[1], "Landed") ? FlightStatus::Landed : FlightStatus::Orbiting;
    } else if (key == "pos") {
        std::array<double, 2> p{};
        if (!read_numbers(words, p.data(), 2))
            error = "POS needs longitude and latitude in degrees";
        else if (std::fabs(p[1]) > 90.0)
            error = "POS latitude " + words[2] + " is outside -90..90";
        else
            keys.pos_deg = p;
    } else if (key == "heading") {
        double h = 0.0;
        if (!read_numbers(words, &h, 1)) error = "HEADING needs one number of degrees";
        else keys.heading_deg = h;
    } else if (key == "alt") {
        double a = 0.0;
        if (!read_numbers(words, &a, 1)) error = "ALT needs one number of metres";
        else if (a < kMinAlt || a > kMaxAlt)
            error = "ALT " + words[1] + " is outside " + number_text(kMinAlt) + ".." + number_text(kMaxAlt) + " m";
        else keys.alt_m = a;
    } else if (key == "rpos") {
        if (!read_vector(words, keys.rpos)) error = "RPOS needs three numbers (m)";
        else if (!(length(*keys.rpos) <= kMaxDistance))
            error = "RPOS lies beyond " + number_text(kMaxDistance) + " m from the Earth's centre";
    } else if (key == "rvel") {
        if (!read_vector(words, keys.rvel)) error = "RVEL needs three numbers (m/s)";
        else if (!(length(*keys.rvel) <= kMaxSpeed))
            error = "RVEL is faster than " + number_text(kMaxSpeed) + " m/s";
    } else if (key == "arot") {
        if (!read_vector(words, keys.arot_deg)) error = "AROT needs three angles (deg)";
    } else if (key == "vrot") {
        if (!read_vector(words, keys.vrot_deg_s)) error = "VROT needs three rates (deg/s)";
        else if (!(length(*keys.vrot_deg_s) <= kMaxRate))
            error = "VROT turns faster than " + number_text(kMaxRate) + " deg/s";
    } else if (key == "prplevel") {
        read_prplevels(words, keys, error);
    } else if (key == "rcsmode") {
        int mode = 0;
        if (words.size() != 2 || !parse_int(words[1], mode) || mode < RCS_NONE || mode > RCS_LIN)
            error = "RCSMODE needs 0 (off), 1 (rotation) or 2 (translation)";
        else
            keys.rcs_mode = mode;
    } else if (key == "navmode") {
        const int mode = words.size() == 2 ? pilot::mode_of(pilot::NAVMODE_NAMES, words[1]) : -1;
        if (mode < 0)
            error = "NAVMODE needs one of KILLROT, HLEVEL, PROGRADE, RETROGRADE, NORMAL, ANTINORMAL";
        else
            keys.navmode = mode;
    } else if (key == "attached") {
        const size_t start = line.find_first_of(" \t");
        if (start == std::string::npos || !read_attached(line.substr(start), keys))
            error = "expected \"ATTACHED <parent point>:<child point>,<parent name>\"";
    } else {
        return false;
    }
    return true;
}

std::vector<std::string> format_host_keys(const HostKeys& keys) {
    std::vector<std::string> out;
    if (keys.attached) {
        const AttachedKey& a = *keys.attached;
        out.push_back("ATTACHED " + std::to_string(a.parent_point) + ":" + std::to_string(a.child_point) + "," +
                      a.parent);
    } else if (keys.status == FlightStatus::Landed) {
        out.push_back("STATUS Landed " + keys.body);
        if (keys.pos_deg) out.push_back("POS " + format_double((*keys.pos_deg)[0]) + " " + format_double((*keys.pos_deg)[1]));
        if (keys.heading_deg) out.push_back("HEADING " + format_double(*keys.heading_deg));
        if (keys.alt_m) out.push_back("ALT " + format_double(*keys.alt_m));
    } else if (keys.status == FlightStatus::Orbiting) {
        out.push_back("STATUS Orbiting " + keys.body);
        if (keys.rpos) out.push_back("RPOS " + vector_text(*keys.rpos));
        if (keys.rvel) out.push_back("RVEL " + vector_text(*keys.rvel));
        if (keys.arot_deg) out.push_back("AROT " + vector_text(*keys.arot_deg));
        if (keys.vrot_deg_s) out.push_back("VROT " + vector_text(*keys.vrot_deg_s));
    }
    if (!keys.prplevels.empty()) {
        std::string line = "PRPLEVEL";
        for (const auto& [idx, level] : keys.prplevels) {
            line.append(" ").append(std::to_string(idx)).append(":").append(format_double(level));
        }
        out.push_back(line);
    }
    if (keys.rcs_mode) out.push_back("RCSMODE " + std::to_string(*keys.rcs_mode));
    if (keys.navmode) out.push_back("NAVMODE " + to_upper(pilot::name_of(pilot::NAVMODE_NAMES, *keys.navmode)));
    return out;
}

void set_pilot_keys(HostKeys& keys, const runtime::VesselControls& s) {
    keys.rcs_mode = s.rcs_mode != RCS_NONE ? std::optional<int>(s.rcs_mode) : std::nullopt;
    keys.navmode = s.navmode != 0 ? std::optional<int>(s.navmode) : std::nullopt;
}

HostKeys host_keys_from_state(const runtime::World& world, const runtime::VesselRecord& v) {
    HostKeys keys;
    keys.body = world.earth.name;
    if (const runtime::VesselRecord* parent = world.parent_of(&v)) {
        // A child is placed by its parent: only the link and its propellant are kept.
        AttachedKey a;
        a.parent = parent->name;
        int child_index = 0;
        for (const auto& point : v.def.attachments) {
            if (!point->to_parent) continue;
            if (point->linked != nullptr) {
                a.child_point = child_index;
                int parent_index = 0;
                for (const auto& pp : parent->def.attachments) {
                    if (pp->to_parent) continue;
                    if (pp.get() == point->linked_point) a.parent_point = parent_index;
                    ++parent_index;
                }
                break;
            }
            ++child_index;
        }
        keys.attached = a;
    } else if (v.state.landed) {
        keys.status = FlightStatus::Landed;
        double lng = 0.0, lat = 0.0, rad = 0.0;
        world.equ_pos(v, lng, lat, rad);
        keys.pos_deg = std::array<double, 2>{lng * DEG, lat * DEG};
        keys.heading_deg = world.heading(v) * DEG;
        // Within what the reader takes: a vessel placed at either bound comes back a rounding
        // error beyond it.
        keys.alt_m = std::clamp(rad - world.earth.radius, kMinAlt, kMaxAlt);
    } else {
        keys.status = FlightStatus::Orbiting;
        keys.rpos = v.state.pos;
        keys.rvel = v.state.vel;
        keys.arot_deg = arot_from_matrix(v.state.R) * DEG;
        keys.vrot_deg_s = v.state.omega * DEG;
    }
    for (size_t i = 0; i < v.def.propellants.size(); ++i) {
        const runtime::PropellantRecord& p = *v.def.propellants[i];
        if (p.max_mass > 0.0) keys.prplevels.emplace_back(static_cast<int>(i), std::clamp(p.mass / p.max_mass, 0.0, 1.0));
    }
    set_pilot_keys(keys, v.controls);
    return keys;
}

namespace {

// A key of a flying vessel's state that a scenario could not load: its value and limit.
struct KeyBeyond {
    const char* key;
    double value;
    const char* unit;
    double limit;
};

// The first of the keys RPOS, RVEL and VROT of a flying vessel's state a scenario could not load.
std::optional<KeyBeyond> flight_key_beyond(const runtime::World& world, const runtime::VesselState& s) {
    const double distance = length(s.pos);
    if (!(distance <= kMaxDistance)) return KeyBeyond{"RPOS", distance, "m from the Earth's centre", kMaxDistance};
    if (!(distance >= world.earth.radius - kMaxDepthBelowSurface))
        return KeyBeyond{"RPOS", world.earth.radius - distance, "m below the surface", kMaxDepthBelowSurface};
    if (const double speed = length(s.vel); !(speed <= kMaxSpeed)) return KeyBeyond{"RVEL", speed, "m/s", kMaxSpeed};
    if (const double rate = length(s.omega) * DEG; !(rate <= kMaxRate)) return KeyBeyond{"VROT", rate, "deg/s", kMaxRate};
    return std::nullopt;
}

}  // namespace

// The comparisons of flight_key_beyond, without what it reports: every frame checks every vessel.
bool flight_keys_within_scenario(const runtime::World& world, const runtime::VesselState& s) {
    const double distance = length(s.pos);
    return distance <= kMaxDistance && distance >= world.earth.radius - kMaxDepthBelowSurface &&
           length(s.vel) <= kMaxSpeed && length(s.omega) * DEG <= kMaxRate;
}

// A child is saved by its link alone (ATTACHED); its parent is looked for only when a key is
// beyond, as every frame checks every vessel.
bool within_scenario(const runtime::World& world, const runtime::VesselRecord& v) {
    return v.state.landed  // POS, HEADING and ALT: always held
           || flight_keys_within_scenario(world, v.state) || world.parent_of(&v) != nullptr;
}

std::string beyond_scenario(const runtime::World& world, const runtime::VesselRecord& v) {
    if (within_scenario(world, v)) return {};
    const KeyBeyond k = *flight_key_beyond(world, v.state);
    return std::string(k.key) + " " + number_text(k.value) + " " + k.unit + " (at most " + number_text(k.limit) + ")";
}

MATRIX3 matrix_from_arot(const VECTOR3& arot) {
    const double ca = std::cos(arot.x), sa = std::sin(arot.x);
    const double cb = std::cos(arot.y), sb = std::sin(arot.y);
    const double cg = std::cos(arot.z), sg = std::sin(arot.z);
    const MATRIX3 rx = rows(1, 0, 0, 0, ca, sa, 0, -sa, ca);
    const MATRIX3 ry = rows(cb, 0, -sb, 0, 1, 0, sb, 0, cb);
    const MATRIX3 rz = rows(cg, sg, 0, -sg, cg, 0, 0, 0, 1);
    return mul(mul(rx, ry), rz);
}

VECTOR3 arot_from_matrix(const MATRIX3& R) {
    return _V(std::atan2(R.m23, R.m33), std::asin(std::clamp(-R.m13, -1.0, 1.0)), std::atan2(R.m12, R.m11));
}

}  // namespace sim
