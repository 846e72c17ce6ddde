#include "setup/audio_settings.h"

#include "setup/settings_file.h"

namespace vx {

bool WriteAudioSettings(SystemServices& sys, bool hasSoundCard) {
    const SettingsFile settings(sys);
    const char* answer = hasSoundCard ? "1" : "0";
    bool ok = settings.WriteAudio("MIDIMusic", "0");
    for (const char* key : {"CDMusic", "SoundFx", "SoundFxAllowed", "Naration", "SurferSounds"})
        ok = settings.WriteAudio(key, answer) && ok;
    return ok;
}

}  // namespace vx
