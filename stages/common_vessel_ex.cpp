// COMMON_VESSEL_EX: the item table, its one-line text form, the item block of the scenario,
// the item meshes and the item mass.
//
// Item lines are user-edited text or messages from other vessels, so the parser never
// trusts them: a line is cut at 511 characters, a token at 127 (the rest of that token is
// dropped and the following fields keep their places), a slot is cleared before it is
// filled so that missing fields read as empty strings and zeros, and numbers that would
// harm the carrier or a new vessel are refused (see sanitise_numbers).
//
// Whatever a line held, the line written for the item reads back to the same item: an empty
// name, mesh or class is written as "-" (and "-" reads as empty), so the fields after it
// keep their places, and every number is small enough for its text to fit the line.
#include "stages/common_vessel_ex.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "stages/message_link.h"

namespace {

constexpr std::size_t kMaxLineChars = CVE_LINE_LEN - 1;      // 511
constexpr std::size_t kMaxTokenChars = CVE_NAME_LEN - 1;     // 127
constexpr std::size_t kMaxKeywordChars = CVE_KEYWORD_LEN - 1;
constexpr std::size_t kMaxTextChars = CVE_TEXT_LEN - 1;

constexpr std::string_view kPayloadPrefix = "PAYLOAD ";
constexpr std::string_view kStagePrefix = "STAGE ";
constexpr std::string_view kEndCve = "ENDCVE";
constexpr std::string_view kEndStage = "ENDSTAGE";

// An item whose mesh sits this close to the carrier's origin, or on its long axis, leaves
// straight ahead; any other leaves radially.
constexpr double kCentredOffset = 0.01;      // m
constexpr double kOnAxisCosine = 0.99;
constexpr double kAxialSepSpeed = 0.5;       // m/s along z
constexpr double kRadialSepSpeed = 2.0;      // m/s away from the axis

constexpr int kNumberFields = 6;  // offset x, y, z, mass, angle, fuel

// Stands for an empty name, mesh file or class in a written line: a blank field would let
// the next one slide into its place. A mesh or class of that name loads nothing, as an
// empty one does.
constexpr std::string_view kEmptyField = "-";

// Larger magnitudes are refused (read as 0), far beyond any real item: "%.2lf" of 2e9 (an
// offset between two items, as a handover sends it) takes 14 characters, so a line of three
// 127-character names and six such numbers still fits the 511 the reader takes. A value
// just below the bound may be written rounded onto it, so the bound itself is accepted.
constexpr double kMaxItemNumber = 1e9;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// At most `max_chars` characters of `text`.
std::string_view cut(const char* text, std::size_t max_chars) {
    if (text == nullptr) return {};
    return std::string_view(text, strnlen(text, max_chars));
}

std::string_view skip_blanks(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && is_blank(s[i])) ++i;
    return s.substr(i);
}

// The next blank-separated token, removed from `s`.
std::string_view next_token(std::string_view& s) {
    s = skip_blanks(s);
    std::size_t end = 0;
    while (end < s.size() && !is_blank(s[end])) ++end;
    std::string_view token = s.substr(0, end);
    s = s.substr(end);
    return token;
}

void copy_token(char (&field)[CVE_NAME_LEN], std::string_view token) {
    const std::size_t n = token == kEmptyField ? 0 : std::min(token.size(), kMaxTokenChars);
    if (n > 0) std::memcpy(field, token.data(), n);
    field[n] = '\0';
}

// Reads numbers as a scanner of "%lf %lf ..." would: each from the start of its token, and
// the first token that does not begin with a number ends the reading (later values stay 0).
int read_numbers(std::string_view rest, double (&values)[kNumberFields]) {
    for (int k = 0; k < kNumberFields; ++k) {
        const std::string_view token = next_token(rest);
        if (token.empty()) return k;
        char buffer[CVE_LINE_LEN];
        const std::size_t n = token.size() < kMaxLineChars ? token.size() : kMaxLineChars;
        std::memcpy(buffer, token.data(), n);
        buffer[n] = '\0';
        char* end = nullptr;
        const double v = std::strtod(buffer, &end);
        if (end == buffer) return k;
        values[k] = v;
        if (*end != '\0') return k + 1;  // "12abc": 12 is read, "abc" stops the scan
    }
    return kNumberFields;
}

