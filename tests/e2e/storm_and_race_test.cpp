// Hotkeys in bursts as fast as SendInput delivers them, hotkeys pressed while
// a box or the pad is open, and a clipboard that another program rewrites
// without pause while the program reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "support/app.h"

using namespace e2e;

namespace {

INPUT key(WORD vk, bool up) { return keyInput(vk, up); }

// Everything in one SendInput call, then the driver's queue looked at once
// (injected input waits for that).
void sendBurst(const std::vector<INPUT>& inputs) {
    SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
    pumpOwnMessages();
}

void addChord(std::vector<INPUT>& inputs, WORD modifier, WORD k) {
    inputs.push_back(key(modifier, false));
    inputs.push_back(key(k, false));
    inputs.push_back(key(k, true));
    inputs.push_back(key(modifier, true));
}

// The modifier held while the key goes down `repeats` times without coming
// up, as the keyboard's auto-repeat sends it.
std::vector<INPUT> heldDown(WORD modifier, WORD k, int repeats) {
    std::vector<INPUT> inputs{key(modifier, false)};
    for (int i = 0; i < repeats; ++i) inputs.push_back(key(k, false));
    inputs.push_back(key(k, true));
    inputs.push_back(key(modifier, true));
    return inputs;
}

// The combination held down: pressed, repeated after a keyboard's delay
// (550 ms) and then at its rate (33 ms) `repeats` times, released. Wine
// takes the modifiers from X again when a window hides or takes the focus,
// and X never saw the injected modifier: so it goes down again with each
// repeat, as a held key's state stays down.
void holdChord(WORD modifier, WORD k, int repeats) {
    const ULONGLONG pressed = GetTickCount64();
    sendBurst({key(modifier, false), key(k, false)});
    for (int i = 0; i < repeats; ++i) {
        const ULONGLONG next = pressed + 550 + 33ull * i;
        // The keyboard's timing, not a wait for the program.
        waitUntil([&] { return GetTickCount64() >= next; }, 1000);
        sendBurst({key(modifier, false), key(k, false)});
    }
    sendBurst({key(k, true), key(modifier, true)});
}

}  // namespace

class StormTest : public AppTest {
protected:
    void expectAliveAndAlone() {
        ASSERT_TRUE(app.process().running());
        DWORD_PTR r = 0;
        EXPECT_TRUE(SendMessageTimeoutW(app.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r));
        EXPECT_TRUE(app.boxes().empty()) << describeWindows(app.pid());
        EXPECT_TRUE(app.pads().empty()) << describeWindows(app.pid());
    }
    // Ends the program as a user would; it must go by itself with code 0.
    void expectCleanEnd() {
        std::optional<DWORD> code = app.shutdown();
        ASSERT_TRUE(code.has_value()) << "did not end by itself";
        EXPECT_EQ(*code, 0u);
    }
};

