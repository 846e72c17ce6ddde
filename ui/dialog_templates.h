// The setup program's two dialog templates.
#pragma once

#include "platform/framework/dialog_template.h"

namespace vx {

const DialogTemplate& InstallDialogTemplate();
const DialogTemplate& SoundCardDialogTemplate();
// The template of that identifier, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace vx
