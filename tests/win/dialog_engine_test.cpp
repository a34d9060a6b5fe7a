// The dialog layer under the real window manager of the platform: template
// styles, controls and their geometry, label colours, the modal loop and
// text crossing the window boundary.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_engine.h"

namespace {

using Handler = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

constexpr INT_PTR WATCHDOG_RESULT = -999;
constexpr UINT_PTR BODY_TIMER = 1;
constexpr UINT WM_TEST_MARK = WM_APP + 1;

// One handler per dialog, so nested dialogs can have their own; the engine
// hands every callback the dialog first.
std::map<HWND, Handler> handlers;
std::vector<HWND> createdDialogs;
bool watchdogFired;

INT_PTR routeCallback(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = handlers.find(dialog);
    if (it == handlers.end() || !it->second) return 0;
    return it->second(dialog, message, wParam, lParam);
}

// Ends every dialog the test made, innermost first, so no test can hang in a
// modal loop. The engine ignores handles it no longer knows.
void CALLBACK watchdogProc(HWND, UINT, UINT_PTR, DWORD) {
    watchdogFired = true;
    std::vector<HWND> all = createdDialogs;
    for (auto it = all.rbegin(); it != all.rend(); ++it) endDialog(*it, WATCHDOG_RESULT);
}

double threadCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return -1;
    auto ticks = [](const FILETIME& f) {
        return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

std::wstring ansiAsWide(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::wstring windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(got));
    return text;
}

RECT rectInClient(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class DialogEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        ASSERT_TRUE(startDialogEngine(GetModuleHandleW(nullptr)));
    }

    void SetUp() override {
        handlers.clear();
        createdDialogs.clear();
        watchdogFired = false;
        // Generous for Wine, yet every modal run below ends on its own in
        // well under a second.
        watchdog = SetTimer(nullptr, 0, 10000, watchdogProc);
        ASSERT_NE(watchdog, 0u);
    }

    void TearDown() override {
        KillTimer(nullptr, watchdog);
        for (HWND d : createdDialogs)
            if (IsWindow(d)) DestroyWindow(d);
        handlers.clear();
        createdDialogs.clear();
        // Leftovers (such as messages posted to dialogs now gone) must not
        // reach the next test.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
    }

    HWND makeDialog(HWND parent = nullptr, DWORD style = 0, DWORD exStyle = 0,
                    const char* caption = "Quillbank test") {
        HWND d = newDialog(parent, caption, 10, 10, 200, 120, style, exStyle);
        if (d) createdDialogs.push_back(d);
        return d;
    }

    // Runs the dialog modally; once its loop serves messages, body runs from
    // a timer inside it. body ends the dialog (or leaves it to the caller's
    // handler); the watchdog ends it in any case.
    INT_PTR runModal(HWND dialog, std::function<void(HWND)> body, INT_PTR* result,
                     Handler extra = nullptr) {
        handlers[dialog] = [body, extra](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
            if (m == WM_INITDIALOG) SetTimer(d, BODY_TIMER, 10, nullptr);
            if (m == WM_TIMER && w == BODY_TIMER) {
                KillTimer(d, BODY_TIMER);
                body(d);
                return 0;
            }
            return extra ? extra(d, m, w, l) : 0;
        };
        return showDialogModal(dialog, routeCallback, result);
    }

    UINT_PTR watchdog = 0;
};

// ---------------------------------------------------------------------------
// The template and the dialog it makes.

TEST_F(DialogEngineTest, DefaultStyleMakesAHiddenCaptionedPopupWithTheEngineFont) {
    HWND d = makeDialog(nullptr, 0, 0, "Quillbank test");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(IsWindowVisible(d));

    DWORD style = static_cast<DWORD>(GetWindowLongW(d, GWL_STYLE));
    EXPECT_EQ(style & WS_VISIBLE, 0u);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_CAPTION))
        << std::hex << style;
    EXPECT_EQ(style & DS_MODALFRAME, static_cast<DWORD>(DS_MODALFRAME)) << std::hex << style;
    EXPECT_EQ(windowText(d), L"Quillbank test");

    // DS_SETFONT: the dialog runs with "MS Sans Serif" from the template.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(d, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW lf = {};
    ASSERT_NE(GetObjectW(font, sizeof lf, &lf), 0);
    EXPECT_STREQ(lf.lfFaceName, L"MS Sans Serif");
    EXPECT_FALSE(lf.lfItalic);
}

