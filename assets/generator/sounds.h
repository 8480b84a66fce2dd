// The vessel's sounds, synthesised: the gear motor with its locking clunk, two separation
// bangs, and the air-breathing engines' roar that the vessel loops.
#pragma once

#include <string>
#include <vector>

namespace korvan_assets {

inline constexpr int kSampleRate = 44100;  // Hz

struct Sound {
    std::string name;
    std::vector<double> samples;  // -1..1
};

Sound gear_sound();
Sound stage_separation_sound();
Sound fairing_separation_sound();
Sound jet_sound();  // its last sample runs on into its first

// 16-bit PCM, mono.
void write_wav(const std::string& path, const Sound& sound);

}  // namespace korvan_assets
