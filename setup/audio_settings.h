// The sound-card answer, recorded in the settings file's Audio section for
// the game to read.
#pragma once

#include "platform/system_services.h"

namespace vx {

// Writes the six Audio keys: MIDIMusic always "0", the other five "1" for
// yes and "0" for no. Returns false when any write failed.
bool WriteAudioSettings(SystemServices& sys, bool hasSoundCard);

}  // namespace vx
