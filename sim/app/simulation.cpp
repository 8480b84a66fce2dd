// The headless host's run: its options, loading the scenario and the script, and the
// scenario as saved. The frame loop, script runner, events, outputs, report and progress
// line have files of their own.
#include "simulation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "input_error.h"
#include "physics/physics.h"
#include "pilot/pilot.h"
#include "simulation_internal.h"
#include "text_util.h"
#include "watch_recorder.h"

#ifndef KORVAN_RUN_TREE
#define KORVAN_RUN_TREE "."
#endif

namespace sim {

namespace fs = std::filesystem;

namespace {

constexpr double kMjdJ2000 = 51544.5;         // the body's rotation angle is 0 at this date
constexpr double kSecondsPerDay = 86400.0;

std::string absolute_path(const std::string& p) {
    if (p.empty()) return p;
    std::error_code ec;
    const fs::path a = fs::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

// The frame steps the physics integrates stably: the default ascent flies alike from 0.005
// to 0.2 s and its state runs away at 0.5 s. Below the smallest, runs take days.
constexpr double kMinFrameStep = 1e-4;  // s
constexpr double kMaxFrameStep = 0.1;   // s

// The dispersions a flight may ask for: beyond them the air or the engines are no longer the
// same kind of thing (factors), or the wind is stronger than any jet stream.
constexpr double kMaxDispersionFactor = 10.0;
constexpr double kMaxWindSpeed = 200.0;  // m/s

void check_factor(const char* option, double factor) {
    if (!(factor > 0.0 && factor <= kMaxDispersionFactor))
        throw InputError(std::string(option) + " " + number_text(factor) + ": the factor must be above 0 and at most " +
                         number_text(kMaxDispersionFactor));
}

// Options that cannot be used stop everything before the run, as bad input does.
void check_run_options(const RunOptions& o) {
    check_factor("--atmosphere-density", o.atmosphere_density);
    check_factor("--thrust-factor", o.thrust_factor);
    if (!(std::hypot(o.wind_east, o.wind_north) <= kMaxWindSpeed))
        throw InputError("--wind-east " + number_text(o.wind_east) + " --wind-north " + number_text(o.wind_north) +
                         ": the wind must be at most " + number_text(kMaxWindSpeed) + " m/s");
    if (!(o.dt >= kMinFrameStep && o.dt <= kMaxFrameStep))
        throw InputError("--dt " + number_text(o.dt) + ": the frame step must be from " + number_text(kMinFrameStep) +
                         " to " + number_text(kMaxFrameStep) + " s");
    if (o.until && !(std::isfinite(*o.until) && *o.until >= 0.0))
        throw InputError("--until " + number_text(*o.until) + ": the end of the run must be a time of 0 s or more");
    if (!(std::isfinite(o.telemetry_interval) && o.telemetry_interval > 0.0))
        throw InputError("--telemetry-interval " + number_text(o.telemetry_interval) +
                         ": the interval must be a number of seconds above 0");
    if (!(std::isfinite(o.track_interval) && o.track_interval > 0.0))
        throw InputError("--track-interval " + number_text(o.track_interval) +
                         ": the interval must be a number of seconds above 0");
}

}  // namespace

// The vessel block being read: the status pointer the host hands to clbkLoadStateEx.
struct Simulation::LoadContext {
    runtime::VesselRecord* vessel = nullptr;
    const ShipBlock* block = nullptr;
    FILEHANDLE scn = nullptr;
    HostKeys keys;
    std::string error;
};

// A vessel's state right after loading and the keys it was loaded from: saved again
// unchanged, the same keys are written, so load-save-load-save is a fixed point.
struct Simulation::Memo {
    const runtime::VesselRecord* vessel = nullptr;
    std::string name;
    VECTOR3 pos{}, vel{}, omega{};
    MATRIX3 R{};
    bool landed = false;
    const runtime::VesselRecord* parent = nullptr;
    std::vector<double> propellant;
    HostKeys keys;

