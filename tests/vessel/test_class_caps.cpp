// The physical definition that every rebuild gives the host.
#include <string>

#include "vessel_fixture.h"

namespace korvan_test {
namespace {

struct EmptyMassCase {
    const char* class_name;
    const char* item_line;  // or null
    double payload_mass;
    double empty_mass;
};

TEST(KorvanClassCaps, test_class_caps_the_empty_mass_carries_hull_items_and_payload) {
    const EmptyMassCase cases[] = {
        {"Korvan", nullptr, 0.0, 59874.0},
        {"KorvanB", nullptr, 0.0, 55874.0},
        {"Korvan", "PAYLOAD P p.msh C 0 0 0 2000 0 0", 3000.0, 64874.0},
    };
    for (const EmptyMassCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make("K", c.class_name);
        if (c.item_line != nullptr) k->ReadScenarioLine(c.item_line);
        k->payload_mass = c.payload_mass;
        k->rebuild_vessel();
        EXPECT_EQ(env.def(k).empty_mass, c.empty_mass) << c.class_name;
    }
}

TEST_F(KorvanTest, test_class_caps_the_fixed_figures_reach_the_host) {
    const runtime::VesselDefinition& d = env.def(korvan);
    EXPECT_EQ(d.size, 45.0);
    EXPECT_EQ(d.pmi.x, 86.7);
    EXPECT_EQ(d.pmi.y, 88.9);
    EXPECT_EQ(d.pmi.z, 13.6);
    EXPECT_EQ(d.cross_sections.x, 534.8);
    EXPECT_EQ(d.cross_sections.y, 1389.1);
    EXPECT_EQ(d.cross_sections.z, 158.2);
    EXPECT_EQ(d.cw_z_pos, 0.1);
    EXPECT_EQ(d.cw_z_neg, 0.3);
    EXPECT_EQ(d.cw_x, 1.4);
    EXPECT_EQ(d.cw_y, 1.4);
    EXPECT_EQ(d.rot_drag.z, 1.2);
    EXPECT_EQ(d.pitch_moment_scale, 1e-6);
    EXPECT_EQ(d.bank_moment_scale, 1e-6);
    EXPECT_EQ(d.trim_scale, 0.025);
    EXPECT_EQ(d.camera_offset.z, 40.0);
    EXPECT_TRUE(d.transponder);
    ASSERT_NE(d.default_propellant, nullptr);
    EXPECT_EQ(d.default_propellant->max_mass, 76204.0);
    EXPECT_EQ(d.default_propellant->mass, 76204.0);
}

TEST_F(KorvanTest, test_class_caps_a_rebuild_keeps_the_tank_and_its_fuel) {
    PROPELLANT_HANDLE tank = korvan->main_propellant;
    korvan->SetPropellantMass(tank, 40000.0);
    korvan->rebuild_vessel();
    EXPECT_EQ(korvan->main_propellant, tank);
    EXPECT_EQ(korvan->GetPropellantMass(tank), 40000.0);
    EXPECT_EQ(korvan->GetPropellantMaxMass(tank), 76204.0);
}

TEST_F(KorvanTest, test_class_caps_every_build_puts_back_the_gear_down_triangle) {
    korvan->SetTouchdownPoints(_V(0, -5.8, 23), _V(-8.7, -12.14, -11.9), _V(8.7, -12.14, -11.9));
    korvan->gear_position = 0.0;
    korvan->rebuild_vessel();
    VECTOR3 nose, left, right;
    korvan->GetTouchdownPoints(nose, left, right);
    EXPECT_EQ(nose.y, -11.8);
    EXPECT_EQ(nose.z, 23.0);
    EXPECT_EQ(left.x, -8.7);
    EXPECT_EQ(left.y, -13.14);
    EXPECT_EQ(right.x, 8.7);
    EXPECT_EQ(right.z, -11.9);
}

TEST(KorvanClassCaps, test_class_caps_the_configuration_index_changes_nothing_the_build_defines) {
    VesselWorld env;
    Korvan* a = env.make("A");
    Korvan* b = env.make("B");
    b->config_index = -2;
    b->rebuild_vessel();
    EXPECT_EQ(env.def(a).empty_mass, env.def(b).empty_mass);
    EXPECT_EQ(env.def(a).thrusters.size(), env.def(b).thrusters.size());
    EXPECT_EQ(env.def(a).airfoils.size(), env.def(b).airfoils.size());
}

}  // namespace
}  // namespace korvan_test