TEST_F(DialogEngineTest, TemplateFlagsAreAddedAndVisibleAndSystemModalRemoved) {
    const DWORD requested = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_SYSMODAL;
    HWND d = makeDialog(nullptr, requested, WS_EX_TOOLWINDOW);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(IsWindowVisible(d));

    DWORD style = static_cast<DWORD>(GetWindowLongW(d, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongW(d, GWL_EXSTYLE));
    EXPECT_EQ(style & WS_VISIBLE, 0u) << std::hex << style;
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU))
        << std::hex << style;
    EXPECT_EQ(style & DS_SYSMODAL, 0u) << std::hex << style;
    // A system-modal template would make the platform put the dialog on top.
    EXPECT_EQ(ex & WS_EX_TOPMOST, 0u) << std::hex << ex;
    EXPECT_EQ(style & (DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK),
              static_cast<DWORD>(DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK))
        << std::hex << style;
    // The font from DS_SETFONT although the caller did not ask for it.
    EXPECT_NE(SendMessageW(d, WM_GETFONT, 0, 0), 0);
}

TEST_F(DialogEngineTest, ExtendedStyleAndCaptionPassThrough) {
    const char caption[] = "Caf\xE9 \xAB" "Quill\xBB";
    HWND d = makeDialog(nullptr, 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, caption);
    ASSERT_NE(d, nullptr);
    DWORD ex = static_cast<DWORD>(GetWindowLongW(d, GWL_EXSTYLE));
    EXPECT_EQ(ex & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW),
              static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW))
        << std::hex << ex;
    // The caption crosses the boundary converted from the ANSI code page,
    // replacing the template's placeholder title.
    EXPECT_EQ(windowText(d), ansiAsWide(caption));
}

// ---------------------------------------------------------------------------
// Controls.

TEST_F(DialogEngineTest, LabelsAndTextBoxesAreChildrenOtherClassesKeepTheirStyle) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);

    HWND plain = addControl(d, 101, "STATIC", "plain", 5, 5, 50, 10, 0, 0);
    HWND right = addControl(d, 102, "STATIC", "right", 5, 20, 50, 10, SS_RIGHT, WS_EX_STATICEDGE);
    HWND edit = addControl(d, 103, "EDIT", "", 5, 35, 80, 12, ES_AUTOHSCROLL | WS_BORDER, 0);
    const DWORD barStyle = WS_CHILD | PBS_SMOOTH;  // deliberately not visible
    HWND bar = addControl(d, 104, "msctls_progress32", "", 5, 50, 80, 8, barStyle, 0);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(right, nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(bar, nullptr);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(plain, GWL_STYLE)), 0x50000000u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(right, GWL_STYLE)),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | SS_RIGHT));
    EXPECT_NE(GetWindowLongW(right, GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
    DWORD editStyle = static_cast<DWORD>(GetWindowLongW(edit, GWL_STYLE));
    EXPECT_EQ(editStyle & (WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL))
        << std::hex << editStyle;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(bar, GWL_STYLE)), barStyle);

    // Each control is the dialog's child under its id, in the dialog's font.
    LRESULT dialogFont = SendMessageW(d, WM_GETFONT, 0, 0);
    for (int id = 101; id <= 104; ++id) {
        HWND c = GetDlgItem(d, id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(GetParent(c), d) << id;
        EXPECT_EQ(SendMessageW(c, WM_GETFONT, 0, 0), dialogFont) << id;
    }
    EXPECT_EQ(windowText(plain), L"plain");

    // Progress bars are driven through the dialog and the control id.
    sendControlMessage(d, 104, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    sendControlMessage(d, 104, PBM_SETPOS, 42, 0);
    EXPECT_EQ(sendControlMessage(d, 104, PBM_GETPOS, 0, 0), 42);
}

TEST_F(DialogEngineTest, ControlRectangleIsInDialogUnits) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND c = addControl(d, 110, "STATIC", "x", 10, 20, 30, 40, 0, 0);
    ASSERT_NE(c, nullptr);

    RECT expected = {10, 20, 40, 60};
    ASSERT_TRUE(MapDialogRect(d, &expected));
    RECT raw = {10, 20, 40, 60};
    ASSERT_FALSE(sameRect(expected, raw)) << "dialog units should not be pixels";
    RECT actual = rectInClient(c);
    EXPECT_TRUE(sameRect(actual, expected))
        << "got " << actual.left << "," << actual.top << "," << actual.right << ","
        << actual.bottom << " expected " << expected.left << "," << expected.top << ","
        << expected.right << "," << expected.bottom;
}

