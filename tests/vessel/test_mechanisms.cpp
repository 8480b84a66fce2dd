// Gear, doors, brakes and nozzles: the state machine, the update and the animations.
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "mechanisms/mechanism.h"
#include "vessel_fixture.h"

namespace korvan_test {
namespace {

struct ToggleCase {
    int before, after;
};

TEST(KorvanMechanism, test_mechanisms_a_toggle_opens_what_is_closed_or_closing_and_closes_the_rest) {
    const ToggleCase cases[] = {{MECH_CLOSED, MECH_OPENING}, {MECH_CLOSING, MECH_OPENING},
                                {MECH_OPEN, MECH_CLOSING},   {MECH_OPENING, MECH_CLOSING},
                                {5, MECH_CLOSING},           {-1, MECH_CLOSING}};
    for (const ToggleCase& c : cases) {
        int state = c.before;
        toggle_mechanism(state);
        EXPECT_EQ(state, c.after) << c.before;
    }
}

TEST(KorvanMechanism, test_mechanisms_a_state_at_rest_does_not_move) {
    int state = MECH_OPEN;
    double position = 0.5;
    advance_mechanism(state, position, 0.25, 1.0);
    EXPECT_EQ(position, 0.5);
    EXPECT_EQ(state, MECH_OPEN);
}

TEST(KorvanMechanism, test_mechanisms_a_state_of_five_opens_and_settles_open) {
    int state = 5;
    double position = 0.9;
    advance_mechanism(state, position, 0.25, 1.0);
    EXPECT_EQ(position, 1.0);
    advance_mechanism(state, position, 0.25, 1.0);
    EXPECT_EQ(state, MECH_OPEN);
}

TEST(KorvanMechanism, test_mechanisms_a_position_that_is_not_a_number_starts_from_closed) {
    int state = MECH_OPENING;
    double position = std::numeric_limits<double>::quiet_NaN();
    advance_mechanism(state, position, 0.25, 1.0);
    EXPECT_EQ(position, 0.25);
}

TEST_F(KorvanTest, test_mechanisms_the_gear_takes_16_steps_of_025_s_and_rests_on_the_17th) {
    korvan->toggle_gear();
    env.world.sim_step = 0.25;
    for (int i = 0; i < 16; ++i) korvan->update_mechanisms();
    EXPECT_EQ(korvan->gear_position, 1.0);
    EXPECT_EQ(korvan->gear_state, MECH_OPENING);
    korvan->update_mechanisms();
    EXPECT_EQ(korvan->gear_state, MECH_OPEN);
    EXPECT_EQ(korvan->GetAnimation(korvan->anim_gear_outer), 1.0);
    EXPECT_EQ(korvan->GetAnimation(korvan->anim_gear_legs), 1.0);
}

TEST_F(KorvanTest, test_mechanisms_the_doors_take_about_14_seconds) {
    korvan->toggle_doors();
    env.world.sim_step = 0.1;
    for (int i = 0; i < 140; ++i) korvan->update_mechanisms();  // 14.0 s
    EXPECT_LT(korvan->door_position, 1.0);
    korvan->update_mechanisms();  // 14.1 s
    EXPECT_EQ(korvan->door_position, 1.0);
    korvan->update_mechanisms();
    EXPECT_EQ(korvan->door_state, MECH_OPEN);
    EXPECT_EQ(korvan->GetAnimation(korvan->anim_doors), 1.0);
}

TEST_F(KorvanTest, test_mechanisms_a_toggle_while_opening_closes_from_where_it_is) {
    korvan->toggle_brakes();
    env.world.sim_step = 0.6 / 0.25;  // one step to 0.6
    korvan->update_mechanisms();
    EXPECT_DOUBLE_EQ(korvan->brake_position, 0.6);
    korvan->toggle_brakes();
    EXPECT_EQ(korvan->brake_state, MECH_CLOSING);
    env.world.sim_step = 0.4;
    korvan->update_mechanisms();
    EXPECT_DOUBLE_EQ(korvan->brake_position, 0.5);
    EXPECT_DOUBLE_EQ(korvan->GetAnimation(korvan->anim_brakes), 0.5);
}

TEST_F(KorvanTest, test_mechanisms_doors_and_brakes_at_rest_leave_their_animations_alone) {
    korvan->SetAnimation(korvan->anim_doors, 0.3);
    korvan->update_mechanisms();
    EXPECT_EQ(korvan->GetAnimation(korvan->anim_doors), 0.3);
}

TEST_F(KorvanTest, test_mechanisms_the_nozzles_toggle_without_moving) {
    korvan->toggle_nozzles();
    EXPECT_EQ(korvan->nozzle_state, MECH_OPENING);
    korvan->update_mechanisms();
    EXPECT_EQ(korvan->nozzle_position, 0.0);
}

TEST_F(KorvanTest, test_mechanisms_nine_animations_in_order_with_their_initial_states) {
    const runtime::VesselDefinition& d = env.def(korvan);
    ASSERT_EQ(d.animations.size(), 9u);
    const UINT order[] = {korvan->anim_gear_outer, korvan->anim_gear_legs, korvan->anim_doors,
                          korvan->anim_elevator, korvan->anim_elevator_trim, korvan->anim_aileron_right,
                          korvan->anim_aileron_left, korvan->anim_rudder, korvan->anim_brakes};
    for (UINT i = 1; i < 9; ++i) EXPECT_EQ(order[i], order[i - 1] + 1);
    const double initial[] = {1.0, 0.0, 0.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.0};
    const size_t components[] = {2, 3, 2, 2, 2, 1, 1, 2, 0};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(d.animations[order[i]]->default_state, initial[i]) << i;
        EXPECT_EQ(d.animations[order[i]]->components.size(), components[i]) << i;
    }
    // Gear legs move between 0.05 and 0.4 of the gear travel, the outer doors after them.
    EXPECT_EQ(d.animations[korvan->anim_gear_legs]->components[0]->state0, 0.05);
    EXPECT_EQ(d.animations[korvan->anim_gear_legs]->components[0]->state1, 0.4);
    EXPECT_EQ(d.animations[korvan->anim_gear_outer]->components[0]->state0, 0.45);
    EXPECT_EQ(d.animations[korvan->anim_gear_outer]->components[0]->state1, 0.95);
}

// One rotation component as the animation table gives it.
struct Rotation {
    UINT group;
    VECTOR3 ref, axis;
    double angle_deg;
    double state0, state1;
};

TEST(KorvanAnimations, test_mechanisms_every_rotation_component_is_as_tabled_in_each_variant) {
    const Rotation c1{4, _V(-8.8, -10, -9), _V(0, 0, 1), -80, 0.05, 0.4};
    const Rotation c2{6, _V(0, -2.5, -35.5), _V(1, 0, 0), 8, 0.45, 0.95};
    const Rotation c3{8, _V(8.8, -10, -9), _V(0, 0, 1), 80, 0.05, 0.4};
    const Rotation c4{2, _V(-0.752, -6, 20), _V(0, 0.19611, 0.98058), -110, 0.05, 0.4};
    const Rotation c5{1, _V(0, -5, 25), _V(1, 0, 0), -77, 0.45, 0.95};
    const Rotation c8{3, _V(-17.5, 0.05, -43.15), _V(1, 0, 0), 25, 0, 1};
    const Rotation c9{7, _V(17.5, 0.05, -43.15), _V(1, 0, 0), 25, 0, 1};
    const Rotation c10{5, _V(-10.25, 4, -42.8), _V(0, 1, 0), -16, 0, 1};
    const Rotation c11{9, _V(10.25, 4, -42.8), _V(0, 1, 0), -16, 0, 1};
    const Rotation c12{3, _V(-17.5, 0.05, -43.15), _V(1, 0, 0), -25, 0, 1};
    const Rotation c13{7, _V(17.5, 0.05, -43.15), _V(1, 0, 0), 25, 0, 1};
    struct Variant {
        const char* class_name;
        Rotation c6, c7;
    } variants[] = {
        {"Korvan", {12, _V(1.2, 1.353, 19.5), _V(0, 0, 1), -145, 0.1, 0.9},
         {13, _V(-1.2, 1.353, 19.5), _V(0, 0, 1), 145, 0.1, 0.9}},
        {"KorvanB", {17, _V(2.05, 1.583, 0), _V(0, 0, 1), -145, 0.1, 0.9},
         {18, _V(-2.05, 1.583, 0), _V(0, 0, 1), 145, 0.1, 0.9}},
    };
    for (const Variant& v : variants) {
        VesselWorld env;
        Korvan* k = env.make("K", v.class_name);
        ASSERT_NE(k, nullptr);
        // Each animation's components in the order they were added.
        const std::pair<UINT, std::vector<Rotation>> animations[] = {
            {k->anim_gear_outer, {c2, c5}},       {k->anim_gear_legs, {c1, c3, c4}},
            {k->anim_doors, {v.c6, v.c7}},        {k->anim_elevator, {c8, c9}},
            {k->anim_elevator_trim, {c8, c9}},    {k->anim_aileron_right, {c13}},
            {k->anim_aileron_left, {c12}},        {k->anim_rudder, {c10, c11}},
            {k->anim_brakes, {}},
        };
        for (const auto& [anim, want] : animations) {
            const auto& comps = env.def(k).animations[anim]->components;
            ASSERT_EQ(comps.size(), want.size()) << v.class_name << " animation " << anim;
            for (std::size_t i = 0; i < want.size(); ++i) {
                SCOPED_TRACE(testing::Message() << v.class_name << " animation " << anim << " component " << i);
                EXPECT_EQ(comps[i]->state0, want[i].state0);
                EXPECT_EQ(comps[i]->state1, want[i].state1);
                EXPECT_EQ(comps[i]->parent, nullptr);
                const MGROUP_TRANSFORM* t = comps[i]->transform;
                ASSERT_NE(t, nullptr);
                ASSERT_EQ(t->Type(), MGROUP_TRANSFORM::ROTATE);
                const auto* rot = static_cast<const MGROUP_ROTATE*>(t);
                EXPECT_EQ(rot->mesh, 0u);
                ASSERT_EQ(rot->ngrp, 1u);
                EXPECT_EQ(rot->grp[0], want[i].group);
                EXPECT_EQ(rot->ref.x, want[i].ref.x);
                EXPECT_EQ(rot->ref.y, want[i].ref.y);
                EXPECT_EQ(rot->ref.z, want[i].ref.z);
                EXPECT_EQ(rot->axis.x, want[i].axis.x);
                EXPECT_EQ(rot->axis.y, want[i].axis.y);
                EXPECT_EQ(rot->axis.z, want[i].axis.z);
                EXPECT_EQ(rot->angle, static_cast<float>(want[i].angle_deg * PI / 180.0));
            }
        }
        // The elevator and its trim turn the very same components.
        const auto& anims = env.def(k).animations;
        EXPECT_EQ(anims[k->anim_elevator]->components[0]->transform,
                  anims[k->anim_elevator_trim]->components[0]->transform);
    }
}

struct DoorCase {
    const char* class_name;
    UINT groups[2];
    double ref_z;
};

TEST(KorvanDoors, test_mechanisms_each_variant_turns_its_own_door_groups) {
    const DoorCase cases[] = {{"Korvan", {12, 13}, 19.5}, {"KorvanB", {17, 18}, 0.0}};
    for (const DoorCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make("K", c.class_name);
        const auto& comps = env.def(k).animations[k->anim_doors]->components;
        ASSERT_EQ(comps.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const auto* rot = static_cast<const MGROUP_ROTATE*>(comps[i]->transform);
            ASSERT_EQ(rot->Type(), MGROUP_TRANSFORM::ROTATE);
            EXPECT_EQ(rot->grp[0], c.groups[i]) << c.class_name;
            EXPECT_EQ(rot->ref.z, c.ref_z) << c.class_name;
            EXPECT_FLOAT_EQ(rot->angle, static_cast<float>((i == 0 ? -145.0 : 145.0) * RAD));
            EXPECT_EQ(comps[i]->state0, 0.1);
            EXPECT_EQ(comps[i]->state1, 0.9);
        }
    }
}

TEST(KorvanDoors, test_mechanisms_the_rotation_components_are_shared_by_every_vessel) {
    VesselWorld env;
    Korvan* a = env.make("A");
    Korvan* b = env.make("B");
    EXPECT_EQ(env.def(a).animations[a->anim_elevator]->components[0]->transform,
              env.def(b).animations[b->anim_elevator]->components[0]->transform);
    EXPECT_EQ(env.def(a).animations[a->anim_doors]->components[0]->transform,
              env.def(b).animations[b->anim_doors]->components[0]->transform);
}

}  // namespace
}  // namespace korvan_test
