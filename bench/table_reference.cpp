// The benchmark's same-table yardstick: plain Win32 that draws Quillbank's
// 46-control table (the layout data in ui/main_window_layout.cpp: same ids,
// positions and sizes, styles, label font and colours, bars of range
// 0..100) and does Quillbank's store and recall job in the plainest way.
// Alt+3 reads CF_TEXT, CF_UNICODETEXT and CF_LOCALE in one opening; it shows
// the Unicode text when it converts back to exactly the bytes in the
// locale's ANSI code page or else the system's, otherwise the bytes decoded
// in that code page. Ctrl+3 writes the bytes, the text shown and the locale
// back in one EmptyClipboard. One thread, no time-outs, no checks beyond what
// memory safety needs. The thread blocks in GetMessageW, so at rest it costs
// nothing.
//
// Built by run.sh with the layout file and the product's manifest (for the
// same Common Controls version).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ui/main_window_layout.h"

namespace {

constexpr int HOTKEY_STORE = 1;
constexpr int HOTKEY_RECALL = 2;
constexpr wchar_t CLASS_NAME[] = L"QuillbankBenchTableReference";
constexpr wchar_t CAPTION[] = L"Quillbank table reference";
constexpr size_t TEXT_MAX = 65535;      // what a memory keeps, in bytes or UTF-16 units
constexpr unsigned CAPACITY = 65536;    // a memory's size, for the bars

HWND contentsLabel, sizeLabel, totalBar, rowBar;
HBRUSH schemeBrushes[4];  // by ColourScheme; null for None

char keptText[TEXT_MAX + 1];
size_t keptBytes;
wchar_t keptWide[TEXT_MAX + 1];  // what row 3 shows and a recall writes
size_t keptUnits;
LCID keptLocale;
wchar_t offered[TEXT_MAX + 1];
char converted[TEXT_MAX + 2];

// Up to the first NUL, never past the block's end nor the buffer's room.
template <typename Char>
size_t copyText(HANDLE block, const Char* text, Char* out) {
    const size_t limit = std::min<size_t>(GlobalSize(block) / sizeof(Char), TEXT_MAX);
    const Char* nul = std::char_traits<Char>::find(text, limit, Char());
    const size_t n = nul ? static_cast<size_t>(nul - text) : limit;
    std::memcpy(out, text, n * sizeof(Char));
    out[n] = Char();
    return n;
}

// 0 for a locale without an ANSI code page.
UINT codePageOf(LCID locale) {
    DWORD cp = 0;
    if (!locale || !GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                   reinterpret_cast<LPWSTR>(&cp), sizeof cp / sizeof(wchar_t)))
        return 0;
    return cp;
}

// The text converts to exactly the kept bytes (a longer result does not fit).
bool agrees(UINT cp, size_t units) {
    const int n = WideCharToMultiByte(cp, 0, offered, static_cast<int>(units), converted,
                                      static_cast<int>(keptBytes) + 1, nullptr, nullptr);
    return n == static_cast<int>(keptBytes) && std::memcmp(converted, keptText, keptBytes) == 0;
}

void showRow3() {
    SetWindowTextW(contentsLabel, keptWide);
    wchar_t size[32];
    wsprintfW(size, L" %u bytes", static_cast<unsigned>(keptBytes));
    SetWindowTextW(sizeLabel, size);
    const unsigned percent = static_cast<unsigned>(keptBytes) * 100 / CAPACITY;
    SendMessageW(totalBar, PBM_SETPOS, percent / 10, 0);  // memory 3 is the only one used
    SendMessageW(rowBar, PBM_SETPOS, percent, 0);
}

