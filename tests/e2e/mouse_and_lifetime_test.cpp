// Mouse clicks on the main window, stray messages, the end of the program and
// its hotkeys when another program (or a second copy) holds some of them.
#include <gtest/gtest.h>

#include "support/app.h"

using namespace e2e;

namespace {

struct RowState {
    std::string contents, size;
    int fill;
};

RowState rowState(const App& app, int digit) {
    const RowIds& row = rowOf(digit);
    return {app.text(row.contents), app.text(row.size), app.pos(row.fill)};
}

void expectRow(const App& app, int digit, const RowState& want) {
    RowState now = rowState(app, digit);
    EXPECT_EQ(now.contents, want.contents) << "memory " << digit;
    EXPECT_EQ(now.size, want.size) << "memory " << digit;
    EXPECT_EQ(now.fill, want.fill) << "memory " << digit;
}

// Its own text: the paint check before the screenshot samples pixels at the
// labels' left edge, and this text leaves them clear.
std::string letters(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

}  // namespace

// ---- mouse ---------------------------------------------------------------

class MouseTest : public AppTest {};

TEST_F(MouseTest, ClickOnATagEmptiesThatMemory) {
    const std::string big = letters(64881);  // 99 percent
    ASSERT_TRUE(app.store(3, big));
    ASSERT_TRUE(app.store(9, "nine"));
    ASSERT_EQ(app.pos(kFillTotal), 9);

    clickAt(centreOf(app.control(1006)));  // "#3#"
    ASSERT_TRUE(waitUntil([&] { return app.text(1030) == " 0 bytes"; })) << app.text(1030);
    EXPECT_EQ(app.text(1017), "");
    EXPECT_EQ(app.pos(1128), 0);
    EXPECT_EQ(app.pos(kFillTotal), 0);
    expectRow(app, 9, {"nine", " 4 bytes", 0});

    // "#9#" refreshes 1027; the tag of a never-used memory still refreshes its row.
    clickAt(centreOf(app.control(1012)));
    ASSERT_TRUE(waitUntil([&] { return app.text(1027) == " 0 bytes"; })) << app.text(1027);
    EXPECT_EQ(app.text(1023), "");
    clickAt(centreOf(app.control(1013)));  // "#0#"
    ASSERT_TRUE(waitUntil([&] { return app.text(1036) == " 0 bytes"; })) << app.text(1036);
    EXPECT_EQ(app.text(1024), "");
    EXPECT_EQ(app.pos(1135), 0);
    EXPECT_TRUE(app.boxes().empty());
    EXPECT_TRUE(IsWindowVisible(app.main()));
}

TEST_F(MouseTest, ClicksElsewhereChangeNothing) {
    const std::string big = letters(64881);
    ASSERT_TRUE(app.store(1, big));
    ASSERT_TRUE(app.store(2, "two"));
    const RowState one = rowState(app, 1), two = rowState(app, 2);
    ASSERT_EQ(one.fill, 99);

    // Headers, cells, bars and the help hint.
    for (int id : {1001, 1003, 1037, 1137, 1015, 1016, 1028, 1029, 1126, 1127, kFillTotal})
        clickAt(centreOf(app.control(id)));
    {
        // The help hint pokes out of the client area; click its visible part.
        RECT hint = windowRect(app.control(2000));
        clickAt({hint.left + 10, (hint.top + hint.bottom) / 2});
    }
    // A click on the tag of memory 5 comes after them: once its row shows the
    // refresh, the clicks before it have been handled.
    clickAt(centreOf(app.control(1008)));
    ASSERT_TRUE(waitUntil([&] { return app.text(1032) == " 0 bytes"; })) << app.text(1032);

    expectRow(app, 1, one);
    expectRow(app, 2, two);
    EXPECT_EQ(app.pos(kFillTotal), 9);
    EXPECT_TRUE(app.boxes().empty());
    EXPECT_TRUE(app.pads().empty());
}

TEST_F(MouseTest, UnknownHotkeyIdIsIgnored) {
    ASSERT_TRUE(app.store(1, "keep"));
    ASSERT_TRUE(setClipboardText("clip"));
    const DWORD before = clipboardSequence();
    // Ids outside the atom range, and an atom of our own: while we hold it,
    // none of the program's atoms can have its value.
    const ATOM ours = GlobalAddAtomW(L"quillbank e2e: an id of no hotkey");
    ASSERT_NE(ours, 0);
    for (WPARAM id : {WPARAM{0}, WPARAM{1}, WPARAM{0x1234}, WPARAM{0xBFFF}, WPARAM{ours}})
        ASSERT_TRUE(PostMessageW(app.main(), WM_HOTKEY, id, MAKELPARAM(MOD_ALT, '1')));
    // A real hotkey behind them: when it has acted, they have been handled.
    pressAlt('2');
    ASSERT_TRUE(waitUntil([&] { return app.text(1029) == " 4 bytes"; })) << app.text(1029);
    EXPECT_EQ(app.text(1016), "clip");
    expectRow(app, 1, {"keep", " 4 bytes", 0});
    EXPECT_EQ(clipboardSequence(), before);
    EXPECT_TRUE(IsWindowVisible(app.main()));
    EXPECT_TRUE(app.boxes().empty());
    EXPECT_TRUE(app.pads().empty());
    EXPECT_TRUE(app.process().running());
    GlobalDeleteAtom(ours);
}

TEST_F(MouseTest, ScreenshotWithSomeMemories) {
    ASSERT_TRUE(app.store(1, "Hello from the clipboard"));
    ASSERT_TRUE(app.store(2, letters(20000)));
    ASSERT_TRUE(app.store(4, "second line follows\r\nhere"));
    ASSERT_TRUE(app.store(0, letters(65535)));
    ASSERT_TRUE(app.waitPainted());
    Image shot = captureScreen(windowRect(app.main()));
    ASSERT_GT(shot.width, 0);
    const std::wstring dir = screenshotDir();
    if (!dir.empty()) {
        EXPECT_TRUE(saveBmp(shot, dir + L"\\quillbank-memories.bmp"));
    }
}

// ---- the end -------------------------------------------------------------

TEST(Lifetime, AltEscSaysGoodbyeThenEndsWithCodeZeroAndFreesTheHotkeys) {
    App app;
    ASSERT_TRUE(app.start());
    pressAlt(VK_ESCAPE);
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxCaption(box), "Programmer");
    EXPECT_EQ(messageBoxText(box), "See you soon ...");
    // The main window goes only after the box.
    EXPECT_TRUE(IsWindow(app.main()));
    EXPECT_EQ(combinationsHeldElsewhere().size(), 24u);
    dismissMessageBox(box);
    std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(combinationsHeldElsewhere(), std::vector<std::string>{});
}