    void capture(const runtime::World& w, const runtime::VesselRecord& v) {
        vessel = &v;
        name = v.name;
        pos = v.state.pos, vel = v.state.vel, omega = v.state.omega, R = v.state.R;
        landed = v.state.landed;
        parent = w.parent_of(&v);
        propellant.clear();
        for (const auto& p : v.def.propellants) propellant.push_back(p->mass);
    }
    bool matches(const runtime::World& w, const runtime::VesselRecord& v) const {
        Memo now;
        now.capture(w, v);
        auto same = [](const VECTOR3& a, const VECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
        return vessel == &v && name == v.name && same(pos, now.pos) && same(vel, now.vel) &&
               same(omega, now.omega) && std::equal(R.data, R.data + 9, now.R.data) && landed == now.landed &&
               parent == now.parent && propellant == now.propellant;
    }
};

const char* outcome_name(Outcome o) {
    switch (o) {
        case Outcome::NotRun: return "not_run";
        case Outcome::Until: return "until";
        case Outcome::StopEvent: return "stop_event";
        case Outcome::ScriptStop: return "script_stop";
        case Outcome::NonFinite: return "nonfinite_state";
        case Outcome::Interrupted: return "interrupted";
        case Outcome::BeyondScenario: return "state_beyond_scenario";
    }
    return "";
}

Simulation::Simulation(RunOptions options) : options_(std::move(options)) {
    root_ = absolute_path(options_.root.empty() ? std::string(KORVAN_RUN_TREE) : options_.root);
    outputs_ = RunOutputs(absolute_path(options_.out_dir));
    // Paths given relative to where the run started are made absolute before the chdir.
    auto resolve = [&](std::string& p) {
        if (p.empty()) return;
        std::error_code ec;
        if (fs::exists(p, ec)) p = absolute_path(p);
        else if (fs::path(p).is_relative() && fs::exists(fs::path(root_) / p, ec)) p = (fs::path(root_) / p).string();
    };
    resolve(options_.scenario_path);
    resolve(options_.script_path);
    world_ = std::make_unique<runtime::World>();
    world_->set_root(root_);
    install_hooks();
}

Simulation::~Simulation() {
    pilot_.reset();
    physics_.reset();
    world_->destroy_all_vessels();
    world_.reset();
    if (sound_module_ != nullptr) FreeLibrary(sound_module_);
}

void Simulation::install_hooks() {
    world_->parse_default_line = [this](runtime::VesselRecord& v, const char* line, void* status) -> bool {
        LoadContext* ctx = loading_ != nullptr && status == loading_ && loading_->vessel == &v ? loading_ : nullptr;
        HostKeys scratch;
        std::string error;
        if (!parse_host_key(line, ctx != nullptr ? ctx->keys : scratch, error)) {
            v.unparsed_lines.emplace_back(line);
            return false;
        }
        if (ctx == nullptr) return true;
        int line_no = ctx->block->line;
        if (const runtime::ScenarioReader* r = world_->reader(ctx->scn); r != nullptr && r->next > 0 &&
                                                                           r->next - 1 < ctx->block->lines.size())
            line_no = ctx->block->lines[r->next - 1].line;
        const std::string key = to_lower(split_words(line)[0]);
        if (key == "prplevel") ctx->keys.prplevel_line = line_no;
        if (key == "attached" && ctx->keys.attached) ctx->keys.attached->line = line_no;
        if (!error.empty() && ctx->error.empty()) ctx->error = at_line(scenario_.source, line_no, error);
        return true;
    };
    world_->write_default_state = [this](const runtime::VesselRecord& v, FILEHANDLE scn) {
        for (const std::string& line : format_host_keys(keys_for_saving(v))) {
            const size_t space = line.find(' ');
            oapiWriteScenario_string(scn, line.substr(0, space).c_str(),
                                     space == std::string::npos ? "" : line.substr(space + 1).c_str());
        }
    };
    world_->on_vessel_created = [this](runtime::VesselRecord& v) {
        created_vessels_.push_back(v.name);
        record_event(StandardEvent::vessel_created, v.name);
    };
}

void Simulation::load() {
    if (loaded_) return;
    check_run_options(options_);
    auto text_name = [](const std::string& name, const std::string& path, const char* fallback) {
        return !name.empty() ? name : !path.empty() ? path : std::string(fallback);
    };
    scenario_ = options_.scenario_text.empty()
                    ? read_scenario_file(options_.scenario_path)
                    : parse_scenario(options_.scenario_text,
                                     text_name(options_.scenario_name, options_.scenario_path, "<scenario>"));
    if (!options_.script_text.empty())
        script_runner_.load(parse_script(options_.script_text,
                                         text_name(options_.script_name, options_.script_path, "<script>")));
    else if (!options_.script_path.empty())
        script_runner_.load(read_script_file(options_.script_path));
    telemetry_.set_interval(options_.telemetry_interval);

    // --stop-on names an event the host or the script can raise.
    for (const std::string& name : options_.stop_on)
        if (!known_event(name)) throw InputError("--stop-on: " + unknown_event_message(name));
    script_runner_.resolve_events([this](const std::string& name) { return known_event(name); },
                                  [this](const std::string& name) { return unknown_event_message(name); });
    outputs_.prepare(script_runner_.script());
    std::error_code ec;
    if (!fs::is_directory(root_, ec)) throw InputError(root_ + ": the run tree is not a folder");
    // The module names its companions and sounds relative to the simulator's folder.
    if (options_.change_directory && ::chdir(root_.c_str()) != 0)
        throw InputError(root_ + ": cannot enter the run tree");

    if (scenario_.mjd) world_->mjd = *scenario_.mjd;
    world_->earth.rotation_offset =
        std::fmod((world_->mjd - kMjdJ2000) * kSecondsPerDay / world_->earth.sidereal_period, 1.0) * PI2;
    world_->time_acceleration = 1.0;
    world_->sim_step = options_.dt;
    world_->earth.density_factor = options_.atmosphere_density;
    world_->earth.wind_east = options_.wind_east;
    world_->earth.wind_north = options_.wind_north;

    if (options_.sound) {
        sound_module_ = LoadLibraryA("Modules\\OrbiterSound");
        if (sound_module_ == nullptr)
            throw InputError(root_ + "/Modules/OrbiterSound: cannot load the sound service (--sound)");
    }
    create_vessels();
    if (scenario_.focus)
        world_->focus = world_->find_vessel(*scenario_.focus);
    else if (world_->vessel_count() > 0)
        world_->focus = world_->vessel(0);
    loaded_ = true;
}

void Simulation::create_vessels() {
    std::vector<std::pair<runtime::VesselRecord*, HostKeys>> loaded;
    for (const ShipBlock& block : scenario_.ships) {
        std::string error;
        runtime::VesselRecord* v = world_->instantiate_vessel(block.name, block.class_name, &error);
        if (v == nullptr) throw InputError(at_line(scenario_.source, block.line, error));
        v->iface->clbkSetClassCaps(nullptr);

        std::vector<std::string> lines;
        for (const ScenarioLine& l : block.lines) lines.push_back(l.text);
        LoadContext ctx;
        ctx.vessel = v;
        ctx.block = &block;
        ctx.scn = world_->open_reader(lines);
        loading_ = &ctx;
        v->iface->clbkLoadStateEx(ctx.scn, &ctx);
        loading_ = nullptr;
        world_->close_stream(ctx.scn);
        if (!ctx.error.empty()) throw InputError(ctx.error);
        apply_host_keys(*v, block, ctx.keys);
        loaded.emplace_back(v, ctx.keys);
    }
    attach_children(loaded);
    for (auto& [v, keys] : loaded) remember_loaded_state(*v, keys);
}

void Simulation::apply_host_keys(runtime::VesselRecord& v, const ShipBlock& block, HostKeys& keys) {
    auto fail = [&](int line, const std::string& what) { throw InputError(at_line(scenario_.source, line, what)); };
    const std::string who = "vessel \"" + v.name + "\"";
    if (keys.attached) {
        // Placed by its parent once every vessel exists.
    } else if (keys.status == FlightStatus::Landed) {
        if (!keys.pos_deg) fail(block.line, who + " is landed but has no \"POS <lng> <lat>\" line");
        if (!keys.heading_deg) keys.heading_deg = 0.0;
        // On its touchdown points: placed level, a vessel whose nose wheel stands higher than
        // its main wheels would drop its nose onto the ground once released.
        physics::rest_on_ground(*world_, v, (*keys.pos_deg)[0] * RAD, (*keys.pos_deg)[1] * RAD,
                                *keys.heading_deg * RAD, keys.alt_m);
        // Saved with the height it was placed at, as a scenario that gave none always was.
        if (!keys.alt_m) keys.alt_m = length(v.state.pos) - world_->earth.radius;
    } else if (keys.status == FlightStatus::Orbiting) {
        if (!keys.rpos || !keys.rvel) fail(block.line, who + " is orbiting but lacks an \"RPOS\" or \"RVEL\" line");
        if (!keys.arot_deg) keys.arot_deg = _V(0, 0, 0);
        if (!keys.vrot_deg_s) keys.vrot_deg_s = _V(0, 0, 0);
        if (length(*keys.rpos) < world_->earth.radius - kMaxDepthBelowSurface)
            fail(block.line, who + ": RPOS lies more than " + std::to_string(int(kMaxDepthBelowSurface)) +
                                 " m below the surface (positions are from the Earth's centre, in metres)");
        runtime::VesselState& s = world_->move(v);
        s.pos = *keys.rpos;
        s.vel = *keys.rvel;
        s.R = matrix_from_arot(*keys.arot_deg * RAD);
        s.omega = *keys.vrot_deg_s * RAD;
        s.landed = false;
    } else {
        fail(block.line, who + " has no \"STATUS Landed <body>\" or \"STATUS Orbiting <body>\" line");
    }
    if (keys.rcs_mode) v.controls.rcs_mode = *keys.rcs_mode;
    if (keys.navmode) v.controls.navmode = *keys.navmode;
    for (const auto& [idx, level] : keys.prplevels) {
        if (static_cast<size_t>(idx) >= v.def.propellants.size())
            fail(keys.prplevel_line, who + " has " + std::to_string(v.def.propellants.size()) +
                                         " propellant resource(s): no index " + std::to_string(idx));
        runtime::PropellantRecord& p = *v.def.propellants[static_cast<size_t>(idx)];
        p.mass = p.max_mass * level;
    }
}

void Simulation::attach_children(const std::vector<std::pair<runtime::VesselRecord*, HostKeys>>& loaded) {
    auto nth_point = [](runtime::VesselRecord& v, bool to_parent, int n) -> runtime::AttachmentRecord* {
        int i = 0;
        for (auto& a : v.def.attachments)
            if (a->to_parent == to_parent && i++ == n) return a.get();
        return nullptr;
    };
    for (const auto& [child, keys] : loaded) {
        if (!keys.attached) continue;
        const AttachedKey& a = *keys.attached;
        auto fail = [&](const std::string& what) { throw InputError(at_line(scenario_.source, a.line, what)); };
        runtime::VesselRecord* parent = world_->find_vessel(a.parent);
        if (parent == nullptr || parent == child) fail("unknown parent vessel \"" + a.parent + "\"");
        runtime::AttachmentRecord* pp = nth_point(*parent, false, a.parent_point);
        runtime::AttachmentRecord* cp = nth_point(*child, true, a.child_point);
        if (pp == nullptr) fail("\"" + a.parent + "\" has no child attachment point " + std::to_string(a.parent_point));
        if (cp == nullptr) fail("\"" + child->name + "\" has no to-parent point " + std::to_string(a.child_point));
        if (!world_->attach(parent, pp, child, cp))
            fail("cannot attach \"" + child->name + "\" to \"" + a.parent + "\" (point taken, or a cycle)");
        world_->place_children(parent);
    }
}

void Simulation::remember_loaded_state(runtime::VesselRecord& v, const HostKeys& keys) {
    auto memo = std::make_unique<Memo>();
    memo->keys = keys;
    if (keys.prplevels.empty()) memo->keys.prplevels = host_keys_from_state(*world_, v).prplevels;
    memo->capture(*world_, v);
    memos_.push_back(std::move(memo));
}

HostKeys Simulation::keys_for_saving(const runtime::VesselRecord& v) const {
    for (const auto& m : memos_) {
        if (!m->matches(*world_, v)) continue;
        HostKeys keys = m->keys;
        set_pilot_keys(keys, v.controls);  // the pilot may have changed modes without moving the vessel
        return keys;
    }
    return host_keys_from_state(*world_, v);
}

std::vector<std::string> Simulation::saved_block(const runtime::VesselRecord& v) const {
    FILEHANDLE scn = world_->open_writer();
    v.iface->clbkSaveState(scn);
    std::vector<std::string> lines = world_->writer(scn)->lines;
    world_->close_stream(scn);
    return lines;
}

std::string Simulation::scenario_text() const {
    ScenarioFile out;
    out.source = scenario_.source;
    out.description = scenario_.description;
    out.system = scenario_.system;
    out.mjd = world_->mjd;
    if (const runtime::VesselRecord* f = focus_vessel()) out.focus = f->name;
    for (size_t i = 0; i < world_->vessel_count(); ++i) {
        const runtime::VesselRecord* v = world_->vessel(i);
        if (v->pending_delete || v->iface == nullptr) continue;
        ShipBlock block;
        block.name = v->name;
        block.class_name = v->class_name;
        for (const std::string& l : saved_block(*v)) block.lines.push_back({l, 0});
        out.ships.push_back(std::move(block));
    }
    return format_scenario(out);
}

runtime::VesselRecord* Simulation::focus_vessel() const { return world_->record(world_->focus); }

double wall_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace sim