TEST_F(DialogEngineTest, UnknownDialogGetsNoControlsOrColours) {
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(setControlColors(plain, 1, RGB(1, 2, 3), RGB(4, 5, 6)));
    EXPECT_EQ(addControl(plain, 1, "STATIC", "x", 0, 0, 10, 10, 0, 0), nullptr);
    EXPECT_EQ(GetWindow(plain, GW_CHILD), nullptr);
    DestroyWindow(plain);
}

// ---------------------------------------------------------------------------
// Label colours, answered to WM_CTLCOLORSTATIC while the dialog runs with a
// callback that leaves every message to the defaults.

struct ColourAnswer {
    HBRUSH brush;
    COLORREF text;
    COLORREF background;
    int mode;
};

ColourAnswer askColours(HWND dialog, HWND control) {
    HDC dc = CreateCompatibleDC(nullptr);
    // Start from values no answer below uses, so each check can fail.
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    SetBkMode(dc, OPAQUE);
    ColourAnswer a;
    a.brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORSTATIC,
                                                    reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(control)));
    a.text = GetTextColor(dc);
    a.background = GetBkColor(dc);
    a.mode = GetBkMode(dc);
    DeleteDC(dc);
    return a;
}

COLORREF brushColour(HBRUSH brush) {
    LOGBRUSH lb = {};
    if (!GetObjectW(brush, sizeof lb, &lb) || lb.lbStyle != BS_SOLID) return CLR_INVALID;
    return lb.lbColor;
}

TEST_F(DialogEngineTest, ColouredLabelsAnswerWithTheirColours) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND solid = addControl(d, 201, "STATIC", "solid", 5, 5, 50, 10, 0, 0);
    HWND clear = addControl(d, 202, "STATIC", "clear", 5, 20, 50, 10, 0, 0);
    HWND system = addControl(d, 203, "STATIC", "system", 5, 35, 50, 10, 0, 0);
    ASSERT_TRUE(solid && clear && system);
    const COLORREF ink = RGB(10, 20, 30), paper = RGB(200, 100, 50);
    ASSERT_TRUE(setControlColors(d, 201, ink, paper));
    ASSERT_TRUE(setControlColors(d, 202, COLOR_SYSTEM_DEFAULT, COLOR_TRANSPARENT_BACKGROUND));
    ASSERT_TRUE(setControlColors(d, 203, RGB(0, 128, 0), COLOR_SYSTEM_DEFAULT));

    INT_PTR result = 0;
    runModal(d, [&](HWND dlg) {
        ColourAnswer a = askColours(dlg, solid);
        EXPECT_NE(a.brush, nullptr);
        EXPECT_EQ(a.text, ink);
        EXPECT_EQ(a.background, paper);
        EXPECT_EQ(brushColour(a.brush), paper);

        ColourAnswer b = askColours(dlg, clear);
        EXPECT_EQ(b.text, GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(b.mode, TRANSPARENT);
        EXPECT_EQ(b.brush, reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));

        ColourAnswer c = askColours(dlg, system);
        EXPECT_NE(c.brush, nullptr);
        EXPECT_EQ(c.text, RGB(0, 128, 0));
        EXPECT_EQ(c.background, GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(brushColour(c.brush), GetSysColor(COLOR_BTNFACE));
        endDialog(dlg, 1);
    }, &result);
    EXPECT_FALSE(watchdogFired);
}

TEST_F(DialogEngineTest, RecolouringReplacesTheBrushAndDestroyingDeletesIt) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND label = addControl(d, 210, "STATIC", "x", 5, 5, 50, 10, 0, 0);
    ASSERT_NE(label, nullptr);
    ASSERT_TRUE(setControlColors(d, 210, RGB(1, 1, 1), RGB(20, 20, 20)));
    EXPECT_EQ(askColours(d, label).background, RGB(20, 20, 20));
    ASSERT_TRUE(setControlColors(d, 210, RGB(9, 9, 9), RGB(30, 31, 32)));

    ColourAnswer a = askColours(d, label);
    EXPECT_EQ(a.text, RGB(9, 9, 9));
    EXPECT_EQ(a.background, RGB(30, 31, 32));
    EXPECT_EQ(brushColour(a.brush), RGB(30, 31, 32));

    // The dialog's brushes go with it.
    ASSERT_NE(GetObjectType(a.brush), 0u);
    DestroyWindow(d);
    EXPECT_EQ(GetObjectType(a.brush), 0u);
}

// What the platform answers for a static of a plain dialog of its own.
INT_PTR CALLBACK plainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND makePlatformDialog() {
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title;
    } tpl = {};
    tpl.t.style = WS_POPUP | WS_CAPTION;
    tpl.t.cx = 100;
    tpl.t.cy = 50;
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &tpl.t, nullptr,
                                      plainDialogProc, 0);
}

