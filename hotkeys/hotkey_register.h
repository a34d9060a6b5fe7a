#pragma once
#include <windows.h>

// Rows in table order: a fresh atom named by the local time, then the hotkey.
// A combination held elsewhere leaves its row silently inactive.
void registerHotkeys(HWND window);
// Rows in table order: UnregisterHotKey, then GlobalDeleteAtom.
void releaseHotkeys(HWND window);
