// The "Texto para Clipboard" pad that Ctrl+C opens and closes.
#include <gtest/gtest.h>

#include "support/app.h"

using namespace e2e;

namespace {

std::string hex(DWORD v) {
    char s[16];
    snprintf(s, sizeof s, "0x%08lX", static_cast<unsigned long>(v));
    return s;
}

class PadTest : public AppTest {
protected:
    // Ctrl+C, then the pad shown.
    HWND openPad() {
        pressCtrl('C');
        HWND pad = nullptr;
        waitUntil([&] {
            pad = app.pad();
            return pad && IsWindowVisible(pad);
        });
        return pad;
    }
    static std::string boxText(HWND pad) { return windowTextAnsi(GetDlgItem(pad, 1001)); }

    // Ctrl+C on an open pad: waits for it to go and for the clipboard to change.
    void finishPad(HWND pad) {
        const DWORD before = clipboardSequence();
        pressCtrl('C');
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(pad); })) << "the pad is still open";
        ASSERT_TRUE(waitClipboardChange(before)) << "the clipboard did not change";
    }
};

}  // namespace

TEST_F(PadTest, OpensEmptyTopmostWithOneTextBox) {
    ASSERT_TRUE(setClipboardText("not shown in the pad"));
    ASSERT_TRUE(app.store(3, "nor this"));
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(app.pads().size(), 1u);
    EXPECT_EQ(GetParent(pad), nullptr);
    EXPECT_EQ(GetWindow(pad, GW_OWNER), nullptr);
    EXPECT_EQ(hex(windowStyle(pad)), hex(0x80C000D4 | WS_VISIBLE | WS_CLIPSIBLINGS));
    EXPECT_EQ(windowStyle(pad) & WS_SYSMENU, 0u);
    // WS_EX_TOPMOST as asked; the dialog manager adds WS_EX_CONTROLPARENT and
    // the modal frame bits 0x101 to every dialog it creates.
    EXPECT_EQ(hex(windowExStyle(pad)), hex(WS_EX_TOPMOST | WS_EX_CONTROLPARENT | 0x101));
    // 238, 106 dialog units from the screen's corner; 200 x 120 units.
    POINT origin = clientOrigin(pad);
    EXPECT_NEAR(origin.x, MulDiv(238, 8, 4), 1);
    EXPECT_NEAR(origin.y, MulDiv(106, 13, 8), 1);
    SIZE size = clientSize(pad);
    EXPECT_NEAR(size.cx, 400, 1);
    EXPECT_NEAR(size.cy, MulDiv(120, 13, 8), 1);

    std::vector<HWND> children = childWindows(pad);
    ASSERT_EQ(children.size(), 1u);
    HWND box = children[0];
    EXPECT_TRUE(sameClass(box, L"Edit")) << narrow(className(box));
    EXPECT_EQ(controlId(box), 1001);
    EXPECT_EQ(windowTextAnsi(box), "");
    EXPECT_EQ(hex(windowStyle(box)), hex(0x50B110C4));
    EXPECT_EQ(hex(windowExStyle(box)), hex(0x00020220));
    EXPECT_TRUE(IsWindowEnabled(app.main()));  // the pad has no owner
    EXPECT_TRUE(app.boxes().empty());
}

TEST_F(PadTest, TypedLinesGoToTheClipboardWithCrLf) {
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    typeText(L"first line\nsecond line\nthird");
    const std::string typed = "first line\r\nsecond line\r\nthird";
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == typed; })) << boxText(pad);
    finishPad(pad);
    EXPECT_EQ(clipboardText().value_or("<none>"), typed);
    EXPECT_TRUE(app.pads().empty());

    // A new pad starts empty again.
    HWND again = openPad();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(boxText(again), "");
    finishPad(again);
    EXPECT_EQ(clipboardText().value_or("<none>"), "");
}

