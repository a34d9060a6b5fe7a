#pragma once
#include <windows.h>

// Rows in table order: a fresh atom named by the local time, then the hotkey.
// A combination held elsewhere leaves its row silently inactive.
void registerHotkeys(HWND window);
// Rows in table order: UnregisterHotKey, then GlobalDeleteAtom.
void releaseHotkeys(HWND window);
// releaseHotkeys for the window last registered, if its hotkeys are still
// held: for an exit that bypasses the window's destruction. Allocates nothing.
void releaseHotkeysOnExit();