TEST(Lifetime, AltEscWhileHiddenStillSaysGoodbye) {
    App app;
    ASSERT_TRUE(app.start());
    pressAlt('V');
    ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(app.main()); }));
    pressAlt(VK_ESCAPE);
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), "See you soon ...");
    dismissMessageBox(box);
    std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(Lifetime, OneCombinationHeldByAnotherProgramLeavesTheOthersWorking) {
    // The driver takes Alt+5 before the program starts.
    struct HeldHotkey {
        int id = 0x2F05;
        bool held = RegisterHotKey(driverWindow(), id, MOD_ALT, '5') != FALSE;
        ~HeldHotkey() {
            if (held) UnregisterHotKey(driverWindow(), id);
        }
    } alt5;
    ASSERT_TRUE(alt5.held);
    const int ourId = alt5.id;
    takeDriverHotkeys();
    {
        App app;
        ASSERT_TRUE(app.start());
        // Alt+5 stays ours and the other 23 belong to the program now: the
        // driver can take none of the 24.
        std::vector<std::string> held = combinationsHeldElsewhere();
        EXPECT_EQ(held.size(), 24u) << ::testing::PrintToString(held);

        ASSERT_TRUE(app.store(3, "three")) << app.text(1030);
        pressAlt('5');
        EXPECT_TRUE(waitUntil([&] {
            std::vector<WPARAM> got = takeDriverHotkeys();
            return got.size() == 1 && got[0] == static_cast<WPARAM>(ourId);
        })) << "Alt+5 did not come to the driver";
        ASSERT_TRUE(app.store(4, "four")) << app.text(1031);  // after Alt+5: a barrier
        EXPECT_EQ(app.text(1032), "");  // memory 5 untouched
        EXPECT_TRUE(app.boxes().empty());

        ASSERT_TRUE(setClipboardText("x"));
        const DWORD before = clipboardSequence();
        pressCtrl('3');
        ASSERT_TRUE(waitClipboardChange(before));
        EXPECT_EQ(clipboardText().value_or("<none>"), "three");
        std::optional<DWORD> code = app.shutdown();
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0u);
    }
}

TEST(Lifetime, SecondCopyStartsQuietlyAndOnlyTheFirstReacts) {
    App first;
    ASSERT_TRUE(first.start());
    App second;
    ASSERT_TRUE(second.start());
    ASSERT_NE(first.main(), second.main());

    ASSERT_TRUE(first.store(3, "to the first")) << first.text(1030);
    EXPECT_EQ(second.text(1017), "");
    EXPECT_EQ(second.text(1030), "");
    EXPECT_TRUE(first.boxes().empty());
    EXPECT_TRUE(second.boxes().empty());

    // The second copy got none of the combinations: with the first gone, all
    // 24 are free although the second still runs.
    std::optional<DWORD> code = first.shutdown();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
    ASSERT_TRUE(second.process().running());
    EXPECT_EQ(combinationsHeldElsewhere(), std::vector<std::string>{});
    EXPECT_TRUE(second.boxes().empty());
    code = second.shutdown();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(Lifetime, AltEscWithThePadOpenEndsThePadAndTheProgram) {
    // Exiting must not leave a pad behind with no main window and no hotkeys:
    // the pad ends with the main window, and its text goes nowhere.
    App app;
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(setClipboardText("before"));
    pressCtrl('C');
    HWND pad = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        pad = app.pad();
        return pad && IsWindowVisible(pad);
    }));
    const DWORD before = clipboardSequence();
    pressAlt(VK_ESCAPE);
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), "See you soon ...");
    dismissMessageBox(box);
    std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value()) << "still running: the pad kept the program alive";
    EXPECT_EQ(*code, 0u);
    EXPECT_FALSE(IsWindow(pad));
    EXPECT_EQ(combinationsHeldElsewhere(), std::vector<std::string>{});
    EXPECT_EQ(clipboardSequence(), before);
    EXPECT_EQ(clipboardText(), std::optional<std::string>("before"));
}
