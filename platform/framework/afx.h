// The small application framework the setup program's dialogs derive from:
// an application object, dialogs with message tables, and data exchange
// between controls and members.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/framework/window_backend.h"

namespace vx {

using CString = std::string;

class CDialog;
class CWinApp;
class CCmdTarget;
using HICON = const Picture*;

// One message table entry: a message (or a notification from a control) and
// the member that handles it.
using AFX_PMSG = void (CCmdTarget::*)();
using AFX_PMSG_ICON = HICON (CCmdTarget::*)();
enum class AfxSig { None, Void, Icon };
struct AFX_MSGMAP_ENTRY {
    UINT message;  // WM_PAINT, WM_QUERYDRAGICON, WM_COMMAND
    UINT code;     // BN_CLICKED for WM_COMMAND
    int id;        // the control or command identifier for WM_COMMAND
    AfxSig signature;
    AFX_PMSG handler;
    AFX_PMSG_ICON iconHandler;
};
struct AFX_MSGMAP {
    const AFX_MSGMAP* base;
    const AFX_MSGMAP_ENTRY* entries;  // ended by an entry with message 0
};

// What routes messages through the message tables of its class and bases.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Calls the handler the tables name; false when none does.
    bool Dispatch(UINT message, UINT code, int id, HICON* iconResult = nullptr);

protected:
    static const AFX_MSGMAP messageMap;
    virtual const AFX_MSGMAP* GetMessageMap() const { return &messageMap; }
};

// The data exchange between a dialog's controls and its members.
class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool saveAndValidate)
        : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}
    // Stops the exchange: the field keeps the focus and the dialog stays open.
    void Fail() { m_bFailed = true; }

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
    int m_idLastControl = 0;
};

void DDX_Text(CDataExchange* pDX, int id, CString& value);
// Refuses a text longer than `maxChars` when saving; limits typing when loading.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);

class CDialog : public CCmdTarget {
public:
    CDialog(int templateId, CDialog* parent = nullptr);
    virtual ~CDialog();

    INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX) {}
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(INT_PTR result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
    void CheckDlgButton(int id, UINT check);
    void SetDlgItemText(int id, const char* text);
    int GetDlgItemText(int id, char* buffer, int size) const;
    void GotoDlgCtrl(int id);
    void SendIcon(HICON icon, BOOL large);

    // Delivered by the window; virtual, so that a backend loaded as a plugin
    // reaches the dialog through its table alone.
    virtual void OnCommand(int id, UINT code = BN_CLICKED);
    virtual void OnMessage(UINT message);
    // Paint notifications ask this of the dialog.
    HICON QueryDragIcon();

    DialogWindow* window() const { return window_.get(); }
    int templateId() const { return templateId_; }
    const char* caption() const;

protected:
    // Lets the default window procedure finish painting.
    void Default() {}

private:
    int templateId_;
    CDialog* parent_;
    std::unique_ptr<DialogWindow> window_;
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();

    virtual BOOL InitInstance() { return FALSE; }
    // Three-dimensional control styling; every backend already draws it.
    BOOL Enable3dControls() { return TRUE; }
    HICON LoadIcon(int id) const;

    // The framework's own help handler: this program ships no help viewer.
    void OnHelp() {}

    CDialog* m_pMainWnd = nullptr;
    const char* m_pszAppName;
};

// The framework's services for the running program.
CWinApp* AfxGetApp();
WindowBackend& AfxGetBackend();
SystemServices& AfxGetSystem();
// Installs the backend and the system the program runs on (before the entry).
void AfxSetPlatform(WindowBackend* backend, SystemServices* system);
// The framework's entry: InitInstance, then the process ends.
int AfxWinMain();

// Resources by identifier: dialog templates, the icon group and bitmaps.
struct AfxResources {
    const DialogTemplate* (*findTemplate)(int id);
    const Picture* (*loadImage)(int id);  // a bitmap or the large image of an icon group
};
void AfxSetResources(const AfxResources& resources);
const DialogTemplate* AfxFindTemplate(int id);
// The bitmap or icon of that identifier from the program's own module, or nullptr.
const Picture* LoadImageA(int resourceId);

#define DECLARE_MESSAGE_MAP()                             \
protected:                                                \
    static const ::vx::AFX_MSGMAP messageMap;             \
    static const ::vx::AFX_MSGMAP_ENTRY messageEntries[]; \
    const ::vx::AFX_MSGMAP* GetMessageMap() const override { return &messageMap; }

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                    \
    const ::vx::AFX_MSGMAP theClass::messageMap = {&baseClass::messageMap,        \
                                                   &theClass::messageEntries[0]}; \
    const ::vx::AFX_MSGMAP_ENTRY theClass::messageEntries[] = {
#define END_MESSAGE_MAP()                             \
    { 0, 0, 0, ::vx::AfxSig::None, nullptr, nullptr } \
    }                                                 \
    ;

#define ON_WM_PAINT(theClass)                                                                   \
    {::vx::WM_PAINT, 0, 0, ::vx::AfxSig::Void, static_cast<::vx::AFX_PMSG>(&theClass::OnPaint), \
     nullptr},
#define ON_WM_QUERYDRAGICON(theClass) \
    {                                 \
        ::vx::WM_QUERYDRAGICON,       \
        0,                            \
        0,                            \
        ::vx::AfxSig::Icon,           \
        nullptr,                      \
        static_cast<::vx::AFX_PMSG_ICON>(&theClass::OnQueryDragIcon)},
#define ON_BN_CLICKED(id, memberFxn)         \
    {::vx::WM_COMMAND,                       \
     ::vx::BN_CLICKED,                       \
     id,                                     \
     ::vx::AfxSig::Void,                     \
     static_cast<::vx::AFX_PMSG>(memberFxn), \
     nullptr},
#define ON_COMMAND(id, memberFxn) ON_BN_CLICKED(id, memberFxn)

}  // namespace vx
