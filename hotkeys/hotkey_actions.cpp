#include "hotkeys/hotkey_actions.h"

#include <cstring>

#include "app/dialog_engine.h"
#include "app/text_convert.h"
#include "clipboard/clipboard_text.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/repeat_guard.h"
#include "ui/clipboard_pad.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"

int32_t mainWindowVisible;
int32_t padOpen;
int32_t restoreAfterHelp;
char padTextBuffer[PAD_TEXT_CAPACITY];

namespace {

// Every box these actions open runs its modal loop a level deeper on the one
// thread's stack, and a held key's auto-repeat opens one per repeat. Past this
// depth a box-opening press only beeps.
constexpr int MESSAGE_BOX_DEPTH_MAX = 16;
int messageBoxDepth;

// Once a pad or box opened by a hotkey is gone, the user goes on where they
// were; a window that has gone or hidden meanwhile is left to the platform.
void giveForegroundBack(HWND previous) {
    if (previous && IsWindow(previous) && IsWindowVisible(previous))
        SetForegroundWindow(previous);
}

// Runs `show`, which opens a box, one level deeper, or only beeps at the
// limit; then the foreground goes back to where the user was.
template <typename Show>
void showNestedBox(Show show) {
    if (messageBoxDepth >= MESSAGE_BOX_DEPTH_MAX) {
        MessageBeep(MB_OK);
        return;
    }
    HWND previous = GetForegroundWindow();
    ++messageBoxDepth;
    show();
    --messageBoxDepth;
    giveForegroundBack(previous);
}

void exitProgram(HWND mainWindow) {
    showNestedBox([&] {
        showFarewellBox();
        endDialog(mainWindow, 0);
    });
}

// Tracks the program's own hiding and showing only.
void toggleMainWindow(HWND mainWindow) {
    if (mainWindowVisible) {
        setDialogShowState(mainWindow, SW_HIDE);
        mainWindowVisible = 0;
    } else {
        setDialogShowState(mainWindow, SW_SHOW);
        mainWindowVisible = 1;
    }
}

// The main window is out of sight while the help is up. A nested Alt+H finds
// it hidden and clears restoreAfterHelp, so it then stays hidden until Alt+V.
void showHelp(HWND mainWindow) {
    // The foreground goes back after the main window is: showing it activates it.
    showNestedBox([&] {
        restoreAfterHelp = 0;
        if (mainWindowVisible) {
            mainWindowVisible = 0;
            setDialogShowState(mainWindow, SW_HIDE);
            restoreAfterHelp = 1;
        }
        showHelpBox();
        if (restoreAfterHelp) {
            mainWindowVisible = 1;
            setDialogShowState(mainWindow, SW_SHOW);
        }
    });
}

// A clipboard that cannot be read in time leaves the memory as it was:
// losing a stored text to another program's hold or hang is worse than a
// beep. The text goes into the bank's spare, which becomes memory d's only
// when the read succeeds: a read given up on writes there alone.
void setMemory(int d) {
    SpareText spare = spareText(memoryBank);
    if (!spare.bytes) return;
    // One byte and one unit more than a memory keeps: enough to tell a text
    // that is cut from one that fits, and a huge clipboard text costs no
    // copy of itself.
    std::optional<ClipboardText> text =
        readClipboardText(spare.bytes, MEMORY_CAPACITY, spare.units, MEMORY_CAPACITY);
    if (!text) {
        MessageBeep(MB_OK);
        return;
    }
    storeSpare(memoryBank, d, text->byteCount, text->unitCount, clipboardLocale(text->locale),
               systemLocale(), encodeAnsi, decodeAnsi);
    refreshMemoryRow(d);
}

void getMemory(int d) {
    if (!isMemoryEmpty(memoryBank, d)) {
        // Otherwise the user would paste whatever was there before. The
        // bytes go with their locale, and the Unicode form says what the
        // table shows, whatever keyboard is active at the paste.
        std::string_view bytes(memoryText(memoryBank, d), memorySize(memoryBank, d));
        if (!writeClipboardText(bytes, memoryUnicodeText(memoryBank, d),
                                memoryLocale(memoryBank, d).lcid))
            MessageBeep(MB_OK);
        return;
    }
    showNestedBox([d] { showEmptyMemoryBox(d); });
}

// The finishing press normally arrives while the opening press is still
// inside the pad's modal loop. A pad that is gone (closed by the system, or
// never created) has nothing to finish: the press opens a new one instead of
// wiping the clipboard with an empty text.
void toggleClipboardPad() {
    if (!padOpen || !IsWindow(padWindow)) {
        padOpen = 1;
        HWND previous = GetForegroundWindow();
        openClipboardPad();
        giveForegroundBack(previous);
        return;
    }
    // The box may hold more than the buffer when another program set its
    // text; only what the buffer keeps is read. The exact text goes beside
    // its form in the system's code page, tagged with the system's locale
    // rather than the keyboard's.
    std::wstring units = getControlTextW(padWindow, IDC_PAD_TEXT, PAD_TEXT_CAPACITY - 1);
    std::string text = wideToAnsi(units.c_str(), static_cast<int>(units.size()));
    size_t n = text.find('\0');
    if (n == std::string::npos) n = text.size();
    if (n > PAD_TEXT_CAPACITY - 1) n = PAD_TEXT_CAPACITY - 1;
    std::memcpy(padTextBuffer, text.data(), n);
    padTextBuffer[n] = '\0';
    // The pad goes only once its text is safe on the clipboard; otherwise it
    // stays with the text for the next Ctrl+C.
    if (!writeClipboardText(std::string_view(padTextBuffer, n),
                            std::u16string_view(asUnits(units.c_str()), units.size()),
                            systemLocale().lcid)) {
        MessageBeep(MB_OK);
        return;
    }
    endDialog(padWindow, 0);
    padOpen = 0;
}

}  // namespace

void dispatchHotkey(HWND mainWindow, WPARAM wParam) {
    const HotkeyEntry* row = findHotkey(wParam);
    if (!row) return;
    // Before the action: it may take the focus or hide the window, and run a
    // modal loop that returns only when the pad closes.
    if (actsOncePerPress(row->action)) dropRepeatsWhileHeld(row->virtualKey);
    switch (row->action) {
        case HotkeyAction::Exit: exitProgram(mainWindow); break;
        case HotkeyAction::TogglePad: toggleClipboardPad(); break;
        case HotkeyAction::ToggleWindow: toggleMainWindow(mainWindow); break;
        case HotkeyAction::Help: showHelp(mainWindow); break;
        case HotkeyAction::SetMemory: setMemory(row->digit); break;
        case HotkeyAction::GetMemory: getMemory(row->digit); break;
    }
}
