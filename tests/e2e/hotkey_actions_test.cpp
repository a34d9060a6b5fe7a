// The hotkeys that store and recall memories, hide and show the window and
// show the help, pressed through SendInput as a user would.
#include <gtest/gtest.h>

#include "support/app.h"
#include "ui/message_texts.h"

using namespace e2e;

// ---- storing -------------------------------------------------------------

class StoreTest : public AppTest {};

TEST_F(StoreTest, AltThreeTakesShortTextWithoutMovingTheBars) {
    ASSERT_TRUE(setClipboardText("abc"));
    pressAlt('3');
    ASSERT_TRUE(waitUntil([&] { return app.text(1030) == " 3 bytes"; })) << app.text(1030);
    EXPECT_EQ(app.text(1017), "abc");
    EXPECT_EQ(app.pos(1128), 0);
    EXPECT_EQ(app.pos(kFillTotal), 0);
    // The other rows were never refreshed.
    for (const RowIds& row : kRows) {
        if (row.digit == 3) continue;
        EXPECT_EQ(app.text(row.contents), "") << row.digit;
        EXPECT_EQ(app.text(row.size), "") << row.digit;
    }
    EXPECT_TRUE(app.boxes().empty());
}

TEST_F(StoreTest, SixHundredFiftySixBytesFillOnePercent) {
    const std::string text = pattern(656);
    ASSERT_TRUE(app.store(3, text)) << app.text(1030);
    EXPECT_EQ(app.text(1017), text);
    EXPECT_EQ(app.pos(1128), 1);
    EXPECT_EQ(app.pos(kFillTotal), 0);  // 1 div 10

    ASSERT_TRUE(app.store(3, pattern(655, 'C'))) << app.text(1030);
    EXPECT_EQ(app.pos(1128), 0);
}

TEST_F(StoreTest, OverlongTextIsCutTo65535BytesAndRecalledSo) {
    const std::string text = pattern(70000);
    ASSERT_TRUE(setClipboardText(text));
    pressAlt('4');
    ASSERT_TRUE(waitUntil([&] { return app.text(1031) == " 65535 bytes"; })) << app.text(1031);
    EXPECT_EQ(app.text(1018), text.substr(0, 65535));
    EXPECT_EQ(app.pos(1129), 99);
    EXPECT_EQ(app.pos(kFillTotal), 9);

    ASSERT_TRUE(setClipboardText("something else"));
    const DWORD before = clipboardSequence();
    pressCtrl('4');
    ASSERT_TRUE(waitClipboardChange(before));
    std::optional<std::string> recalled = clipboardText();
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->size(), 65535u);
    EXPECT_TRUE(*recalled == text.substr(0, 65535));
    EXPECT_TRUE(app.boxes().empty());
}

TEST_F(StoreTest, EveryDigitLandsInItsOwnRow) {
    // Memory d gets 656 x (d + 1) bytes: its bar shows d + 1 percent.
    int sum = 0;
    for (int d : {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}) {
        SCOPED_TRACE("Alt+" + std::to_string(d));
        const RowIds& row = rowOf(d);
        const std::string text = std::to_string(d) + pattern(656 * (d + 1) - 1);
        ASSERT_TRUE(app.store(d, text)) << app.text(row.size);
        sum += d + 1;
        EXPECT_EQ(app.text(row.contents), text);
        EXPECT_EQ(app.pos(row.fill), d + 1);
        EXPECT_EQ(app.pos(kFillTotal), sum / 10);
    }
    // Row 9's size label is 1027, row 10's is 1036; the tenth row is memory 0.
    EXPECT_EQ(app.text(1027), sizeLabel(656 * 10));
    EXPECT_EQ(app.text(1036), sizeLabel(656 * 1));
    EXPECT_EQ(app.text(1024).substr(0, 1), "0");
    EXPECT_EQ(app.pos(1135), 1);
    EXPECT_EQ(app.pos(kFillTotal), 55 / 10);
}