TEST_F(PadTest, MixedScriptTextGoesToTheClipboardExactly) {
    printf("[exact text] %s\n", codePageReport().c_str());
    fflush(stdout);
    ASSERT_TRUE(lacksSomeOf(kMixedScriptText, GetACP()));
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    typeText(typedForm(kMixedScriptText));
    ASSERT_TRUE(waitUntil([&] { return windowText(GetDlgItem(pad, 1001)) == kMixedScriptText; }))
        << sameText(kMixedScriptText, windowText(GetDlgItem(pad, 1001))).message();
    finishPad(pad);
    ClipboardTexts got = clipboardTexts();
    EXPECT_TRUE(sameText(kMixedScriptText, got.unicode.value_or(L"<none>"))) << "CF_UNICODETEXT";
    EXPECT_EQ(got.text, narrow(kMixedScriptText));
    // Tagged with the system's code page, that of its bytes, whatever the
    // keyboard: a reader converting either form gets the other.
    ASSERT_TRUE(got.locale.has_value()) << "no CF_LOCALE";
    EXPECT_EQ(ansiCodePageOf(*got.locale), GetACP()) << "CF_LOCALE " << hex(*got.locale);

    // More than the pad hands over, set by another program: the first
    // 32,767 UTF-16 units, and the ANSI form cut at 32,767 bytes.
    HWND again = openPad();
    ASSERT_NE(again, nullptr);
    std::wstring longer;
    while (longer.size() < 40000) longer += L"\u03A9\u00E9a\u6771 \u2713-";
    DWORD_PTR r = 0;
    ASSERT_TRUE(SendMessageTimeoutW(GetDlgItem(again, 1001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longer.c_str()),
                                    SMTO_ABORTIFHUNG, 5000, &r));
    ASSERT_EQ(windowText(GetDlgItem(again, 1001)).size(), longer.size());
    finishPad(again);
    got = clipboardTexts();
    EXPECT_TRUE(sameText(longer.substr(0, 32767), got.unicode.value_or(L"<none>"))) << "CF_UNICODETEXT";
    EXPECT_TRUE(sameText(narrow(longer).substr(0, 32767), got.text.value_or("<none>"))) << "CF_TEXT";
}

TEST_F(PadTest, TwoPressesWithNothingTypedLeaveAnEmptyText) {
    ASSERT_TRUE(setClipboardText("before"));
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    finishPad(pad);
    std::optional<std::string> text = clipboardText();
    ASSERT_TRUE(text.has_value()) << "no text on the clipboard";
    EXPECT_EQ(*text, "");
    EXPECT_TRUE(app.boxes().empty());
}

TEST_F(PadTest, SystemCloseLosesTheTextAndTheNextPressOpensAFreshPad) {
    ASSERT_TRUE(setClipboardText("untouched"));
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    typeText(L"lost");
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == "lost"; })) << boxText(pad);
    const DWORD before = clipboardSequence();
    PostMessageW(pad, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(pad); }));
    EXPECT_EQ(clipboardSequence(), before);
    EXPECT_EQ(clipboardText().value_or("<none>"), "untouched");
    EXPECT_TRUE(IsWindowVisible(app.main()));

    // A pad that is gone has nothing to finish: this press opens a new one
    // and leaves the clipboard alone.
    HWND fresh = openPad();
    ASSERT_NE(fresh, nullptr) << describeWindows(app.pid());
    EXPECT_EQ(boxText(fresh), "");
    EXPECT_EQ(app.pads().size(), 1u);
    EXPECT_EQ(clipboardSequence(), before);
    EXPECT_EQ(clipboardText().value_or("<none>"), "untouched");
    typeText(L"kept");
    ASSERT_TRUE(waitUntil([&] { return boxText(fresh) == "kept"; })) << boxText(fresh);
    finishPad(fresh);
    EXPECT_EQ(clipboardText().value_or("<none>"), "kept");
}

TEST_F(PadTest, EscKeepsItOpenAndMemoriesCanBeRecalledAndPastedInto) {
    ASSERT_TRUE(app.store(7, "mem7"));
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    typeText(L"x");
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == "x"; })) << boxText(pad);
    pressKey(VK_ESCAPE);
    typeText(L"y");  // typed after Esc: once it shows, Esc has been handled
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == "xy"; })) << boxText(pad);
    EXPECT_TRUE(IsWindowVisible(pad));

    // Ctrl+7 while the pad is up puts memory 7 on the clipboard; Ctrl+V pastes it.
    ASSERT_TRUE(setClipboardText("other"));
    const DWORD before = clipboardSequence();
    pressCtrl('7');
    ASSERT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), "mem7");
    EXPECT_TRUE(IsWindow(pad));
    pressCtrl('V');
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == "xymem7"; })) << boxText(pad);

    // The box's own Copy makes it the clipboard's owner; a recall, whose
    // emptying of the clipboard tells the box, is not held up by it.
    HWND box = GetDlgItem(pad, 1001);
    SendMessageW(box, EM_SETSEL, 0, 2);
    SendMessageW(box, WM_COPY, 0, 0);
    ASSERT_EQ(GetClipboardOwner(), box);
    EXPECT_EQ(clipboardText().value_or("<none>"), "xy");
    const DWORD copied = clipboardSequence();
    const ULONGLONG pressed = GetTickCount64();
    pressCtrl('7');
    ASSERT_TRUE(waitClipboardChange(copied));
    EXPECT_LT(GetTickCount64() - pressed, 1000u) << "the recall waited for the program itself";
    EXPECT_EQ(clipboardText().value_or("<none>"), "mem7");

    finishPad(pad);
    EXPECT_EQ(clipboardText().value_or("<none>"), "xymem7");
    EXPECT_TRUE(app.boxes().empty());
}

