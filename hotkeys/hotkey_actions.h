#pragma once
#include <windows.h>

#include <cstdint>

// Module-level state of the hotkey actions.
extern int32_t mainWindowVisible;
extern int32_t padOpen;
extern int32_t restoreAfterHelp;
constexpr size_t PAD_TEXT_CAPACITY = 32768;
extern char padTextBuffer[PAD_TEXT_CAPACITY];

// The WM_HOTKEY case of the main window: runs the action of the row whose id
// equals wParam; an unknown id is ignored.
void dispatchHotkey(HWND mainWindow, WPARAM wParam);