TEST_F(StormTest, FourHundredChainedStoresAndRecallsKeepTheirOrder) {
    // Memories 1 to 3 are rotated through memory 0 by Ctrl+a, Alt+b pairs:
    // every recall feeds the next store, so one lost, doubled or reordered
    // press leaves a wrong text somewhere.
    std::array<std::string, 10> model;
    const char* seeds[] = {"", "first seed", "second seed!", "third seed!!"};
    for (int d = 1; d <= 3; ++d) {
        ASSERT_TRUE(app.store(d, seeds[d])) << app.text(rowOf(d).size);
        model[d] = seeds[d];
    }
    std::string clip;
    std::vector<INPUT> inputs;
    const int moves[4][2] = {{1, 0}, {2, 1}, {3, 2}, {0, 3}};
    const int rounds = 50;
    for (int r = 0; r < rounds; ++r)
        for (const auto& m : moves) {
            addChord(inputs, VK_CONTROL, digitKey(m[0]));
            clip = model[m[0]];
            addChord(inputs, VK_MENU, digitKey(m[1]));
            model[m[1]] = clip;
        }
    // Memory 9, untouched until now, takes the last recall: once it shows,
    // the whole burst has been handled (the rotation passes through the final
    // state before its end, so the rows alone cannot tell).
    addChord(inputs, VK_MENU, '9');
    model[9] = clip;
    ASSERT_EQ(inputs.size(), 1604u);  // 401 chords
    sendBurst(inputs);
    ASSERT_TRUE(waitUntil([&] { return app.text(1023) == model[9]; }, 60000)) << app.text(1023);
    // 50 rotations of three: two steps round.
    ASSERT_EQ(model[1], seeds[3]);
    for (int d : {0, 1, 2, 3}) EXPECT_EQ(app.text(rowOf(d).contents), model[d]) << d;
    for (int d : {0, 1, 2, 3}) EXPECT_EQ(app.text(rowOf(d).size), sizeLabel(model[d].size())) << d;
    EXPECT_EQ(clipboardText().value_or("<none>"), clip);
    expectAliveAndAlone();
    expectCleanEnd();
}

TEST_F(StormTest, AutoRepeatedStoresAcrossAllDigitsEndWithTheLastClipboard) {
    ASSERT_TRUE(setClipboardText("held key"));
    std::vector<INPUT> inputs;
    for (int d = 0; d <= 9; ++d) {
        std::vector<INPUT> one = heldDown(VK_MENU, digitKey(d), 30);
        inputs.insert(inputs.end(), one.begin(), one.end());
    }
    sendBurst(inputs);  // 300 key-downs with Alt held
    ASSERT_TRUE(waitUntil([&] {
        for (const RowIds& row : kRows)
            if (app.text(row.size) != sizeLabel(8)) return false;
        return true;
    }, 60000));
    for (const RowIds& row : kRows) EXPECT_EQ(app.text(row.contents), "held key") << row.digit;
    EXPECT_EQ(app.pos(kFillTotal), 0);
    expectAliveAndAlone();
    expectCleanEnd();
}

TEST_F(StormTest, PadToggledSixTimesInOneBurstEndsClosedWithAnEmptyText) {
    // Each finishing press arrives while its opening press is still inside the
    // pad; three pads come and go. Alt+9 at the end stores the last clipboard.
    ASSERT_TRUE(app.store(9, "nine!"));
    ASSERT_TRUE(setClipboardText("before"));
    std::vector<INPUT> inputs;
    for (int i = 0; i < 6; ++i) addChord(inputs, VK_CONTROL, 'C');
    addChord(inputs, VK_MENU, '9');
    sendBurst(inputs);
    ASSERT_TRUE(waitUntil([&] { return app.text(1027) == sizeLabel(0); }, 60000))
        << app.text(1027) << describeWindows(app.pid());
    EXPECT_EQ(clipboardText().value_or("<none>"), "");
    EXPECT_TRUE(IsWindowVisible(app.main()));
    expectAliveAndAlone();
    // And the pad still opens normally afterwards.
    pressCtrl('C');
    ASSERT_TRUE(waitUntil([&] { return app.pads().size() == 1; })) << describeWindows(app.pid());
    expectCleanEnd();
}