TEST_F(DialogEngineTest, UncolouredLabelGetsThePlatformAnswer) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND coloured = addControl(d, 220, "STATIC", "c", 5, 5, 50, 10, 0, 0);
    HWND plain = addControl(d, 221, "STATIC", "p", 5, 20, 50, 10, 0, 0);
    ASSERT_TRUE(coloured && plain);
    ASSERT_TRUE(setControlColors(d, 220, RGB(250, 0, 0), RGB(0, 0, 250)));

    HWND reference = makePlatformDialog();
    ASSERT_NE(reference, nullptr);
    HWND refLabel = CreateWindowExW(0, L"STATIC", L"p", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                    reference, reinterpret_cast<HMENU>(221),
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(refLabel, nullptr);
    ColourAnswer expected = askColours(reference, refLabel);
    DestroyWindow(reference);

    INT_PTR result = 0;
    runModal(d, [&](HWND dlg) {
        ColourAnswer a = askColours(dlg, plain);
        EXPECT_EQ(a.brush, expected.brush);
        EXPECT_EQ(a.text, expected.text);
        EXPECT_EQ(a.background, expected.background);
        EXPECT_EQ(a.mode, expected.mode);
        endDialog(dlg, 1);
    }, &result);
    EXPECT_FALSE(watchdogFired);
}

// ---------------------------------------------------------------------------
// The modal run: callback protocol, results, ending.

TEST_F(DialogEngineTest, CallbackGetsInitDialogThenClientSizeBeforeTheDialogShows) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    struct Seen {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool visible;
    };
    std::vector<Seen> seen;
    int activateCount = 0;
    RECT clientWhileRunning = {};
    bool visibleWhileRunning = false;

    INT_PTR result = -1;
    INT_PTR returned = runModal(
        d,
        [&](HWND dlg) {
            GetClientRect(dlg, &clientWhileRunning);
            visibleWhileRunning = IsWindowVisible(dlg) != FALSE;
            endDialog(dlg, 77);
        },
        &result, [&](HWND dlg, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
            if (seen.size() < 2) seen.push_back({m, w, l, IsWindowVisible(dlg) != FALSE});
            if (m == WM_ACTIVATE) ++activateCount;
            return 0;
        });
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(returned, 77);
    EXPECT_EQ(result, 77);
    EXPECT_FALSE(IsWindow(d));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(seen[0].wParam, reinterpret_cast<WPARAM>(d));
    EXPECT_EQ(seen[0].lParam, 0);
    EXPECT_FALSE(seen[0].visible);
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(seen[1].wParam, 0u);
    EXPECT_EQ(seen[1].lParam, MAKELPARAM(clientWhileRunning.right, clientWhileRunning.bottom));
    EXPECT_GT(clientWhileRunning.right, 0);
    EXPECT_FALSE(seen[1].visible);
    EXPECT_TRUE(visibleWhileRunning);
    // The platform's own activation never reaches the callback.
    EXPECT_EQ(activateCount, 0);
}

TEST_F(DialogEngineTest, CallbackSeesOnlyTheEnginesInitDialog) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    int inits = 0;
    handlers[d] = [&](HWND dlg, UINT m, WPARAM, LPARAM) -> INT_PTR {
        if (m == WM_INITDIALOG) {
            ++inits;
            SetTimer(dlg, BODY_TIMER, 10, nullptr);
        }
        if (m == WM_TIMER) endDialog(dlg, 5);
        return 0;
    };
    INT_PTR result = 0;
    EXPECT_EQ(showDialogModal(d, routeCallback, &result), 5);
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(inits, 1);
}

TEST_F(DialogEngineTest, EndDialogWritesTheResultAndIgnoresWindowsItDoesNotKnow) {
    HWND stranger = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(stranger, nullptr);
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);

    bool strangerSurvived = false, dialogSurvived = false;
    INT_PTR result = -1;
    INT_PTR returned = runModal(d, [&](HWND dlg) {
        endDialog(stranger, 5);
        strangerSurvived = IsWindow(stranger) != FALSE;
        dialogSurvived = IsWindow(dlg) != FALSE;
        endDialog(dlg, 1234);
    }, &result);

    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(strangerSurvived);
    EXPECT_TRUE(dialogSurvived);
    EXPECT_EQ(returned, 1234);
    EXPECT_EQ(result, 1234);
    EXPECT_FALSE(IsWindow(d));

    // The ended dialog is forgotten: ending it again writes nothing.
    endDialog(d, 9);
    EXPECT_EQ(result, 1234);
    EXPECT_TRUE(IsWindow(stranger));
    DestroyWindow(stranger);
}

