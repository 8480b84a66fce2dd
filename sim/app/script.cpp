// Reading scripts.
#include "script.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "flight_data.h"
#include "input_error.h"
#include "pilot/mode_names.h"
#include "text_util.h"

namespace sim {

namespace {

// Scan codes (set 1) of the letter and digit keys.
constexpr struct {
    char key;
    DWORD code;
} KEY_CODES[] = {
    {'Q', 0x10}, {'W', 0x11}, {'E', 0x12}, {'R', 0x13}, {'T', 0x14}, {'Y', 0x15}, {'U', 0x16}, {'I', 0x17},
    {'O', 0x18}, {'P', 0x19}, {'A', 0x1E}, {'S', 0x1F}, {'D', 0x20}, {'F', 0x21}, {'G', 0x22}, {'H', 0x23},
    {'J', 0x24}, {'K', 0x25}, {'L', 0x26}, {'Z', 0x2C}, {'X', 0x2D}, {'C', 0x2E}, {'V', 0x2F}, {'B', 0x30},
    {'N', 0x31}, {'M', 0x32}, {'1', 0x02}, {'2', 0x03}, {'3', 0x04}, {'4', 0x05}, {'5', 0x06}, {'6', 0x07},
    {'7', 0x08}, {'8', 0x09}, {'9', 0x0A}, {'0', 0x0B},
};

// Manual-control groups by the names a script uses.
constexpr struct {
    const char* name;
    THGROUP_TYPE type;
} PILOT_GROUPS[] = {
    {"main", THGROUP_MAIN},          {"retro", THGROUP_RETRO},          {"hover", THGROUP_HOVER},
    {"pitchup", THGROUP_ATT_PITCHUP}, {"pitchdown", THGROUP_ATT_PITCHDOWN}, {"yawleft", THGROUP_ATT_YAWLEFT},
    {"yawright", THGROUP_ATT_YAWRIGHT}, {"bankleft", THGROUP_ATT_BANKLEFT}, {"bankright", THGROUP_ATT_BANKRIGHT},
    {"right", THGROUP_ATT_RIGHT},    {"left", THGROUP_ATT_LEFT},        {"up", THGROUP_ATT_UP},
    {"down", THGROUP_ATT_DOWN},      {"forward", THGROUP_ATT_FORWARD},  {"back", THGROUP_ATT_BACK},
};

// Aerodynamic controls by the names a script uses; their inputs run -1..1.
constexpr struct {
    const char* name;
    AIRCTRL_TYPE type;
} PILOT_SURFACES[] = {
    {"elevator", AIRCTRL_ELEVATOR},
    {"aileron", AIRCTRL_AILERON},
    {"rudder", AIRCTRL_RUDDER},
};

// Time acceleration, as the simulator offers it. Below the slowest, a frame's step could fall
// under the clock's resolution and the clock would stand still.
constexpr double kMinWarp = 0.1;
constexpr double kMaxWarp = 100000.0;
constexpr const char* kTimeSince = "time_since";

template <size_t N>
std::string names_of(const pilot::ModeName (&names)[N], bool with_off) {
    std::string list;
    for (const pilot::ModeName& m : names)
        if (with_off || m.mode != 0) {
            if (!list.empty()) list += ", ";
            list += m.name;
        }
    return list;
}

// Windows opens the device, not a file, for these names whatever their case and extension.
bool is_windows_device_name(const std::string& name) {
    const std::string stem = to_upper(name.substr(0, name.find('.')));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
           std::isdigit(static_cast<unsigned char>(stem[3]));
}

bool is_file_name(const std::string& s) {
    if (s.empty() || s[0] == '.') return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    });
}

class LineReader {
public:
    LineReader(const std::string& source, int line) : source_(source), line_(line) {}
    [[noreturn]] void fail(const std::string& what) const { throw InputError(at_line(source_, line_, what)); }

    // A number from `low` to `high`; `what` names it in the message.
    double number_between(const std::string& word, double low, double high, const std::string& what) const {
        double value = 0.0;
        if (!parse_double(word, value) || value < low || value > high)
            fail(what + " \"" + word + "\" is not a number from " + number_text(low) + " to " + number_text(high));
        return value;
    }

