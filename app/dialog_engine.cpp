#include "app/dialog_engine.h"

#include <cstring>

#include "app/text_convert.h"

namespace {

constexpr int MAX_DIALOGS = 16;
constexpr int MAX_COLOURED_CONTROLS = 64;
constexpr int MAX_CONTROLS = 64;

struct ControlColours {
    int id;
    COLORREF text;
    COLORREF background;
    HBRUSH brush;  // owned; only for a solid background
};

// A control the engine created, so that finding it by id needs no request to
// the window server (GetDlgItem asks the server for the dialog's whole list
// of children every time).
struct KnownControl {
    int id;
    HWND window;  // null when two controls share the id: GetDlgItem decides
};

struct DialogRecord {
    HWND window;
    HWND parent;
    DialogCallback callback;
    INT_PTR* result;
    int pendingShow;
    bool shown;
    bool idleMessages;
    HFONT font;
    int colouredCount;
    ControlColours colours[MAX_COLOURED_CONTROLS];
    int controlCount;
    KnownControl controls[MAX_CONTROLS];
};

HINSTANCE engineInstance;
// Handed out by startDialogEngine: the per-dialog and per-control records.
DialogRecord* dialogs;

DialogRecord* findDialog(HWND window) {
    if (!dialogs || !window) return nullptr;
    for (int i = 0; i < MAX_DIALOGS; ++i)
        if (dialogs[i].window == window) return &dialogs[i];
    return nullptr;
}

ControlColours* findColours(DialogRecord* d, int id) {
    for (int i = 0; i < d->colouredCount; ++i)
        if (d->colours[i].id == id) return &d->colours[i];
    return nullptr;
}

// Still the dialog's control with that id: it may have been destroyed on
// its own, and its id or parent changed, since it was made.
bool stillControl(HWND control, HWND dialog, int id) {
    return control && GetParent(control) == dialog && GetWindowLongPtrW(control, GWLP_ID) == id;
}

void rememberControl(DialogRecord* d, int id, HWND control) {
    for (int i = 0; i < d->controlCount; ++i)
        if (d->controls[i].id == id) {
            KnownControl& known = d->controls[i];
            bool replaced = known.window && !stillControl(known.window, d->window, id);
            known.window = replaced ? control : nullptr;
            return;
        }
    if (d->controlCount < MAX_CONTROLS) d->controls[d->controlCount++] = KnownControl{id, control};
}

// The same window GetDlgItem would find, without its request.
HWND controlOf(HWND dialog, int id) {
    if (DialogRecord* d = findDialog(dialog))
        for (int i = 0; i < d->controlCount; ++i)
            if (d->controls[i].id == id) {
                if (stillControl(d->controls[i].window, dialog, id)) return d->controls[i].window;
                break;
            }
    return GetDlgItem(dialog, id);
}

void forgetDialog(DialogRecord* d) {
    for (int i = 0; i < d->colouredCount; ++i)
        if (d->colours[i].brush) DeleteObject(d->colours[i].brush);
    std::memset(d, 0, sizeof *d);
}

INT_PTR answerCtlColorStatic(DialogRecord* d, HDC dc, HWND control) {
    ControlColours* c = findColours(d, GetDlgCtrlID(control));
    if (!c) return 0;  // the platform colours uncoloured controls
    SetTextColor(dc, c->text == COLOR_SYSTEM_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : c->text);
    if (c->background == COLOR_TRANSPARENT_BACKGROUND) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    }
    if (c->background == COLOR_SYSTEM_DEFAULT) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    SetBkColor(dc, c->background);
    return reinterpret_cast<INT_PTR>(c->brush);
}

INT_PTR CALLBACK engineProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogRecord* d = findDialog(window);
    if (!d) return FALSE;  // still inside CreateDialogIndirectParamW

    // The platform's own WM_INITDIALOG and WM_ACTIVATE never reach the
    // callback: it gets the WM_INITDIALOG that showDialogModal sends.
    if (d->callback && message != WM_INITDIALOG && message != WM_ACTIVATE) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        INT_PTR handled = d->callback(window, message, wParam, lParam);
        if (handled) {
            if (findDialog(window) && GetWindowLongPtrW(window, DWLP_MSGRESULT) == 0)
                SetWindowLongPtrW(window, DWLP_MSGRESULT, handled);
            return handled;
        }
        d = findDialog(window);  // the callback may have ended the dialog
        if (!d) return FALSE;
    }

    switch (message) {
        case WM_CTLCOLORSTATIC:
            return answerCtlColorStatic(d, reinterpret_cast<HDC>(wParam),
                                        reinterpret_cast<HWND>(lParam));
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                endDialog(window, 0);
                return TRUE;
            }
            break;
        case WM_NCDESTROY:
            // Destroyed from inside a sent message, the modal loop may be
            // waiting in GetMessageW: a null message wakes it to notice.
            if (d->shown) PostMessageW(nullptr, WM_NULL, 0, 0);
            forgetDialog(d);
            break;
    }
    return FALSE;
}