TEST_F(StoreTest, ClipboardWithoutTextEmptiesTheMemory) {
    ASSERT_TRUE(app.store(3, "abc"));
    ASSERT_TRUE(emptyClipboard());
    pressAlt('3');
    ASSERT_TRUE(waitUntil([&] { return app.text(1030) == " 0 bytes"; })) << app.text(1030);
    EXPECT_EQ(app.text(1017), "");

    ASSERT_TRUE(app.store(3, "abcd"));
    ASSERT_TRUE(setClipboardBitmapOnly());
    pressAlt('3');
    ASSERT_TRUE(waitUntil([&] { return app.text(1030) == " 0 bytes"; })) << app.text(1030);
    EXPECT_EQ(app.text(1017), "");
    EXPECT_EQ(app.pos(1128), 0);
    EXPECT_TRUE(app.boxes().empty());
}

TEST_F(StoreTest, ClipboardHeldOpenElsewhereIsWaitedForAndNeverWipesTheMemory) {
    ASSERT_TRUE(app.store(4, "held"));
    ASSERT_TRUE(app.store(3, "barrier"));
    ASSERT_TRUE(setClipboardText("held!"));
    {
        // Held for longer than the program waits: memory 4 stays as it was.
        ClipboardHolder holder;
        ASSERT_TRUE(holder.holding());
        pressAlt('4');
        ASSERT_TRUE(app.emptyByClick(3));
    }
    EXPECT_EQ(app.text(1018), "held");
    EXPECT_EQ(app.text(1031), " 4 bytes");
    EXPECT_TRUE(app.boxes().empty());

    // Held for a moment only: the program waits it out and stores.
    ClipboardHolder holder(80);
    ASSERT_TRUE(holder.holding());
    pressAlt('4');
    ASSERT_TRUE(waitUntil([&] { return app.text(1031) == " 5 bytes"; })) << app.text(1031);
    EXPECT_EQ(app.text(1018), "held!");
}

TEST_F(StoreTest, ShorterTextReplacesLongerOneCompletely) {
    ASSERT_TRUE(app.store(2, "a long first text"));
    ASSERT_TRUE(app.store(2, "short"));
    EXPECT_EQ(app.text(1016), "short");
    ASSERT_TRUE(setClipboardText("x"));
    DWORD before = clipboardSequence();
    pressCtrl('2');
    ASSERT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), "short");
}

// ---- recalling -----------------------------------------------------------

class RecallTest : public AppTest {};

TEST_F(RecallTest, EmptyMemoryShowsUserErrorAndLeavesTheClipboard) {
    ASSERT_TRUE(setClipboardText("keep me"));
    for (int d : {5, 0, 9}) {
        SCOPED_TRACE("Ctrl+" + std::to_string(d));
        const DWORD before = clipboardSequence();
        pressCtrl(digitKey(d));
        HWND box = waitForMessageBox(app.pid());
        ASSERT_NE(box, nullptr) << describeWindows(app.pid());
        EXPECT_EQ(messageBoxCaption(box), "User Error");
        EXPECT_EQ(messageBoxText(box), "Memory #" + std::to_string(d) + "#\r\nempty ..");
        EXPECT_EQ(app.boxes().size(), 1u);
        EXPECT_EQ(clipboardSequence(), before);
        EXPECT_TRUE(IsWindowVisible(app.main()));
        EXPECT_TRUE(IsWindowEnabled(app.main()));  // no owner: nothing disabled
        dismissMessageBox(box);
        ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
        EXPECT_EQ(clipboardSequence(), before);
    }
    EXPECT_EQ(clipboardText().value_or("<none>"), "keep me");
    EXPECT_EQ(app.text(1019), "");  // the row was not touched
}

