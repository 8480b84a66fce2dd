// The air-breathing engine model of the six-engine set: how altitude and speed shape the
// thrust of the air-breathing slots and the level and Isp of the rocket slots beside them.
#pragma once

struct AirBreathingFactors {
    double speed_factor = 0.0;     // ram term of the speed
    double altitude_factor = 0.0;  // falls with altitude, 0 at the top of the envelope
    double air_factor = 0.0;       // their product
    double thrust = 0.0;           // N, of each air-breathing slot (5 and 6)
    double u = 0.0;                // speed_factor^2 x altitude_factor^2: slots 1-4 run at 1/u, Isp x u
};

// h altitude (m), v airspeed (m/s), M Mach number, mach_switch the Mach number above which
// the air-breathing set gives no thrust. A Mach number that is not finite counts as 0.
AirBreathingFactors air_breathing_factors(double h, double v, double M, double mach_switch);

// The nozzle position for the air factor and Mach number, 0..1; 0 at rest.
double nozzle_position_for(double air_factor, double M);