TEST_F(DialogEngineTest, EndDialogBeforeShowingDestroysTheDialog) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    endDialog(d, 3);
    EXPECT_FALSE(IsWindow(d));
}

TEST_F(DialogEngineTest, DialogEndedDuringInitDialogReturnsAtOnce) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    handlers[d] = [](HWND dlg, UINT m, WPARAM, LPARAM) -> INT_PTR {
        if (m == WM_INITDIALOG) endDialog(dlg, 12);
        return 0;
    };
    INT_PTR result = 0;
    EXPECT_EQ(showDialogModal(d, routeCallback, &result), 12);
    EXPECT_EQ(result, 12);
    EXPECT_FALSE(watchdogFired);
    EXPECT_FALSE(IsWindow(d));
}

TEST_F(DialogEngineTest, SystemCloseCommandEndsTheDialogWithZero) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    INT_PTR result = 55;
    INT_PTR returned = runModal(d, [](HWND dlg) {
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    }, &result);
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(returned, 0);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(IsWindow(d));
}

// Another thread (or program) may close the dialog with a sent message; the
// modal call must then return promptly, not when some later message happens
// to arrive.
struct CloserArgs {
    HWND dialog;
    HANDLE go;
    ULONGLONG sentAt;
};

DWORD WINAPI sendCloseFromOtherThread(void* p) {
    auto* args = static_cast<CloserArgs*>(p);
    if (WaitForSingleObject(args->go, 10000) != WAIT_OBJECT_0) return 1;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(args->dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &answer);
    args->sentAt = GetTickCount64();
    return 0;
}

TEST_F(DialogEngineTest, SystemCloseSentFromAnotherThreadEndsTheModalCallPromptly) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    // A shorter watchdog: it is what ends the call if the loop sleeps on.
    KillTimer(nullptr, watchdog);
    watchdog = SetTimer(nullptr, 0, 5000, watchdogProc);

    CloserArgs args = {d, CreateEventW(nullptr, TRUE, FALSE, nullptr), 0};
    ASSERT_NE(args.go, nullptr);
    HANDLE closer = CreateThread(nullptr, 0, sendCloseFromOtherThread, &args, 0, nullptr);
    ASSERT_NE(closer, nullptr);

    INT_PTR result = 55;
    INT_PTR returned = runModal(d, [&](HWND) { SetEvent(args.go); }, &result);
    ULONGLONG returnedAt = GetTickCount64();

    SetEvent(args.go);  // in case the dialog never ran
    EXPECT_EQ(WaitForSingleObject(closer, 10000), WAIT_OBJECT_0);
    CloseHandle(closer);
    CloseHandle(args.go);

    EXPECT_FALSE(IsWindow(d));
    EXPECT_EQ(returned, 0);
    ASSERT_NE(args.sentAt, 0u);
    EXPECT_FALSE(watchdogFired) << "the modal call returned only when the watchdog's timer came";
    // The modal call may return a moment before the sender takes its time:
    // the difference is signed.
    EXPECT_LT(static_cast<long long>(returnedAt) - static_cast<long long>(args.sentAt), 1000);
}