    // The name of an output file the run writes as NAME + extension into the output folder.
    std::string output_name(const std::string& word, const std::string& extension) const {
        if (!is_file_name(word)) fail("name \"" + word + "\" may hold only letters, digits, '_', '-' and '.'");
        if (word.size() + extension.size() > kMaxFileNameBytes)
            fail("name \"" + word.substr(0, 16) + "...\" is too long: a file name holds at most " +
                 std::to_string(kMaxFileNameBytes - extension.size()) + " characters before \"" + extension + "\"");
        // Refused on every platform, so that a script that runs here runs with the Windows build.
        if (is_windows_device_name(word))
            fail("name \"" + word + "\" is a device on Windows (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
                 "with any extension), where no file of that name can be written");
        if (word.back() == '.') fail("name \"" + word + "\" ends with '.', which Windows drops from a name");
        return word;
    }

    // "<quantity><op><value>"; a quantity with named values (navmode, rcs_mode) takes a name.
    Condition condition(const std::string& word) const {
        std::string value;
        Condition c = split_condition(word, value);
        c.quantity = to_lower(c.quantity);
        c.index = flight_value_index(c.quantity);
        if (c.index < 0) {
            const auto& names = flight_value_names();
            std::string known;
            for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
            fail("unknown quantity \"" + c.quantity + "\" (known: " + known + ", and time_since <event>)");
        }
        if (!parse_double(value, c.value) && !flight_value_from_word(c.index, value, c.value))
            fail("condition \"" + word + "\" needs a number after the operator" +
                 (c.quantity == "navmode"    ? " or an autopilot (" + names_of(pilot::NAVMODE_NAMES, true) + ")"
                  : c.quantity == "rcs_mode" ? " or an RCS mode (" + names_of(pilot::RCS_MODE_NAMES, true) + ")"
                                             : std::string()));
        return c;
    }

    // "time_since <event><op><seconds>": seconds since the event, false until it happens.
    Condition time_since(const std::string& word) const {
        std::string value;
        Condition c = split_condition(word, value);
        c.event = c.quantity;
        c.quantity = kTimeSince;
        if (!parse_double(value, c.value))
            fail("condition \"time_since " + word + "\" needs a number of seconds after the operator");
        return c;
    }

