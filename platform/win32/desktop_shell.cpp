#include "platform/win32/desktop_shell.h"

// clang-format off
#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
// clang-format on

namespace vx::win32 {

namespace {

// One reference to a COM object, released when it goes.
template <class Interface>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (object_ != nullptr) object_->Release();
    }
    Interface* operator->() const { return object_; }
    Interface* get() const { return object_; }
    Interface** out() { return &object_; }
    void** outVoid() { return reinterpret_cast<void**>(&object_); }

private:
    Interface* object_ = nullptr;
};

// A VARIANT holding a string in the system code page, cleared when it goes.
class StringVariant {
public:
    explicit StringVariant(const std::string& text) {
        ::VariantInit(&value_);
        const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
        if (length <= 0) return;
        BSTR wide = ::SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
        if (wide == nullptr) return;
        ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, length);
        value_.vt = VT_BSTR;
        value_.bstrVal = wide;
    }
    StringVariant(const StringVariant&) = delete;
    StringVariant& operator=(const StringVariant&) = delete;
    ~StringVariant() { ::VariantClear(&value_); }
    bool valid() const { return value_.vt == VT_BSTR; }
    VARIANT& get() { return value_; }

private:
    VARIANT value_;
};

// The desktop's Shell.Application object: the desktop window's shell view,
// through its folder view's automation object.
HRESULT DesktopShellDispatch(IShellDispatch2** shell) {
    ComRef<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                    IID_IShellWindows, windows.outVoid());
    if (FAILED(hr)) return hr;
    VARIANT location, root;
    ::VariantInit(&location);
    ::VariantInit(&root);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long desktopWindow = 0;
    ComRef<IDispatch> desktop;
    hr = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                               desktop.out());
    if (hr != S_OK || desktop.get() == nullptr) return FAILED(hr) ? hr : E_FAIL;
    ComRef<IServiceProvider> services;
    if (FAILED(hr = desktop->QueryInterface(IID_IServiceProvider, services.outVoid()))) return hr;
    ComRef<IShellBrowser> browser;
    if (FAILED(hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                           browser.outVoid())))
        return hr;
    ComRef<IShellView> view;
    if (FAILED(hr = browser->QueryActiveShellView(view.out()))) return hr;
    ComRef<IDispatch> background;
    if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.outVoid())))
        return hr;
    ComRef<IShellFolderViewDual> folderView;
    if (FAILED(hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.outVoid())))
        return hr;
    ComRef<IDispatch> application;
    if (FAILED(hr = folderView->get_Application(application.out()))) return hr;
    if (application.get() == nullptr) return E_FAIL;
    return application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell));
}

bool ShellExecuteThroughDesktop(const std::string& program, const std::string& parameters,
                                const std::string& directory, int showCommand) {
    ComRef<IShellDispatch2> shell;
    if (FAILED(DesktopShellDispatch(shell.out())) || shell.get() == nullptr) return false;
    StringVariant file(program), arguments(parameters), folder(directory), operation("");
    if (!file.valid() || !arguments.valid() || !folder.valid() || !operation.valid()) return false;
    VARIANT show;
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = showCommand;
    return shell->ShellExecute(file.get().bstrVal, arguments.get(), folder.get(), operation.get(),
                               show) == S_OK;
}

}  // namespace

bool ShellExecuteFromDesktop(const std::string& program, const std::string& parameters,
                             const std::string& directory, int showCommand) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool started = ShellExecuteThroughDesktop(program, parameters, directory, showCommand);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return started;
}

}  // namespace vx::win32
