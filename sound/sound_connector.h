// Connector to the optional sound service. It is found only when the host process has
// already loaded it; without it every wrapper does nothing and the vessel runs silent.
#pragma once

#include "orbiter_api.h"

// The vessel's sound slots.
constexpr int SOUND_GEAR = 20;
constexpr int SOUND_STAGE_SEP = 24;
constexpr int SOUND_FA_SEP = 25;
constexpr int SOUND_JET = 26;
constexpr int SOUND_LOAD_MODE = 4;

int SoundConnect(OBJHANDLE vessel);
int SoundLoad(int id, int slot, const char* file, int mode);
int SoundPlay(int id, int slot, int loop, int volume, int frequency);
int SoundStop(int id, int slot);
int SoundIsPlaying(int id, int slot);
void SoundLog(const char* message, const char* detail);

// For tests: forget the resolved entry points and the log counter.
void SoundResetConnector();