    ScriptCommand command(const std::vector<std::string>& w, size_t at, const std::string& rest_of_line) const {
        if (at >= w.size()) fail("missing command");
        const std::string name = to_lower(w[at]);
        const size_t nargs = w.size() - at - 1;
        auto need = [&](size_t n, const char* usage) {
            if (nargs != n) fail(std::string("expected \"") + usage + "\"");
        };
        ScriptCommand c;
        if (name == "key") {
            c.kind = CommandKind::Key;
            need(1, "key [shift+|ctrl+]<key>");
            std::string k = w[at + 1];
            for (;;) {
                const size_t plus = k.find('+');
                if (plus == std::string::npos) break;
                const std::string mod = to_lower(k.substr(0, plus));
                if (mod == "shift") c.shift = true;
                else if (mod == "ctrl" || mod == "control") c.ctrl = true;
                else fail("unknown modifier \"" + k.substr(0, plus) + "\" (shift, ctrl)");
                k = k.substr(plus + 1);
            }
            c.scan_code = scan_code_of(k);
            if (c.scan_code == 0) fail("unknown key \"" + k + "\" (a letter, a digit or a scan code such as 0x22)");
        } else if (name == "pilot") {
            c.kind = CommandKind::Pilot;
            need(2, "pilot <control> <level>");
            const std::string g = to_lower(w[at + 1]);
            bool found = false;
            for (const auto& pg : PILOT_GROUPS)
                if (g == pg.name) c.group = pg.type, found = true;
            for (const auto& ps : PILOT_SURFACES)
                if (g == ps.name) c.surface = ps.type, found = true;
            if (!found) fail("unknown control \"" + w[at + 1] + "\" (main, retro, hover, pitchup, pitchdown, "
                             "yawleft, yawright, bankleft, bankright, right, left, up, down, forward, back, "
                             "elevator, aileron, rudder)");
            c.value = number_between(w[at + 2], c.surface >= 0 ? -1.0 : 0.0, 1.0, "pilot level");
        } else if (name == "rcs") {
            c.kind = CommandKind::Rcs;
            need(1, "rcs off|rot|lin");
            c.mode = pilot::mode_of(pilot::RCS_MODE_NAMES, w[at + 1]);
            if (c.mode < 0) fail("unknown RCS mode \"" + w[at + 1] + "\" (" + names_of(pilot::RCS_MODE_NAMES, true) + ")");
        } else if (name == "navmode") {
            c.kind = CommandKind::Navmode;
            need(2, "navmode <autopilot> on|off|toggle");
            c.mode = pilot::mode_of(pilot::NAVMODE_NAMES, w[at + 1]);
            if (c.mode <= 0)
                fail("unknown autopilot \"" + w[at + 1] + "\" (" + names_of(pilot::NAVMODE_NAMES, false) + ")");
            const std::string action = to_lower(w[at + 2]);
            if (action == "on") c.action = Switch::On;
            else if (action == "off") c.action = Switch::Off;
            else if (action == "toggle") c.action = Switch::Toggle;
            else fail("navmode \"" + w[at + 2] + "\" is not on, off or toggle");
        } else if (name == "input") {
            c.kind = CommandKind::Input;
            if (nargs == 0) fail("expected \"input <text>\"");
            c.text = rest_of_line;
        } else if (name == "warp") {
            c.kind = CommandKind::Warp;
            need(1, "warp <factor>");
            c.value = number_between(w[at + 1], kMinWarp, kMaxWarp, "time acceleration");
        } else if (name == "focus" || name == "save" || name == "hud" || name == "event") {
            c.kind = name == "focus" ? CommandKind::Focus
                     : name == "save" ? CommandKind::Save
                     : name == "hud"  ? CommandKind::Hud
                                      : CommandKind::Event;
            need(1, (name + " <name>").c_str());
            c.text = w[at + 1];
            if (c.kind == CommandKind::Save || c.kind == CommandKind::Hud)
                output_name(c.text, output_extension(c.kind));
            else if (c.kind == CommandKind::Event && !is_file_name(c.text))
                fail("name \"" + c.text + "\" may hold only letters, digits, '_', '-' and '.'");
        } else if (name == "stop") {
            c.kind = CommandKind::Stop;
            need(0, "stop");
        } else {
            fail("unknown command \"" + w[at] + "\" (key, pilot, rcs, navmode, input, warp, focus, save, hud, event, "
                 "stop)");
        }
        return c;
    }

private:
    // Splits "<name><op><value>"; ops > >= < <= = (or ==) !=.
    Condition split_condition(const std::string& word, std::string& value) const {
        const size_t op_at = word.find_first_of("<>=!");
        if (op_at == std::string::npos || op_at == 0)
            fail("condition \"" + word + "\" is not \"<quantity><op><value>\" (ops > >= < <= = !=)");
        Condition c;
        c.quantity = word.substr(0, op_at);
        const char op = word[op_at];
        const bool with_equal = op_at + 1 < word.size() && word[op_at + 1] == '=';
        if (op == '!' && !with_equal) fail("condition \"" + word + "\": \"!\" must be followed by \"=\"");
        switch (op) {
            case '>': c.op = with_equal ? Comparison::GreaterEqual : Comparison::Greater; break;
            case '<': c.op = with_equal ? Comparison::LessEqual : Comparison::Less; break;
            case '=': c.op = Comparison::Equal; break;
            default: c.op = Comparison::NotEqual; break;
        }
        value = word.substr(op_at + (with_equal ? 2 : 1));
        return c;
    }

    const std::string& source_;
    int line_;
};

// The text after the first n words of a line, trimmed.
std::string after_words(const std::string& line, size_t n) {
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string::npos) return {};
    }
    return trim(line.substr(pos));
}

