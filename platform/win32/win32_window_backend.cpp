#include "platform/win32/win32_window_backend.h"

#include <deque>
#include <string>

#include "platform/framework/afx.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// clang-format on

#undef MessageBox

namespace vx::win32 {

namespace {

constexpr UINT kBannerLoadOptions = LR_CREATEDIBSECTION | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

HINSTANCE ModuleInstance() { return ::GetModuleHandleA(nullptr); }

// A picture loaded from the module, with the handle the system draws.
struct ModuleImage {
    Picture picture;
    ::HBITMAP bitmap = nullptr;
    ::HICON icon = nullptr;
};

std::deque<ModuleImage>& ModuleImages() {
    static std::deque<ModuleImage> images;
    return images;
}

const ModuleImage* ModuleImageOf(const Picture& picture) {
    for (const ModuleImage& image : ModuleImages())
        if (&image.picture == &picture) return &image;
    return nullptr;
}

// A DIB section holding a picture that did not come from the module.
::HBITMAP BitmapFromPicture(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != static_cast<std::size_t>(picture.width) * picture.height * 3)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ::HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) return bitmap;
    const std::size_t stride = (static_cast<std::size_t>(picture.width) * 3 + 3) & ~std::size_t{3};
    auto* rows = static_cast<unsigned char*>(bits);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::size_t from = (static_cast<std::size_t>(y) * picture.width + x) * 3;
            unsigned char* to = rows + y * stride + x * 3;
            to[0] = static_cast<unsigned char>(picture.rgb[from + 2]);
            to[1] = static_cast<unsigned char>(picture.rgb[from + 1]);
            to[2] = static_cast<unsigned char>(picture.rgb[from]);
        }
    }
    return bitmap;
}

std::wstring Wide(const char* text) {
    if (text == nullptr || *text == '\0') return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

void PutWide(std::vector<WORD>& out, const char* text) {
    for (const wchar_t c : Wide(text)) out.push_back(static_cast<WORD>(c));
    out.push_back(0);
}

void PutDword(std::vector<WORD>& out, DWORD value) {
    out.push_back(static_cast<WORD>(value & 0xFFFF));
    out.push_back(static_cast<WORD>(value >> 16));
}

void AlignToDword(std::vector<WORD>& out) {
    if (out.size() % 2 != 0) out.push_back(0);
}

WORD ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return kEditClass;
        case ControlKind::StaticLeft:
        case ControlKind::StaticCenter:
        case ControlKind::Bitmap:
            return kStaticClass;
        default:
            return kButtonClass;
    }
}

class Win32DialogWindow final : public DialogWindow {
public:
    Win32DialogWindow(CDialog& dialog, ::HWND owner) : dialog_(dialog), owner_(owner) {}
    ~Win32DialogWindow() override {
        ReleaseOwner();
        if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
    }

    bool Create(const DialogTemplate& description) {
        // The owner is disabled from before this window exists until it has
        // closed, as for any modal dialog.
        if (owner_ != nullptr && ::IsWindowEnabled(owner_)) {
            ::EnableWindow(owner_, FALSE);
            ownerDisabled_ = true;
        }
        const std::vector<WORD> bytes = BuildDialogTemplate(description);
        const ::HWND hwnd = ::CreateDialogIndirectParamA(
            ModuleInstance(), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), owner_,
            &Win32DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
        if (hwnd != nullptr && hwnd == hwnd_) return true;
        ReleaseOwner();
        return false;
    }

