// The framework on the real dialog manager: the in-memory templates, the
// program's resources, and dialogs run modally through the backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/framework/afx.h"
#include "platform/win32/win32_system_services.h"
#include "platform/win32/win32_window_backend.h"
#include "setup/setup_selection.h"
#include "ui/dialog_templates.h"
#include "ui/resource.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
// clang-format on
#undef MessageBox

namespace {

using vx::ControlKind;
using vx::DialogTemplate;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

const char* ExpectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return "Edit";
        case ControlKind::StaticLeft:
        case ControlKind::StaticCenter:
        case ControlKind::Bitmap:
            return "Static";
        default:
            return "Button";
    }
}

TEST(Win32WindowBackend, TemplatesBuildTheDescribedDialogs) {
    for (const DialogTemplate* description :
         {&vx::InstallDialogTemplate(), &vx::SoundCardDialogTemplate()}) {
        SCOPED_TRACE(description->caption);
        const std::vector<vx::WORD> bytes = vx::win32::BuildDialogTemplate(*description);
        const HWND dialog = ::CreateDialogIndirectParamA(
            ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
            PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(TextOf(dialog), description->caption);
        const DWORD windowStyles = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        EXPECT_EQ(::GetWindowLongA(dialog, GWL_STYLE) & windowStyles,
                  description->style & windowStyles);

        // The font the template names, at 8 points.
        LOGFONTA font{};
        ASSERT_NE(::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0)),
                               sizeof font, &font),
                  0);
        EXPECT_STREQ(font.lfFaceName, description->font);

        // Every control, in template (tab) order, of its class, text, style and place.
        HWND child = ::GetWindow(dialog, GW_CHILD);
        for (const vx::ControlTemplate& control : description->controls) {
            SCOPED_TRACE(control.text);
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<int>(static_cast<short>(::GetDlgCtrlID(child))), control.id);
            EXPECT_EQ(ClassOf(child), ExpectedClass(control.kind));
            if (control.kind != ControlKind::Bitmap) {
                EXPECT_EQ(TextOf(child), control.text);
            }
            const DWORD style = static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE));
            EXPECT_EQ(style & 0xFFFF, control.style & 0xFFFF);
            EXPECT_EQ(style & WS_TABSTOP, control.style & WS_TABSTOP);
            EXPECT_TRUE(style & WS_CHILD);
            // Place and size in pixels, each converted on its own as the dialog manager does.
            RECT expected{control.x, control.y, control.cx, control.cy};
            ::MapDialogRect(dialog, &expected);
            RECT actual;
            ::GetWindowRect(child, &actual);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            if (control.kind != ControlKind::Bitmap) {  // that one takes its bitmap's size
                EXPECT_EQ(actual.right - actual.left, expected.right);
                EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
            }
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than described";
        ::DestroyWindow(dialog);
    }
}

TEST(Win32WindowBackend, ResourcesComeFromTheModule) {
    const vx::Picture* icon = vx::win32::LoadModuleImage(vx::IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, ::GetSystemMetrics(SM_CXICON));
    const vx::Picture* banner = vx::win32::LoadModuleImage(vx::IDB_BANNER);
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->width, 256);
    EXPECT_EQ(banner->height, 96);
    // Each load is a bitmap of its own, as the control takes it over.
    EXPECT_NE(vx::win32::LoadModuleImage(vx::IDB_BANNER), banner);
    EXPECT_EQ(vx::win32::LoadModuleImage(999), nullptr);
}

// A dialog whose first act, once its window exists, is scripted by the test.
class ScriptedDialog : public vx::CDialog {
public:
    using Step = void (*)(ScriptedDialog&);
    ScriptedDialog(int templateId, Step step) : CDialog(templateId), step_(step) {}

    HWND hwnd() const { return reinterpret_cast<HWND>(window()->NativeHandle()); }
    void Click(int id) { ::PostMessageA(::GetDlgItem(hwnd(), id), BM_CLICK, 0, 0); }

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        step_(*this);
        return TRUE;
    }

    bool ownerWasDisabled = false;
    INT_PTR innerResult = 0;

private:
    Step step_;
};