double bounded_or_zero(double v) { return std::fabs(v) <= kMaxItemNumber ? v : 0.0; }  // NaN fails too

// Numbers that are not finite or too large to write are refused (read as 0); a negative
// mass is refused (0), and the fuel level is clamped to 0..1, so that neither the carrier's
// empty mass nor a new vessel's fuel can be poisoned by a bad line.
void sanitise_numbers(CVE_ITEM& item) {
    item.mesh.offset.x = bounded_or_zero(item.mesh.offset.x);
    item.mesh.offset.y = bounded_or_zero(item.mesh.offset.y);
    item.mesh.offset.z = bounded_or_zero(item.mesh.offset.z);
    item.mass = item.mass > 0.0 ? bounded_or_zero(item.mass) : 0.0;
    item.angle = bounded_or_zero(item.angle);
    if (!(item.fuel > 0.0) || !std::isfinite(item.fuel)) item.fuel = 0.0;
    if (item.fuel > 1.0) item.fuel = 1.0;
}

const char* written_field(const char* field) { return field[0] != '\0' ? field : kEmptyField.data(); }

VECTOR3 default_sep_velocity(const VECTOR3& o) {
    const double len = std::sqrt(o.x * o.x + o.y * o.y + o.z * o.z);
    if (len <= kCentredOffset || std::fabs(o.z / len) > kOnAxisCosine) return _V(0.0, 0.0, kAxialSepSpeed);
    const double r = std::sqrt(o.x * o.x + o.y * o.y);
    return _V(kRadialSepSpeed * o.x / r, kRadialSepSpeed * o.y / r, 0.0);
}

}  // namespace

COMMON_VESSEL_EX::COMMON_VESSEL_EX(OBJHANDLE hVessel) : VESSEL3(hVessel, 1) {
    ClearItemMeshes();
    open_group = -1;
    mesh_visibility = 1;
    msg_module = load_message_module();
    sep_override = _V(0.0, 0.0, 1.0);
    sep_override_set = false;
}

// The message module goes first; the mesh list and the table go with the object.
COMMON_VESSEL_EX::~COMMON_VESSEL_EX() {
    release_message_module(msg_module);
    msg_module = nullptr;
}

void COMMON_VESSEL_EX::ReadScenarioLine(const char* line) {
    const std::string_view copy = skip_blanks(cut(line, kMaxLineChars));
    std::string_view rest = copy;
    const std::string_view keyword = next_token(rest);
    if (keyword.empty()) return;
    const std::string keyword_text(keyword);
    DispatchLine(keyword_text.c_str(), line);
}

void COMMON_VESSEL_EX::DispatchLine(const char* keyword, const char* text) {
    const std::string keyword_copy(cut(keyword, kMaxKeywordChars));
    const std::string text_copy(cut(text, kMaxTextChars));
    if (keyword_copy == "PAYLOAD" || keyword_copy == "STAGE" || keyword_copy == kEndCve ||
        keyword_copy == kEndStage) {
        ParseItemLine(text);
    } else {
        clbkCVELine(keyword_copy.c_str(), text_copy.c_str());
    }
}

void COMMON_VESSEL_EX::ParseItemLine(const char* text) {
    std::string_view line = cut(text, kMaxLineChars);

    int slot = -1;
    for (int i = 0; i < CVE_MAX_ITEMS; ++i) {
        if (!items[i].in_use) {
            slot = i;
            break;
        }
    }
    if (slot < 0) return;  // table full: every line is ignored, group ends included

    // A group whose STAGE has left the table (separated while still open) is closed: its
    // slot may be reused, and an item must never become its own group.
    if (open_group != -1 && (!items[open_group].in_use || items[open_group].kind != CVE_STAGE)) open_group = -1;

    line = skip_blanks(line);
    short kind = CVE_PAYLOAD;
    if (line.starts_with(kPayloadPrefix)) {
        kind = CVE_PAYLOAD;
        line.remove_prefix(kPayloadPrefix.size());
    } else if (line.starts_with(kStagePrefix)) {
        kind = CVE_STAGE;
        line.remove_prefix(kStagePrefix.size());
    } else if (line.starts_with(kEndCve) || line.starts_with(kEndStage)) {
        if (open_group != -1) open_group = items[open_group].parent;
        return;
    } else {
        return;
    }

    CVE_ITEM& item = items[slot];
    item = CVE_ITEM{};
    item.kind = kind;

    char mesh_file[CVE_NAME_LEN] = {};
    copy_token(item.name, next_token(line));
    copy_token(mesh_file, next_token(line));
    copy_token(item.class_name, next_token(line));
    double numbers[kNumberFields] = {};
    read_numbers(line, numbers);
    item.mesh.offset = _V(numbers[0], numbers[1], numbers[2]);
    item.mass = numbers[3];
    item.angle = numbers[4];
    item.fuel = numbers[5];
    sanitise_numbers(item);

    item.in_use = true;
    item.mesh.file = mesh_file;
    item.mesh.handle = oapiLoadMesh(mesh_file);
    item.parent = open_group;
    item.sep_velocity = default_sep_velocity(item.mesh.offset);
    if (kind == CVE_STAGE) open_group = static_cast<short>(slot);
}

