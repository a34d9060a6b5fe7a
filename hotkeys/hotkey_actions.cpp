#include "hotkeys/hotkey_actions.h"

#include <cstring>

#include "app/dialog_engine.h"
#include "clipboard/clipboard_text.h"
#include "hotkeys/hotkey_table.h"
#include "ui/clipboard_pad.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"

int32_t mainWindowVisible;
int32_t padOpen;
int32_t restoreAfterHelp;
char padTextBuffer[PAD_TEXT_CAPACITY];

namespace {

void exitProgram(HWND mainWindow) {
    showFarewellBox();
    endDialog(mainWindow, 0);
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
}

void setMemory(int d) {
    clearMemory(memoryBank, d);
    // The memory keeps at most MEMORY_TEXT_MAX bytes; a huge clipboard text
    // must not cost a copy of itself.
    std::string text = readClipboardText(MEMORY_TEXT_MAX);
    storeMemory(memoryBank, d, text);
    refreshMemoryRow(d);
}

void getMemory(int d) {
    if (!isMemoryEmpty(memoryBank, d))
        writeClipboardText(memoryText(memoryBank, d));
    else
        showEmptyMemoryBox(d);
}

// The finishing press normally arrives while the opening press is still
// inside the pad's modal loop.
void toggleClipboardPad() {
    if (!padOpen) {
        padOpen = 1;
        openClipboardPad();
        return;
    }
    std::string text = getControlText(padWindow, IDC_PAD_TEXT);
    size_t n = text.find('\0');
    if (n == std::string::npos) n = text.size();
    if (n > PAD_TEXT_CAPACITY - 1) n = PAD_TEXT_CAPACITY - 1;
    std::memcpy(padTextBuffer, text.data(), n);
    padTextBuffer[n] = '\0';
    endDialog(padWindow, 0);
    writeClipboardText(padTextBuffer);
    padOpen = 0;
}

}  // namespace

void dispatchHotkey(HWND mainWindow, WPARAM wParam) {
    const HotkeyEntry* row = findHotkey(wParam);
    if (!row) return;
    switch (row->action) {
        case HotkeyAction::Exit: exitProgram(mainWindow); break;
        case HotkeyAction::TogglePad: toggleClipboardPad(); break;
        case HotkeyAction::ToggleWindow: toggleMainWindow(mainWindow); break;
        case HotkeyAction::Help: showHelp(mainWindow); break;
        case HotkeyAction::SetMemory: setMemory(row->digit); break;
        case HotkeyAction::GetMemory: getMemory(row->digit); break;
    }
}