// No output overwrites another: neither one of the run's own files, nor a file another line
// writes, names compared without regard to case, since Windows sees names equal but for case
// as one file. Checked whether or not the run has an output folder, so that a script behaves
// alike everywhere.
void check_outputs_distinct(const Script& script) {
    struct Written {
        std::string file;
        int line;  // of the script; 0: the run's own
    };
    std::vector<Written> written;
    for (const char* file : kRunOutputFiles) written.push_back({file, 0});
    for (const ScriptEntry& e : script.entries) {
        const std::string extension = output_extension(e.command.kind);
        if (extension.empty()) continue;
        const std::string file = e.command.text + extension;
        const auto same = std::find_if(written.begin(), written.end(), [&](const Written& w) {
            return to_lower(w.file) == to_lower(file);
        });
        if (same != written.end())
            throw InputError(at_line(script.source, e.line,
                                     "\"" + file + "\" would overwrite " +
                                         (same->line == 0 ? same->file + ", which the run writes at its end"
                                                          : "\"" + same->file + "\" of line " + std::to_string(same->line)) +
                                         (same->file == file ? "" : " (names equal but for case are one file on Windows)")));
        written.push_back({file, e.line});
    }
}

}  // namespace

const char* output_extension(CommandKind kind) {
    switch (kind) {
        case CommandKind::Save: return ".scn";
        case CommandKind::Hud: return ".svg";
        default: return "";
    }
}

DWORD scan_code_of(const std::string& name) {
    if (name.size() == 1) {
        const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        for (const auto& kc : KEY_CODES)
            if (kc.key == k) return kc.code;
        return 0;
    }
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        try {
            size_t used = 0;
            const unsigned long code = std::stoul(name.substr(2), &used, 16);
            if (used == name.size() - 2 && code > 0 && code < KEYSTATE_SIZE) return static_cast<DWORD>(code);
        } catch (const std::exception&) {
        }
    }
    return 0;
}

Script parse_script(const std::string& text, const std::string& source) {
    Script script;
    script.source = source;
    std::istringstream in(text);
    std::string raw;
    std::vector<ScriptEntry> timed, conditional;
    for (int line_no = 1; std::getline(in, raw); ++line_no) {
        const size_t hash = raw.find('#');
        const std::string line = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (line.empty()) continue;
        const LineReader reader(source, line_no);
        const std::vector<std::string> w = split_words(line);
        ScriptEntry e;
        e.line = line_no;
        e.text = line;
        size_t at = 0;
        if (to_lower(w[0]) == "when") {
            at = 1;
            for (;;) {
                if (at >= w.size()) reader.fail("a condition is missing after \"" + w[at - 1] + "\"");
                if (to_lower(w[at]) == kTimeSince) {
                    if (++at >= w.size()) reader.fail("\"time_since\" needs \"<event><op><seconds>\"");
                    e.conditions.push_back(reader.time_since(w[at]));
                } else {
                    e.conditions.push_back(reader.condition(w[at]));
                }
                ++at;
                if (at < w.size() && to_lower(w[at]) == "and") {
                    ++at;
                    continue;
                }
                break;
            }
        } else {
            std::string t = w[0];
            if (t.size() > 2 && (t[0] == 't' || t[0] == 'T') && t[1] == '=') t = t.substr(2);
            double time = 0.0;
            if (!parse_double(t, time) || time < 0.0)
                reader.fail("a line starts with \"t=<seconds>\", \"<seconds>\" or \"when\", not \"" + w[0] + "\"");
            e.time = time;
            at = 1;
        }
        e.command = reader.command(w, at, after_words(line, at + 1));
        (e.time ? timed : conditional).push_back(std::move(e));
    }
    std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return *a.time < *b.time; });
    script.entries = std::move(timed);
    for (auto& e : conditional) script.entries.push_back(std::move(e));
    check_outputs_distinct(script);
    return script;
}

Script read_script_file(const std::string& path) {
    return parse_script(read_input_file(path, "script file"), path);
}

}  // namespace sim
