// The headless host's run: loading, the frame loop, script commands, events and outputs.
#include "simulation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unistd.h>

#include "input_error.h"
#include "output_files.h"
#include "physics/physics.h"
#include "pilot/pilot.h"
#include "svg_sketchpad.h"
#include "text_util.h"

#ifndef KORVAN_RUN_TREE
#define KORVAN_RUN_TREE "."
#endif

namespace sim {

namespace fs = std::filesystem;

namespace {

constexpr double kTimeEpsilon = 1e-9;         // s: a time reached "at" a scheduled instant
constexpr double kProgressPeriod = 0.25;      // s of wall time between progress refreshes
constexpr double kMjdJ2000 = 51544.5;         // the body's rotation angle is 0 at this date
constexpr double kSecondsPerDay = 86400.0;
constexpr int kHudMode = 1;                   // the surface HUD mode
constexpr double kOnWheels = 0.05;           // m: gear height of a vessel on the ground (springs sink ~3 cm)
constexpr double kLiftoffClearance = 1.0;    // m: gear height of a vessel that has left the ground

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

// Options that cannot be used stop everything before the run, as bad input does.
void check_run_options(const RunOptions& o) {
    if (!(o.dt >= kMinFrameStep && o.dt <= kMaxFrameStep))
        throw InputError("--dt " + number_text(o.dt) + ": the frame step must be from " + number_text(kMinFrameStep) +
                         " to " + number_text(kMaxFrameStep) + " s");
    if (o.until && !(std::isfinite(*o.until) && *o.until >= 0.0))
        throw InputError("--until " + number_text(*o.until) + ": the end of the run must be a time of 0 s or more");
    if (!(std::isfinite(o.telemetry_interval) && o.telemetry_interval > 0.0))
        throw InputError("--telemetry-interval " + number_text(o.telemetry_interval) +
                         ": the interval must be a number of seconds above 0");
}

constexpr size_t kCommonPathMax = 4096;  // bytes in a whole path, where the folder does not say
constexpr size_t kWindowsPathMax = 260;  // MAX_PATH: a whole path through the system's narrow calls

enum class FolderLimit { name, path };

// A limit of the output folder's file system in bytes: a file's name or a whole path.
size_t folder_limit([[maybe_unused]] const std::string& dir, FolderLimit which) {
#if defined(_WIN32)
    return which == FolderLimit::name ? kMaxFileNameBytes : kWindowsPathMax;
#else
    // pathconf answers for the folder's own file system; the common limits where it does not.
    const bool name = which == FolderLimit::name;
    const long n = ::pathconf(dir.c_str(), name ? _PC_NAME_MAX : _PC_PATH_MAX);
    return n > 0 ? static_cast<size_t>(n) : name ? kMaxFileNameBytes : kCommonPathMax;
#endif
}

double wall_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
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

const std::vector<std::string>& standard_events() {
    static const std::vector<std::string> names = {"liftoff", "gear_up", "mach1",         "engine_switch",
                                                   "cutoff",  "apoapsis", "landed", "vessel_created"};
    return names;
}

const char* outcome_name(Outcome o) {
    switch (o) {
        case Outcome::NotRun: return "not_run";
        case Outcome::Until: return "until";
        case Outcome::StopEvent: return "stop_event";
        case Outcome::ScriptStop: return "script_stop";
        case Outcome::NonFinite: return "nonfinite_state";
    }
    return "";
}

Simulation::Simulation(RunOptions options) : options_(std::move(options)) {
    root_ = absolute_path(options_.root.empty() ? std::string(KORVAN_RUN_TREE) : options_.root);
    out_dir_ = absolute_path(options_.out_dir);
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
        record_event("vessel_created", v.name);
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
        script_ = parse_script(options_.script_text,
                               text_name(options_.script_name, options_.script_path, "<script>"));
    else if (!options_.script_path.empty())
        script_ = read_script_file(options_.script_path);
    entry_done_.assign(script_.entries.size(), false);

    // --stop-on names an event the host or the script can raise.
    for (const std::string& name : options_.stop_on)
        if (!known_event(name)) throw InputError("--stop-on: " + unknown_event_message(name));
    resolve_event_conditions();
    if (!out_dir_.empty()) {
        std::error_code ec;
        fs::create_directories(out_dir_, ec);
        if (ec || !fs::is_directory(out_dir_)) throw InputError(out_dir_ + ": cannot create the output folder");
    }
    check_output_names();
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

// Every file a script command writes must fit the output folder; a name the file system
// refuses would otherwise only show when the command runs, late in the flight.
void Simulation::check_output_names() const {
    if (out_dir_.empty()) return;
    const size_t name_max = folder_limit(out_dir_, FolderLimit::name);
    const size_t path_max = folder_limit(out_dir_, FolderLimit::path);
    for (const ScriptEntry& e : script_.entries) {
        const std::string extension = output_extension(e.command.kind);
        if (extension.empty()) continue;
        const std::string file = e.command.text + extension;
        const size_t path_length = (fs::path(out_dir_) / file).string().size();
        if (file.size() > name_max || path_length >= path_max)
            throw InputError(at_line(script_.source, e.line,
                                     "name \"" + e.command.text.substr(0, 16) + "...\" is too long for a file in " +
                                         out_dir_ + " (at most " + std::to_string(name_max - extension.size()) +
                                         " characters before \"" + extension + "\", and " + std::to_string(path_max - 1) +
                                         " in the whole path)"));
    }
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
        if (!keys.alt_m) keys.alt_m = touchdown_height(v);
        world_->set_landed(v, (*keys.pos_deg)[0] * RAD, (*keys.pos_deg)[1] * RAD, *keys.heading_deg * RAD, *keys.alt_m);
    } else if (keys.status == FlightStatus::Orbiting) {
        if (!keys.rpos || !keys.rvel) fail(block.line, who + " is orbiting but lacks an \"RPOS\" or \"RVEL\" line");
        if (!keys.arot_deg) keys.arot_deg = _V(0, 0, 0);
        if (!keys.vrot_deg_s) keys.vrot_deg_s = _V(0, 0, 0);
        if (length(*keys.rpos) < world_->earth.radius - kMaxDepthBelowSurface)
            fail(block.line, who + ": RPOS lies more than " + std::to_string(int(kMaxDepthBelowSurface)) +
                                 " m below the surface (positions are from the Earth's centre, in metres)");
        v.state.pos = *keys.rpos;
        v.state.vel = *keys.rvel;
        v.state.R = matrix_from_arot(*keys.arot_deg * RAD);
        v.state.omega = *keys.vrot_deg_s * RAD;
        v.state.landed = false;
    } else {
        fail(block.line, who + " has no \"STATUS Landed <body>\" or \"STATUS Orbiting <body>\" line");
    }
    if (keys.rcs_mode) v.state.rcs_mode = *keys.rcs_mode;
    if (keys.navmode) v.state.navmode = *keys.navmode;
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
        set_pilot_keys(keys, v.state);  // the pilot may have changed modes without moving the vessel
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

std::optional<double> Simulation::event_time(const std::string& name) const {
    for (const EventRecord& e : events_)
        if (e.name == name) return e.time;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------

RunResult Simulation::run() {
    load();
    physics_ = std::make_unique<physics::Physics>(*world_);
    pilot_ = std::make_unique<pilot::Pilot>(*world_);
    physics_->update_observables();
    if (runtime::VesselRecord* f = focus_vessel()) check_events(read_flight_data(*world_, *f), *f);
    sample_telemetry(true);
    result_ = RunResult{};
    costs_ = FrameCosts{};
    const double run_start = options_.measure_costs ? wall_seconds() : 0.0;
    while (result_.outcome == Outcome::NotRun) {
        if (options_.until && world_->sim_time >= *options_.until - kTimeEpsilon) {
            result_.outcome = Outcome::Until;
            break;
        }
        run_due_commands();
        if (stop_requested_) {
            result_.outcome = Outcome::ScriptStop;
            break;
        }
        frame();
    }
    if (options_.measure_costs)
        costs_.host_s = wall_seconds() - run_start - costs_.pilot_s - costs_.physics_s - costs_.post_steps_s;
    sample_telemetry(true);
    show_progress(true);
    result_.exit_status = result_.outcome == Outcome::NonFinite ? kExitNonFinite : kExitOk;
    note_output_errors();
    return result_;
}

void Simulation::frame() {
    runtime::World& w = *world_;
    double frame_dt = options_.dt * w.time_acceleration;
    if (options_.until) frame_dt = std::min(frame_dt, std::max(*options_.until - w.sim_time, options_.dt * 1e-6));
    // Time acceleration advances the same fixed steps, several per frame.
    const int substeps = std::max(1, static_cast<int>(std::ceil(frame_dt / options_.dt - kTimeEpsilon)));
    // The pilot's inputs and autopilots ride on each physics step.
    const bool timed = options_.measure_costs;
    for (int i = 0; i < substeps; ++i) {
        const double piloting = timed ? wall_seconds() : 0.0;
        pilot_->before_step();
        const double stepping = timed ? wall_seconds() : 0.0;
        physics_->step(frame_dt / substeps);
        const double releasing = timed ? wall_seconds() : 0.0;
        pilot_->after_step();
        if (timed) {
            costs_.pilot_s += (stepping - piloting) + (wall_seconds() - releasing);
            costs_.physics_s += releasing - stepping;
        }
    }
    const double stepped = timed ? wall_seconds() : 0.0;

    // Vessels created during the frame are appended and get their first post-step next frame.
    const size_t count = w.vessel_count();
    for (size_t i = 0; i < count && i < w.vessel_count(); ++i) {
        runtime::VesselRecord* v = w.vessel(i);
        if (!v->pending_delete && v->iface != nullptr) v->iface->clbkPostStep(w.sim_time, frame_dt, w.mjd);
    }
    if (options_.measure_costs) {
        const double posted = wall_seconds();
        ++costs_.frames;
        costs_.physics_steps += substeps;
        costs_.post_steps_s += posted - stepped;
    }
    w.destroy_pending_vessels();
    w.keystate.fill(0);

    for (size_t i = 0; i < w.vessel_count(); ++i) {
        const runtime::VesselRecord* v = w.vessel(i);
        if (!physics::state_is_finite(*v)) {
            char at[64];
            std::snprintf(at, sizeof at, "%.3f", w.sim_time);
            result_.outcome = Outcome::NonFinite;
            result_.message = "vessel \"" + v->name + "\": position, velocity or attitude is not finite at t=" + at + " s";
            return;
        }
    }
    if (runtime::VesselRecord* f = focus_vessel()) check_events(read_flight_data(w, *f, kFlightBasic), *f);
    sample_telemetry(false);
    show_progress(false);
}

void Simulation::run_due_commands() {
    // The focus vessel's values, read once per frame and only in the groups that the pending
    // conditions name; a command that runs may change the focus, so they are read again after it.
    std::optional<FlightData> focus_data;
    auto read_focus = [&]() -> const FlightData& {
        if (!focus_data) {
            unsigned groups = kFlightBasic;
            for (size_t i = 0; i < script_.entries.size(); ++i)
                if (!entry_done_[i])
                    for (const Condition& c : script_.entries[i].conditions) groups |= flight_value_group(c.index);
            focus_data = read_flight_data(*world_, *focus_vessel(), groups);
        }
        return *focus_data;
    };
    for (size_t i = 0; i < script_.entries.size() && !stop_requested_; ++i) {
        if (entry_done_[i]) continue;
        const ScriptEntry& e = script_.entries[i];
        bool due = false;
        if (e.time) {
            due = world_->sim_time >= *e.time - kTimeEpsilon;
        } else {
            due = focus_vessel() != nullptr;
            for (size_t k = 0; k < e.conditions.size() && due; ++k) {
                const Condition& c = e.conditions[k];
                if (c.event_slot >= 0) {
                    const std::optional<double>& at = timed_event_times_[static_cast<size_t>(c.event_slot)];
                    due = at && condition_holds(c, world_->sim_time - *at);
                } else {
                    due = condition_holds(c, flight_value_at(read_focus(), c.index));
                }
            }
        }
        if (!due) continue;
        entry_done_[i] = true;
        run_command(e);
        focus_data.reset();
    }
}

void Simulation::run_command(const ScriptEntry& entry) {
    const ScriptCommand& c = entry.command;
    runtime::World& w = *world_;
    runtime::VesselRecord* focus = focus_vessel();
    const std::string where = at_line(script_.source, entry.line, "");
    switch (c.kind) {
        case CommandKind::Key:
            press_key(c, entry);
            break;
        case CommandKind::Pilot:
            if (focus == nullptr) break;
            if (c.surface >= 0) pilot::set_surface_input(*focus, static_cast<AIRCTRL_TYPE>(c.surface), c.value);
            else pilot::set_thruster_input(w, *focus, c.group, c.value);
            break;
        case CommandKind::Rcs:
            if (focus != nullptr && focus->iface != nullptr) focus->iface->SetAttitudeMode(c.mode);
            break;
        case CommandKind::Navmode:
            if (focus == nullptr || focus->iface == nullptr) break;
            if (c.action == Switch::On) focus->iface->ActivateNavmode(c.mode);
            else if (c.action == Switch::Off) focus->iface->DeactivateNavmode(c.mode);
            else focus->iface->ToggleNavmode(c.mode);
            break;
        case CommandKind::Input:
            if (!w.answer_input_box(c.text)) warn(where + "no input box is open for \"" + c.text + "\"");
            break;
        case CommandKind::Warp:
            w.time_acceleration = c.value;
            break;
        case CommandKind::Focus:
            if (runtime::VesselRecord* v = w.find_vessel(c.text); v != nullptr && !v->pending_delete)
                w.focus = v;
            else
                warn(where + "no vessel \"" + c.text + "\" to focus");
            break;
        case CommandKind::Save:
            save_named(c.text);
            break;
        case CommandKind::Hud: {
            const std::string svg = draw_hud();
            hud_frames_[c.text] = svg;
            write_output(c.text + output_extension(c.kind), svg);
            break;
        }
        case CommandKind::Event:
            record_event(c.text, focus != nullptr ? focus->name : "");
            break;
        case CommandKind::Stop:
            stop_requested_ = true;
            break;
    }
}

void Simulation::press_key(const ScriptCommand& c, const ScriptEntry& entry) {
    runtime::VesselRecord* focus = focus_vessel();
    if (focus == nullptr || focus->iface == nullptr) {
        warn(at_line(script_.source, entry.line, "no focus vessel for the key"));
        return;
    }
    // The key-state buffer holds this key (and its modifiers) for the rest of the frame.
    auto& ks = world_->keystate;
    ks.fill(0);
    ks[c.scan_code] = static_cast<char>(0x80);
    if (c.shift) ks[OAPI_KEY_LSHIFT] = static_cast<char>(0x80);
    if (c.ctrl) ks[OAPI_KEY_LCONTROL] = static_cast<char>(0x80);
    const int consumed = focus->iface->clbkConsumeBufferedKey(c.scan_code, true, ks.data());
    if (consumed != 0 && c.scan_code == OAPI_KEY_G && !c.shift && !c.ctrl && lifted_off_)
        record_event("gear_up", focus->name);
}

void Simulation::check_events(const FlightData& d, const runtime::VesselRecord& focus) {
    // On the ground, rolling or at rest, the lowest touchdown point touches the surface; a
    // vessel rotating for take-off still rolls on its main wheels.
    if (!lifted_off_ && d.gear_height_m <= kOnWheels) {
        seen_ground_ = true;
    } else if (seen_ground_ && !lifted_off_ && d.gear_height_m > kLiftoffClearance) {
        lifted_off_ = true;
        record_event("liftoff", focus.name);
    } else if (lifted_off_ && (d.ground_contact || d.gear_height_m <= 0.0)) {
        record_event("landed", focus.name);
    }
    if (d.mach < 1.0) seen_subsonic_ = true;
    else if (seen_subsonic_) record_event("mach1", focus.name);
    if (last_engines_ > 0 && d.num_engines != last_engines_) record_event("engine_switch", focus.name);
    if (lifted_off_ && !d.ground_contact && last_main_level_ > 0.0 && d.main_level == 0.0)
        record_event("cutoff", focus.name);
    // Apoapsis: in flight, the distance from the body's centre stops growing.
    const double climb = dotp(focus.state.pos, focus.state.vel);  // r.v: > 0 while the distance grows
    const bool flying = !d.ground_contact && d.gear_height_m > kLiftoffClearance;
    if (flying && last_climb_ > 0.0 && climb <= 0.0) record_event("apoapsis", focus.name);
    last_climb_ = flying ? climb : 0.0;
    last_engines_ = d.num_engines;
    last_main_level_ = d.main_level;
}

bool Simulation::known_event(const std::string& name) const {
    bool known = std::find(standard_events().begin(), standard_events().end(), name) != standard_events().end();
    for (const ScriptEntry& e : script_.entries)
        known = known || (e.command.kind == CommandKind::Event && e.command.text == name);
    return known;
}

std::string Simulation::unknown_event_message(const std::string& name) const {
    std::string list;
    for (const auto& n : standard_events()) list += (list.empty() ? "" : ", ") + n;
    return "unknown event \"" + name + "\" (known: " + list + ", and names of the script's \"event\" commands)";
}

// Each time_since condition gets the slot of its event, so that a frame compares no names.
void Simulation::resolve_event_conditions() {
    for (ScriptEntry& e : script_.entries) {
        for (Condition& c : e.conditions) {
            if (c.event.empty()) continue;
            if (!known_event(c.event)) throw InputError(at_line(script_.source, e.line, unknown_event_message(c.event)));
            const auto slot = std::find(timed_events_.begin(), timed_events_.end(), c.event);
            c.event_slot = static_cast<int>(slot - timed_events_.begin());
            if (slot == timed_events_.end()) timed_events_.push_back(c.event);
        }
    }
    timed_event_times_.assign(timed_events_.size(), std::nullopt);
}

void Simulation::record_event(const std::string& name, const std::string& vessel) {
    if (event_time(name)) return;  // each event is recorded once, at its first occurrence
    std::optional<FlightData> focus;
    if (const runtime::VesselRecord* f = focus_vessel()) focus = read_flight_data(*world_, *f);
    events_.push_back({name, world_->sim_time, vessel, focus});
    for (size_t i = 0; i < timed_events_.size(); ++i)
        if (timed_events_[i] == name) timed_event_times_[i] = world_->sim_time;
    if (result_.outcome == Outcome::NotRun &&
        std::find(options_.stop_on.begin(), options_.stop_on.end(), name) != options_.stop_on.end()) {
        result_.outcome = Outcome::StopEvent;
        result_.stop_event = name;
    }
}

void Simulation::sample_telemetry(bool force) {
    const runtime::VesselRecord* f = focus_vessel();
    if (f == nullptr) return;
    const double t = world_->sim_time;
    const bool due = t + kTimeEpsilon >= next_sample_ * options_.telemetry_interval;
    if (!due && !(force && t != last_sample_time_)) return;
    if (t == last_sample_time_) return;
    telemetry_.push_back(telemetry_row(read_flight_data(*world_, *f)));
    last_sample_time_ = t;
    next_sample_ = std::floor((t + kTimeEpsilon) / options_.telemetry_interval) + 1.0;
}

void Simulation::show_progress(bool last) {
    if (!options_.progress) return;
    const double now = wall_seconds();
    if (!last && last_progress_wall_ >= 0.0 && now - last_progress_wall_ < kProgressPeriod) return;
    last_progress_wall_ = now;
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        std::fprintf(stderr, "\r\033[Kt=%9.2f s  alt=%10.1f m  speed=%8.1f m/s  Mach %5.2f", d.time_s, d.altitude_m,
                     d.airspeed_m_s, d.mach);
    }
    if (last) std::fputc('\n', stderr);
    std::fflush(stderr);
}

void Simulation::save_named(const std::string& name) {
    const std::string text = scenario_text();
    saved_scenarios_[name] = text;
    write_output(name + output_extension(CommandKind::Save), text);
}

void Simulation::warn(const std::string& text) {
    warnings_.push_back(text);
    if (options_.progress) std::fputc('\n', stderr);
    std::fprintf(stderr, "warning: %s\n", text.c_str());
}

std::string Simulation::draw_hud() const {
    const HUDPAINTSPEC hps = hud_paint_spec();
    SvgSketchpad skp(hps.W, hps.H);
    // The host's own items: a boresight cross at the centre and the clock in a corner.
    skp.Line(hps.CX - hps.Markersize, hps.CY, hps.CX - hps.Markersize / 3, hps.CY);
    skp.Line(hps.CX + hps.Markersize / 3, hps.CY, hps.CX + hps.Markersize, hps.CY);
    skp.Line(hps.CX, hps.CY + hps.Markersize / 3, hps.CX, hps.CY + hps.Markersize);
    char clock[48];
    const int n = std::snprintf(clock, sizeof clock, "T+%.2f s", world_->sim_time);
    skp.Text(8, 8, clock, n);
    if (runtime::VesselRecord* f = focus_vessel(); f != nullptr && f->iface != nullptr)
        f->iface->clbkDrawHUD(kHudMode, &hps, &skp);
    return skp.svg();
}

// ---------------------------------------------------------------------------------------
// Outputs
// ---------------------------------------------------------------------------------------

std::string Simulation::telemetry_csv() const {
    std::string out = telemetry_header() + "\n";
    for (const std::string& row : telemetry_) out += row + "\n";
    return out;
}

std::string Simulation::summary_json() const {
    using nlohmann::json;
    json j;
    j["run"] = {{"scenario", options_.scenario_path.empty() ? scenario_.source : options_.scenario_path},
                {"script", options_.script_path.empty() ? (script_.source.empty() ? json() : json(script_.source))
                                                        : json(options_.script_path)},
                {"root", root_},
                {"dt_s", options_.dt},
                {"until_s", options_.until ? json(*options_.until) : json()},
                {"stop_on", options_.stop_on},
                {"telemetry_interval_s", options_.telemetry_interval},
                {"sound", options_.sound}};
    j["outcome"] = outcome_name(result_.outcome);
    if (!result_.stop_event.empty()) j["stop_event"] = result_.stop_event;
    if (!result_.message.empty()) j["message"] = result_.message;
    j["exit_status"] = result_.exit_status;
    auto flight_json = [](json&& out, const FlightData& d) {
        const std::vector<std::string>& names = flight_value_names();
        for (size_t i = 0; i < names.size(); ++i) {
            const double value = flight_value_at(d, static_cast<int>(i));
            out[names[i]] = std::isfinite(value) ? json(value) : json();
        }
        return std::move(out);
    };
    json events = json::array();
    for (const EventRecord& e : events_) {
        json event = {{"name", e.name}, {"time_s", e.time}, {"vessel", e.vessel}};
        if (e.focus) event["focus"] = flight_json(json::object(), *e.focus);
        events.push_back(event);
    }
    j["events"] = events;
    json final_state = {{"time_s", world_->sim_time}, {"mjd", world_->mjd}};
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        final_state["focus"] = flight_json({{"name", f->name}, {"class", f->class_name}}, d);
        final_state["orbit"] = {{"apoapsis_km", d.apoapsis_km},   {"periapsis_km", d.periapsis_km},
                                {"period_s", d.period_s},         {"inclination_deg", d.inclination_deg},
                                {"propellant_kg", d.fuel_kg}};
    }
    json vessels = json::array();
    for (size_t i = 0; i < world_->vessel_count(); ++i) {
        const runtime::VesselRecord* v = world_->vessel(i);
        vessels.push_back({{"name", v->name},
                           {"class", v->class_name},
                           {"landed", v->state.landed},
                           {"altitude_m", world_->altitude(*v)},
                           {"mass_kg", world_->mass(*v)}});
    }
    final_state["vessels"] = vessels;
    j["final"] = final_state;
    j["created_vessels"] = created_vessels_;
    json commands = json::array();
    for (size_t i = 0; i < script_.entries.size(); ++i)
        commands.push_back({{"line", script_.entries[i].line}, {"text", script_.entries[i].text}, {"done", entry_done_[i]}});
    j["script_commands"] = commands;
    j["warnings"] = warnings_;
    j["output_errors"] = output_errors_;
    j["debug_line"] = std::string(world_->debug_line.data(), strnlen(world_->debug_line.data(), world_->debug_line.size()));
    j["log"] = world_->log;
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool Simulation::script_can_stop() const {
    for (const ScriptEntry& e : script_.entries)
        if (e.command.kind == CommandKind::Stop) return true;
    return false;
}

std::string Simulation::report() const {
    auto state_line = [](const FlightData& d) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "alt %8.1f km  airspeed %7.1f m/s  Mach %5.2f  apoapsis %8.1f km  periapsis %8.1f km  "
                      "incl %6.2f deg  fuel %7.0f kg",
                      d.altitude_m / 1000.0, d.airspeed_m_s, d.mach, d.apoapsis_km, d.periapsis_km, d.inclination_deg,
                      d.fuel_kg);
        return std::string(line);
    };
    char head[160];
    std::snprintf(head, sizeof head, "%s at t = %.2f s\n", outcome_name(result_.outcome), world_->sim_time);
    std::string out = head;
    for (const EventRecord& e : events_) {
        char line[96];
        std::snprintf(line, sizeof line, "  %-14s t = %7.2f s  ", e.name.c_str(), e.time);
        out += line + (e.focus ? state_line(*e.focus) : std::string()) + "\n";
    }
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        out += "  final (" + f->name + ")  " + state_line(d) + "\n";
        char orbit[200];
        std::snprintf(orbit, sizeof orbit,
                      "  orbit: apoapsis %.1f km, periapsis %.1f km, period %.1f min, inclination %.2f deg, "
                      "propellant left %.0f kg\n",
                      d.apoapsis_km, d.periapsis_km, d.period_s / 60.0, d.inclination_deg, d.fuel_kg);
        out += orbit;
    }
    for (const std::string& error : output_errors_) out += "  not written: " + error + "\n";
    return out;
}

// One output that cannot be written takes no other with it: the failure is reported, the run
// and the other outputs go on, and the run ends with kExitOutput.
void Simulation::write_output(const std::string& file, const std::string& content) {
    if (out_dir_.empty()) return;
    try {
        write_file_atomically((fs::path(out_dir_) / file).string(), content);
    } catch (const std::exception& e) {
        output_errors_.emplace_back(e.what());
        warn(e.what());
    }
}

void Simulation::write_outputs() {
    write_output("telemetry.csv", telemetry_csv());
    write_output("final.scn", scenario_text());
    // Written last, so that it lists every output that failed before it.
    note_output_errors();
    write_output("summary.json", summary_json());
    note_output_errors();
}

// A flight that went well ends with kExitOutput when an output is missing; a vessel's
// non-finite state keeps its own status.
void Simulation::note_output_errors() {
    if (!output_errors_.empty() && result_.exit_status == kExitOk) result_.exit_status = kExitOutput;
}

}  // namespace sim
