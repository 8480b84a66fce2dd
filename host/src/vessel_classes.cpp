// Vessel classes from Config/Vessels/<Class>.cfg: lines "Key = value", '#' or ';' comments.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "host_internal.h"
#include "runtime/text_file.h"

namespace runtime {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool same_key(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

std::vector<std::string> split_words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool parse_number(const std::string& word, double& out) {
    if (word.empty()) return false;
    char* end = nullptr;
    const double d = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size() || !std::isfinite(d)) return false;
    out = d;
    return true;
}

// Figures beyond these belong to no vessel, and would overflow the flight physics (a size
// cubed in the rotational drag, a mass times a position). The lower limits keep every
// division by a mass, a size or a moment of inertia finite.
constexpr double kMaxSize = 1e4;             // m
constexpr double kMaxMass = 1e9;             // kg, empty mass and tank
constexpr double kMaxIsp = 1e6;              // m/s
constexpr double kMaxPmi = 1e8;              // m^2, mass-normalised moments of inertia
constexpr double kMaxCrossSection = 1e8;     // m^2
constexpr double kMaxDragCoefficient = 1e3;
constexpr double kMaxPointOffset = 1e5;      // m, attachment point positions
constexpr double kMaxDirection = 1e5;        // attachment direction and rotation components
// A vessel at least as heavy as a parachute for its drag area (cw times cross section, the
// largest over its axes). Lighter, the air's pull within one step outgrows the vessel's own
// speed and the drag swings it faster and faster instead of slowing it.
constexpr double kMaxDragAreaPerMass = 1.0;  // m^2 per kg

// The largest drag area of a plain vessel over its axes (m^2).
double largest_drag_area(const VesselClass& cls) {
    return std::max({cls.cw_x * cls.cross_sections.x, cls.cw_y * cls.cross_sections.y,
                     std::max(cls.cw_z_pos, cls.cw_z_neg) * cls.cross_sections.z});
}

std::string number_text(double d) {
    std::ostringstream out;
    out << d;
    return out.str();
}

// Exactly n numbers in a value, each within low..high (low itself only when low_allowed);
// an empty string, or what is wrong with "<key> needs ...".
std::string read_numbers(const std::string& key, const std::string& value, double* out, size_t n, double low,
                         bool low_allowed, double high) {
    const auto words = split_words(value);
    bool good = words.size() == n;
    for (size_t i = 0; good && i < n; ++i)
        good = parse_number(words[i], out[i]) && (out[i] > low || (low_allowed && out[i] == low)) && out[i] <= high;
    if (good) return {};
    const std::string count = n == 1 ? "one number" : std::to_string(n) + " numbers";
    return key + " needs " + count + (low_allowed ? ", " + number_text(low) + " or more" : " above " + number_text(low)) +
           " and at most " + number_text(high);
}

// A direction: not zero, each component at most kMaxDirection in size.
bool read_direction(const std::vector<std::string>& words, size_t first, VECTOR3& v) {
    for (size_t i = 0; i < 3; ++i)
        if (!parse_number(words[first + i], v.data[i]) || std::fabs(v.data[i]) > kMaxDirection) return false;
    return length(v) > 0.0;
}

// "toparent|child px py pz dx dy dz rx ry rz ID"
bool parse_attachment(const std::string& value, AttachmentSpec& point) {
    const auto words = split_words(value);
    if (words.size() != 11) return false;
    if (same_key(words[0], "toparent"))
        point.to_parent = true;
    else if (same_key(words[0], "child"))
        point.to_parent = false;
    else
        return false;
    for (size_t i = 0; i < 3; ++i)
        if (!parse_number(words[i + 1], point.pos.data[i]) || std::fabs(point.pos.data[i]) > kMaxPointOffset)
            return false;
    if (!read_direction(words, 4, point.dir) || !read_direction(words, 7, point.rot)) return false;
    point.id = words[10];
    return true;
}

// Applies one "Key = value" pair; returns an empty string or what is wrong.
std::string apply_key(VesselClass& cls, const std::string& key, const std::string& value) {
    double n[4];
    std::string why;
    if (same_key(key, "ClassName")) {
        if (value.empty()) return "empty class name";
        cls.name = value;
    } else if (same_key(key, "Module")) {
        if (value.empty() || split_words(value).size() != 1) return "malformed module name \"" + value + "\"";
        cls.module = value;
    } else if (same_key(key, "Size")) {
        why = read_numbers("Size", value, &cls.size, 1, 0.0, false, kMaxSize);
    } else if (same_key(key, "EmptyMass")) {
        why = read_numbers("EmptyMass", value, &cls.empty_mass, 1, 0.0, false, kMaxMass);
    } else if (same_key(key, "MaxFuel")) {
        why = read_numbers("MaxFuel", value, &cls.max_fuel, 1, 0.0, true, kMaxMass);
    } else if (same_key(key, "Isp")) {
        why = read_numbers("Isp", value, &cls.isp, 1, 0.0, true, kMaxIsp);
    } else if (same_key(key, "PMI")) {
        why = read_numbers("PMI", value, cls.pmi.data, 3, 0.0, false, kMaxPmi);
    } else if (same_key(key, "CrossSections")) {
        why = read_numbers("CrossSections", value, cls.cross_sections.data, 3, 0.0, true, kMaxCrossSection);
    } else if (same_key(key, "CW")) {
        why = read_numbers("CW", value, n, 4, 0.0, true, kMaxDragCoefficient);
        if (why.empty()) cls.cw_z_pos = n[0], cls.cw_z_neg = n[1], cls.cw_x = n[2], cls.cw_y = n[3];
        else why += " (z+, z-, x, y)";
    } else if (same_key(key, "Attachment")) {
        AttachmentSpec point;
        if (!parse_attachment(value, point))
            return "Attachment needs toparent|child, a position (at most " + number_text(kMaxPointOffset) +
                   " m off), a direction and a rotation (neither zero) and an id";
        cls.attachments.push_back(point);
    } else {
        return "unknown key \"" + key + "\"";
    }
    return why;
}

}  // namespace

