// Item lines and "ENDSTAGE" through the message link into a Korvan, then a step (the poll
// and the rebuild), a save, and the release of every item as the payload key releases them.
//
// Input: one message per line, "KEYWORD|TEXT"; a line without '|' is sent as a handover
// sends it, with its first word as the keyword.
//
// Oracles: the item table keeps its invariants after the step and after each release, and
// the saved block is a fixed point of load-save from the second save on.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "table_checks.h"
#include "tests/vessel/korvan_world.h"

namespace {

using SendFunc = int (*)(void* receiver, const char* keyword, const char* text);
using CheckFunc = int (*)(void* self, char* keyword, char* text);

constexpr size_t kKeywordBuffer = 256;
constexpr size_t kTextBuffer = 2048;
const VECTOR3 kReleaseVelocity{0.0, 0.25, 0.0};  // m/s, the payload key's

HMODULE link_module = nullptr;

template <class Func>
Func entry(const char* name) {
    return reinterpret_cast<Func>(GetProcAddress(link_module, name));
}

void send_line(VESSEL* receiver, const std::string& line) {
    std::string keyword, text = line;
    if (const size_t bar = line.find('|'); bar != std::string::npos) {
        keyword = line.substr(0, bar);
        text = line.substr(bar + 1);
    } else {
        const size_t start = line.find_first_not_of(" \t");
        const size_t end = start == std::string::npos ? start : line.find_first_of(" \t", start);
        if (start != std::string::npos) keyword = line.substr(start, end == std::string::npos ? end : end - start);
    }
    entry<SendFunc>("SendCMessage")(static_cast<void*>(receiver), keyword.c_str(), text.c_str());
}

// Whatever the link still holds for the World's vessels goes, so that no message reaches a
// later input's vessel that happens to live at the same address.
void drain(runtime::World& world) {
    const auto check = entry<CheckFunc>("CheckCMessage");
    char keyword[kKeywordBuffer], text[kTextBuffer];
    for (size_t i = 0; i < world.vessel_count(); ++i)
        while (check(static_cast<void*>(world.vessel(i)->iface), keyword, text) != -1) {
        }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::keep_loaded("Modules/cvelmessage");
    link_module = LoadLibraryA(KORVAN_RUN_TREE "/Modules/cvelmessage");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvan_test::KorvanWorld env;
    runtime::VesselClass b_variant;
    b_variant.name = "KorvanB";  // released as a plain vessel, as "Korvan" is
    env.world.add_class(b_variant);
    Korvan* carrier = env.make("Carrier");
    env.place_in_orbit(carrier);  // so that what it releases can be created
    for (const std::string& line : fuzz::lines_of(fuzz::text_of(data, size))) send_line(carrier, line);
    env.step(carrier);
    fuzz::check_item_table(*carrier);

    // Loading restarts the mechanisms, so saves agree from the second on.
    Korvan* copy = env.make("Copy");
    env.load(copy, env.save(carrier));
    const std::vector<std::string> saved = env.save(copy);
    Korvan* second_copy = env.make("SecondCopy");
    env.load(second_copy, saved);
    fuzz::check(env.save(second_copy) == saved, "a block saved after the messages saves differently when loaded again");

    for (int i = 0; i <= CVE_MAX_ITEMS; ++i) {
        carrier->SetSeparationVelocity(kReleaseVelocity);
        if (carrier->SeparateLastItem() == nullptr) break;
        fuzz::check_item_table(*carrier);
    }
    drain(env.world);
    return 0;
}
