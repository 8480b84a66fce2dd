// The World's services: vessel classes, creating and destroying vessels, attachments,
// scenario streams, the platform loader, resources and the input box.
#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "host_fixture.h"
#include "runtime/loader.h"

using host_test::expect_near;
using host_test::HostWorld;

namespace {

namespace fs = std::filesystem;

// A run tree of the test's own, holding the class files it writes.
struct RunTreeWorld : HostWorld {
    fs::path root = fs::path(HOST_TEST_RUN_TREE);
    void SetUp() override {
        fs::create_directories(root / "Config" / "Vessels");
        world.set_root(root.string());
    }
    void write_class(const std::string& name, const std::string& text) {
        std::ofstream(root / "Config" / "Vessels" / (name + ".cfg")) << text;
    }
};

TEST_F(RunTreeWorld, a_plain_class_file_gives_the_vessel_its_figures) {
    write_class("Booster",
                "# a spent booster\n"
                "ClassName = Booster\n"
                "Size = 4.5   ; metres\n"
                "EmptyMass = 3200\n"
                "MaxFuel = 800\n"
                "Isp = 2900\n"
                "PMI = 10 10 2\n"
                "CrossSections = 30 30 12\n"
                "CW = 0.3 0.4 1.1 1.2\n"
                "Attachment = toparent 0 0 2.5 0 0 1 0 1 0 BOLT1\n"
                "Attachment = child 0 0 -3 0 0 -1 0 1 0 TAIL\n");
    std::string error;
    runtime::VesselRecord* v = world.create_vessel("B1", "Booster", nullptr, &error);
    ASSERT_NE(v, nullptr) << error;
    const VESSEL& s = *v->iface;
    EXPECT_EQ(s.GetSize(), 4.5);
    EXPECT_EQ(s.GetEmptyMass(), 3200.0);
    EXPECT_EQ(s.GetMaxFuelMass(), 800.0);
    EXPECT_EQ(s.GetMass(), 4000.0);
    VECTOR3 pmi{}, cs{};
    s.GetPMI(pmi);
    s.GetCrossSections(cs);
    expect_near(pmi, _V(10, 10, 2), 0.0);
    expect_near(cs, _V(30, 30, 12), 0.0);
    EXPECT_EQ(v->def.cw_z_neg, 0.4);
    EXPECT_EQ(v->def.cw_y, 1.2);
    ASSERT_EQ(s.AttachmentCount(true), 1u);
    ASSERT_EQ(s.AttachmentCount(false), 1u);
    EXPECT_STREQ(s.GetAttachmentId(s.GetAttachmentHandle(true, 0)), "BOLT1");
    VECTOR3 pos{}, dir{}, rot{};
    s.GetAttachmentParams(s.GetAttachmentHandle(false, 0), pos, dir, rot);
    expect_near(pos, _V(0, 0, -3), 0.0);
    expect_near(dir, _V(0, 0, -1), 0.0);
    EXPECT_EQ(world.find_class("Booster")->isp, 2900.0);
}

TEST_F(RunTreeWorld, a_malformed_class_file_is_refused_with_file_and_line) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"Size = 3\nEmptyMass = 100\nColour = red\n", "Config/Vessels/Bad.cfg:3: unknown key \"Colour\""},
        {"Size = big\n", "Config/Vessels/Bad.cfg:1: Size needs one number above 0 and at most 10000"},
        {"# ok\nPMI = 1 2\n", "Config/Vessels/Bad.cfg:2: PMI needs 3 numbers above 0 and at most 1e+08"},
        {"CW = 1 2 3 4 5\n", "Config/Vessels/Bad.cfg:1: CW needs 4 numbers, 0 or more and at most 1000 (z+, z-, x, y)"},
        {"Attachment = sideways 0 0 0 0 0 1 0 1 0 X\n", "Config/Vessels/Bad.cfg:1: Attachment needs"},
        // Figures that would make a vessel's state non-finite once it flies.
        {"Size = 0\n", "Config/Vessels/Bad.cfg:1: Size needs one number above 0"},
        {"Size = 1e300\n", "Config/Vessels/Bad.cfg:1: Size needs one number above 0"},
        {"EmptyMass = -5\n", "Config/Vessels/Bad.cfg:1: EmptyMass needs one number above 0 and at most 1e+09"},
        {"MaxFuel = -1\n", "Config/Vessels/Bad.cfg:1: MaxFuel needs one number, 0 or more and at most 1e+09"},
        {"PMI = 1 0 1\n", "Config/Vessels/Bad.cfg:1: PMI needs 3 numbers above 0"},
        {"CrossSections = 1 -1 1\n", "Config/Vessels/Bad.cfg:1: CrossSections needs 3 numbers, 0 or more"},
        {"Attachment = child 0 0 0 0 0 0 0 1 0 X\n", "Config/Vessels/Bad.cfg:1: Attachment needs"},
        {"Attachment = child 1e300 0 0 0 0 1 0 1 0 X\n", "Config/Vessels/Bad.cfg:1: Attachment needs"},
        // Lighter than its drag area allows, whichever key comes last.
        {"EmptyMass = 1e-308\n", "Config/Vessels/Bad.cfg:1: EmptyMass 1e-308 kg is too light for a drag area of 1 m^2"},
        {"EmptyMass = 10\n# more\nCrossSections = 1 1 40\nSize = 2\n",
         "Config/Vessels/Bad.cfg:3: EmptyMass 10 kg is too light for a drag area of 20 m^2"},
        {"\n\nSize 3\n", "Config/Vessels/Bad.cfg:3: expected \"Key = value\""},
    };
    for (const auto& c : cases) {
        write_class("Bad", c.text);
        std::string error;
        EXPECT_EQ(world.create_vessel("X", "Bad", nullptr, &error), nullptr) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        ASSERT_FALSE(world.log.empty());
        EXPECT_NE(world.log.back().find(c.message), std::string::npos) << world.log.back();
    }
    EXPECT_EQ(world.vessel_count(), 0u);
}

