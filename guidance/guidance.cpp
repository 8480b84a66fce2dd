// GUIDANCE: owns the ascent profile, two arrays of energy index and pitch attitude.
#include "guidance/guidance.h"

GUIDANCE::~GUIDANCE() {
    delete[] profile_energy;
    delete[] profile_pitch;
}

void GUIDANCE::SetProfile(int count, double* xs, double* ys) {
    delete[] profile_energy;
    delete[] profile_pitch;
    profile_energy = xs;
    profile_pitch = ys;
    // A profile without both arrays, or with no points, counts as no profile at all, so
    // that nothing ever reads from an array that is not there.
    profile_count = (xs != nullptr && ys != nullptr && count > 0) ? count : 0;
    Reset();
}
