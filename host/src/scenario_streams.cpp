// Scenario streams: a reader hands out the lines of one vessel block, a writer collects the
// "KEY value" lines a vessel writes.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "host_internal.h"

namespace runtime {

FILEHANDLE World::open_reader(const std::vector<std::string>& lines) {
    auto r = std::make_unique<ScenarioReader>();
    r->lines = lines;
    FILEHANDLE h = r.get();
    readers_[h] = std::move(r);
    return h;
}

FILEHANDLE World::open_writer() {
    auto w = std::make_unique<ScenarioWriter>();
    FILEHANDLE h = w.get();
    writers_[h] = std::move(w);
    return h;
}

ScenarioReader* World::reader(FILEHANDLE h) {
    auto it = readers_.find(h);
    return it == readers_.end() ? nullptr : it->second.get();
}

ScenarioWriter* World::writer(FILEHANDLE h) {
    auto it = writers_.find(h);
    return it == writers_.end() ? nullptr : it->second.get();
}

void World::close_stream(FILEHANDLE h) {
    readers_.erase(h);
    writers_.erase(h);
}

}  // namespace runtime

namespace {

using runtime::World;

void write_line(FILEHANDLE scn, const char* item, const std::string& value) {
    runtime::ScenarioWriter* w = World::current().writer(scn);
    if (w == nullptr) return;
    std::string line = item != nullptr ? item : "";
    if (!value.empty()) line += " " + value;
    w->lines.push_back(std::move(line));
}

// The shortest text that reads back as the same double: a saved value loads unchanged, so
// load-save-load-save is a fixed point from the first save on.
std::string format_number(double d) {
    if (!std::isfinite(d)) return "0";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

}  // namespace

bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
    runtime::ScenarioReader* r = World::current().reader(scn);
    if (r == nullptr || r->next >= r->lines.size()) return false;
    const std::string& raw = r->lines[r->next++];
    size_t b = 0, e = raw.size();
    while (b < e && (raw[b] == ' ' || raw[b] == '\t')) ++b;
    while (e > b && (raw[e - 1] == '\n' || raw[e - 1] == '\r')) --e;
    r->current.assign(raw, b, e - b);
    line = r->current.data();
    return true;
}

void oapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* string) {
    write_line(scn, item, string != nullptr ? string : "");
}

void oapiWriteScenario_int(FILEHANDLE scn, const char* item, int i) {
    write_line(scn, item, std::to_string(i));
}

void oapiWriteScenario_float(FILEHANDLE scn, const char* item, double d) {
    write_line(scn, item, format_number(d));
}

void oapiWriteScenario_vec(FILEHANDLE scn, const char* item, const VECTOR3& vec) {
    write_line(scn, item, format_number(vec.x) + " " + format_number(vec.y) + " " + format_number(vec.z));
}