// The in-memory DLGTEMPLATEEX: header, no menu, default class, title " ",
// then the font. Items are added later as real windows.
struct TemplateWriter {
    alignas(4) WORD words[128];  // templates must be DWORD-aligned
    int count = 0;
    void word(WORD w) { words[count++] = w; }
    void dword(DWORD v) { word(LOWORD(v)); word(HIWORD(v)); }
    void text(const wchar_t* s) {
        do word(*s); while (*s++);
    }
};

bool stillRunning(HWND dialog) { return findDialog(dialog) && IsWindow(dialog); }

// Serves every window of the thread until the dialog is gone. It blocks in
// GetMessageW when the queue is empty, so an idle program uses no CPU.
void runModalLoop(HWND dialog, HWND parent, bool idleMessages) {
    bool quitSeen = false;
    WPARAM quitCode = 0;
    MSG msg;
    // Only a parent to tell about idleness needs the look before the wait;
    // without one, the wait alone takes one request to the server, not two.
    const bool tellIdle = parent && idleMessages;
    while (stillRunning(dialog)) {
        if (!tellIdle || !PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (tellIdle) {
                SendMessageW(parent, WM_ENTERIDLE, MSGF_DIALOGBOX,
                             reinterpret_cast<LPARAM>(dialog));
                if (!stillRunning(dialog)) break;
            }
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == -1) {
                // The queue cannot be read: rather than spin, end the dialog.
                endDialog(dialog, 0);
                break;
            }
            if (got == 0) msg.message = WM_QUIT;
        }
        if (msg.message == WM_QUIT) {
            // Keep serving the dialog; the quit is handed on when it ends.
            quitSeen = true;
            quitCode = msg.wParam;
            continue;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
}

}  // namespace

bool startDialogEngine(HINSTANCE instance) {
    engineInstance = instance;
    if (!dialogs)
        dialogs = static_cast<DialogRecord*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DialogRecord) * MAX_DIALOGS));
    return dialogs != nullptr;
}

void stopDialogEngine() {
    if (!dialogs) return;
    for (int i = 0; i < MAX_DIALOGS; ++i)
        if (dialogs[i].window) forgetDialog(&dialogs[i]);
    HeapFree(GetProcessHeap(), 0, dialogs);
    dialogs = nullptr;
}

HWND newDialog(HWND parent, const char* caption, int x, int y, int w, int h, DWORD style,
               DWORD exStyle) {
    if (!dialogs && !startDialogEngine(GetModuleHandleW(nullptr))) return nullptr;
    DialogRecord* d = nullptr;
    for (int i = 0; i < MAX_DIALOGS && !d; ++i)
        if (!dialogs[i].window) d = &dialogs[i];
    if (!d) return nullptr;

    if (style == 0) style = DEFAULT_DIALOG_STYLE;
    style |= DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
    style &= ~static_cast<DWORD>(WS_VISIBLE | DS_SYSMODAL);

    TemplateWriter t;
    t.word(1);       // dlgVer
    t.word(0xFFFF);  // signature
    t.dword(0);      // helpID
    t.dword(exStyle);
    t.dword(style);
    t.word(0);  // no items: controls are created afterwards
    t.word(static_cast<WORD>(x));
    t.word(static_cast<WORD>(y));
    t.word(static_cast<WORD>(w));
    t.word(static_cast<WORD>(h));
    t.word(0);  // no menu
    t.word(0);  // the dialog class
    t.text(L" ");
    t.word(8);    // points
    t.word(700);  // weight; the dialog manager uses normal weight regardless
    t.word(0);    // italic 0, charset 0
    t.text(L"MS Sans Serif");

    HWND window = CreateDialogIndirectParamW(
        engineInstance, reinterpret_cast<LPCDLGTEMPLATEW>(t.words), parent, engineProcedure, 0);
    if (!window) return nullptr;

    std::memset(d, 0, sizeof *d);
    d->window = window;
    d->parent = parent;
    d->pendingShow = SW_SHOW;
    d->idleMessages = !(style & DS_NOIDLEMSG);
    d->font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    SetWindowTextW(window, ansiToWide(caption).c_str());
    return window;
}

