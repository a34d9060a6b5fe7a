#include "ui/clipboard_pad.h"

#include "app/dialog_engine.h"
#include "ui/main_window.h"

HWND padWindow;
HWND padSavedFocus;

namespace {
constexpr DWORD PAD_TEXT_STYLE = 0x50B110C4;    // multi-line, scrolling, Enter = new line
constexpr DWORD PAD_TEXT_EXSTYLE = 0x00020220;  // static edge, client edge, transparent
}  // namespace

INT_PTR openClipboardPad() {
    padWindow = newDialog(nullptr, "Texto para Clipboard", 238, 106, 200, 120, 0, WS_EX_TOPMOST);
    if (!padWindow) return 0;
    HWND box = addControl(padWindow, IDC_PAD_TEXT, "EDIT", "", 0, 0, 200, 120, PAD_TEXT_STYLE,
                          PAD_TEXT_EXSTYLE);
    // Whatever script the user types or pastes is drawn, not the missing glyph.
    if (box && padTextFont)
        SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(padTextFont), FALSE);
    INT_PTR result = 0;
    return showDialogModal(padWindow, padCallback, &result);
}

INT_PTR padCallback(HWND, UINT message, WPARAM wParam, LPARAM) {
    // Keeps the caret in the box when the user switches away and back.
    if (message == WM_NCACTIVATE) {
        if (wParam == 0) {
            padSavedFocus = GetFocus();
        } else if (padSavedFocus) {
            SetFocus(padSavedFocus);
            padSavedFocus = nullptr;
        }
    }
    return 0;
}
