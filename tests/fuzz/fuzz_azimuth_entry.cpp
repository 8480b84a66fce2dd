// The launch-azimuth input box: the U key opens it, the input is the text the pilot types,
// and a step with the focus runs the inclination readout.
//
// Oracles: the azimuth stays finite, the readout shows a number, and the azimuth saved and
// loaded again is the same.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "tests/vessel/korvan_world.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::keep_loaded("Modules/cvelmessage");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvan_test::KorvanWorld env;
    Korvan* k = env.make("K");
    env.give_focus(k);
    k->config_index = 0;  // a configuration that shows the readout
    char keys[KEYSTATE_SIZE] = {};
    keys[OAPI_KEY_U] = static_cast<char>(0x80);
    k->clbkConsumeBufferedKey(OAPI_KEY_U, true, keys);
    fuzz::check(env.world.answer_input_box(fuzz::text_of(data, size)), "the U key opened no input box");
    fuzz::check(std::isfinite(k->target_heading), "the azimuth is not finite");
    env.step(k);
    const std::string readout(env.world.debug_line.data());
    fuzz::check(readout.rfind("Target inclination (Equatorial): ", 0) == 0, "no readout: " + readout);
    fuzz::check(readout.find("nan") == std::string::npos && readout.find("inf") == std::string::npos,
                "the readout shows no number: " + readout);

    const double heading = k->target_heading;
    Korvan* copy = env.make("Copy");
    env.load(copy, env.save(k));
    fuzz::check(copy->target_heading == heading, "the azimuth changed through a save and a load");
    return 0;
}
