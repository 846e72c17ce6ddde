// The program's application object: it runs the main setup dialog once.
#pragma once

#include "platform/framework/afx.h"

namespace vx {

class CInstallApp : public CWinApp {
public:
    CInstallApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

}  // namespace vx
