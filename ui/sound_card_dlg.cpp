#include "ui/sound_card_dlg.h"

#include "setup/audio_settings.h"
#include "ui/resource.h"

namespace vx {

CSoundCardDlg::CSoundCardDlg(CDialog* parent) : CDialog(IDD_SOUNDCARD, parent) {}

void CSoundCardDlg::OnOK() {
    WriteAudioSettings(AfxGetSystem(), true);
    CDialog::OnOK();
}

void CSoundCardDlg::OnCancel() {
    WriteAudioSettings(AfxGetSystem(), false);
    CDialog::OnCancel();
}

}  // namespace vx
