// The vessel object: what construction sets, the class-name test, the attachment points,
// the callbacks that rebuild, and the post-step sequence with its bookkeeping.
#include <cstring>
#include <string>

#include "vessel_fixture.h"

extern "C" VESSEL* ovcInit(OBJHANDLE hvessel, int flightmodel);
extern "C" void ovcExit(VESSEL* vessel);

namespace korvan_test {
namespace {

TEST_F(KorvanTest, test_spine_a_new_vessel_starts_with_its_initial_values) {
    EXPECT_FALSE(korvan->variant_b);
    EXPECT_EQ(korvan->config_index, 1);
    EXPECT_EQ(korvan->num_engines, 6);
    for (int state : {korvan->gear_state, korvan->door_state, korvan->brake_state, korvan->nozzle_state})
        EXPECT_EQ(state, MECH_CLOSED);
    for (double pos : {korvan->gear_position, korvan->door_position, korvan->brake_position,
                       korvan->nozzle_position})
        EXPECT_EQ(pos, 0.0);
    EXPECT_FALSE(korvan->wheel_brakes_on);
    EXPECT_EQ(korvan->prev_step_time, -0.01);
    EXPECT_EQ(korvan->step_dt, 0.0);
    EXPECT_EQ(korvan->readout_timer, 0.01);
    EXPECT_EQ(korvan->target_heading, 270.0);
    EXPECT_EQ(korvan->pitch_output, 0.0);
    EXPECT_EQ(korvan->yaw_output, 0.0);
    EXPECT_EQ(korvan->roll_output, 0.0);
    EXPECT_TRUE(korvan->first_step_pending);
    EXPECT_FALSE(korvan->profile_loaded);
    EXPECT_FALSE(korvan->control_surfaces_created);
    EXPECT_EQ(korvan->profile_size(), 0);
}

TEST_F(KorvanTest, test_spine_without_the_sound_service_the_vessel_is_silent) {
    EXPECT_EQ(korvan->sound_id, -1);
}

struct ClassNameCase {
    std::string class_name;
    bool variant_b;
};

TEST(KorvanClassName, test_spine_the_b_variant_is_told_by_its_class_name_in_any_case) {
    const std::string pad22(22, 'x');  // 22 + "KorvanB" = 29 characters
    const std::string pad23(23, 'x');  // the marker would end at character 30
    const ClassNameCase cases[] = {
        {"Korvan", false},
        {"KorvanB", true},
        {"korvanb_heavy", true},
        {"KORVANB", true},
        {"Korvan_B", false},
        {pad22 + "KorvanB", true},
        {pad23 + "KorvanB", false},
        {pad22 + "KorvanB" + "tail-beyond-the-limit", true},
    };
    for (const ClassNameCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make("K", c.class_name);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->variant_b, c.variant_b) << c.class_name;
    }
}

struct AttachmentCase {
    const char* class_name;
    VECTOR3 payload_point;
    size_t docks;
};

TEST(KorvanAttachments, test_spine_each_variant_has_its_payload_point_and_only_the_b_a_dock) {
    const AttachmentCase cases[] = {
        {"Korvan", _V(0, -1.2, 21), 0},
        {"KorvanB", _V(0, -0.6, 0), 1},
    };
    for (const AttachmentCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make("K", c.class_name);
        ASSERT_NE(k, nullptr);
        VECTOR3 pos, dir, rot;
        k->GetAttachmentParams(k->payload_attachment, pos, dir, rot);
        EXPECT_EQ(pos.x, c.payload_point.x);
        EXPECT_EQ(pos.y, c.payload_point.y);
        EXPECT_EQ(pos.z, c.payload_point.z);
        EXPECT_EQ(dir.z, 1.0);
        EXPECT_EQ(rot.y, -1.0);
        EXPECT_STREQ(k->GetAttachmentId(k->payload_attachment), "X");
        EXPECT_EQ(env.def(k).docks.size(), c.docks) << c.class_name;
        k->GetAttachmentParams(k->grapple_attachment, pos, dir, rot);
        EXPECT_EQ(dir.y, 1.0);
        EXPECT_EQ(rot.z, 1.0);
        EXPECT_EQ(k->AttachmentCount(false), 3u);
        EXPECT_EQ(k->AttachmentCount(true), 1u);
    }
}

TEST_F(KorvanTest, test_spine_the_ng_points_are_moved_by_every_build_and_never_duplicated) {
    VECTOR3 pos, dir, rot;
    korvan->GetAttachmentParams(korvan->ng_child_attachment, pos, dir, rot);
    EXPECT_EQ(pos.y, -2.55);
    EXPECT_EQ(pos.z, 14.0);
    EXPECT_EQ(dir.y, 0.0675);
    korvan->rebuild_vessel();
    korvan->rebuild_vessel();
    EXPECT_EQ(env.def(korvan).attachments.size(), 4u);
    korvan->GetAttachmentParams(korvan->ng_parent_attachment, pos, dir, rot);
    EXPECT_EQ(pos.z, 14.0);
    EXPECT_STREQ(korvan->GetAttachmentId(korvan->ng_parent_attachment), "NG");
}

TEST(KorvanEntry, test_spine_ovc_exit_of_null_does_nothing) { ovcExit(nullptr); }

TEST(KorvanEntry, test_spine_ovc_init_makes_a_vessel_that_ovc_exit_destroys) {
    VesselWorld env;
    runtime::VesselClass cls;
    cls.name = "Korvan";
    env.world.add_class(cls);
    runtime::VesselRecord* rec = env.world.instantiate_vessel("K", "Korvan");
    ASSERT_NE(rec, nullptr);
    delete rec->iface;
    rec->iface = ovcInit(rec, 7);
    ASSERT_NE(rec->iface, nullptr);
    EXPECT_EQ(rec->iface->GetFlightModel(), 1);  // the host's level is ignored
    rec->iface->clbkSetClassCaps(nullptr);
    EXPECT_EQ(rec->def.empty_mass, 59874.0);
    ovcExit(rec->iface);
    rec->iface = nullptr;
}

TEST_F(KorvanTest, test_spine_visual_callbacks_rebuild_the_vessel) {
    korvan->payload_mass = 1000.0;
    korvan->clbkVisualCreated(nullptr, 1);
    EXPECT_EQ(env.def(korvan).empty_mass, 60874.0);
    korvan->payload_mass = 2000.0;
    korvan->clbkVisualDestroyed(nullptr, 0);
    EXPECT_EQ(env.def(korvan).empty_mass, 61874.0);
}

TEST_F(KorvanTest, test_spine_class_caps_rebuild_with_the_hull_mesh_first) {
    korvan->clbkSetClassCaps(nullptr);
    ASSERT_FALSE(env.def(korvan).meshes.empty());
    EXPECT_EQ(env.def(korvan).meshes[0].handle, korvan->mesh_main);
    EXPECT_TRUE(korvan->animations_defined);
}

TEST_F(KorvanTest, test_spine_the_first_step_counts_from_minus_a_hundredth) {
    env.world.sim_time = 0.0;
    env.step(korvan, 0.05);
    EXPECT_DOUBLE_EQ(korvan->step_dt, 0.06);
    EXPECT_EQ(korvan->prev_step_time, 0.05);
    env.step(korvan, 0.05);
    EXPECT_DOUBLE_EQ(korvan->step_dt, 0.05);
    EXPECT_DOUBLE_EQ(korvan->prev_step_time, 0.1);
}

TEST_F(KorvanTest, test_spine_the_first_step_installs_the_profile_and_surfaces_once_and_captures) {
    env.step(korvan);
    EXPECT_TRUE(korvan->profile_loaded);
    ASSERT_EQ(korvan->profile_size(), 14);
    EXPECT_EQ(korvan->profile_energies()[0], 0.0);
    EXPECT_EQ(korvan->profile_pitches()[0], 49.0);
    EXPECT_EQ(korvan->profile_energies()[13], 18.0);
    EXPECT_EQ(korvan->profile_pitches()[13], 0.0);
    EXPECT_TRUE(korvan->control_surfaces_created);
    EXPECT_EQ(env.def(korvan).control_surfaces.size(), 5u);
    EXPECT_FALSE(korvan->first_step_pending);
    const double* first_profile = korvan->profile_energies();
    env.steps(korvan, 3);
    EXPECT_EQ(korvan->profile_energies(), first_profile);
    EXPECT_EQ(env.def(korvan).control_surfaces.size(), 5u);
}

TEST_F(KorvanTest, test_spine_guidance_timing_starts_the_mission_clock_at_minus_five) {
    // The first step after the profile's reset hands the guidance a mission time of -5 and
    // a launch time of 0, which it turns into a release a quarter second ahead; every later
    // step hands it simt minus that launch time, through the release and after it, until a
    // scenario load resets the guidance and the clock starts over.
    env.world.sim_time = 3.0;
    const double steps[] = {0.01, 0.05, 0.1, 0.07, 0.02, 0.5, 1.0, 0.01};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "after construction" : "after a scenario load");
        env.step(korvan);
        const double first = env.world.sim_time;
        EXPECT_EQ(korvan->mission_time, -5.0);
        EXPECT_EQ(korvan->launch_time, first + 0.25);  // scheduled by the guidance from 0
        EXPECT_TRUE(korvan->armed);
        for (double dt : steps) {
            const bool was_armed = korvan->armed;
            env.step(korvan, dt);
            const double simt = env.world.sim_time;
            EXPECT_EQ(korvan->launch_time, first + 0.25) << simt;
            EXPECT_EQ(korvan->mission_time, simt - korvan->launch_time) << simt;
            if (was_armed) {
                EXPECT_EQ(korvan->armed, korvan->mission_time <= 0.0) << simt;
            }
        }
        EXPECT_FALSE(korvan->armed);
        korvan->load_default_profile();  // what the end of a scenario load does
    }
}