// A held toggle acts once per press. Windows drops the repeats of a hotkey
// registered with MOD_NOREPEAT, but Wine ignores the flag: here the
// program's own guard is what passes these. Memory 9's store is the barrier:
// a hotkey is handled after every one pressed before it.
TEST_F(StormTest, HeldCtrlCOpensThePadOnceAndTheClipboardKeepsWhatWasCopied) {
    // Each repeat used to toggle: the first one finished the pad just opened,
    // with an empty text over what the user had copied.
    ASSERT_TRUE(setClipboardText("keep me"));
    const DWORD before = clipboardSequence();
    holdChord(VK_CONTROL, 'C', 4);
    pressAlt('9');
    ASSERT_TRUE(waitUntil([&] { return !app.text(1027).empty(); })) << describeWindows(app.pid());
    EXPECT_EQ(app.text(1027), sizeLabel(7));
    EXPECT_EQ(clipboardSequence(), before) << "the clipboard was written";
    EXPECT_EQ(clipboardText().value_or("<none>"), "keep me");
    ASSERT_EQ(app.pads().size(), 1u) << describeWindows(app.pid());
    HWND pad = app.pad();
    // The next press, however soon after the release, finishes it.
    DWORD_PTR r = 0;
    ASSERT_TRUE(SendMessageTimeoutW(GetDlgItem(pad, 1001), WM_SETTEXT, 0,
                                    reinterpret_cast<LPARAM>(L"typed in the pad"), SMTO_ABORTIFHUNG, 5000, &r));
    pressCtrl('C');
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(pad); })) << describeWindows(app.pid());
    EXPECT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), "typed in the pad");
    expectAliveAndAlone();
    expectCleanEnd();
}

// Three repeats: a toggle at each would leave the table shown.
TEST_F(StormTest, HeldAltVHidesTheTableOnce) {
    ASSERT_TRUE(setClipboardText("barrier"));
    holdChord(VK_MENU, 'V', 3);
    pressAlt('9');
    ASSERT_TRUE(waitUntil([&] { return !app.text(1027).empty(); })) << describeWindows(app.pid());
    EXPECT_FALSE(IsWindowVisible(app.main()));
    pressAlt('V');
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
    expectAliveAndAlone();
    expectCleanEnd();
}

TEST_F(StormTest, HeldRecallOfAnEmptyMemoryNestsBoxesUpToTheLimitOnly) {
    // Every repeat is a hotkey of its own; each finds memory 5 empty and opens
    // its box inside the one before, until the nesting limit.
    const size_t below = 12, limit = 16;
    ASSERT_TRUE(setClipboardText("untouched"));
    const DWORD before = clipboardSequence();
    sendBurst(heldDown(VK_CONTROL, '5', static_cast<int>(below)));
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == below; })) << app.boxes().size();

    // Then held for 10 s (QB_HOLD_SECONDS for a longer hold), repeating at a
    // keyboard's rate (about 30 a second).
    const ULONGLONG holdMs = 1000 * environmentNumber("QB_HOLD_SECONDS", 10);
    size_t most = 0;
    int repeats = 0;
    const ULONGLONG started = GetTickCount64();
    for (ULONGLONG now = started; now < started + holdMs; now = GetTickCount64()) {
        const ULONGLONG next = started + 33ull * ++repeats;
        // Wine takes the modifiers' state from X again whenever a box gets
        // the focus, and X never saw the injected Ctrl: so Ctrl goes down
        // again with each repeat, as a held key's state stays down.
        sendBurst({key(VK_CONTROL, false), key('5', false)});
        most = std::max(most, app.boxes().size());
        DWORD_PTR r = 0;
        ASSERT_TRUE(SendMessageTimeoutW(app.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r))
            << "no answer after " << repeats << " repeats";
        // The key's repeat rate, not a wait for the program.
        waitUntil([&] { return GetTickCount64() >= next; }, 100);
    }
    sendBurst({key('5', true), key(VK_CONTROL, true)});
    printf("[held key] %d repeats in %llu s, at most %zu boxes at once\n", repeats, holdMs / 1000,
           most);
    EXPECT_GT(repeats, static_cast<int>(holdMs / 50));
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == limit; })) << app.boxes().size();
    EXPECT_EQ(clipboardSequence(), before);
    // Still answering underneath all of them, and no box more than the limit.
    ASSERT_TRUE(app.store(3, "abc")) << app.text(1030);
    most = std::max(most, app.boxes().size());
    EXPECT_EQ(most, limit);
    for (HWND b : app.boxes()) EXPECT_EQ(messageBoxText(b), "Memory #5#\r\nempty ..");
    for (HWND b : app.boxes()) dismissMessageBox(b);
    // Wine takes about 2 s to take down each captioned window.
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }, 5000 * limit));
    expectAliveAndAlone();
    expectCleanEnd();
}

