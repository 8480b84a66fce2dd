// The host's answers follow every change of state. Over generated sequences of the operations
// that change a vessel's motion or air (a status, a rate, a landing, an attachment and its
// release, a physics step, new air data) mixed with those that change neither (levels, forces,
// the pilot around a step, pins), each answer asked after an operation equals a fresh
// computation of it from the state as it then stands: the World derived it for the present
// state, not kept it from an earlier one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "physics/korvan_like_vessel.h"
#include "physics/physics.h"
#include "pilot/pilot.h"

namespace {

constexpr int kSequences = 120;
constexpr int kOperations = 25;

// Every answer the observables give, in one list.
std::vector<double> answers(const VESSEL& s) {
    std::vector<double> a = {s.GetAltitude(), s.GetAirspeed(), s.GetMachNumber(), s.GetDynPressure(),
                             s.GetAtmPressure(), s.GetPitch(), s.GetBank(), s.GetYaw(), s.GetAOA(), s.GetSlipAngle(),
                             s.GetMass()};
    VECTOR3 h{}, air{};
    s.GetHorizonAirspeedVector(h);
    s.GetAirspeedVector(air);
    ELEMENTS el{};
    s.GetElements(nullptr, el, nullptr, 0.0);
    VESSELSTATUS st{};
    s.GetStatus(st);
    for (double x : {h.x, h.y, h.z, air.x, air.y, air.z, el.a, el.e, el.i, el.theta, el.omegab, el.L, st.arot.x,
                     st.arot.y, st.arot.z, st.fuel, st.eng_main})
        a.push_back(x);
    return a;
}

// The same answers computed afresh: the World told that the state changed, asked again.
std::vector<double> fresh_answers(runtime::World& w, runtime::VesselRecord& v) {
    const runtime::VesselState state = v.state;
    w.move(v) = state;
    return answers(*v.iface);
}

// Equal bit for bit, NaN to NaN.
void expect_same(const std::vector<double>& asked, const std::vector<double>& fresh, const char* who) {
    ASSERT_EQ(asked.size(), fresh.size());
    for (size_t i = 0; i < asked.size(); ++i)
        EXPECT_EQ(std::memcmp(&asked[i], &fresh[i], sizeof(double)), 0)
            << who << ": answer " << i << " was " << asked[i] << ", afresh " << fresh[i];
}

TEST(Observables, EveryAnswerAfterAnyOperationEqualsAFreshComputation) {
    runtime::World w;
    korvan_like::Mechanisms mech;
    runtime::VesselClass cls;
    cls.name = "Carrier";
    cls.attachments.push_back({false, _V(0, 2, 0), _V(0, 1, 0), _V(0, 0, 1), "BAY"});
    w.add_class(cls);
    cls.name = "Load";
    cls.attachments = {{true, _V(0, -1, 0), _V(0, -1, 0), _V(0, 0, 1), "BOLT"}};
    w.add_class(cls);
    runtime::VesselRecord* v = w.create_vessel("V", "Carrier", nullptr);
    runtime::VesselRecord* load = w.create_vessel("L", "Load", nullptr);
    korvan_like::define(*v, mech);
    w.focus = v;
    physics::Physics physics(w);
    pilot::Pilot pilot(w);
    const VESSEL& s = *v->iface;

    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), share(0.0, 1.0);
    auto orbit_status = [&] {
        VESSELSTATUS st{};
        const double r = w.earth.radius + 20000.0 + 5e5 * share(random);
        st.rpos = _V(r * unit(random), r * unit(random), r * unit(random));
        st.rpos = st.rpos * (r / length(st.rpos));
        st.rvel = _V(unit(random), unit(random), unit(random)) * 7000.0;
        st.arot = _V(unit(random), unit(random), unit(random)) * PI;
        st.vrot = _V(unit(random), unit(random), unit(random)) * 0.01;
        st.fuel = share(random);
        return st;
    };
    for (int n = 0; n < kSequences; ++n) {
        SCOPED_TRACE(n);
        const VESSELSTATUS start = orbit_status();
        s.DefSetState(&start);
        for (int k = 0; k < kOperations; ++k) {
            // Some answers are asked before the operation, so that the World has them at hand.
            if (random() % 2 == 0) answers(s), answers(*load->iface);
            runtime::AttachmentRecord* bay = v->def.attachments.front().get();
            switch (random() % 12) {
                case 0: {
                    const VESSELSTATUS st = orbit_status();
                    s.DefSetState(&st);
                    break;
                }
                case 1: s.SetAngularVel(_V(unit(random), unit(random), unit(random)) * 0.05); break;
                case 2: w.set_landed(*v, unit(random) * PI, unit(random), share(random) * PI2, 2.0); break;
                case 3: {
                    runtime::AirData air = v->air;
                    air.density = share(random), air.pressure = 1e5 * share(random);
                    air.speed_of_sound = 250.0 + 100.0 * share(random);
                    w.set_air(*v, air);
                    break;
                }
                case 4: physics.step(0.01); break;
                case 5: s.AttachChild(load, bay, load->def.attachments.front().get()); break;
                case 6: s.DetachChild(bay, share(random)); break;
                case 7:
                    v->controls.navmode = NAVMODE_KILLROT;
                    pilot.before_step();
                    physics.step(0.01);
                    pilot.after_step();
                    break;
                case 8: s.SetThrusterLevel(v->def.thrusters[random() % 6].get(), share(random)); break;
                case 9: s.SetFuelMass(korvan_like::kPropellantMass * share(random)); break;
                case 10:
                    s.AddForce(_V(unit(random), 0, 0), _V(0, 0, 1));
                    s.SetControlSurfaceLevel(AIRCTRL_ELEVATOR, unit(random));
                    break;
                default:
                    if (v->pins.bank) v->pins.release_all();
                    else v->pins.bank = unit(random);
                    break;
            }
            const std::vector<double> asked = answers(s), asked_load = answers(*load->iface);
            expect_same(asked, fresh_answers(w, *v), "vessel");
            expect_same(asked_load, fresh_answers(w, *load), "attached load");
            // And the fresh elements are those of the state's position and velocity.
            const ELEMENTS el = runtime::orbital_elements(v->state.pos, v->state.vel, w.earth.mu);
            EXPECT_EQ(std::memcmp(&asked[17], &el.a, sizeof(double)), 0);
            if (HasFailure()) return;
        }
    }
}

}  // namespace
