// A tiny vessel module for the host's loader and creation tests: its vessel sets a size and
// one main thruster in clbkSetClassCaps, and counts how often it was created and destroyed.
#include "vessel_api.h"

namespace {
int created = 0;
int destroyed = 0;

class TestVessel : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
    void clbkSetClassCaps(FILEHANDLE cfg) override {
        (void)cfg;
        constexpr double test_size = 7.0;      // m
        constexpr double test_thrust = 1.0e4;  // N
        SetSize(test_size);
        THRUSTER_HANDLE th = CreateThruster(_V(0, 0, -1), _V(0, 0, 1), test_thrust);
        CreateThrusterGroup(&th, 1, THGROUP_MAIN);
    }
};
}  // namespace

extern "C" {
DLLEXPORT VESSEL* ovcInit(OBJHANDLE hvessel, int flightmodel) {
    (void)flightmodel;
    ++created;
    return new TestVessel(hvessel, 1);
}
DLLEXPORT void ovcExit(VESSEL* vessel) {
    ++destroyed;
    delete vessel;
}
DLLEXPORT int host_test_created() {
    return created;
}
DLLEXPORT int host_test_destroyed() {
    return destroyed;
}
}
