// The connector to the optional sound service: it finds the service only when the host
// process has already loaded it, resolves its entry points by name, and guards every call
// by the vessel's id and the slot number. Connection failures go to "OrbiterSound_Log.txt".
#include "sound/sound_connector.h"

#include <cstdio>

namespace {

constexpr const char* kServiceModule = "OrbiterSound.dll";
constexpr const char* kLogFile = "OrbiterSound_Log.txt";
constexpr int kMaxLogEntry = 100;  // entries 0..100 are written, 101 in all
constexpr int kMaxSoundId = 59;
constexpr int kMinSlot = 1;
constexpr int kMaxSlot = 60;

constexpr const char* kErrNullHandle =
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: A vessel passed a NULL handle to this function";
constexpr const char* kErrNotInstalled =
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - not installed or activated";
constexpr const char* kErrMissingRoutines =
    "ERR02= ConnectToOrbiterSoundDLL3: Unable to find routines missing OrbiterSound3.0 ?";
constexpr const char* kErrNoIdRoutine = "ERR03= unable to connect to GetMyID, Older OrbiterSound.dll ?";

// The service's entry points, in the order they are resolved.
enum Entry {
    LOAD_WAVE,
    PLAY_WAVE,
    PLAY_EXCLUSIVE_WAVE,
    STOP_WAVE,
    IS_PLAYING_WAVE,
    IS_PLAYING_RADIO,
    SOUND_OPTION,
    SET_FREQUENCY,
    GET_SOUND_ID,
    REPLACE_STOCK_SOUND,
    ENTRY_COUNT
};
constexpr const char* ENTRY_NAMES[ENTRY_COUNT] = {
    "LoadVesselWaveOBSound3", "PlayVesselWaveOBSound3", "PlayVesselExclusiveWaveOBSound3",
    "StopVesselWave3",        "IsPlayingVesselWave3",   "IsPlayingRadioVesselWave",
    "SoundOption3",           "SetFrequency",           "GetVesselSoundID3",
    "ReplaceStockOBSound3"};

using LoadWaveFunc = int (*)(int id, int slot, const char* file, int mode);
using PlayWaveFunc = int (*)(int id, int slot, int loop, int volume, int frequency);
using SlotFunc = int (*)(int id, int slot);
using SoundIdFunc = int (*)(OBJHANDLE vessel);

// A resolved entry, kept as the one function type that converts to each entry's own type
// without a mismatch between the two.
using EntryPoint = void (*)();

// Module-wide: shared by every vessel of the module.
struct Connector {
    HMODULE service = nullptr;
    EntryPoint entries[ENTRY_COUNT] = {};
    int log_count = 0;
};
Connector connector;

// Always empty: every log entry ends with it, as an empty line.
const char kEmptyDetail[1] = "";

bool may_call(Entry e, int id, int slot) {
    return connector.entries[e] != nullptr && id >= 0 && id <= kMaxSoundId && slot >= kMinSlot && slot <= kMaxSlot;
}

template <class Func>
Func entry(Entry e) {
    return reinterpret_cast<Func>(connector.entries[e]);
}

}  // namespace

int SoundConnect(OBJHANDLE vessel) {
    if (vessel == nullptr) {
        SoundLog(kErrNullHandle, kEmptyDetail);
        return -1;
    }
    connector.service = GetModuleHandleA(kServiceModule);
    if (connector.service == nullptr) {
        SoundLog(kErrNotInstalled, kEmptyDetail);
        return -1;
    }
    // Entries resolved by an earlier connection stay in use until this one has found all ten.
    EntryPoint found[ENTRY_COUNT] = {};
    for (int e = 0; e < ENTRY_COUNT; ++e)
        found[e] = reinterpret_cast<EntryPoint>(GetProcAddress(connector.service, ENTRY_NAMES[e]));
    for (int e = 0; e < ENTRY_COUNT; ++e) {
        if (e != GET_SOUND_ID && found[e] == nullptr) {
            SoundLog(kErrMissingRoutines, kEmptyDetail);
            return -1;
        }
    }
    if (found[GET_SOUND_ID] == nullptr) {
        SoundLog(kErrNoIdRoutine, kEmptyDetail);
        return -1;
    }
    for (int e = 0; e < ENTRY_COUNT; ++e) connector.entries[e] = found[e];
    return entry<SoundIdFunc>(GET_SOUND_ID)(vessel);
}

int SoundLoad(int id, int slot, const char* file, int mode) {
    if (!may_call(LOAD_WAVE, id, slot)) return 0;
    return entry<LoadWaveFunc>(LOAD_WAVE)(id, slot, file, mode);
}

int SoundPlay(int id, int slot, int loop, int volume, int frequency) {
    if (!may_call(PLAY_WAVE, id, slot)) return 0;
    return entry<PlayWaveFunc>(PLAY_WAVE)(id, slot, loop, volume, frequency);
}

int SoundStop(int id, int slot) {
    if (!may_call(STOP_WAVE, id, slot)) return 0;
    return entry<SlotFunc>(STOP_WAVE)(id, slot);
}

int SoundIsPlaying(int id, int slot) {
    if (!may_call(IS_PLAYING_WAVE, id, slot)) return 0;
    return entry<SlotFunc>(IS_PLAYING_WAVE)(id, slot);
}

// Text mode is the default of these modes on every platform the module runs on.
void SoundLog(const char* message, const char* detail) {
    if (connector.log_count > kMaxLogEntry) return;
    if (std::FILE* existing = std::fopen(kLogFile, "r+")) {
        std::fclose(existing);
    } else {
        std::FILE* created = std::fopen(kLogFile, "w+");
        if (created == nullptr) return;  // nowhere to write: the log stays silent
        std::fprintf(created, "%s", "Orbiter Sound Log Started\n*****************************\n\n");
        std::fclose(created);
    }
    std::FILE* log = std::fopen(kLogFile, "a+");
    if (log == nullptr) return;
    std::fprintf(log, "%s\n", "--------------------------------------");
    if (message != nullptr) std::fprintf(log, "%s\n", message);
    if (detail != nullptr) std::fprintf(log, "%s\n", detail);
    ++connector.log_count;
    std::fclose(log);
}

void SoundResetConnector() { connector = Connector{}; }
