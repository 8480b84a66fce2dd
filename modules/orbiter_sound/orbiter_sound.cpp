// Stand-in for the optional sound service. It plays nothing: it gives each vessel handle an
// id (0..59, then -1), remembers which slots are playing, and appends one line per call to
// the record file, the entry's name followed by its arguments:
//   GetVesselSoundID3 0x55d0c0 -> 0
//   LoadVesselWaveOBSound3 0 20 Sound\Korvan\gear.wav 4
//   PlayVesselWaveOBSound3 0 26 1 255 20050
// The record file is the value of KORVAN_SOUND_RECORD, or "OrbiterSound_calls.txt" in the
// current directory. Built with KORVAN_SOUND_WITHOUT_ID it lacks GetVesselSoundID3, with
// KORVAN_SOUND_WITHOUT_ROUTINES it lacks SetFrequency: the two older services the vessel
// must refuse.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#if defined(_WIN32)
#define SOUND_EXPORT extern "C" __declspec(dllexport)
#else
#define SOUND_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int kMaxIds = 60;
constexpr const char* kRecordVariable = "KORVAN_SOUND_RECORD";
constexpr const char* kDefaultRecord = "OrbiterSound_calls.txt";

struct Service {
    std::mutex mutex;
    std::map<const void*, int> ids;
    std::set<std::pair<int, int>> playing;  // (id, slot)
};

Service& service() {
    static Service s;
    return s;
}

void record(const char* format, ...) {
    const char* path = std::getenv(kRecordVariable);
    std::FILE* f = std::fopen(path != nullptr && *path != '\0' ? path : kDefaultRecord, "a");
    if (f == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

const char* text_or_null(const char* s) { return s != nullptr ? s : "(null)"; }

}  // namespace

#if !defined(KORVAN_SOUND_WITHOUT_ID)
SOUND_EXPORT int GetVesselSoundID3(void* vessel) {
    Service& s = service();
    std::lock_guard lock(s.mutex);
    int id = -1;
    if (vessel != nullptr) {
        auto it = s.ids.find(vessel);
        if (it != s.ids.end()) {
            id = it->second;
        } else if (static_cast<int>(s.ids.size()) < kMaxIds) {
            id = static_cast<int>(s.ids.size());
            s.ids.emplace(vessel, id);
        }
    }
    record("GetVesselSoundID3 %p -> %d", vessel, id);
    return id;
}
#endif

SOUND_EXPORT int LoadVesselWaveOBSound3(int id, int slot, const char* file, int mode) {
    record("LoadVesselWaveOBSound3 %d %d %s %d", id, slot, text_or_null(file), mode);
    return 1;
}

SOUND_EXPORT int PlayVesselWaveOBSound3(int id, int slot, int loop, int volume, int frequency) {
    {
        std::lock_guard lock(service().mutex);
        service().playing.insert({id, slot});
    }
    record("PlayVesselWaveOBSound3 %d %d %d %d %d", id, slot, loop, volume, frequency);
    return 1;
}

SOUND_EXPORT int PlayVesselExclusiveWaveOBSound3(int id, int slot, int loop, int volume, int frequency) {
    {
        std::lock_guard lock(service().mutex);
        service().playing.insert({id, slot});
    }
    record("PlayVesselExclusiveWaveOBSound3 %d %d %d %d %d", id, slot, loop, volume, frequency);
    return 1;
}

SOUND_EXPORT int StopVesselWave3(int id, int slot) {
    {
        std::lock_guard lock(service().mutex);
        service().playing.erase({id, slot});
    }
    record("StopVesselWave3 %d %d", id, slot);
    return 1;
}

SOUND_EXPORT int IsPlayingVesselWave3(int id, int slot) {
    int playing = 0;
    {
        std::lock_guard lock(service().mutex);
        playing = service().playing.count({id, slot}) > 0 ? 1 : 0;
    }
    record("IsPlayingVesselWave3 %d %d -> %d", id, slot, playing);
    return playing;
}

SOUND_EXPORT int IsPlayingRadioVesselWave(int id, int slot) {
    record("IsPlayingRadioVesselWave %d %d -> 0", id, slot);
    return 0;
}

SOUND_EXPORT int SoundOption3(int id, int option, int value) {
    record("SoundOption3 %d %d %d", id, option, value);
    return 1;
}

#if !defined(KORVAN_SOUND_WITHOUT_ROUTINES)
SOUND_EXPORT int SetFrequency(int id, int slot, int frequency) {
    record("SetFrequency %d %d %d", id, slot, frequency);
    return 1;
}
#endif

SOUND_EXPORT int ReplaceStockOBSound3(int id, const char* file, int which) {
    record("ReplaceStockOBSound3 %d %s %d", id, text_or_null(file), which);
    return 1;
}