    INT_PTR RunModal() override {
        if (!::IsWindowVisible(hwnd_)) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        MSG message;
        while (!ended_) {
            const ::BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
            if (got == 0) {
                // A quit request ends the loop and stays queued for whoever runs next.
                ::PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (got == -1) break;
            if (!::IsDialogMessageA(hwnd_, &message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
        ReleaseOwner();
        return result_;
    }

    void EndModal(INT_PTR result) override {
        result_ = result;
        ended_ = true;
        // The owner is enabled before this window hides, so that it is activated.
        ReleaseOwner();
        ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void SetCheck(int id, UINT state) override { ::CheckDlgButton(hwnd_, id, state); }
    UINT GetCheck(int id) const override { return ::IsDlgButtonChecked(hwnd_, id); }

    void SetText(int id, std::string_view text) override {
        ::SetDlgItemTextA(hwnd_, id, std::string(text).c_str());
    }

    std::string GetText(int id) const override {
        const ::HWND item = ::GetDlgItem(hwnd_, id);
        if (item == nullptr) return {};
        const int length = ::GetWindowTextLengthA(item);
        if (length <= 0) return {};
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        const int got = ::GetWindowTextA(item, text.data(), length + 1);
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return text;
    }

    void LimitText(int id, int maxChars) override {
        ::SendDlgItemMessageA(hwnd_, id, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
    }

    void SetFocus(int id) override {
        const ::HWND item = ::GetDlgItem(hwnd_, id);
        if (item != nullptr)
            ::SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    }

    void SetPicture(int id, const Picture& picture) override {
        const ModuleImage* image = ModuleImageOf(picture);
        ::HBITMAP bitmap = image != nullptr ? image->bitmap : BitmapFromPicture(picture);
        if (bitmap == nullptr) return;
        // The control gives back the bitmap it showed before; that one is ours to delete.
        const auto previous = reinterpret_cast<::HBITMAP>(::SendDlgItemMessageA(
            hwnd_, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
        if (previous != nullptr && previous != bitmap) ::DeleteObject(previous);
    }

    void SetIcon(const Picture& icon, bool large) override {
        const ModuleImage* image = ModuleImageOf(icon);
        if (image == nullptr || image->icon == nullptr) return;
        ::SendMessageA(hwnd_, WM_SETICON, large ? ICON_BIG : ICON_SMALL,
                       reinterpret_cast<LPARAM>(image->icon));
    }

    bool IsIconic() const override { return ::IsIconic(hwnd_) != FALSE; }

    void DrawIcon(const Picture& icon) override {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(hwnd_, &paint);
        ::SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        ::GetClientRect(hwnd_, &client);
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        if (const ModuleImage* image = ModuleImageOf(icon); image && image->icon)
            ::DrawIcon(dc, x, y, image->icon);
        ::EndPaint(hwnd_, &paint);
        paintedItself_ = true;
    }

    vx::HWND NativeHandle() const override { return reinterpret_cast<vx::HWND>(hwnd_); }

private:
    static INT_PTR CALLBACK DialogProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* window = reinterpret_cast<Win32DialogWindow*>(lParam);
            ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(window));
            window->hwnd_ = hwnd;
            // The framework fills the controls once the window exists; the
            // dialog manager puts the focus on the first control that takes it.
            return TRUE;
        }
        auto* window = reinterpret_cast<Win32DialogWindow*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
        return window != nullptr ? window->Handle(message, wParam, lParam) : FALSE;
    }

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND:
                dialog_.OnCommand(LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            case WM_PAINT:
                paintedItself_ = false;
                dialog_.OnMessage(WM_PAINT);
                // Unless the dialog painted the minimised icon, the default procedure paints.
                return paintedItself_ ? TRUE : FALSE;
            case WM_QUERYDRAGICON: {
                const HICON icon = dialog_.QueryDragIcon();
                const ModuleImage* image = icon != nullptr ? ModuleImageOf(*icon) : nullptr;
                return reinterpret_cast<INT_PTR>(image != nullptr ? image->icon : nullptr);
            }
            default:
                return FALSE;
        }
    }

    void ReleaseOwner() {
        if (!ownerDisabled_) return;
        ownerDisabled_ = false;
        ::EnableWindow(owner_, TRUE);
        if (hwnd_ != nullptr && ::GetActiveWindow() == hwnd_) ::SetActiveWindow(owner_);
    }

    CDialog& dialog_;
    ::HWND owner_;
    ::HWND hwnd_ = nullptr;
    bool ownerDisabled_ = false;
    bool ended_ = false;
    bool paintedItself_ = false;
    INT_PTR result_ = IDCANCEL;
};

::HWND NativeOf(const DialogWindow* window) {
    return window != nullptr ? reinterpret_cast<::HWND>(window->NativeHandle()) : nullptr;
}

class Win32WindowBackend final : public WindowBackend {
public:
    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& description,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        auto window = std::make_unique<Win32DialogWindow>(dialog, NativeOf(owner));
        if (!window->Create(description)) return nullptr;
        return window;
    }

    int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                   UINT type) override {
        return ::MessageBoxA(NativeOf(owner), std::string(text).c_str(),
                             std::string(caption).c_str(), type);
    }

    // The shell asks and shows progress in its own windows; these serve only
    // a caller that asks for itself.
    bool AskConfirmation(DialogWindow* owner, std::string_view text,
                         std::string_view caption) override {
        return ::MessageBoxA(NativeOf(owner), std::string(text).c_str(),
                             std::string(caption).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    void BeginProgress(DialogWindow*, std::string_view) override {}
    void UpdateProgress(std::uint64_t, std::uint64_t) override {}
    void EndProgress() override {}

    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices&) override {
        const HRESULT com = ::CoInitialize(nullptr);
        char displayName[MAX_PATH] = {};
        BROWSEINFOA browse{};
        browse.hwndOwner = NativeOf(owner);
        browse.pidlRoot = nullptr;  // the desktop
        browse.pszDisplayName = displayName;
        browse.lpszTitle = nullptr;
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        std::optional<std::string> chosen;
        if (PIDLIST_ABSOLUTE items = ::SHBrowseForFolderA(&browse); items != nullptr) {
            ::SHGetPathFromIDListA(items, displayName);
            ::CoTaskMemFree(items);
            displayName[MAX_PATH - 1] = '\0';
            chosen = std::string(displayName);
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
        return chosen;
    }
};

}  // namespace

std::unique_ptr<WindowBackend> CreateWin32Backend() {
    return std::make_unique<Win32WindowBackend>();
}

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& description) {
    std::vector<WORD> out;
    DWORD style = description.style;
    if (description.font != nullptr) style |= DS_SETFONT;
    PutDword(out, style);
    PutDword(out, description.exStyle);
    out.push_back(static_cast<WORD>(description.controls.size()));
    for (const int value : {0, 0, description.cx, description.cy})
        out.push_back(static_cast<WORD>(static_cast<short>(value)));
    out.push_back(0);  // no menu
    out.push_back(0);  // the dialog class
    PutWide(out, description.caption);
    if (style & DS_SETFONT) {
        out.push_back(static_cast<WORD>(description.pointSize));
        PutWide(out, description.font);
    }
    for (const ControlTemplate& control : description.controls) {
        AlignToDword(out);
        PutDword(out, control.style | WS_CHILD);
        PutDword(out, 0);
        for (const int value : {control.x, control.y, control.cx, control.cy})
            out.push_back(static_cast<WORD>(static_cast<short>(value)));
        out.push_back(static_cast<WORD>(control.id));
        out.push_back(0xFFFF);
        out.push_back(ClassOf(control.kind));
        PutWide(out, control.text);
        out.push_back(0);  // no creation data
    }
    return out;
}

const Picture* LoadModuleImage(int id) {
    const HINSTANCE module = ModuleInstance();
    ModuleImage image;
    if (::FindResourceA(module, MAKEINTRESOURCEA(id), RT_GROUP_ICON) != nullptr) {
        image.icon = ::LoadIconA(module, MAKEINTRESOURCEA(id));
        if (image.icon == nullptr) return nullptr;
        image.picture.width = ::GetSystemMetrics(SM_CXICON);
        image.picture.height = ::GetSystemMetrics(SM_CYICON);
    } else if (::FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP) != nullptr) {
        image.bitmap = static_cast<::HBITMAP>(
            ::LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, kBannerLoadOptions));
        if (image.bitmap == nullptr) return nullptr;
        BITMAP size{};
        ::GetObjectA(image.bitmap, sizeof size, &size);
        image.picture.width = size.bmWidth;
        image.picture.height = size.bmHeight;
    } else {
        return nullptr;
    }
    ModuleImages().push_back(std::move(image));
    return &ModuleImages().back().picture;
}

}  // namespace vx::win32
