#include "ui/main_window.h"

#include <commctrl.h>

#include "app/dialog_engine.h"
#include "app/text_convert.h"
#include "hotkeys/hotkey_actions.h"
#include "hotkeys/hotkey_register.h"
#include "ui/clipboard_pad.h"
#include "ui/main_window_layout.h"

MemoryBank memoryBank;

namespace {

HWND mainWindow;
HWND savedFocus;

void onInitDialog(HWND window) {
    mainWindow = window;
    const LPARAM range = MAKELPARAM(0, 100);
    sendControlMessage(window, IDC_FILL_TOTAL, PBM_SETRANGE, 0, range);
    for (int id = IDC_FILL_1; id <= IDC_FILL_0; ++id)
        sendControlMessage(window, id, PBM_SETRANGE, 0, range);
    // Before the hotkeys: no read of the clipboard can be writing into the
    // storage this replaces.
    createMemoryBank(memoryBank);
    mainWindowVisible = 1;
    padOpen = 0;
    registerHotkeys(window);
}

// Gives the focus back to the control that had it when the window lost it.
void onNcActivate(WPARAM active) {
    if (!active) {
        savedFocus = GetFocus();
    } else if (savedFocus) {
        SetFocus(savedFocus);
        savedFocus = nullptr;
    }
}

// An open pad would otherwise outlive the program's exit with its hotkeys
// gone, and keep the process alive until the user closed it by hand.
void onDestroy(HWND window) {
    releaseHotkeys(window);
    if (padOpen) endDialog(padWindow, 0);
}

void onCommand(WPARAM wParam) {
    int d = digitOfTag(LOWORD(wParam));
    if (d < 0) return;
    clearMemory(memoryBank, d);
    refreshMemoryRow(d);
}

}  // namespace

INT_PTR mainWindowCallback(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: onInitDialog(window); break;
        case WM_DESTROY: onDestroy(window); break;
        case WM_HOTKEY: dispatchHotkey(window, wParam); break;
        case WM_NCACTIVATE: onNcActivate(wParam); break;
        case WM_COMMAND: onCommand(wParam); break;
    }
    return 0;
}

void refreshMemoryRow(int d) {
    setControlTextW(mainWindow, contentsId(d), asWide(memoryUnicodeText(memoryBank, d).data()));
    setControlText(mainWindow, sizeId(d), sizeLabelText(memoryBank, d).c_str());
    sendControlMessage(mainWindow, IDC_FILL_TOTAL, PBM_SETPOS,
                       static_cast<WPARAM>(overallPercent(memoryBank)), 0);
    sendControlMessage(mainWindow, fillId(d), PBM_SETPOS,
                       static_cast<WPARAM>(memoryPercent(memoryBank, d)), 0);
}

HFONT makeLabelFont() {
    HDC screen = GetDC(nullptr);
    int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    LOGFONTA font = {};
    font.lfHeight = labelFontHeight(pixelsPerInch);
    font.lfWeight = FW_BOLD;
    lstrcpynA(font.lfFaceName, "MS Sans Serif", LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

INT_PTR buildMainWindow(HWND parent) {
    const MainDialogFrame& frame = mainDialog;
    HWND dialog = newDialog(parent, frame.caption, frame.x, frame.y, frame.w, frame.h, frame.style,
                            frame.exStyle);

    for (const ControlRow& c : mainControls) {
        bool label = c.kind == ControlKind::Label;
        addControl(dialog, c.id, label ? "STATIC" : PROGRESS_CLASS_NAME, c.text, c.x, c.y, c.w,
                   c.h, c.style, label ? 0 : EXSTYLE_BAR);
        if (label && c.colours != ColourScheme::None) {
            SchemeColours colours = schemeColours(c.colours);
            setControlColors(dialog, c.id, static_cast<COLORREF>(colours.text),
                             static_cast<COLORREF>(colours.background));
        }
    }

    HFONT labelFont = makeLabelFont();
    for (int id : labelFontOrder)
        sendControlMessage(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont), 0);

    INT_PTR result = 0;
    showDialogModal(dialog, mainWindowCallback, &result);

    // The labels are gone with the window; only now may their font go.
    DeleteObject(labelFont);
    return result;
}