// A busy clipboard, or one without text, leaves everything as it was.
void onStore() {
    if (!OpenClipboard(nullptr)) return;
    HANDLE ansi = GetClipboardData(CF_TEXT);
    HANDLE wide = GetClipboardData(CF_UNICODETEXT);
    HANDLE locale = GetClipboardData(CF_LOCALE);
    const char* a = ansi ? static_cast<const char*>(GlobalLock(ansi)) : nullptr;
    const wchar_t* w = wide ? static_cast<const wchar_t*>(GlobalLock(wide)) : nullptr;
    const LCID* l = locale ? static_cast<const LCID*>(GlobalLock(locale)) : nullptr;
    size_t units = 0;
    LCID offeredLocale = 0;
    if (a) keptBytes = copyText(ansi, a, keptText);
    if (w) units = copyText(wide, w, offered);
    if (l && GlobalSize(locale) >= sizeof(LCID)) offeredLocale = *l;
    if (a) GlobalUnlock(ansi);
    if (w) GlobalUnlock(wide);
    if (l) GlobalUnlock(locale);
    CloseClipboard();
    if (!a) return;

    const UINT offeredCp = codePageOf(offeredLocale);
    if (w && offeredCp && agrees(offeredCp, units)) {
        keptLocale = offeredLocale;
    } else if (w && agrees(GetACP(), units)) {
        keptLocale = GetSystemDefaultLCID();
    } else {
        keptLocale = offeredCp ? offeredLocale : GetSystemDefaultLCID();
        units = MultiByteToWideChar(offeredCp ? offeredCp : CP_ACP, 0, keptText,
                                    static_cast<int>(keptBytes), offered, TEXT_MAX);
    }
    std::memcpy(keptWide, offered, units * sizeof(wchar_t));
    keptWide[units] = L'\0';
    keptUnits = units;
    showRow3();
}

HGLOBAL blockWith(const void* data, size_t bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block) {
        std::memcpy(GlobalLock(block), data, bytes);
        GlobalUnlock(block);
    }
    return block;
}

// Every block is ready before the clipboard is opened.
void onRecall() {
    HGLOBAL blocks[3] = {blockWith(keptText, keptBytes + 1),
                         blockWith(keptWide, (keptUnits + 1) * sizeof(wchar_t)),
                         blockWith(&keptLocale, sizeof keptLocale)};
    const UINT formats[3] = {CF_TEXT, CF_UNICODETEXT, CF_LOCALE};
    if (blocks[0] && blocks[1] && blocks[2] && OpenClipboard(nullptr)) {
        EmptyClipboard();
        // A block the system took is its own now.
        for (int i = 0; i < 3; ++i)
            if (SetClipboardData(formats[i], blocks[i])) blocks[i] = nullptr;
        CloseClipboard();
    }
    for (HGLOBAL b : blocks)
        if (b) GlobalFree(b);
}

LRESULT onCtlColorStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    for (const ControlRow& c : mainControls) {
        if (c.id != id || !schemeBrushes[static_cast<int>(c.colours)]) continue;
        const SchemeColours colours = schemeColours(c.colours);
        SetTextColor(dc, colours.text == COLOUR_SYSTEM ? GetSysColor(COLOR_WINDOWTEXT)
                                                       : static_cast<COLORREF>(colours.text));
        SetBkColor(dc, static_cast<COLORREF>(colours.background));
        return reinterpret_cast<LRESULT>(schemeBrushes[static_cast<int>(c.colours)]);
    }
    return 0;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_HOTKEY:
            if (wParam == HOTKEY_STORE) onStore();
            if (wParam == HOTKEY_RECALL) onRecall();
            return 0;
        case WM_CTLCOLORSTATIC:
            if (LRESULT brush = onCtlColorStatic(reinterpret_cast<HDC>(wParam),
                                                 reinterpret_cast<HWND>(lParam)))
                return brush;
            break;
        case WM_DESTROY:
            UnregisterHotKey(window, HOTKEY_STORE);
            UnregisterHotKey(window, HOTKEY_RECALL);
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The font Quillbank's dialog template names ("MS Sans Serif" 8 pt, weight
// 700) and the base units the dialog manager derives from it. Corners are
// mapped, not sizes, as MapDialogRect does.
struct DialogUnits {
    HFONT font;
    int x, y;
    RECT map(int left, int top, int w, int h) const {
        return {MulDiv(left, x, 4), MulDiv(top, y, 8), MulDiv(left + w, x, 4),
                MulDiv(top + h, y, 8)};
    }
};

