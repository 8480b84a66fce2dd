// The six command keys. The key-state buffer, not the buffered key, chooses the command:
// the first held key of the table decides.
#include "sound/sound_connector.h"
#include "vessel/korvan.h"

namespace {

constexpr double kKeyRepeatDelay = 1.0;            // s
constexpr int kPayloadKeyTopConfig = 2;            // J steps stages below this index
constexpr int kDoorKeyLowestConfig = -2;
constexpr int kGearSoundVolume = 255;
constexpr int kGearSoundFrequency = 0;             // the file's own
constexpr double kSeparationLift = 0.25;           // m/s upward at release

struct KeyCommand {
    DWORD scan_code;
    void (Korvan::*run)();
    int refused_result;  // what a refused key returns to the host
};

constexpr KeyCommand KEY_COMMANDS[] = {
    {OAPI_KEY_J, &Korvan::command_payload, 1},  {OAPI_KEY_G, &Korvan::command_gear, 1},
    {OAPI_KEY_K, &Korvan::command_doors, 1},    {OAPI_KEY_B, &Korvan::command_brakes, 1},
    {OAPI_KEY_O, &Korvan::toggle_guidance, 1},  {OAPI_KEY_U, &Korvan::open_azimuth_entry, 0},
};

}  // namespace

int Korvan::clbkConsumeBufferedKey(DWORD key, bool down, char* kstate) {
    (void)key;
    if (!down || kstate == nullptr) return 0;
    if (KEYMOD_SHIFT(kstate) || KEYMOD_CONTROL(kstate)) return 0;
    for (const KeyCommand& command : KEY_COMMANDS) {
        if (!KEYDOWN(kstate, command.scan_code)) continue;
        if (!oapiAcceptDelayedKey(static_cast<char>(command.scan_code), kKeyRepeatDelay)) return command.refused_result;
        (this->*command.run)();
        return 1;
    }
    return 0;
}

void Korvan::command_payload() {
    // With the doors closed the key steps through the launch configurations instead.
    if (config_index < kPayloadKeyTopConfig && door_position == 0.0) {
        if (config_index <= 0) ++config_index;
    } else {
        SetSeparationVelocity(_V(0.0, kSeparationLift, 0.0));
        if (SeparateLastItem() == nullptr) {
            if (GetAttachmentStatus(grapple_attachment) != nullptr) {
                DetachChild(grapple_attachment, 0.0);
            } else {
                grapple_search();
            }
        }
    }
    capture_payload();
    rebuild_vessel();
}

void Korvan::command_gear() {
    toggle_gear();
    SoundStop(sound_id, SOUND_GEAR);
    SoundPlay(sound_id, SOUND_GEAR, 0, kGearSoundVolume, kGearSoundFrequency);
}

void Korvan::command_doors() {
    if (config_index >= kDoorKeyLowestConfig) toggle_doors();
}

void Korvan::command_brakes() {
    toggle_brakes();
    wheel_brakes_on = brake_state == MECH_OPENING;
}