bool parse_vessel_class(const std::string& text, const std::string& source, VesselClass& cls, std::string* error) {
    cls.source = source;
    auto fail = [&](int line_no, const std::string& why) {
        if (error != nullptr) *error = source + ":" + std::to_string(line_no) + ": " + why;
        return false;
    };
    std::istringstream in(text);
    std::string line;
    int drag_line = 0;  // the last line that set the mass or the drag
    for (int line_no = 1; std::getline(in, line); ++line_no) {
        const size_t comment = line.find_first_of("#;");
        const std::string content = trim(comment == std::string::npos ? line : line.substr(0, comment));
        if (content.empty()) continue;
        const size_t eq = content.find('=');
        if (eq == std::string::npos) return fail(line_no, "expected \"Key = value\"");
        const std::string key = trim(content.substr(0, eq));
        const std::string why = apply_key(cls, key, trim(content.substr(eq + 1)));
        if (!why.empty()) return fail(line_no, why);
        if (same_key(key, "EmptyMass") || same_key(key, "CrossSections") || same_key(key, "CW")) drag_line = line_no;
    }
    // Checked once every figure is read, so that the keys may come in any order.
    if (cls.module.empty() && largest_drag_area(cls) > kMaxDragAreaPerMass * cls.empty_mass)
        return fail(drag_line, "EmptyMass " + number_text(cls.empty_mass) + " kg is too light for a drag area of " +
                                   number_text(largest_drag_area(cls)) + " m^2 (CW times CrossSections): at most " +
                                   number_text(kMaxDragAreaPerMass) + " m^2 per kg");
    return true;
}

void World::add_class(const VesselClass& cls) {
    classes_[cls.name] = cls;
}

const VesselClass* World::find_class(const std::string& name) {
    return find_class(name, nullptr);
}

const VesselClass* World::find_class(const std::string& name, std::string* error) {
    if (auto it = classes_.find(name); it != classes_.end()) return &it->second;
    auto fail = [&](const std::string& why) -> const VesselClass* {
        if (error != nullptr) *error = why;
        return nullptr;
    };
    if (name.empty() || name.find_first_of("/\\") != std::string::npos)
        return fail("unknown vessel class \"" + name + "\"");
    const std::string relative = "Config/Vessels/" + name + ".cfg";
    std::string text;
    const TextFileRead read = read_text_file(root_ + "/" + relative, text);
    if (read == TextFileRead::cannot_read) return fail("unknown vessel class \"" + name + "\" (no " + relative + ")");
    if (read != TextFileRead::ok) return fail(text_file_error(relative, "the class config", read));

    VesselClass cls;
    cls.name = name;
    std::string why;
    if (!parse_vessel_class(text, relative, cls, &why)) return fail(why);
    // Registered under the name asked for, whatever ClassName says.
    auto [it, inserted] = classes_.emplace(name, std::move(cls));
    (void)inserted;
    return &it->second;
}

}  // namespace runtime