DialogUnits dialogUnits(int pixelsPerInch) {
    DialogUnits u = {};
    u.font = CreateFontW(-MulDiv(8, pixelsPerInch, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, L"MS Sans Serif");
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, u.font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    SIZE letters = {};
    GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52,
                          &letters);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    u.x = (letters.cx / 26 + 1) / 2;
    u.y = metrics.tmHeight;
    return u;
}

bool isLabelFontControl(int id) {
    return std::find(labelFontOrder, labelFontOrder + LABEL_FONT_COUNT, id) !=
           labelFontOrder + LABEL_FONT_COUNT;
}

bool createTable(HWND window, HINSTANCE instance, const DialogUnits& units, HFONT labelFont,
                 HFONT contentsFont) {
    wchar_t progressClass[32];
    MultiByteToWideChar(CP_ACP, 0, PROGRESS_CLASS_NAME, -1, progressClass, 32);
    for (const ControlRow& c : mainControls) {
        const bool label = c.kind == ControlKind::Label;
        wchar_t text[64];
        MultiByteToWideChar(CP_ACP, 0, c.text, -1, text, 64);
        const RECT r = units.map(c.x, c.y, c.w, c.h);
        HWND control = CreateWindowExW(
            label ? 0 : EXSTYLE_BAR, label ? L"STATIC" : progressClass, text,
            c.style | (label ? WS_CHILD | WS_VISIBLE : 0), r.left, r.top, r.right - r.left,
            r.bottom - r.top, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
            instance, nullptr);
        if (!control) return false;
        HFONT font = isContentsId(c.id)         ? contentsFont
                     : isLabelFontControl(c.id) ? labelFont
                                                : units.font;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (!label) SendMessageW(control, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        switch (c.id) {
            case IDC_CONTENTS_3: contentsLabel = control; break;
            case IDC_SIZE_3: sizeLabel = control; break;
            case IDC_FILL_TOTAL: totalBar = control; break;
            case IDC_FILL_3: rowBar = control; break;
        }
    }
    return contentsLabel && sizeLabel && totalBar && rowBar;
}

}  // namespace

// The layout file's per-digit helpers call these (they live with the memory
// bank, which this program does without); digit 0 is the tenth row.
int memoryRow(int d) { return d == 0 ? 10 : d; }
int memoryOfRow(int row) { return row == 10 ? 0 : row; }

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassW(&wc)) return 1;

    HDC screen = GetDC(nullptr);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const DialogUnits units = dialogUnits(pixelsPerInch);
    LOGFONTW bold = {};
    bold.lfHeight = labelFontHeight(pixelsPerInch);
    bold.lfWeight = FW_BOLD;
    lstrcpynW(bold.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    HFONT labelFont = CreateFontIndirectW(&bold);
    // The contents labels, as the product draws them: its TrueType counterpart.
    lstrcpynW(bold.lfFaceName, L"Microsoft Sans Serif", LF_FACESIZE);
    HFONT contentsFont = CreateFontIndirectW(&bold);
    for (ColourScheme s : {ColourScheme::HeaderWhite, ColourScheme::RowLight, ColourScheme::RowDark})
        schemeBrushes[static_cast<int>(s)] =
            CreateSolidBrush(static_cast<COLORREF>(schemeColours(s).background));

    // As a dialog template places it: x, y is the client area's origin.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
    const RECT at = units.map(mainDialog.x, mainDialog.y, 0, 0);
    RECT frame = units.map(0, 0, mainDialog.w, mainDialog.h);
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    HWND window = CreateWindowExW(exStyle, CLASS_NAME, CAPTION, style, at.left + frame.left,
                                  at.top + frame.top, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window || !createTable(window, instance, units, labelFont, contentsFont)) return 1;
    // Registered before the window shows: once it is visible, the keys work.
    if (!RegisterHotKey(window, HOTKEY_STORE, MOD_ALT, '3') ||
        !RegisterHotKey(window, HOTKEY_RECALL, MOD_CONTROL, '3'))
        return 2;
    ShowWindow(window, SW_SHOW);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(labelFont);
    DeleteObject(contentsFont);
    DeleteObject(units.font);
    for (HBRUSH b : schemeBrushes)
        if (b) DeleteObject(b);
    return 0;
}
