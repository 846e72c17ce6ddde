#include "platform/framework/afx.h"

#include <cstdio>
#include <cstring>

namespace vx {

namespace {

CWinApp* g_app = nullptr;
WindowBackend* g_backend = nullptr;
SystemServices* g_system = nullptr;
AfxResources g_resources{nullptr, nullptr};

}  // namespace

const AFX_MSGMAP CCmdTarget::messageMap = {nullptr, nullptr};

bool CCmdTarget::Dispatch(UINT message, UINT code, int id, HICON* iconResult) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (const AFX_MSGMAP_ENTRY* e = map->entries; e != nullptr && e->message != 0; ++e) {
            if (e->message != message || e->code != code || e->id != id) continue;
            if (e->signature == AfxSig::Icon) {
                const HICON icon = (this->*(e->iconHandler))();
                if (iconResult) *iconResult = icon;
            } else {
                (this->*(e->handler))();
            }
            return true;
        }
    }
    return false;
}

void AfxSetPlatform(WindowBackend* backend, SystemServices* system) {
    g_backend = backend;
    g_system = system;
}
WindowBackend& AfxGetBackend() { return *g_backend; }
SystemServices& AfxGetSystem() { return *g_system; }
CWinApp* AfxGetApp() { return g_app; }

void AfxSetResources(const AfxResources& resources) { g_resources = resources; }
const DialogTemplate* AfxFindTemplate(int id) {
    return g_resources.findTemplate ? g_resources.findTemplate(id) : nullptr;
}
const Picture* LoadImageA(int resourceId) {
    return g_resources.loadImage ? g_resources.loadImage(resourceId) : nullptr;
}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr || g_backend == nullptr || g_system == nullptr) return 1;
    // The program runs its one dialog inside InitInstance; FALSE ends the process.
    app->InitInstance();
    return 0;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_app = this; }
CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}
HICON CWinApp::LoadIcon(int id) const { return LoadImageA(id); }

CDialog::CDialog(int templateId, CDialog* parent) : templateId_(templateId), parent_(parent) {}
CDialog::~CDialog() = default;

const char* CDialog::caption() const {
    const DialogTemplate* t = AfxFindTemplate(templateId_);
    return t ? t->caption : "";
}

INT_PTR CDialog::DoModal() {
    const DialogTemplate* t = AfxFindTemplate(templateId_);
    if (t == nullptr || g_backend == nullptr) return -1;
    // With no parent, the application's main window owns the dialog.
    CDialog* owner = parent_;
    if (owner == nullptr && g_app != nullptr && g_app->m_pMainWnd != this)
        owner = g_app->m_pMainWnd;
    window_ = g_backend->CreateDialogWindow(*t, *this, owner ? owner->window() : nullptr);
    if (!window_) return -1;
    OnInitDialog();
    const INT_PTR result = window_->RunModal();
    window_.reset();
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(INT_PTR result) {
    if (window_) window_->EndModal(result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (!window_) return FALSE;
    CDataExchange exchange(*this, saveAndValidate != FALSE);
    DoDataExchange(&exchange);
    return exchange.m_bFailed ? FALSE : TRUE;
}

int CDialog::MessageBox(const char* text, const char* caption, UINT type) {
    const char* title =
        caption ? caption : (g_app && g_app->m_pszAppName ? g_app->m_pszAppName : this->caption());
    return g_backend->MessageBox(window_.get(), text ? text : "", title, type);
}

void CDialog::CheckDlgButton(int id, UINT check) {
    if (window_) window_->SetCheck(id, check);
}

void CDialog::SetDlgItemText(int id, const char* text) {
    if (window_) window_->SetText(id, text ? text : "");
}

int CDialog::GetDlgItemText(int id, char* buffer, int size) const {
    if (size <= 0 || buffer == nullptr) return 0;
    const std::string text = window_ ? window_->GetText(id) : std::string();
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void CDialog::GotoDlgCtrl(int id) {
    if (window_) window_->SetFocus(id);
}

void CDialog::SendIcon(HICON icon, BOOL large) {
    if (window_ && icon) window_->SetIcon(*icon, large != FALSE);
}

void CDialog::OnCommand(int id, UINT code) {
    if (Dispatch(WM_COMMAND, code, id)) return;
    if (code != BN_CLICKED) return;
    if (id == IDOK) OnOK();
    if (id == IDCANCEL) OnCancel();
}

void CDialog::OnMessage(UINT message) { Dispatch(message, 0, 0); }

HICON CDialog::QueryDragIcon() {
    HICON icon = nullptr;
    Dispatch(WM_QUERYDRAGICON, 0, 0, &icon);
    return icon;
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
    pDX->m_idLastControl = id;
    DialogWindow* window = pDX->m_pDlgWnd->window();
    if (window == nullptr) return;
    if (pDX->m_bSaveAndValidate)
        value = window->GetText(id);
    else
        window->SetText(id, value);
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars) {
    DialogWindow* window = pDX->m_pDlgWnd->window();
    if (!pDX->m_bSaveAndValidate) {
        if (window) window->LimitText(pDX->m_idLastControl, maxChars);
        return;
    }
    if (static_cast<int>(value.size()) <= maxChars) return;
    char message[96];
    std::snprintf(message, sizeof message, "The directory can be at most %d characters long.",
                  maxChars);
    pDX->m_pDlgWnd->MessageBox(message, pDX->m_pDlgWnd->caption(), MB_OK);
    pDX->m_pDlgWnd->GotoDlgCtrl(pDX->m_idLastControl);
    pDX->Fail();
}

}  // namespace vx
