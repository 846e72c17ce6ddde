// Asks, once per install, whether the machine has a sound card; its buttons
// record the answer for the game.
#pragma once

#include "platform/framework/afx.h"

namespace vx {

class CSoundCardDlg : public CDialog {
public:
    explicit CSoundCardDlg(CDialog* parent = nullptr);

protected:
    void OnOK() override;
    void OnCancel() override;
};

}  // namespace vx