// ---- hotkeys and clicks while a box or the pad is open ----------------------

class NestedTest : public StormTest {
protected:
    HWND otherBox(HWND known) {
        for (HWND b : app.boxes())
            if (b != known) return b;
        return nullptr;
    }
    std::vector<HWND> visibleWindows() {
        std::vector<HWND> out;
        for (HWND w : topLevelWindows(app.pid()))
            if (IsWindowVisible(w)) out.push_back(w);
        return out;
    }
};

TEST_F(NestedTest, AltEscInsideTheHelpEndsOnceTheHelpIsDismissed) {
    pressAlt('H');
    HWND help = waitForMessageBox(app.pid());
    ASSERT_NE(help, nullptr) << describeWindows(app.pid());
    pressAlt(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == 2; })) << describeWindows(app.pid());
    HWND farewell = otherBox(help);
    ASSERT_NE(farewell, nullptr);
    EXPECT_EQ(messageBoxText(farewell), "See you soon ...");
    EXPECT_EQ(messageBoxCaption(farewell), "Programmer");

    // The farewell ends the main window and frees the hotkeys at once; the
    // help box, further down the same call, is all that is left.
    dismissMessageBox(farewell);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(app.main()); })) << describeWindows(app.pid());
    EXPECT_EQ(combinationsHeldElsewhere(), std::vector<std::string>{});
    EXPECT_TRUE(app.process().running());
    EXPECT_EQ(visibleWindows(), std::vector<HWND>{help}) << describeWindows(app.pid());

    dismissMessageBox(help);
    std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value()) << "still running:" << describeWindows(app.pid());
    EXPECT_EQ(*code, 0u);
}

TEST_F(NestedTest, SecondAltEscInsideTheFarewellEndsOnceWithCodeZero) {
    pressAlt(VK_ESCAPE);
    HWND outer = waitForMessageBox(app.pid());
    ASSERT_NE(outer, nullptr);
    pressAlt(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == 2; })) << describeWindows(app.pid());
    HWND inner = otherBox(outer);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(messageBoxText(inner), "See you soon ...");
    dismissMessageBox(inner);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(app.main()); }));
    EXPECT_EQ(combinationsHeldElsewhere(), std::vector<std::string>{});
    EXPECT_EQ(visibleWindows(), std::vector<HWND>{outer}) << describeWindows(app.pid());
    // The outer farewell then ends a window that is already gone.
    dismissMessageBox(outer);
    std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value()) << "still running:" << describeWindows(app.pid());
    EXPECT_EQ(*code, 0u);
}

TEST_F(NestedTest, PadFinishedWhileTheHelpCoversIt) {
    pressCtrl('C');
    HWND pad = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        pad = app.pad();
        return pad && IsWindowVisible(pad);
    }));
    typeText(L"under the help");
    ASSERT_TRUE(waitUntil([&] { return windowTextAnsi(GetDlgItem(pad, 1001)) == "under the help"; }));
    pressAlt('H');
    HWND help = waitForMessageBox(app.pid());
    ASSERT_NE(help, nullptr) << describeWindows(app.pid());
    EXPECT_FALSE(IsWindowEnabled(pad));  // the help is task-modal

    const DWORD before = clipboardSequence();
    pressCtrl('C');
    ASSERT_TRUE(waitClipboardChange(before));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(pad); }));
    EXPECT_EQ(clipboardText().value_or("<none>"), "under the help");
    EXPECT_TRUE(IsWindow(help));
    EXPECT_FALSE(IsWindowVisible(app.main()));

    dismissMessageBox(help);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
    EXPECT_TRUE(IsWindowEnabled(app.main()));
    // The pad counts as finished: the next Ctrl+C opens a new one.
    pressCtrl('C');
    ASSERT_TRUE(waitUntil([&] { return app.pads().size() == 1; })) << describeWindows(app.pid());
    expectCleanEnd();
}