TEST_F(DialogEngineTest, NestedModalLoopStillDeliversTheOuterDialogsMessages) {
    HWND a = makeDialog();
    ASSERT_NE(a, nullptr);
    HWND b = nullptr;
    bool insideB = false, markArrivedInsideB = false, outerDisabledDuringB = false;
    bool outerEnabledAfterB = false, innerGoneAfterReturn = false;
    INT_PTR bReturned = -1, bResult = -1;

    INT_PTR aResult = -1;
    INT_PTR aReturned = runModal(
        a,
        [&](HWND outer) {
            b = makeDialog(outer);
            if (!b) return;
            handlers[b] = [&](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR {
                // Posted to the outer dialog before the inner loop starts.
                if (m == WM_INITDIALOG) PostMessageW(a, WM_TEST_MARK, 0, 0);
                return 0;
            };
            insideB = true;
            bReturned = showDialogModal(b, routeCallback, &bResult);
            insideB = false;
            innerGoneAfterReturn = !IsWindow(b);
            outerEnabledAfterB = IsWindowEnabled(outer) != FALSE;
            endDialog(outer, 3);
        },
        &aResult, [&](HWND outer, UINT m, WPARAM, LPARAM) -> INT_PTR {
            if (m == WM_TEST_MARK) {
                markArrivedInsideB = insideB && IsWindow(b);
                outerDisabledDuringB = !IsWindowEnabled(outer);
                endDialog(b, 7);
            }
            return 0;
        });

    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(markArrivedInsideB);
    EXPECT_TRUE(outerDisabledDuringB);
    EXPECT_EQ(bReturned, 7);
    EXPECT_EQ(bResult, 7);
    EXPECT_TRUE(innerGoneAfterReturn);
    EXPECT_TRUE(outerEnabledAfterB);
    EXPECT_EQ(aReturned, 3);
    EXPECT_EQ(aResult, 3);
}

TEST_F(DialogEngineTest, EscapeAndEnterReachTheCallbackWithoutEndingTheDialog) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND edit = addControl(d, 301, "EDIT", "", 5, 5, 80, 12, ES_AUTOHSCROLL, 0);
    ASSERT_NE(edit, nullptr);

    int cancels = 0, oks = 0;
    bool aliveAtMark = false;
    INT_PTR result = -1;
    runModal(
        d,
        [&](HWND dlg) {
            SetFocus(edit);
            // Keys for the focused single-line text box, which takes neither.
            PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            // And for the dialog itself.
            PostMessageW(dlg, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(dlg, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageW(dlg, WM_TEST_MARK, 0, 0);
        },
        &result, [&](HWND dlg, UINT m, WPARAM w, LPARAM) -> INT_PTR {
            if (m == WM_COMMAND && LOWORD(w) == IDCANCEL) ++cancels;
            if (m == WM_COMMAND && LOWORD(w) == IDOK) ++oks;
            if (m == WM_TEST_MARK) {
                aliveAtMark = IsWindow(dlg) != FALSE;
                endDialog(dlg, 1);
            }
            return 0;
        });

    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(aliveAtMark);
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(oks, 2);
    EXPECT_EQ(result, 1);
}

TEST_F(DialogEngineTest, PostedQuitNeitherEndsNorSpinsTheLoopAndIsHandedOn) {
    // The thread CPU clock must be able to see work for the bound to mean
    // anything: a short busy stretch, bounded in wall time.
    double busyStart = threadCpuMs();
    ASSERT_GE(busyStart, 0);
    ULONGLONG wallStart = GetTickCount64();
    volatile unsigned sink = 0;
    while (threadCpuMs() - busyStart < 40 && GetTickCount64() - wallStart < 3000) sink = sink + 1;
    ASSERT_GE(threadCpuMs() - busyStart, 40) << "the thread CPU clock does not advance";

    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    double cpuAtQuit = 0, cpuLater = 0;
    bool markServed = false, aliveLater = false;
    INT_PTR result = -1;
    runModal(
        d,
        [&](HWND dlg) {
            PostQuitMessage(42);
            cpuAtQuit = threadCpuMs();
            PostMessageW(dlg, WM_TEST_MARK, 0, 0);
            SetTimer(dlg, 2, 300, nullptr);
        },
        &result, [&](HWND dlg, UINT m, WPARAM w, LPARAM) -> INT_PTR {
            if (m == WM_TEST_MARK) markServed = true;
            if (m == WM_TIMER && w == 2) {
                KillTimer(dlg, 2);
                cpuLater = threadCpuMs();
                aliveLater = IsWindow(dlg) != FALSE;
                endDialog(dlg, 8);
            }
            return 0;
        });

    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(markServed);
    EXPECT_TRUE(aliveLater);
    EXPECT_EQ(result, 8);
    EXPECT_LT(cpuLater - cpuAtQuit, 100.0) << "the loop spun after the quit";
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(DialogEngineTest, IdleModalLoopUsesNoCpu) {
    double busyStart = threadCpuMs();
    ASSERT_GE(busyStart, 0);
    ULONGLONG wallStart = GetTickCount64();
    volatile unsigned sink = 0;
    while (threadCpuMs() - busyStart < 40 && GetTickCount64() - wallStart < 3000) sink = sink + 1;
    ASSERT_GE(threadCpuMs() - busyStart, 40) << "the thread CPU clock does not advance";

    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    double cpuStart = 0, cpuEnd = 0;
    ULONGLONG wallBegin = 0, wallEnd = 0;
    INT_PTR result = -1;
    runModal(
        d,
        [&](HWND dlg) {
            cpuStart = threadCpuMs();
            wallBegin = GetTickCount64();
            SetTimer(dlg, 2, 300, nullptr);
        },
        &result, [&](HWND dlg, UINT m, WPARAM w, LPARAM) -> INT_PTR {
            if (m == WM_TIMER && w == 2) {
                KillTimer(dlg, 2);
                cpuEnd = threadCpuMs();
                wallEnd = GetTickCount64();
                endDialog(dlg, 1);
            }
            return 0;
        });
    EXPECT_FALSE(watchdogFired);
    EXPECT_GE(wallEnd - wallBegin, 250u);
    EXPECT_LT(cpuEnd - cpuStart, 50.0);
}

// ---------------------------------------------------------------------------
// Show state before and after the dialog is shown.

struct PendingCase {
    int requested;
    bool visible;
    bool iconic;
    bool zoomed;
};

class PendingShowStateTest : public DialogEngineTest,
                             public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingShowStateTest, OnlyHideMaximiseAndMinimiseAreKept) {
    const PendingCase c = GetParam();
    HWND d = makeDialog(nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                     WS_MAXIMIZEBOX);
    ASSERT_NE(d, nullptr);
    setDialogShowState(d, c.requested);
    EXPECT_FALSE(IsWindowVisible(d)) << "only recorded before showing";

    bool visible = false, iconic = false, zoomed = false;
    INT_PTR result = -1;
    runModal(d, [&](HWND dlg) {
        visible = IsWindowVisible(dlg) != FALSE;
        iconic = IsIconic(dlg) != FALSE;
        zoomed = IsZoomed(dlg) != FALSE;
        endDialog(dlg, 1);
    }, &result);
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(visible, c.visible);
    EXPECT_EQ(iconic, c.iconic);
    EXPECT_EQ(zoomed, c.zoomed);
}

INSTANTIATE_TEST_SUITE_P(States, PendingShowStateTest,
                         ::testing::Values(PendingCase{SW_HIDE, false, false, false},
                                           PendingCase{SW_SHOWNORMAL, true, false, false},
                                           PendingCase{SW_SHOWMINIMIZED, true, false, false},
                                           PendingCase{SW_SHOWMAXIMIZED, true, false, true},
                                           PendingCase{SW_SHOWNOACTIVATE, true, false, false},
                                           PendingCase{SW_MINIMIZE, true, true, false},
                                           PendingCase{SW_SHOWMINNOACTIVE, true, false, false},
                                           PendingCase{SW_RESTORE, true, false, false}),
                         [](const ::testing::TestParamInfo<PendingCase>& info) {
                             return "State" + std::to_string(info.param.requested);
                         });

TEST_F(DialogEngineTest, LastPendingStateWins) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    setDialogShowState(d, SW_HIDE);
    setDialogShowState(d, SW_SHOWNORMAL);  // becomes SW_SHOW
    bool visible = false;
    INT_PTR result = -1;
    runModal(d, [&](HWND dlg) {
        visible = IsWindowVisible(dlg) != FALSE;
        endDialog(dlg, 1);
    }, &result);
    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(visible);
}

TEST_F(DialogEngineTest, ShowStateOfAShownDialogActsAtOnce) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    bool visibleAtStart = true, hiddenAtOnce = false, shownAgain = false, servedHidden = false;
    INT_PTR result = -1;
    runModal(
        d,
        [&](HWND dlg) {
            visibleAtStart = IsWindowVisible(dlg) != FALSE;
            setDialogShowState(dlg, SW_HIDE);
            hiddenAtOnce = !IsWindowVisible(dlg);
            PostMessageW(dlg, WM_TEST_MARK, 0, 0);
        },
        &result, [&](HWND dlg, UINT m, WPARAM, LPARAM) -> INT_PTR {
            if (m == WM_TEST_MARK) {
                servedHidden = !IsWindowVisible(dlg);
                setDialogShowState(dlg, SW_SHOW);
                shownAgain = IsWindowVisible(dlg) != FALSE;
                endDialog(dlg, 1);
            }
            return 0;
        });
    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(visibleAtStart);
    EXPECT_TRUE(hiddenAtOnce);
    EXPECT_TRUE(servedHidden);
    EXPECT_TRUE(shownAgain);
}

