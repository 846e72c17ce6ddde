#include "ui/sound_card_dlg.h"

#include "setup/audio_settings.h"
#include "ui/resource.h"

namespace vx {

CSoundCardDlg::CSoundCardDlg(CDialog* parent) : CDialog(IDD_SOUNDCARD, parent) {}

void CSoundCardDlg::OnOK() {
    // The dialog only records the answer; it has nowhere to report a failed write.
    (void)WriteAudioSettings(AfxGetSystem(), true);
    CDialog::OnOK();
}

void CSoundCardDlg::OnCancel() {
    (void)WriteAudioSettings(AfxGetSystem(), false);  // as above
    CDialog::OnCancel();
}

}  // namespace vx