TEST_F(NestedTest, TagClickWhileAnErrorBoxIsOpenEmptiesTheMemory) {
    ASSERT_TRUE(app.store(3, "abc"));
    pressCtrl('5');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr);
    const POINT spot = centreOf(app.control(1006));  // "#3#"
    ASSERT_EQ(WindowFromPoint(spot), app.control(1006)) << "the box covers the tag";
    clickAt(spot);
    ASSERT_TRUE(waitUntil([&] { return app.text(1030) == " 0 bytes"; })) << app.text(1030);
    EXPECT_EQ(app.text(1017), "");
    EXPECT_TRUE(IsWindow(box));
    EXPECT_EQ(app.boxes().size(), 1u);
    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    expectAliveAndAlone();
    expectCleanEnd();
}

// ---- a clipboard rewritten without pause by another program -----------------

namespace {

// A thread of the driver that puts `a` and `b` on the clipboard in turn, as
// fast as it can, until it is destroyed.
class ClipboardHammer {
public:
    ClipboardHammer(std::string a, std::string b) : texts_{std::move(a), std::move(b)} {
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &ClipboardHammer::run, this, 0, nullptr);
    }
    ~ClipboardHammer() {
        SetEvent(stop_);
        if (thread_) {
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
        CloseHandle(stop_);
    }
    LONG writes() const { return writes_; }

private:
    static DWORD WINAPI run(void* param) {
        auto* self = static_cast<ClipboardHammer*>(param);
        HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        for (unsigned i = 0; WaitForSingleObject(self->stop_, 0) == WAIT_TIMEOUT; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            const std::string& text = self->texts_[i % 2];
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
            char* p = static_cast<char*>(GlobalLock(h));
            memcpy(p, text.c_str(), text.size() + 1);
            GlobalUnlock(h);
            if (!OpenClipboard(window)) {
                GlobalFree(h);
                continue;
            }
            EmptyClipboard();
            if (!SetClipboardData(CF_TEXT, h)) GlobalFree(h);
            CloseClipboard();
            InterlockedIncrement(&self->writes_);
        }
        DestroyWindow(window);
        return 0;
    }

    std::string texts_[2];
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    volatile LONG writes_ = 0;
};

}  // namespace

TEST_F(StormTest, StoresRacingAnotherWriterTakeWholeTextsOrNothing) {
    const std::string a(1000, 'a'), b(3000, 'b');
    ASSERT_TRUE(app.store(9, "nine!"));
    std::vector<INPUT> inputs;
    for (int i = 0; i < 200; ++i) addChord(inputs, VK_MENU, digitKey(1 + i % 8));
    addChord(inputs, VK_MENU, '9');  // last: once memory 9 changes, all are done
    {
        ClipboardHammer hammer(a, b);
        ASSERT_TRUE(waitUntil([&] { return hammer.writes() > 20; }));
        sendBurst(inputs);
        ASSERT_TRUE(waitUntil([&] { return app.text(1027) != sizeLabel(5); }, 60000));
        EXPECT_GT(hammer.writes(), 50);
    }
    int whole = 0;
    for (int d = 1; d <= 9; ++d) {
        const std::string text = app.text(rowOf(d).contents);
        EXPECT_TRUE(text.empty() || text == a || text == b) << "memory " << d << ": " << text.size()
                                                            << " bytes";
        EXPECT_EQ(app.text(rowOf(d).size), sizeLabel(text.size())) << d;
        whole += !text.empty();
    }
    RecordProperty("memories_with_a_whole_text", whole);
    expectAliveAndAlone();
    expectCleanEnd();
}
