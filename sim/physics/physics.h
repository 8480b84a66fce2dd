// The headless host's flight physics. One Physics object steps every vessel of a World:
// environment, mass, propulsion, aerodynamics, added forces, gravity, ground contact,
// integration, attachments, observables, in that order (docs/physics.md).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "orbiter_api.h"
#include "runtime/world.h"

namespace physics {

// U.S. Standard Atmosphere 1976 at a geometric altitude (m).
struct Atmosphere {
    double temperature;     // K
    double pressure;        // Pa
    double density;         // kg/m^3
    double speed_of_sound;  // m/s
};
Atmosphere us_standard_atmosphere(double geometric_altitude_m);

// Orbits about a central body of gravitational parameter mu (m^3/s^2); positions and
// velocities inertial, relative to the body's centre.
double specific_energy(double mu, const VECTOR3& pos, const VECTOR3& vel);      // J/kg
double vis_viva_speed(double mu, double radius, double semi_major_axis);         // m/s
double circular_speed(double mu, double radius);                                 // m/s
struct OrbitShape {
    double semi_major_axis;   // m (negative for a hyperbola)
    double eccentricity;
    double inclination;       // rad, 0 for a prograde (eastward) equatorial orbit
    double periapsis_radius;  // m
    double apoapsis_radius;   // m (infinite when unbound)
    double period;            // s (infinite when unbound)
    double time_to_apoapsis;  // s until the next apoapsis, 0..period (infinite when unbound)
};
OrbitShape orbit_shape(double mu, const VECTOR3& pos, const VECTOR3& vel);

// The body's rotation: angle (rad) at a simulation time, rate (rad/s), and the velocity of
// the ground and of the air that turns with it at a global position.
double body_rotation_angle(const runtime::BodyRecord& body, double sim_time);
double body_rotation_rate(const runtime::BodyRecord& body);
VECTOR3 ground_velocity(const runtime::BodyRecord& body, const VECTOR3& pos);

// False when any number of the vessel's state is NaN or infinite.
bool state_is_finite(const runtime::VesselRecord& v);

// Puts a vessel at rest on the ground at longitude and latitude (rad) with a compass heading
// (rad), standing on the plane of its touchdown points, at the World's current time: its
// origin `height` m above the surface, or by default as high as puts its touchdown points just
// on it.
void rest_on_ground(runtime::World& world, runtime::VesselRecord& v, double longitude, double latitude,
                    double heading, std::optional<double> height = std::nullopt);

struct Kinematics;
struct MassOutput;
struct StepForces;
struct Wrench;
struct StepSetting;

// A vessel that struck the ground harder than it can take (docs/physics.md, "Crashes").
struct CrashReport {
    std::string vessel;
    double time = 0.0;        // s of simulation time, when it reached the surface
    double speed = 0.0;       // m/s, of the striking point relative to the ground
    double sink_speed = 0.0;  // m/s, its part into the ground
    bool hull = false;        // the hull struck, not only the gear
    double longitude = 0.0, latitude = 0.0;  // rad, where it came to rest
};

class Physics {
public:
    explicit Physics(runtime::World& world);
    ~Physics();

    // Advances every vessel by dt seconds in the fixed order of models, then advances
    // world.sim_time by dt, world.sim_step = dt and world.mjd by dt/86400, and writes air
    // data and forces for every vessel.
    void step(double dt);

    // Writes air data and forces for every vessel without moving anything.
    void update_observables();

    // A factor on every thruster's thrust and propellant flow (docs/physics.md, "Dispersions").
    void set_thrust_factor(double factor) { thrust_factor_ = factor; }

    // Every crash so far, in order. A crashed vessel is a wreck: it rests where it struck
    // (landed), its engines give nothing, and it stays one while it is on the ground; a
    // placement from outside that takes it off the ground ends it.
    const std::vector<CrashReport>& crashes() const { return crashes_; }

private:
    void step_vessel(runtime::VesselRecord& v, double dt);
    int substeps_of(const runtime::VesselRecord& v, runtime::PhysicsCarry& carry, const StepSetting& setting,
                    const MassOutput& mass, double dt);
    // One (sub)step from time t, from the vessel's present mass.
    void advance(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h,
                 const StepSetting& setting, const MassOutput& mass0);
    void move(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h, const Kinematics& start,
              const StepForces& f0, const StepSetting& setting, bool airfoils_kept);
    bool crash_if_struck(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h,
                         const Kinematics& before, const Kinematics& after, const MassOutput& mass);

    runtime::World& world_;
    double thrust_factor_ = 1.0;
    std::vector<CrashReport> crashes_;
    std::vector<unsigned char> links_;  // per vessel, for one step: rides on a parent (1), carries children (2)
    // The date advances from a base, not by adding each step's tiny fraction of a day to a
    // large number, which would lose a tenth of a second per orbit. A date or time set from
    // outside starts a new base.
    double mjd_base_ = 0.0, time_base_ = 0.0, mjd_written_ = -1.0, time_written_ = -1.0;
};

}  // namespace physics
