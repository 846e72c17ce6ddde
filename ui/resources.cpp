#include "ui/resources.h"

#include "ui/dialog_templates.h"

namespace vx {

namespace {

const Picture* LoadProgramImage(int) { return nullptr; }

}  // namespace

AfxResources ProgramResources() { return {&FindDialogTemplate, &LoadProgramImage}; }

bool DecodeBmp8(const unsigned char*, std::size_t, Picture&) { return false; }

}  // namespace vx
