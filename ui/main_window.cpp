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

namespace {
// "MS Sans Serif" is a bitmap face, and Windows links bitmap faces to no
// other font: any character outside its code page would be drawn as the
// missing glyph. What shows a user's text takes its TrueType counterpart,
// made to the same metrics and linked to fallback fonts. The headers, tags,
// sizes and help line keep the bitmap face: they are fixed ASCII, which it
// draws, and so they look as they always have.
constexpr wchar_t TEXT_FACE[] = L"Microsoft Sans Serif";

// `font` with the text face; null when it cannot be made.
HFONT withTextFace(HFONT font) {
    LOGFONTW face = {};
    if (!font || !GetObjectW(font, sizeof face, &face)) return nullptr;
    lstrcpynW(face.lfFaceName, TEXT_FACE, LF_FACESIZE);
    return CreateFontIndirectW(&face);
}

void setFont(HWND dialog, int id, HFONT font) {
    sendControlMessage(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}
}  // namespace

HFONT padTextFont;

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

    // Each made once, and where one cannot be made, its controls keep the
    // font they would have had without it.
    HFONT labelFont = makeLabelFont();
    HFONT contentsFont = withTextFace(labelFont);
    // The pad's dialog has the same font as this one.
    padTextFont = withTextFace(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (int id : labelFontOrder)
        setFont(dialog, id, isContentsId(id) && contentsFont ? contentsFont : labelFont);

    INT_PTR result = 0;
    showDialogModal(dialog, mainWindowCallback, &result);

    // The labels and the pad are gone with the window; only now may their fonts go.
    DeleteObject(labelFont);
    if (contentsFont) DeleteObject(contentsFont);
    if (padTextFont) DeleteObject(padTextFont);
    padTextFont = nullptr;
    return result;
}
