#pragma once
#include <windows.h>

using RegisterHotKeyFunction = BOOL(WINAPI*)(HWND, int, UINT, UINT);

// Rows in table order: a fresh atom named by the local time, then the hotkey
// (through `registerHotKey`, which the tests replace). A combination held
// elsewhere leaves its row silently inactive. A row that acts once per press
// asks for MOD_NOREPEAT, and is registered without it where the system
// refuses the flag.
void registerHotkeys(HWND window, RegisterHotKeyFunction registerHotKey = RegisterHotKey);
// Rows in table order: UnregisterHotKey, then GlobalDeleteAtom.
void releaseHotkeys(HWND window);
// releaseHotkeys for the window last registered, if its hotkeys are still
// held: for an exit that bypasses the window's destruction. Allocates nothing.
void releaseHotkeysOnExit();