class Win32DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        vx::AfxSetResources({&vx::FindDialogTemplate, &vx::win32::LoadModuleImage});
        vx::AfxSetPlatform(backend_.get(), &sys_);
    }
    void TearDown() override { vx::AfxSetPlatform(nullptr, nullptr); }

    vx::win32::Win32SystemServices sys_;
    std::unique_ptr<vx::WindowBackend> backend_ = vx::win32::CreateWin32Backend();
};

TEST_F(Win32DialogTest, ControlsAnswerTheFrameworkAndClicksEndTheModalRun) {
    ScriptedDialog dialog(vx::IDD_INSTALL_DIALOG, [](ScriptedDialog& d) {
        vx::DialogWindow& window = *d.window();
        const HWND hwnd = d.hwnd();
        window.SetText(vx::IDC_INSTALL_DIR, "C:\\Spiele");
        EXPECT_EQ(window.GetText(vx::IDC_INSTALL_DIR), "C:\\Spiele");
        window.LimitText(vx::IDC_INSTALL_DIR, 128);
        EXPECT_EQ(::SendDlgItemMessageA(hwnd, vx::IDC_INSTALL_DIR, EM_GETLIMITTEXT, 0, 0), 128);
        window.SetCheck(vx::IDC_UNINSTALL, BST_CHECKED);
        EXPECT_EQ(window.GetCheck(vx::IDC_UNINSTALL), BST_CHECKED);
        EXPECT_EQ(::IsDlgButtonChecked(hwnd, vx::IDC_UNINSTALL), BST_CHECKED);

        const vx::Picture* icon = vx::LoadImageA(vx::IDR_MAINFRAME);
        ASSERT_NE(icon, nullptr);
        window.SetIcon(*icon, true);
        window.SetIcon(*icon, false);
        EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
        EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);

        // A replaced picture's bitmap is deleted; the one shown stays alive.
        const vx::Picture* first = vx::LoadImageA(vx::IDB_BANNER);
        const vx::Picture* second = vx::LoadImageA(vx::IDB_BANNER);
        ASSERT_TRUE(first && second);
        window.SetPicture(vx::IDC_BANNER, *first);
        const auto shown = reinterpret_cast<HGDIOBJ>(
            ::SendDlgItemMessageA(hwnd, vx::IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(shown, nullptr);
        window.SetPicture(vx::IDC_BANNER, *second);
        EXPECT_EQ(::GetObjectType(shown), 0u) << "the replaced bitmap was not deleted";
        EXPECT_NE(::SendDlgItemMessageA(hwnd, vx::IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);

        EXPECT_FALSE(window.IsIconic());
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.window(), nullptr);
}

// The main dialog, whose confirm runs an owned dialog, as the install does.
class MainDialog : public ScriptedDialog {
public:
    MainDialog() : ScriptedDialog(vx::IDD_SOUNDCARD, [](ScriptedDialog& d) { d.Click(IDOK); }) {}

    void OnOK() override {
        // No parent: the application's main window owns it.
        ScriptedDialog inner(vx::IDD_SOUNDCARD, [](ScriptedDialog& d) {
            const HWND owner = ::GetWindow(d.hwnd(), GW_OWNER);
            owner_ = owner;
            ownerWasDisabled_ = owner != nullptr && !::IsWindowEnabled(owner);
            d.Click(IDCANCEL);
        });
        innerResult = inner.DoModal();
        ownerWasDisabled = ownerWasDisabled_;
        innerOwner = owner_;
        ownerEnabledAfter = ::IsWindowEnabled(hwnd()) != FALSE;
        CDialog::OnOK();
    }

    HWND innerOwner = nullptr;
    bool ownerEnabledAfter = false;

private:
    static inline HWND owner_ = nullptr;
    static inline bool ownerWasDisabled_ = false;
};

TEST_F(Win32DialogTest, TheOwnerStaysDisabledWhileAnOwnedDialogRuns) {
    struct App : vx::CWinApp {
    } app;
    MainDialog main;
    app.m_pMainWnd = &main;
    EXPECT_EQ(main.DoModal(), IDOK);
    EXPECT_EQ(main.innerResult, IDCANCEL);
    EXPECT_NE(main.innerOwner, nullptr);
    EXPECT_TRUE(main.ownerWasDisabled);
    EXPECT_TRUE(main.ownerEnabledAfter);
    app.m_pMainWnd = nullptr;
}

}  // namespace
