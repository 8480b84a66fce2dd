// The vessel's own sounds: connecting and loading its four slots, and the looping jet
// sound of the air-breathing engines.
#include <cmath>

#include "sound/sound_connector.h"
#include "vessel/korvan.h"

namespace {

struct SlotFile {
    int slot;
    const char* file;
};
constexpr SlotFile SOUND_FILES[] = {
    {SOUND_GEAR, "Sound\\Korvan\\gear.wav"},
    {SOUND_STAGE_SEP, "Sound\\Korvan\\stg2sep.wav"},
    {SOUND_FA_SEP, "Sound\\Korvan\\fasep.wav"},
    {SOUND_JET, "Sound\\Korvan\\jet.wav"},
};

// The jet grows louder and higher with the main thrust level, and the nozzles, as they
// move toward the rocket position, fade it out.
constexpr int kJetLoop = 1;
constexpr double kJetVolumeBase = 110.0;      // at a level just above 0
constexpr double kJetVolumePerLevel = 145.0;  // 255 at full level
constexpr double kJetFrequencyBase = 11050.0;     // Hz
constexpr double kJetFrequencyPerLevel = 9000.0;  // Hz; 20050 at full level
constexpr int kMaxVolume = 255;

// Levels and positions above 1 (or not numbers at all) would drive the volume outside
// what the service takes.
double unit_range(double v) {
    if (!(v > 0.0)) return 0.0;
    return v < 1.0 ? v : 1.0;
}

}  // namespace

void Korvan::load_sounds() {
    sound_id = SoundConnect(GetHandle());
    for (const SlotFile& s : SOUND_FILES) SoundLoad(sound_id, s.slot, s.file, SOUND_LOAD_MODE);
}

void Korvan::update_jet_sound() {
    const double level = GetThrusterGroupLevel(THGROUP_MAIN);
    if (jet_from_six_engine_set && level > 0.0) {
        const double l = unit_range(level);
        const double volume = (1.0 - unit_range(nozzle_position)) * (kJetVolumePerLevel * l + kJetVolumeBase);
        const double frequency = kJetFrequencyPerLevel * l + kJetFrequencyBase;
        int v = static_cast<int>(volume);
        if (v > kMaxVolume) v = kMaxVolume;
        if (v < 0) v = 0;
        SoundPlay(sound_id, SOUND_JET, kJetLoop, v, static_cast<int>(frequency));
    } else if (SoundIsPlaying(sound_id, SOUND_JET)) {
        SoundStop(sound_id, SOUND_JET);
    }
}
