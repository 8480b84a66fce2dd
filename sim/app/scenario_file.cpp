// Reading and writing scenario files.
#include "scenario_file.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "input_error.h"
#include "text_util.h"

namespace sim {

namespace {

// Whole numbers below this in magnitude have no shorter exponent form (1e+04 is as long as 10000).
constexpr double kPlainIntegerBound = 1e4;

enum class Section { Top, Desc, Environment, Focus, Ships, Ship };

const char* section_end(Section s) {
    switch (s) {
        case Section::Desc: return "END_DESC";
        case Section::Environment: return "END_ENVIRONMENT";
        case Section::Focus: return "END_FOCUS";
        case Section::Ships: return "END_SHIPS";
        case Section::Ship: return "END";
        case Section::Top: break;
    }
    return "";
}

void read_environment_line(ScenarioFile& scn, const std::vector<std::string>& words, int line_no) {
    auto fail = [&](const std::string& what) { throw InputError(at_line(scn.source, line_no, what)); };
    if (iequals(words[0], "System")) {
        if (words.size() != 2) fail("\"System\" needs one name");
        scn.system = words[1];
    } else if (iequals(words[0], "Date")) {
        double mjd = 0.0;
        if (words.size() != 3 || !iequals(words[1], "MJD") || !parse_double(words[2], mjd))
            fail("expected \"Date MJD <value>\"");
        if (std::fabs(mjd) > kMaxMjd) fail("date MJD " + words[2] + " is outside -1000000..1000000");
        scn.mjd = mjd;
    } else {
        fail("unknown environment key \"" + words[0] + "\"");
    }
}

void read_focus_line(ScenarioFile& scn, const std::vector<std::string>& words, int line_no) {
    if (words.size() != 2 || !iequals(words[0], "Ship"))
        throw InputError(at_line(scn.source, line_no, "expected \"Ship <name>\" in the focus block"));
    if (scn.focus) throw InputError(at_line(scn.source, line_no, "a second focus vessel"));
    scn.focus = words[1];
    scn.focus_line = line_no;
}

void start_ship(ScenarioFile& scn, const std::string& text, int line_no) {
    const size_t colon = text.find(':');
    auto fail = [&](const std::string& what) { throw InputError(at_line(scn.source, line_no, what)); };
    if (colon == std::string::npos) fail("expected \"<name>:<class>\" or \"END_SHIPS\", got \"" + text + "\"");
    ShipBlock ship;
    ship.name = trim(text.substr(0, colon));
    ship.class_name = trim(text.substr(colon + 1));
    ship.line = line_no;
    if (ship.name.empty() || split_words(ship.name).size() != 1) fail("a vessel name is one word");
    if (ship.class_name.empty() || split_words(ship.class_name).size() != 1) fail("a class name is one word");
    for (const ShipBlock& other : scn.ships)
        if (other.name == ship.name)
            fail("a second vessel named \"" + ship.name + "\" (first on line " + std::to_string(other.line) + ")");
    scn.ships.push_back(std::move(ship));
}

}  // namespace

char* write_double(char* out, double d) {
    if (!std::isfinite(d) || d == 0.0) {  // also for -0: one text per value
        *out = '0';
        return out + 1;
    }
    // A whole number below 10^4 in magnitude is shortest in plain digits, which is what the
    // shortest form gives; written as an integer, it skips the search for the shortest digits.
    if (std::fabs(d) < kPlainIntegerBound && d == std::trunc(d))
        return std::to_chars(out, out + kDoubleTextSize, static_cast<int>(d)).ptr;
    return std::to_chars(out, out + kDoubleTextSize, d).ptr;
}

std::string format_double(double d) {
    char buf[kDoubleTextSize];
    return std::string(buf, write_double(buf, d));
}

ScenarioFile parse_scenario(const std::string& text, const std::string& source) {
    ScenarioFile scn;
    scn.source = source;
    Section section = Section::Top;
    int section_line = 0;
    std::istringstream in(text);
    std::string raw;
    int line_no = 0;
    auto fail = [&](const std::string& what) { throw InputError(at_line(source, line_no, what)); };
    while (std::getline(in, raw)) {
        ++line_no;
        // Every carriage return at the end goes, not only a CRLF's: a description line kept
        // with one would be written back and lose it at the next reading.
        while (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = trim(raw);
        if (section == Section::Desc) {
            if (line == "END_DESC")
                section = Section::Top;
            else
                scn.description.push_back(raw);
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (section == Section::Ship) {
            if (line == "END")
                section = Section::Ships;
            else
                scn.ships.back().lines.push_back({line, line_no});
            continue;
        }
        const std::vector<std::string> words = split_words(line);
        switch (section) {
            case Section::Top:
                section_line = line_no;
                if (line == "BEGIN_DESC") section = Section::Desc;
                else if (line == "BEGIN_ENVIRONMENT") section = Section::Environment;
                else if (line == "BEGIN_FOCUS") section = Section::Focus;
                else if (line == "BEGIN_SHIPS") section = Section::Ships;
                else fail("unexpected line \"" + line + "\" outside any block");
                break;
            case Section::Environment:
                if (line == "END_ENVIRONMENT") section = Section::Top;
                else read_environment_line(scn, words, line_no);
                break;
            case Section::Focus:
                if (line == "END_FOCUS") section = Section::Top;
                else read_focus_line(scn, words, line_no);
                break;
            case Section::Ships:
                if (line == "END_SHIPS") {
                    section = Section::Top;
                } else {
                    start_ship(scn, line, line_no);
                    section = Section::Ship;
                    section_line = line_no;
                }
                break;
            case Section::Desc:
            case Section::Ship:
                break;
        }
    }
    if (section != Section::Top)
        throw InputError(at_line(source, section_line, std::string("block not closed: \"") + section_end(section) +
                                                           "\" missing before the end of the file"));
    if (scn.ships.empty()) throw InputError(source + ": no vessels (a BEGIN_SHIPS block with at least one)");
    if (scn.focus) {
        bool found = false;
        for (const ShipBlock& s : scn.ships) found = found || s.name == *scn.focus;
        if (!found)
            throw InputError(at_line(source, scn.focus_line, "focus vessel \"" + *scn.focus + "\" is not in the ships"));
    }
    return scn;
}

ScenarioFile read_scenario_file(const std::string& path) {
    return parse_scenario(read_input_file(path, "scenario file"), path);
}

std::string format_scenario(const ScenarioFile& scn) {
    std::ostringstream out;
    out << "BEGIN_DESC\n";
    for (const std::string& line : scn.description) out << line << "\n";
    out << "END_DESC\n\n";
    out << "BEGIN_ENVIRONMENT\n  System " << scn.system << "\n";
    if (scn.mjd) out << "  Date MJD " << format_double(*scn.mjd) << "\n";
    out << "END_ENVIRONMENT\n\n";
    if (scn.focus) out << "BEGIN_FOCUS\n  Ship " << *scn.focus << "\nEND_FOCUS\n\n";
    out << "BEGIN_SHIPS\n";
    for (const ShipBlock& ship : scn.ships) {
        out << ship.name << ":" << ship.class_name << "\n";
        for (const ScenarioLine& l : ship.lines) out << "  " << l.text << "\n";
        out << "END\n";
    }
    out << "END_SHIPS\n";
    return out.str();
}

}  // namespace sim