// The box draws what it holds, like the table's labels (see their test): a
// line of Greek, or of symbols, must not look exactly like a line of as many
// unassigned code points. Wine's edit control falls back to other fonts
// whatever its face, in Wine 8 and 10 alike, so under Wine this passes
// either way; run on Windows, it checks the box's face.
TEST_F(PadTest, TextBoxDrawsOtherScriptsRatherThanMissingGlyphs) {
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    HWND box = GetDlgItem(pad, 1001);
    const std::wstring lines[] = {L"\u0391\u03B2\u03B3\u0394\u03B5\u03A9", L"\u2713\u2192\u2713\u2192\u2713\u2192",
                                  std::wstring(6, L'\u0378')};
    // The caret goes to an empty last line, away from the lines compared: it blinks.
    const std::wstring text = lines[0] + L"\r\n" + lines[1] + L"\r\n" + lines[2] + L"\r\n";
    DWORD_PTR r = 0;
    ASSERT_TRUE(SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                    SMTO_ABORTIFHUNG, 5000, &r));
    ASSERT_TRUE(SendMessageTimeoutW(box, EM_SETSEL, text.size(), text.size(), SMTO_ABORTIFHUNG, 5000, &r));
    int top[4] = {};
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SendMessageTimeoutW(box, EM_POSFROMCHAR, start, 0, SMTO_ABORTIFHUNG, 5000, &r));
        top[i] = static_cast<short>(HIWORD(r));
        start += lines[i].size() + 2;
    }
    top[3] = top[2] + (top[1] - top[0]);
    ASSERT_GT(top[1], top[0]);
    const POINT origin = clientOrigin(box);
    const SIZE size = clientSize(box);
    ASSERT_GT(origin.y + top[3], origin.y);
    ASSERT_LE(top[3], size.cy);
    const RECT area = {origin.x, origin.y + top[0], origin.x + size.cx, origin.y + top[3]};
    const COLORREF background = screenPixel({origin.x + size.cx - 2, origin.y + size.cy - 2});
    // One strip per line, once all three are drawn and stay so.
    std::vector<COLORREF> strip[3];
    Image last;
    const bool drawn = waitUntil([&] {
        Image now = captureScreen(area);
        bool inked = now.width > 0;
        for (int i = 0; i < 3 && inked; ++i) {
            auto begin = now.pixels.begin() + static_cast<ptrdiff_t>(top[i] - top[0]) * now.width;
            strip[i].assign(begin, begin + static_cast<ptrdiff_t>(top[i + 1] - top[i]) * now.width);
            inked = std::any_of(strip[i].begin(), strip[i].end(), [&](COLORREF c) { return c != background; });
        }
        const bool same = inked && now.pixels == last.pixels;
        last = std::move(now);
        return same;
    });
    ASSERT_TRUE(drawn) << "the box did not show its three lines";
    const std::wstring dir = screenshotDir();
    if (!dir.empty()) {
        EXPECT_TRUE(saveBmp(captureScreen(windowRect(pad)), dir + L"\\quillbank-pad-scripts.bmp"));
    }
    EXPECT_NE(strip[0], strip[2]) << "Greek drawn as missing glyphs";
    EXPECT_NE(strip[1], strip[2]) << "check marks and arrows drawn as missing glyphs";
    finishPad(pad);
}

TEST_F(PadTest, StoringWorksWhileThePadIsOpen) {
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    ASSERT_TRUE(app.store(5, "stored meanwhile")) << app.text(1032);
    EXPECT_EQ(app.text(1019), "stored meanwhile");
    EXPECT_TRUE(IsWindow(pad));
    EXPECT_EQ(boxText(pad), "");
    finishPad(pad);
}

TEST_F(PadTest, ForegroundGoesBackToTheEditorTheUserWasIn) {
    Notepad editor;
    ASSERT_TRUE(editor.valid()) << describeWindows(editor.pid());
    const HWND window = editor.window();
    const HWND edit = editor.edit();
    ASSERT_TRUE(editor.bringToFront());

    // Ctrl+C, type, Ctrl+C: then Ctrl+V goes straight into the editor.
    HWND pad = openPad();
    ASSERT_NE(pad, nullptr);
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == pad; }));
    typeText(L"from the pad");
    ASSERT_TRUE(waitUntil([&] { return boxText(pad) == "from the pad"; })) << boxText(pad);
    finishPad(pad);
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == window; }))
        << "foreground: " << narrow(className(GetForegroundWindow()));
    pressCtrl('V');
    ASSERT_TRUE(waitUntil([&] { return windowTextAnsi(edit) == "from the pad"; }))
        << windowTextAnsi(edit);

    // The same after a box a hotkey opened.
    pressCtrl('5');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr) << describeWindows(app.pid());
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == box; }));
    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == window; }))
        << "foreground: " << narrow(className(GetForegroundWindow()));
}