TEST_F(RunTreeWorld, creation_errors_name_the_class_or_file) {
    write_class("Ghost", "Module = NoSuchModule\n");
    write_class("Hollow", "Module = HostTestNoEntry\n");
    const struct {
        const char* cls;
        const char* message;
    } cases[] = {
        {"Unheard", "unknown vessel class \"Unheard\""},
        {"Ghost", "missing module file Modules/NoSuchModule of class \"Ghost\""},
        {"Hollow", "module Modules/HostTestNoEntry of class \"Hollow\" has no ovcInit"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(world.create_vessel("X", c.cls, nullptr, &error), nullptr);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    EXPECT_EQ(world.vessel_count(), 0u);
}

TEST_F(RunTreeWorld, only_vessels_a_scenario_can_hold_are_made) {
    write_class("Plain", "Size = 1\n");
    ASSERT_NE(world.create_vessel("First", "Plain", nullptr, nullptr), nullptr);
    // A saved scenario with any of these would not load again ("name:class", unique names,
    // ';' starts a comment).
    for (const char* name : {"First", "", "two words", "a:b", "tab\there", ";pper"}) {
        std::string error;
        EXPECT_EQ(world.create_vessel(name, "Plain", nullptr, &error), nullptr) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    // Nor one placed deep below the surface: the ground's spring would throw it out into a
    // non-finite state (a release from a carrier once did).
    VESSELSTATUS status{};
    status.rpos = _V(world.earth.radius - 1500.0, 0.0, 0.0);
    std::string error;
    EXPECT_EQ(world.create_vessel("Deep", "Plain", &status, &error), nullptr);
    EXPECT_EQ(error, "it would be placed deep below the surface");
    status.rpos = _V(world.earth.radius - 50.0, 0.0, 0.0);
    EXPECT_NE(world.create_vessel("Shallow", "Plain", &status, &error), nullptr);
    EXPECT_EQ(world.vessel_count(), 2u);
    // A status that says landed stands only near the ground: a scenario holds a landed
    // vessel's height up to 10 km, so one released far above a landed carrier is in flight.
    status.status = 1;
    status.rpos = _V(world.earth.radius + 2.0, 0.0, 0.0);
    EXPECT_TRUE(world.create_vessel("OnTheGround", "Plain", &status, &error)->state.landed);
    status.rpos = _V(world.earth.radius + 45700.0, 0.0, 0.0);
    EXPECT_FALSE(world.create_vessel("HighAbove", "Plain", &status, &error)->state.landed);
}

TEST_F(RunTreeWorld, a_module_class_runs_ovcinit_and_class_caps_and_unloads_with_its_last_vessel) {
    write_class("Tester", "Module = HostTestModule\n");
    VESSELSTATUS s{};
    s.rpos = _V(7e6, 0, 0);
    s.rvel = _V(0, 0, 7500);
    std::string error;
    runtime::VesselRecord* a = world.create_vessel("T1", "Tester", &s, &error);
    ASSERT_NE(a, nullptr) << error;
    runtime::VesselRecord* b = world.create_vessel("T2", "Tester", &s, &error);
    ASSERT_NE(b, nullptr) << error;
    HMODULE module = GetModuleHandleA("HostTestModule.dll");
    ASSERT_NE(module, nullptr);
    auto created = runtime::procedure<int (*)()>(module, "host_test_created");
    auto destroyed = runtime::procedure<int (*)()>(module, "host_test_destroyed");
    ASSERT_NE(created, nullptr);
    const int created_before = created();
    EXPECT_EQ(a->iface->GetSize(), 7.0);  // from the module's clbkSetClassCaps
    EXPECT_EQ(a->iface->GetGroupThrusterCount(THGROUP_MAIN), 1u);
    expect_near(a->state.vel, _V(0, 0, 7500), 0.0);
    EXPECT_EQ(oapiGetVesselInterface(a), a->iface);
    const int destroyed_before = destroyed();
    world.destroy_vessel(a);
    EXPECT_EQ(destroyed(), destroyed_before + 1);
    EXPECT_EQ(created(), created_before);
    EXPECT_EQ(world.vessel_count(), 1u);
    EXPECT_EQ(oapiGetVesselByName("T2"), b);
    world.destroy_vessel(b);
    EXPECT_EQ(oapiGetVesselCount(), 0u);
}

// A vessel that separates a plain stage from inside its step.
class Separating : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
    void clbkPostStep(double, double, double) override {
        VESSELSTATUS s{};
        GetStatus(s);
        s.fuel = 0.5;
        made = oapiCreateVessel("Stage", "Tank", s);
    }
    OBJHANDLE made = nullptr;
};

TEST_F(HostWorld, a_vessel_created_inside_a_callback_exists_at_once) {
    runtime::VesselClass tank;
    tank.name = "Tank";
    tank.max_fuel = 600.0;
    world.add_class(tank);
    runtime::VesselRecord* carrier = plain("Carrier");
    delete carrier->iface;
    auto* sep = new Separating(carrier, 1);
    carrier->iface = sep;
    runtime::World::current().move(*carrier).pos = _V(7e6, 0, 0);

    int visited = 0;
    for (size_t i = 0; i < world.vessel_count(); ++i) {
        ++visited;
        world.vessel(i)->iface->clbkPostStep(0.0, 0.1, 0.0);
        if (i == 0) {
            EXPECT_EQ(oapiGetVesselCount(), 2u);
        }
    }
    EXPECT_EQ(visited, 2);  // the new one is visited once and creates nothing
    ASSERT_NE(sep->made, nullptr);
    const VESSEL* stage = oapiGetVesselInterface(sep->made);
    ASSERT_NE(stage, nullptr);
    EXPECT_EQ(stage->GetFuelMass(), 300.0);
    expect_near(world.record(sep->made)->state.pos, _V(7e6, 0, 0), 0.0);
}

TEST_F(HostWorld, deleted_vessels_go_between_frames) {
    runtime::VesselRecord* v = plain("Doomed");
    plain("Kept");
    EXPECT_TRUE(oapiDeleteVessel(v));
    EXPECT_EQ(oapiGetVesselCount(), 2u);
    world.destroy_pending_vessels();
    EXPECT_EQ(oapiGetVesselCount(), 1u);
    EXPECT_STREQ(oapiGetVesselInterface(oapiGetVesselByIndex(0))->GetName(), "Kept");
    EXPECT_FALSE(oapiDeleteVessel(nullptr));
}

struct AttachWorld : HostWorld {
    runtime::VesselRecord* parent = nullptr;
    runtime::VesselRecord* child = nullptr;
    ATTACHMENTHANDLE bay = nullptr, bay2 = nullptr, bolt = nullptr, child_bay = nullptr, parent_bolt = nullptr;
    void SetUp() override {
        parent = plain("Carrier");
        child = plain("Payload", 500.0);
        bay = parent->iface->CreateAttachment(false, _V(0, 1, -2), _V(0, 1, 0), _V(0, 0, 1), "X");
        bay2 = parent->iface->CreateAttachment(false, _V(0, -1, 0), _V(0, -1, 0), _V(0, 0, 1), "NG");
        parent_bolt = parent->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "BOLT");
        bolt = child->iface->CreateAttachment(true, _V(0, 0, 0.5), _V(0, 0, -1), _V(0, 1, 0), "BOLT1");
        child_bay = child->iface->CreateAttachment(false, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "P");
        runtime::World::current().move(*parent).pos = _V(7e6, 0, 0);
        runtime::World::current().move(*parent).vel = _V(0, 0, 7500);
        runtime::World::current().move(*parent).R = host_test::columns(_V(0, 0, 1), _V(1, 0, 0), _V(0, 1, 0));
    }
};

TEST_F(AttachWorld, a_child_rides_at_the_parent_point_with_its_direction_aligned) {
    runtime::World::current().move(*parent).omega = _V(0.0, 0.0, 0.01);
    ASSERT_TRUE(parent->iface->AttachChild(child, bay, bolt));
    EXPECT_EQ(parent->iface->GetAttachmentStatus(bay), child);
    EXPECT_EQ(child->iface->GetAttachmentStatus(bolt), parent);
    VECTOR3 parent_point{}, child_point{}, parent_dir{}, child_dir{}, parent_rot{}, child_rot{};
    parent->iface->Local2Global(_V(0, 1, -2), parent_point);
    child->iface->Local2Global(_V(0, 0, 0.5), child_point);
    expect_near(child_point, parent_point, 1e-6, "points coincide");
    parent->iface->GlobalRot(_V(0, 1, 0), parent_dir);
    child->iface->GlobalRot(_V(0, 0, -1), child_dir);
    expect_near(child_dir, parent_dir, 1e-12, "directions aligned");
    parent->iface->GlobalRot(_V(0, 0, 1), parent_rot);
    child->iface->GlobalRot(_V(0, 1, 0), child_rot);
    expect_near(child_rot, parent_rot, 1e-12, "rotations aligned");
    // Turning about the parent's z axis (rate 0.01 in this frame's sign), the child moves
    // with the parent's velocity plus the rotation's share.
    const VECTOR3 omega_global = mul(parent->state.R, parent->state.omega) * -1.0;
    expect_near(child->state.vel, parent->state.vel + crossp(omega_global, child->state.pos - parent->state.pos), 1e-9,
                "velocity");
}

TEST_F(AttachWorld, links_that_do_not_fit_are_refused) {
    ASSERT_TRUE(parent->iface->AttachChild(child, bay, bolt));
    runtime::VesselRecord* third = plain("Third");
    ATTACHMENTHANDLE third_bolt = third->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "B");
    EXPECT_FALSE(child->iface->AttachChild(parent, child_bay, parent_bolt)) << "a cycle";
    EXPECT_FALSE(parent->iface->AttachChild(parent, bay2, parent_bolt)) << "itself";
    EXPECT_FALSE(parent->iface->AttachChild(third, bay, third_bolt)) << "point occupied";
    EXPECT_FALSE(parent->iface->AttachChild(third, parent_bolt, third_bolt)) << "parent side on a to-parent point";
    EXPECT_FALSE(parent->iface->AttachChild(third, bay2, bay)) << "a point of another vessel";
    // A child with a parent moves to the new point.
    EXPECT_TRUE(parent->iface->AttachChild(child, bay2, bolt));
    EXPECT_EQ(parent->iface->GetAttachmentStatus(bay), nullptr);
    EXPECT_EQ(parent->iface->GetAttachmentStatus(bay2), child);
}