// The reader's open group after item i: the item itself when it is a STAGE, else its group.
// Every group open there that does not enclose the next item ends here and gets its own
// "ENDSTAGE", innermost first, so the block reads back to the same table.
void COMMON_VESSEL_EX::WriteItems(FILEHANDLE scn) {
    for (int i = 0; i < CVE_MAX_ITEMS && items[i].in_use; ++i) {
        const CVE_ITEM& item = items[i];
        oapiWriteScenario_string(scn, item.kind == CVE_STAGE ? "STAGE" : "PAYLOAD",
                                 format_item_fields(item, item.mesh.offset).c_str());

        const bool next_in_use = i + 1 < CVE_MAX_ITEMS && items[i + 1].in_use;
        const short next_parent = next_in_use ? items[i + 1].parent : -1;
        short group = item.kind == CVE_STAGE ? static_cast<short>(i) : item.parent;
        // Parents always come before their members, so the walk ends within the table.
        for (int depth = 0; group >= 0 && group < CVE_MAX_ITEMS && group != next_parent && depth < CVE_MAX_ITEMS;
             ++depth) {
            oapiWriteScenario_string(scn, "ENDSTAGE", "");
            group = items[group].parent < group ? items[group].parent : static_cast<short>(-1);
        }
    }
}

std::string format_item_fields(const CVE_ITEM& item, const VECTOR3& offset) {
    const char* format = "%s %s %s %.2lf %.2lf %.2lf %.2lf %.2lf %.2lf";
    const char* name = written_field(item.name);
    const char* mesh = written_field(item.mesh.file.c_str());
    const char* class_name = written_field(item.class_name);
    const int needed = std::snprintf(nullptr, 0, format, name, mesh, class_name, offset.x, offset.y, offset.z,
                                     item.mass, item.angle, item.fuel);
    if (needed <= 0) return {};
    std::string fields(static_cast<std::size_t>(needed), '\0');
    std::snprintf(fields.data(), fields.size() + 1, format, name, mesh, class_name, offset.x, offset.y, offset.z,
                  item.mass, item.angle, item.fuel);
    return fields;
}

void COMMON_VESSEL_EX::ClearItemMeshes() {
    ClearMeshes();
    mesh_list.clear();
}

void COMMON_VESSEL_EX::AddListedMesh(MESHHANDLE handle, const VECTOR3& offset) {
    CVE_MESH mesh;
    mesh.handle = handle;
    mesh.offset = offset;
    mesh_list.push_back(mesh);
}

void COMMON_VESSEL_EX::BuildItemMeshes() {
    for (CVE_ITEM& item : items) {
        if (!item.in_use) continue;
        item.position = item.mesh.offset;
        mesh_list.push_back(item.mesh);
    }
    for (CVE_MESH& mesh : mesh_list) {
        mesh.index = static_cast<int>(AddMesh(mesh.handle, &mesh.offset));
        SetMeshVisibilityMode(static_cast<UINT>(mesh.index), static_cast<WORD>(mesh_visibility));
    }
}

double COMMON_VESSEL_EX::GetItemMass() const {
    double total = 0.0;
    for (const CVE_ITEM& item : items)
        if (item.in_use) total += item.mass;
    return total;
}

int COMMON_VESSEL_EX::item_count() const {
    int n = 0;
    for (const CVE_ITEM& item : items)
        if (item.in_use) ++n;
    return n;
}
