// Wing and fin coefficients from their tables, the drag elements and the control surfaces.
#include <cmath>
#include <limits>

#include "flight/aerodynamics.h"
#include "vessel_fixture.h"

namespace korvan_test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTol = 1e-9;

double wing_induced(double cl) { return oapiGetInducedDrag(cl, 2.266, 0.75); }

struct WingCase {
    double aoa, mach;
    double cl, cm;
    double profile_drag;  // < 0: the hypersonic law gives cd below
    double hyper_cd;
};

TEST(KorvanWing, test_aerodynamics_the_wing_reads_its_tables_by_speed_range) {
    const WingCase cases[] = {
        {0.0, 0.5, -0.02, 0.0012, 0.025, 0},
        {15.0 * RAD, 2.0, 0.6355, 0.0, 0.06, 0},
        {PI, 0.5, 0.1, 0.0, 0.025, 0},
        {-PI, 0.5, 0.1, 0.0, 0.025, 0},
        {0.0, 1.25, -0.02, 0.0012, 0.06, 0},
        {0.0, 1.2499, -0.02, 0.0012, 0.025, 0},
        {0.0, 5.0, -0.20704, 0.0012, -1, 0.04254},
        {-7.5 * RAD, 0.5, -0.26, 0.00185, 0.025, 0},
        // Beyond the table's range: held at its ends.
        {4.0, 0.5, 0.1, 0.0, 0.025, 0},
        {-4.0, 0.5, 0.1, 0.0, 0.025, 0},
        // An angle that is not a number counts as 0; a Mach number that is not finite as rest.
        {kNaN, 0.5, -0.02, 0.0012, 0.025, 0},
        {0.0, kNaN, -0.02, 0.0012, 0.025, 0},
    };
    for (const WingCase& c : cases) {
        double cl = 0, cm = 0, cd = 0;
        wing_coefficients(c.aoa, c.mach, 1e7, &cl, &cm, &cd);
        EXPECT_NEAR(cl, c.cl, kTol) << c.aoa << " M " << c.mach;
        EXPECT_NEAR(cm, c.cm, kTol) << c.aoa << " M " << c.mach;
        if (c.profile_drag >= 0)
            EXPECT_NEAR(cd, wing_induced(cl) + c.profile_drag, kTol) << c.aoa << " M " << c.mach;
        else
            EXPECT_NEAR(cd, c.hyper_cd, kTol);
    }
}

TEST(KorvanWing, test_aerodynamics_the_hypersonic_law_follows_the_angle_of_attack) {
    double cl = 0, cm = 0, cd = 0;
    const double a = 10.0 * RAD;
    wing_coefficients(a, 8.0, 0.0, &cl, &cm, &cd);
    EXPECT_NEAR(cl, 1.6756 * a - 0.20704, kTol);
    EXPECT_NEAR(cd, 0.04254 - 0.05767 * a + 1.3632 * a * a, kTol);
}

struct FinCase {
    double beta, mach;
    double cl;
    double factor;
};

double fin_drag(double cl, double M, double factor) {
    return (oapiGetInducedDrag(cl, 1.5, 0.6) + 0.015 + oapiGetWaveDrag(M, 0.75, 1.0, 1.1, 0.04)) * factor;
}

TEST(KorvanFin, test_aerodynamics_the_fin_reads_its_sideslip_table) {
    const FinCase cases[] = {
        {0.0, 0.5, 0.0, 0.6},
        {0.0, 1.0, 0.0, 0.6},
        {0.0, 1.0001, 0.0, 2.2},
        {PI, 0.5, 0.0, 0.6},
        {-PI, 0.5, 0.0, 0.6},
        {45.0 * RAD, 0.5, 0.3, 0.6},
        {-45.0 * RAD, 0.5, -0.3, 0.6},
        {-157.5 * RAD, 0.5, 0.15, 0.6},
        {112.5 * RAD, 3.0, -0.15, 2.2},
        // Beyond the table's range or not a number: held at its ends, or taken as 0.
        {5.0, 0.5, 0.0, 0.6},
        {-5.0, 0.5, 0.0, 0.6},
        {kNaN, 0.5, 0.0, 0.6},
    };
    for (const FinCase& c : cases) {
        double cl = 1, cm = 1, cd = 0;
        fin_coefficients(c.beta, c.mach, 1e7, &cl, &cm, &cd);
        EXPECT_NEAR(cl, c.cl, kTol) << c.beta;
        EXPECT_EQ(cm, 0.0);
        EXPECT_NEAR(cd, fin_drag(cl, c.mach, c.factor), kTol) << c.beta << " M " << c.mach;
    }
    double cl = 0, cm = 0, cd = 0;
    fin_coefficients(0.0, kNaN, 0, &cl, &cm, &cd);
    EXPECT_NEAR(cd, fin_drag(0.0, 0.0, 0.6), kTol);
}