HWND addControl(HWND dialog, int id, const char* kindOrClass, const char* text, int x, int y,
                int w, int h, DWORD style, DWORD exStyle) {
    DialogRecord* d = findDialog(dialog);
    if (!d || !kindOrClass) return nullptr;
    bool label = lstrcmpiA(kindOrClass, "STATIC") == 0;
    if (label && style == 0) style = WS_CHILD | WS_VISIBLE;
    if (label || lstrcmpiA(kindOrClass, "EDIT") == 0) style |= WS_CHILD | WS_VISIBLE;

    RECT r = {x, y, x + w, y + h};
    MapDialogRect(dialog, &r);
    HWND control = CreateWindowExW(exStyle, ansiToWide(kindOrClass).c_str(),
                                   ansiToWide(text).c_str(), style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   engineInstance, nullptr);
    if (control) {
        rememberControl(d, id, control);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), TRUE);
    }
    return control;
}

bool setControlColors(HWND dialog, int id, COLORREF text, COLORREF background) {
    DialogRecord* d = findDialog(dialog);
    if (!d) return false;
    ControlColours* c = findColours(d, id);
    if (!c) {
        if (d->colouredCount == MAX_COLOURED_CONTROLS) return false;
        c = &d->colours[d->colouredCount++];
        *c = ControlColours{id, 0, 0, nullptr};
    }
    if (c->brush) DeleteObject(c->brush);
    c->brush = nullptr;
    c->text = text;
    c->background = background;
    bool solid = background != COLOR_SYSTEM_DEFAULT && background != COLOR_TRANSPARENT_BACKGROUND;
    if (solid) c->brush = CreateSolidBrush(background);
    return true;
}

INT_PTR showDialogModal(HWND dialog, DialogCallback callback, INT_PTR* result) {
    DialogRecord* d = findDialog(dialog);
    if (!d) return 0;
    d->result = result;
    HWND parent = d->parent;
    bool idleMessages = d->idleMessages;

    SetForegroundWindow(dialog);
    if (callback) {
        callback(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog), 0);
        RECT client = {};
        GetClientRect(dialog, &client);
        callback(dialog, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    }
    d = findDialog(dialog);  // the callback may have ended it already
    if (!d) return result ? *result : 0;
    d->callback = callback;
    if (parent) EnableWindow(parent, FALSE);
    d->shown = true;
    ShowWindow(dialog, d->pendingShow);

    runModalLoop(dialog, parent, idleMessages);

    if (parent) SetFocus(parent);
    return result ? *result : 0;
}

void setDialogShowState(HWND dialog, int showCommand) {
    DialogRecord* d = findDialog(dialog);
    if (!d) return;
    if (d->shown) {
        ShowWindow(dialog, showCommand);
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return;
    }
    bool kept = showCommand == SW_HIDE || showCommand == SW_SHOWMAXIMIZED ||
                showCommand == SW_MINIMIZE;
    d->pendingShow = kept ? showCommand : SW_SHOW;
}

void endDialog(HWND dialog, INT_PTR result) {
    DialogRecord* d = findDialog(dialog);
    if (!d) return;
    if (d->result) *d->result = result;
    HWND parent = d->parent;
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    if (parent) EnableWindow(parent, TRUE);
    if (findDialog(dialog)) DestroyWindow(dialog);
}

void setControlText(HWND dialog, int id, const char* text) {
    // A short text (a size label, at every store) is converted on the stack.
    wchar_t shortText[64];
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, shortText, 64);
    SetWindowTextW(controlOf(dialog, id), n > 0 ? shortText : ansiToWide(text).c_str());
}

void setControlTextW(HWND dialog, int id, const wchar_t* text) {
    SetWindowTextW(controlOf(dialog, id), text);
}

std::wstring getControlTextW(HWND dialog, int id, int maxChars) {
    HWND control = controlOf(dialog, id);
    if (!control) return std::wstring();
    int length = GetWindowTextLengthW(control);
    if (length > maxChars) length = maxChars;
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(control, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string getControlText(HWND dialog, int id, int maxChars) {
    std::wstring text = getControlTextW(dialog, id, maxChars);
    return wideToAnsi(text.c_str(), static_cast<int>(text.size()));
}

LRESULT sendControlMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(controlOf(dialog, id), message, wParam, lParam);
}