TEST_F(RecallTest, SingleBlankIsRecalledWithoutABox) {
    ASSERT_TRUE(app.store(6, " "));
    ASSERT_TRUE(setClipboardBitmapOnly());
    const DWORD before = clipboardSequence();
    pressCtrl('6');
    ASSERT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), " ");
    // The recall replaced every format, the bitmap included.
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_TRUE(app.boxes().empty());
    EXPECT_EQ(app.text(1033), " 1 bytes");
}

TEST_F(RecallTest, RecallOnlyWritesAndStoreOnlyReads) {
    ASSERT_TRUE(app.store(1, "one"));
    ASSERT_TRUE(app.store(0, "zero!"));
    ASSERT_TRUE(setClipboardText("other"));
    DWORD before = clipboardSequence();
    pressCtrl('0');
    ASSERT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), "zero!");
    before = clipboardSequence();
    pressCtrl('1');
    ASSERT_TRUE(waitClipboardChange(before));
    EXPECT_EQ(clipboardText().value_or("<none>"), "one");
    // Recalling changed neither the memories nor their rows.
    EXPECT_EQ(app.text(1015), "one");
    EXPECT_EQ(app.text(1024), "zero!");
    EXPECT_EQ(app.text(1036), " 5 bytes");
}

TEST_F(RecallTest, MixedScriptTextCopiedInNotepadIsPastedBackExactly) {
    printf("[exact text] %s\n", codePageReport().c_str());
    fflush(stdout);
    Notepad editor;
    ASSERT_TRUE(editor.valid()) << describeWindows(editor.pid());
    ASSERT_TRUE(editor.bringToFront());
    typeText(typedForm(kMixedScriptText));
    ASSERT_TRUE(waitUntil([&] { return editor.text() == kMixedScriptText; }))
        << sameText(kMixedScriptText, editor.text()).message();

    DWORD before = clipboardSequence();
    editor.selectAllAndCopy();
    ASSERT_TRUE(waitClipboardChange(before)) << "notepad did not copy";
    // What notepad offers: its own text, and the system's form of it in the
    // code page of the keyboard it was copied with. The text holds
    // characters which that code page and the system's lack: only the exact
    // text carries them.
    const ClipboardTexts offered = clipboardTexts();
    ASSERT_TRUE(offered.text && offered.locale);
    ASSERT_TRUE(sameText(kMixedScriptText, offered.unicode.value_or(L"<none>")));
    printf("[exact text] notepad's clipboard: locale 0x%04lX (ANSI %u)\n",
           static_cast<unsigned long>(*offered.locale), ansiCodePageOf(*offered.locale));
    ASSERT_TRUE(lacksSomeOf(kMixedScriptText, ansiCodePageOf(*offered.locale)));
    ASSERT_TRUE(lacksSomeOf(kMixedScriptText, GetACP()));
    pressAlt('2');
    ASSERT_TRUE(waitUntil([&] { return app.text(1029) == sizeLabel(offered.text->size()); })) << app.text(1029);
    EXPECT_TRUE(sameText(kMixedScriptText, windowText(app.control(1016)))) << "contents label";

    ASSERT_TRUE(setClipboardText("something else"));
    before = clipboardSequence();
    pressCtrl('2');
    ASSERT_TRUE(waitClipboardChange(before));
    const ClipboardTexts recalled = clipboardTexts();
    EXPECT_EQ(recalled.text, offered.text);
    EXPECT_TRUE(sameText(kMixedScriptText, recalled.unicode.value_or(L"<none>"))) << "CF_UNICODETEXT";
    // The bytes' own locale goes with them, whatever keyboard pastes.
    EXPECT_EQ(recalled.locale, offered.locale) << "CF_LOCALE";

    // Pasted into notepad again: the text the user copied.
    editor.clear();
    ASSERT_TRUE(waitUntil([&] { return editor.text().empty(); })) << editor.text().size() << " units left";
    pressCtrl('V');
    ASSERT_TRUE(waitUntil([&] { return !editor.text().empty(); })) << "nothing was pasted";
    EXPECT_TRUE(sameText(kMixedScriptText, editor.text())) << "pasted into notepad";
    EXPECT_TRUE(app.boxes().empty());
}

