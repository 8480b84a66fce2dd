// GUIDANCE: the ascent autopilot's interface. The vessel implements the four operations;
// GUIDANCE itself owns only the ascent profile (energy index against pitch attitude).
#pragma once

#include "vessel_api.h"

class GUIDANCE {
public:
    GUIDANCE() = default;
    GUIDANCE(const GUIDANCE&) = delete;
    GUIDANCE& operator=(const GUIDANCE&) = delete;
    virtual ~GUIDANCE();

    virtual void Step(VESSEL* vessel, double simt) = 0;
    virtual void SteerToAzimuth(VESSEL* vessel, double simt) = 0;
    virtual double ProfilePitch(double x) = 0;
    virtual void Reset() = 0;

    // Takes ownership of both arrays (allocated with new[]), frees those held before, then
    // resets the guidance.
    void SetProfile(int count, double* xs, double* ys);

protected:
    int profile_count = 0;
    double* profile_energy = nullptr;
    double* profile_pitch = nullptr;
};