struct JetFlagCase {
    int num_engines;
    bool from_six;
};

TEST(KorvanStep, test_spine_the_jet_sound_is_told_whether_the_six_engine_set_flew_this_step) {
    const JetFlagCase cases[] = {{6, true}, {4, false}};
    for (const JetFlagCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make();
        k->num_engines = c.num_engines;
        k->rebuild_vessel();
        env.step(k);
        EXPECT_EQ(k->jet_from_six_engine_set, c.from_six) << c.num_engines;
    }
}

TEST_F(KorvanTest, test_spine_the_six_engine_set_keeps_its_flag_on_the_step_that_switches) {
    env.record(korvan).pins.mach = 19.5;
    env.step(korvan);
    EXPECT_EQ(korvan->num_engines, 4);
    EXPECT_TRUE(korvan->jet_from_six_engine_set);
    env.step(korvan);
    EXPECT_FALSE(korvan->jet_from_six_engine_set);
}

TEST_F(KorvanTest, test_spine_the_step_moves_the_mechanisms) {
    korvan->toggle_gear();
    env.step(korvan, 0.25);
    EXPECT_EQ(korvan->gear_position, 0.0625);
}

TEST_F(KorvanTest, test_spine_focus_is_the_host_focus_object) {
    EXPECT_FALSE(korvan->has_focus());
    env.give_focus(korvan);
    EXPECT_TRUE(korvan->has_focus());
}

}  // namespace
}  // namespace korvan_test