TEST_F(DialogEngineTest, HiddenBeforeShowingStaysHiddenWhileRunning) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    setDialogShowState(d, SW_HIDE);
    bool visible = true, ran = false;
    INT_PTR result = -1;
    INT_PTR returned = runModal(d, [&](HWND dlg) {
        ran = true;
        visible = IsWindowVisible(dlg) != FALSE;
        endDialog(dlg, 21);
    }, &result);
    EXPECT_FALSE(watchdogFired);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(visible);
    EXPECT_EQ(returned, 21);
}

// ---------------------------------------------------------------------------
// Text at the window boundary.

TEST_F(DialogEngineTest, ControlTextRoundTripsAnsiTextWithHighBytes) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND label = addControl(d, 401, "STATIC", "", 5, 5, 50, 10, 0, 0);
    HWND edit = addControl(d, 402, "EDIT", "", 5, 20, 50, 12, ES_AUTOHSCROLL, 0);
    ASSERT_TRUE(label && edit);

    const char accented[] = "\xE9t\xE9";
    for (int id : {401, 402}) {
        setControlText(d, id, accented);
        EXPECT_EQ(getControlText(d, id), accented) << id;
        // Stored as UTF-16 from the ANSI code page, not byte by byte.
        EXPECT_EQ(windowText(GetDlgItem(d, id)), ansiAsWide(accented)) << id;
        setControlText(d, id, "");
        EXPECT_EQ(getControlText(d, id), "") << id;
        EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(d, id)), 0) << id;
    }
    EXPECT_EQ(getControlText(d, 499), "") << "no such control";
}

