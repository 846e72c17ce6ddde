// How a dialog template is described: once, as data, for every backend to
// build its windows from (the Win32 backend builds an in-memory template).
#pragma once

#include <span>

#include "platform/win32_types.h"

namespace vx {

enum class ControlKind {
    DefPushButton,  // the default button: Enter clicks it
    PushButton,
    CheckBox,      // plain: a click changes nothing on screen by itself
    Edit,          // single line, bordered, scrolls sideways
    StaticLeft,    // left-aligned text, wrapping inside its rectangle
    StaticCenter,  // centred text
    Bitmap,        // a picture sized by its bitmap
};

// Window styles the templates use (the values of the Win32 constants).
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
inline constexpr DWORD DS_MODALFRAME = 0x00000080;
inline constexpr DWORD DS_3DLOOK = 0x00000004;
inline constexpr DWORD DS_SETFONT = 0x00000040;
inline constexpr DWORD ES_AUTOHSCROLL = 0x00000080;
inline constexpr DWORD SS_CENTER = 0x00000001;
inline constexpr DWORD SS_BITMAP = 0x0000000E;
inline constexpr DWORD BS_PUSHBUTTON = 0x00000000;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x00000001;
inline constexpr DWORD BS_CHECKBOX = 0x00000002;

struct ControlTemplate {
    int id;  // -1 for a static control nobody addresses
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;  // dialog units
    DWORD style;       // the control's Win32 style bits
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;  // dialog units
    const char* font;
    int pointSize;
    DWORD style;
    DWORD exStyle;
    std::span<const ControlTemplate> controls;  // template (tab) order

    const ControlTemplate* Find(int controlId) const {
        for (const ControlTemplate& c : controls)
            if (c.id == controlId) return &c;
        return nullptr;
    }
    bool HasCloseBox() const { return (style & WS_SYSMENU) != 0; }
};

// Whether a control takes the keyboard focus (push buttons, check boxes and
// the edit field; static texts and pictures do not).
constexpr bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::DefPushButton || kind == ControlKind::PushButton ||
           kind == ControlKind::CheckBox || kind == ControlKind::Edit;
}

// Dialog units to pixels for dialog base units of 6 x 13 (8-point sans serif
// at 96 DPI), rounding to nearest as MulDiv does.
constexpr int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}
constexpr int DialogUnitsToPixelsX(int x) { return MulDiv(x, 6, 4); }
constexpr int DialogUnitsToPixelsY(int y) { return MulDiv(y, 13, 8); }

}  // namespace vx