TEST_F(AttachWorld, a_detached_child_leaves_along_the_point_direction) {
    ASSERT_TRUE(parent->iface->AttachChild(child, bay, bolt));
    const VECTOR3 placed = child->state.pos;
    ASSERT_TRUE(parent->iface->DetachChild(bay, 2.0));
    EXPECT_EQ(parent->iface->GetAttachmentStatus(bay), nullptr);
    EXPECT_EQ(child->iface->GetAttachmentStatus(bolt), nullptr);
    expect_near(child->state.pos, placed, 0.0);
    // The bay points along the parent's y axis, global +x here.
    expect_near(child->state.vel, _V(2.0, 0.0, 7500.0), 1e-9);
    EXPECT_FALSE(parent->iface->DetachChild(bay, 2.0));
}

TEST_F(AttachWorld, destroying_a_vessel_clears_its_links) {
    ASSERT_TRUE(parent->iface->AttachChild(child, bay, bolt));
    world.destroy_vessel(child);
    EXPECT_EQ(parent->iface->GetAttachmentStatus(bay), nullptr);
}

TEST_F(HostWorld, scenario_lines_are_read_trimmed_and_written_as_key_value) {
    FILEHANDLE in = world.open_reader({"  CONFIGURATION 1\r\n", "\tGEAR 0 0.0000", "END"});
    std::vector<std::string> read;
    char* line = nullptr;
    while (oapiReadScenario_nextline(in, line)) read.emplace_back(line);
    EXPECT_EQ(read, (std::vector<std::string>{"CONFIGURATION 1", "GEAR 0 0.0000", "END"}));
    EXPECT_FALSE(oapiReadScenario_nextline(nullptr, line));
    world.close_stream(in);

    FILEHANDLE out = world.open_writer();
    oapiWriteScenario_string(out, "NAME", "Korvan");
    oapiWriteScenario_string(out, "ENDCVE", "");
    oapiWriteScenario_int(out, "NUMENGINES", 6);
    oapiWriteScenario_float(out, "TGT_HEADING", 90.0);
    oapiWriteScenario_float(out, "FRACTION", 0.1);
    oapiWriteScenario_vec(out, "POS", _V(1.5, -2, 1e-7));
    EXPECT_EQ(world.writer(out)->lines,
              (std::vector<std::string>{"NAME Korvan", "ENDCVE", "NUMENGINES 6", "TGT_HEADING 90", "FRACTION 0.1",
                                        "POS 1.5 -2 1e-07"}));
    world.close_stream(out);
    oapiWriteScenario_int(out, "LOST", 1);  // a closed stream takes nothing
    EXPECT_EQ(world.writer(out), nullptr);
}