TEST_F(DialogEngineTest, ControlTextRoundTripsAFullMemoryOfText) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(addControl(d, 410, "STATIC", "", 5, 5, 50, 10, SS_LEFT, 0), nullptr);

    std::string text(65535, ' ');
    for (size_t i = 0; i < text.size(); ++i) {
        static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789\xE0\xE9\xF6\xFC";
        text[i] = alphabet[i % (sizeof alphabet - 1)];
        if (i % 1000 == 998) text[i] = '\r';
        if (i % 1000 == 999) text[i] = '\n';
    }
    setControlText(d, 410, text.c_str());
    EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(d, 410)), 65535);
    std::string back = getControlText(d, 410);
    EXPECT_EQ(back.size(), text.size());
    EXPECT_TRUE(back == text) << "first difference at "
                              << (std::mismatch(back.begin(), back.end(), text.begin(),
                                                text.end()).first - back.begin());
}

// Controls are found by id without asking GetDlgItem each time; these are
// the cases where a remembered handle would name the wrong window.
TEST_F(DialogEngineTest, ControlFoundByIdIsTheOneGetDlgItemFinds) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    HWND first = addControl(d, 430, "STATIC", "first", 5, 5, 50, 10, 0, 0);
    ASSERT_NE(first, nullptr);
    // Made without the engine: still reached by its id.
    HWND outside = CreateWindowExW(0, L"STATIC", L"outside", WS_CHILD, 5, 20, 50, 10, d,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(431)),
                                   GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(outside, nullptr);
    setControlText(d, 431, "reached");
    EXPECT_EQ(windowText(outside), L"reached");

    // Destroyed and made again under the same id: the new control gets the text.
    DestroyWindow(first);
    setControlText(d, 430, "gone");  // nothing to reach; must not fail
    HWND second = addControl(d, 430, "STATIC", "second", 5, 5, 50, 10, 0, 0);
    ASSERT_NE(second, nullptr);
    setControlText(d, 430, "new one");
    EXPECT_EQ(windowText(second), L"new one");
    EXPECT_EQ(getControlText(d, 430), "new one");
    EXPECT_EQ(sendControlMessage(d, 430, WM_GETTEXTLENGTH, 0, 0), 7);

    // Its id changed: the id now names nothing, as GetDlgItem says.
    SetWindowLongPtrW(second, GWLP_ID, 432);
    ASSERT_EQ(GetDlgItem(d, 430), nullptr);
    setControlText(d, 430, "not this one");
    EXPECT_EQ(windowText(second), L"new one");
    EXPECT_EQ(getControlText(d, 432), "new one");

    // Two controls with one id: whichever GetDlgItem picks.
    addControl(d, 433, "STATIC", "a", 5, 35, 50, 10, 0, 0);
    addControl(d, 433, "STATIC", "b", 5, 50, 50, 10, 0, 0);
    setControlText(d, 433, "picked");
    EXPECT_EQ(windowText(GetDlgItem(d, 433)), L"picked");
}

TEST_F(DialogEngineTest, ControlTextOfADestroyedDialogIsEmpty) {
    HWND d = makeDialog();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(addControl(d, 420, "STATIC", "still here", 5, 5, 50, 10, 0, 0), nullptr);
    ASSERT_EQ(getControlText(d, 420), "still here");
    DestroyWindow(d);
    EXPECT_EQ(getControlText(d, 420), "");
    setControlText(d, 420, "ignored");  // must not touch anything else
    EXPECT_EQ(sendControlMessage(d, 420, WM_GETTEXTLENGTH, 0, 0), 0);
}

}  // namespace