TEST_F(KorvanTest, test_aerodynamics_the_wing_and_fin_are_declared_with_their_geometry) {
    const runtime::VesselDefinition& d = env.def(korvan);
    ASSERT_EQ(d.airfoils.size(), 2u);
    EXPECT_EQ(d.airfoils[0]->orientation, LIFT_VERTICAL);
    EXPECT_EQ(d.airfoils[0]->coeff, &wing_coefficients);
    EXPECT_EQ(d.airfoils[0]->ref.z, -0.4);
    EXPECT_EQ(d.airfoils[0]->chord, 20.0);
    EXPECT_EQ(d.airfoils[0]->area, 270.0);
    EXPECT_EQ(d.airfoils[0]->aspect, 2.266);
    EXPECT_EQ(d.airfoils[1]->orientation, LIFT_HORIZONTAL);
    EXPECT_EQ(d.airfoils[1]->coeff, &fin_coefficients);
    EXPECT_EQ(d.airfoils[1]->ref.z, -8.5);
    EXPECT_EQ(d.airfoils[1]->aspect, 2.6);
    ASSERT_EQ(d.drag_elements.size(), 2u);
    EXPECT_EQ(d.drag_elements[0].drag, &korvan->brake_position);
    EXPECT_EQ(d.drag_elements[0].factor, 0.8);
    EXPECT_EQ(d.drag_elements[1].drag, &korvan->gear_position);
    EXPECT_EQ(d.drag_elements[1].factor, 0.6);
    EXPECT_EQ(d.drag_elements[1].ref.y, -1.0);
}

TEST_F(KorvanTest, test_aerodynamics_a_second_build_keeps_two_airfoils_two_drag_elements_five_surfaces) {
    env.step(korvan);
    korvan->rebuild_vessel();
    korvan->define_control_surfaces();
    const runtime::VesselDefinition& d = env.def(korvan);
    EXPECT_EQ(d.airfoils.size(), 2u);
    EXPECT_EQ(d.drag_elements.size(), 2u);
    EXPECT_EQ(d.control_surfaces.size(), 5u);
}

TEST_F(KorvanTest, test_aerodynamics_the_control_surfaces_drive_their_animations_crosswise) {
    korvan->define_control_surfaces();
    const auto& s = env.def(korvan).control_surfaces;
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0]->type, AIRCTRL_ELEVATOR);
    EXPECT_EQ(s[0]->anim, korvan->anim_elevator);
    EXPECT_EQ(s[0]->area, 16.5);
    EXPECT_EQ(s[1]->type, AIRCTRL_RUDDER);
    EXPECT_EQ(s[1]->axis, AIRCTRL_AXIS_YPOS);
    EXPECT_EQ(s[1]->anim, korvan->anim_rudder);
    EXPECT_EQ(s[2]->type, AIRCTRL_AILERON);
    EXPECT_EQ(s[2]->ref.x, -9.5);
    EXPECT_EQ(s[2]->dCl, -0.7);
    EXPECT_EQ(s[2]->anim, korvan->anim_aileron_right);
    EXPECT_EQ(s[3]->ref.x, 9.5);
    EXPECT_EQ(s[3]->axis, AIRCTRL_AXIS_XNEG);
    EXPECT_EQ(s[3]->anim, korvan->anim_aileron_left);
    EXPECT_EQ(s[4]->type, AIRCTRL_ELEVATORTRIM);
    EXPECT_EQ(s[4]->area, 8.7);
    EXPECT_EQ(s[4]->anim, korvan->anim_elevator_trim);
}

}  // namespace
}  // namespace korvan_test