TEST_F(HostWorld, saved_numbers_load_back_unchanged) {
    const double values[] = {0.1, 1.0 / 3.0, 6371000.123456789, -273.15, 1e-300, 123456789012345.0};
    for (double d : values) {
        FILEHANDLE out = world.open_writer();
        oapiWriteScenario_float(out, "X", d);
        const std::string saved = world.writer(out)->lines[0];
        world.close_stream(out);
        double loaded = 0.0;
        ASSERT_EQ(std::sscanf(saved.c_str(), "X %lf", &loaded), 1);
        EXPECT_EQ(loaded, d) << saved;
    }
}

TEST_F(HostWorld, unparsed_scenario_lines_are_kept_without_a_hook) {
    runtime::VesselRecord* v = plain("Loader");
    char line[] = "STATUS Orbiting Earth";
    EXPECT_FALSE(v->iface->ParseScenarioLineEx(line, nullptr));
    EXPECT_EQ(v->unparsed_lines, std::vector<std::string>{"STATUS Orbiting Earth"});
    world.parse_default_line = [](runtime::VesselRecord&, const char*, void*) { return true; };
    EXPECT_TRUE(v->iface->ParseScenarioLineEx(line, nullptr));
    EXPECT_EQ(v->unparsed_lines.size(), 1u);
}

