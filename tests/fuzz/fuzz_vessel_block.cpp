// A Korvan's scenario block through clbkLoadStateEx, then a save, a load of that save into a
// new Korvan and a second save.
//
// Oracles: the second save equals the first (load-save is a fixed point from the first save
// on, items and groups included), the item table keeps its invariants, and the vessel's
// numbers stay finite.
#include <cmath>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "table_checks.h"
#include "tests/vessel/korvan_world.h"

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

void check_vessel(const Korvan& k) {
    fuzz::check_item_table(k);
    for (double x : {k.target_heading, k.gear_position, k.door_position, k.brake_position, k.nozzle_position})
        fuzz::check(std::isfinite(x), "a vessel field is not finite");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::keep_loaded("Modules/cvelmessage");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvan_test::KorvanWorld env;
    Korvan* first = env.make("First");
    env.load(first, fuzz::lines_of(fuzz::text_of(data, size)));
    check_vessel(*first);
    const std::vector<std::string> saved = env.save(first);

    Korvan* second = env.make("Second");
    env.load(second, saved);
    check_vessel(*second);
    const std::vector<std::string> saved_again = env.save(second);
    fuzz::check(saved_again == saved,
                "the second save differs from the first:\n" + joined(saved) + "---\n" + joined(saved_again));
    return 0;
}