// ---- hiding and showing --------------------------------------------------

class VisibilityTest : public AppTest {};

TEST_F(VisibilityTest, AltVHidesAndShowsAndHotkeysWorkWhileHidden) {
    pressAlt('V');
    ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(app.main()); }));
    ASSERT_TRUE(app.store(2, "while hidden")) << app.text(1029);
    EXPECT_EQ(app.text(1016), "while hidden");
    EXPECT_FALSE(IsWindowVisible(app.main()));
    pressAlt('V');
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
    EXPECT_EQ(app.text(1016), "while hidden");
    EXPECT_TRUE(app.boxes().empty());
}

// ---- help ----------------------------------------------------------------

class HelpTest : public AppTest {
protected:
    // A barrier: once a later hotkey's effect shows, every earlier one is done.
    void settle(int digit, const std::string& text) {
        ASSERT_TRUE(app.store(digit, text)) << app.text(rowOf(digit).size);
    }
};

TEST_F(HelpTest, HelpHidesTheShownWindowWhileUp) {
    pressAlt('H');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr) << describeWindows(app.pid());
    EXPECT_FALSE(IsWindowVisible(app.main()));
    EXPECT_FALSE(messageBoxCaption(box).empty());

    const std::string text = messageBoxText(box);
    EXPECT_EQ(text.size(), 1211u);
    EXPECT_EQ(text.substr(0, 26), "This is the Program Help\r\n");
    ASSERT_GE(text.size(), 15u);
    EXPECT_EQ(text.substr(text.size() - 15), ". See you soon.");
    EXPECT_EQ(text, helpText());
    size_t lines = 1;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 31u);

    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
}

TEST_F(HelpTest, HelpWhileHiddenLeavesTheWindowHidden) {
    pressAlt('V');
    ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(app.main()); }));
    pressAlt('H');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr) << describeWindows(app.pid());
    EXPECT_EQ(messageBoxText(box), helpText());
    EXPECT_FALSE(IsWindowVisible(app.main()));
    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    settle(1, "after help");
    EXPECT_FALSE(IsWindowVisible(app.main()));
}

TEST_F(HelpTest, HelpInsideHelpLeavesTheWindowHiddenAfterBoth) {
    pressAlt('H');
    HWND outer = waitForMessageBox(app.pid());
    ASSERT_NE(outer, nullptr) << describeWindows(app.pid());
    pressAlt('H');
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == 2; })) << app.boxes().size();
    HWND inner = nullptr;
    for (HWND b : app.boxes())
        if (b != outer) inner = b;
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(messageBoxText(inner), helpText());
    EXPECT_FALSE(IsWindowVisible(app.main()));

    dismissMessageBox(inner);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().size() == 1; }));
    EXPECT_FALSE(IsWindowVisible(app.main()));
    dismissMessageBox(outer);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    settle(1, "after both");
    EXPECT_FALSE(IsWindowVisible(app.main()));
    // Alt+V brings it back.
    pressAlt('V');
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
}

TEST_F(HelpTest, AltVInsideHelpShowsTheWindowForGood) {
    pressAlt('H');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr) << describeWindows(app.pid());
    ASSERT_FALSE(IsWindowVisible(app.main()));
    pressAlt('V');
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
    EXPECT_TRUE(IsWindow(box));
    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
    settle(1, "after help");
    EXPECT_TRUE(IsWindowVisible(app.main()));
}

TEST_F(HelpTest, StoringWorksWhileTheHelpIsUp) {
    pressAlt('H');
    HWND box = waitForMessageBox(app.pid());
    ASSERT_NE(box, nullptr) << describeWindows(app.pid());
    settle(7, "behind the help");
    EXPECT_EQ(app.text(1021), "behind the help");
    EXPECT_TRUE(IsWindow(box));
    dismissMessageBox(box);
    ASSERT_TRUE(waitUntil([&] { return app.boxes().empty(); }));
}