// Our own loader maps the names; Windows has its own.
#if !defined(_WIN32)
TEST(HostLoader, windows_names_map_to_this_platform) {
    const std::string so = KORVAN_TEST_SUFFIX;
    const struct {
        const char* name;
        std::string mapped;
    } cases[] = {
        {"Modules\\cvelmessage", "Modules/cvelmessage" + so},
        {"Modules\\Korvan.dll", "Modules/Korvan" + so},
        {"OrbiterSound.DLL", "OrbiterSound" + so},
        {"lib/plain.so", "lib/plain.so"},
        {"Dir.v2\\mod", "Dir.v2/mod" + so},
    };
    for (const auto& c : cases) EXPECT_EQ(runtime::map_library_name(c.name), c.mapped) << c.name;
}
#endif

TEST_F(RunTreeWorld, getmodulehandle_finds_only_libraries_already_loaded) {
    EXPECT_EQ(GetModuleHandleA("Modules\\HostTestNoEntry"), nullptr);
#if !defined(_WIN32)
    const std::string path = (root / "Modules" / ("HostTestNoEntry" + std::string(KORVAN_TEST_SUFFIX))).string();
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "asking did not load it";
#endif
    HMODULE h = LoadLibraryA("Modules\\HostTestNoEntry");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LoadLibraryA("Modules/HostTestNoEntry.dll"), h);
    EXPECT_EQ(GetModuleHandleA("HostTestNoEntry.dll"), h);
    auto marker = runtime::procedure<int (*)()>(h, "host_test_no_entry_marker");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker(), 42);
    EXPECT_EQ(GetProcAddress(h, "ovcInit"), nullptr);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(LoadLibraryA("Modules\\NoSuchLibrary"), nullptr);
}

