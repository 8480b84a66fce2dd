// Vessel classes from Config/Vessels/<Class>.cfg: lines "Key = value", '#' or ';' comments.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host_internal.h"

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

// Exactly n numbers in a value; false on any other content.
bool parse_numbers(const std::string& value, double* out, size_t n) {
    const auto words = split_words(value);
    if (words.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (!parse_number(words[i], out[i])) return false;
    return true;
}

bool parse_vector(const std::string& value, VECTOR3& v) {
    return parse_numbers(value, v.data, 3);
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
    double n[9];
    for (size_t i = 0; i < 9; ++i)
        if (!parse_number(words[i + 1], n[i])) return false;
    point.pos = _V(n[0], n[1], n[2]);
    point.dir = _V(n[3], n[4], n[5]);
    point.rot = _V(n[6], n[7], n[8]);
    point.id = words[10];
    return true;
}

// Applies one "Key = value" pair; returns an empty string or what is wrong.
std::string apply_key(VesselClass& cls, const std::string& key, const std::string& value) {
    double n[4];
    if (same_key(key, "ClassName")) {
        if (value.empty()) return "empty class name";
        cls.name = value;
    } else if (same_key(key, "Module")) {
        if (value.empty() || split_words(value).size() != 1) return "malformed module name \"" + value + "\"";
        cls.module = value;
    } else if (same_key(key, "Size")) {
        if (!parse_numbers(value, n, 1) || n[0] <= 0.0) return "Size needs one positive number";
        cls.size = n[0];
    } else if (same_key(key, "EmptyMass")) {
        if (!parse_numbers(value, n, 1) || n[0] <= 0.0) return "EmptyMass needs one positive number";
        cls.empty_mass = n[0];
    } else if (same_key(key, "MaxFuel")) {
        if (!parse_numbers(value, n, 1) || n[0] < 0.0) return "MaxFuel needs one number, 0 or more";
        cls.max_fuel = n[0];
    } else if (same_key(key, "Isp")) {
        if (!parse_numbers(value, n, 1) || n[0] < 0.0) return "Isp needs one number, 0 or more";
        cls.isp = n[0];
    } else if (same_key(key, "PMI")) {
        if (!parse_vector(value, cls.pmi)) return "PMI needs three numbers";
    } else if (same_key(key, "CrossSections")) {
        if (!parse_vector(value, cls.cross_sections)) return "CrossSections needs three numbers";
    } else if (same_key(key, "CW")) {
        if (!parse_numbers(value, n, 4)) return "CW needs four numbers (z+, z-, x, y)";
        cls.cw_z_pos = n[0], cls.cw_z_neg = n[1], cls.cw_x = n[2], cls.cw_y = n[3];
    } else if (same_key(key, "Attachment")) {
        AttachmentSpec point;
        if (!parse_attachment(value, point)) return "Attachment needs toparent|child, nine numbers and an id";
        cls.attachments.push_back(point);
    } else {
        return "unknown key \"" + key + "\"";
    }
    return {};
}

}  // namespace

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
    std::ifstream in(root_ + "/" + relative);
    if (!in) return fail("unknown vessel class \"" + name + "\" (no " + relative + ")");

    VesselClass cls;
    cls.name = name;
    cls.source = relative;
    std::string line;
    for (int line_no = 1; std::getline(in, line); ++line_no) {
        const size_t comment = line.find_first_of("#;");
        const std::string text = trim(comment == std::string::npos ? line : line.substr(0, comment));
        if (text.empty()) continue;
        const size_t eq = text.find('=');
        const std::string at = relative + ":" + std::to_string(line_no) + ": ";
        if (eq == std::string::npos) return fail(at + "expected \"Key = value\"");
        const std::string why = apply_key(cls, trim(text.substr(0, eq)), trim(text.substr(eq + 1)));
        if (!why.empty()) return fail(at + why);
    }
    // Registered under the name asked for, whatever ClassName says.
    auto [it, inserted] = classes_.emplace(name, std::move(cls));
    (void)inserted;
    return &it->second;
}

}  // namespace runtime