TEST_F(RunTreeWorld, missing_resources_are_noted_once_and_found_ones_shared) {
    fs::create_directories(root / "Meshes");
    std::ofstream(root / "Meshes" / "Hull.msh") << "MSHX1\n";
    MESHHANDLE hull = oapiLoadMeshGlobal("Hull");
    EXPECT_NE(hull, nullptr);
    EXPECT_EQ(oapiLoadMesh("Hull"), hull);
    EXPECT_EQ(oapiLoadMeshGlobal("Lost\\Part"), nullptr);
    EXPECT_EQ(oapiLoadMeshGlobal("Lost\\Part"), nullptr);
    EXPECT_EQ(oapiRegisterExhaustTexture("Exhaust_atsme"), nullptr);
    EXPECT_EQ(oapiRegisterExhaustTexture("Exhaust_atsme"), nullptr);
    EXPECT_EQ(world.log, (std::vector<std::string>{"missing mesh Meshes/Lost/Part.msh",
                                                   "missing texture Textures/Exhaust_atsme.dds"}));
    oapiWriteLog("hello");
    EXPECT_EQ(world.log.back(), "hello");
}

bool reopen_on_bad_input(void*, char* str, void* usrdata) {
    *static_cast<std::string*>(usrdata) = str;
    if (std::string(str) == "bad") oapiOpenInputBox("Again", reopen_on_bad_input, "", 10, usrdata);
    return true;
}

TEST_F(HostWorld, an_input_box_answer_reaches_its_handler_once) {
    std::string got;
    EXPECT_FALSE(world.answer_input_box("ignored"));
    EXPECT_TRUE(oapiOpenInputBox("Azimuth", reopen_on_bad_input, "90", 10, &got));
    EXPECT_EQ(world.input_box.initial_text, "90");
    EXPECT_TRUE(world.answer_input_box("bad"));
    EXPECT_EQ(got, "bad");
    EXPECT_TRUE(world.input_box.open) << "the handler's new box stays open";
    EXPECT_EQ(world.input_box.title, "Again");
    EXPECT_TRUE(world.answer_input_box("75"));
    EXPECT_EQ(got, "75");
    EXPECT_FALSE(world.input_box.open);
}

TEST_F(HostWorld, the_clock_focus_debug_line_and_keys_come_from_the_world) {
    world.sim_time = 12.5;
    world.sim_step = 0.02;
    world.mjd = 60000.25;
    world.time_acceleration = 10.0;
    world.accept_delayed_keys = false;
    EXPECT_EQ(oapiGetSimTime(), 12.5);
    EXPECT_EQ(oapiGetSimStep(), 0.02);
    EXPECT_EQ(oapiGetSimMJD(), 60000.25);
    EXPECT_EQ(oapiGetTimeAcceleration(), 10.0);
    EXPECT_FALSE(oapiAcceptDelayedKey('J', 1.0));
    std::snprintf(oapiDebugString(), 256, "Guidance ON");
    EXPECT_STREQ(world.debug_line.data(), "Guidance ON");
    EXPECT_EQ(oapiGetGbodyByName("Earth"), world.body_handle());
    EXPECT_EQ(oapiGetSize(world.body_handle()), host_test::earth_radius);
}

}  // namespace

// Whatever attaches, detaches and destroys, the parent the World keeps for each vessel is the
// one its links name, and moving a root carries every vessel hanging below it to its point.
TEST_F(HostWorld, kept_parents_and_children_follow_generated_link_changes) {
    std::mt19937 random(23);
    std::vector<runtime::VesselRecord*> vessels;
    for (int i = 0; i < 5; ++i) {
        std::string name = "V";  // appended, not "V" + a temporary, which MinGW GCC 12 takes for an overlapping copy
        name += std::to_string(i);
        runtime::VesselRecord* v = plain(name);
        for (double x : {-1.0, 1.0}) v->iface->CreateAttachment(false, _V(x, 2, 0), _V(0, 1, 0), _V(0, 0, 1), "C");
        v->iface->CreateAttachment(true, _V(0, -1, 0), _V(0, -1, 0), _V(0, 0, 1), "P");
        vessels.push_back(v);
    }
    auto point = [](runtime::VesselRecord* v, std::size_t i) { return v->def.attachments[i].get(); };
    for (int step = 0; step < 400; ++step) {
        runtime::VesselRecord* a = vessels[random() % vessels.size()];
        runtime::VesselRecord* b = vessels[random() % vessels.size()];
        const int op = static_cast<int>(random() % 8);
        if (op < 5) a->iface->AttachChild(b, point(a, random() % 2), point(b, 2));
        else if (op < 7) a->iface->DetachChild(point(a, random() % 2), 1.0);
        else if (vessels.size() > 2) {
            world.destroy_vessel(a);
            vessels.erase(std::find(vessels.begin(), vessels.end(), a));
        }
        for (runtime::VesselRecord* v : vessels) {
            ASSERT_EQ(world.parent_of(v), point(v, 2)->linked) << "step " << step;
            if (world.parent_of(v) == nullptr) world.move(*v).pos = _V(7e6 + step, 100.0 * step, 0);
        }
        for (runtime::VesselRecord* v : vessels)
            if (world.parent_of(v) == nullptr) world.place_children(v);
        for (runtime::VesselRecord* v : vessels) {
            const runtime::AttachmentRecord* bolt = point(v, 2);
            if (bolt->linked == nullptr) continue;
            VECTOR3 at_parent{}, at_child{};
            bolt->linked->iface->Local2Global(bolt->linked_point->pos, at_parent);
            v->iface->Local2Global(bolt->pos, at_child);
            expect_near(at_child, at_parent, 1e-6, "a child rides at its parent's point");
        }
    }
}

// Without a World of the program's, calls answer from the library's empty one: a stray handle
// finds nothing, and the next World made becomes current.
TEST(HostWorldLifetime, calls_without_a_world_answer_from_an_empty_one) {
    { runtime::World gone; }
    EXPECT_EQ(runtime::World::current_or_null(), nullptr);
    EXPECT_EQ(oapiGetVesselCount(), 0u);
    const VESSEL stray(reinterpret_cast<OBJHANDLE>(&runtime::World::current()));
    EXPECT_EQ(stray.GetAltitude(), 0.0);
    runtime::World next;
    EXPECT_EQ(&runtime::World::current(), &next);
}
