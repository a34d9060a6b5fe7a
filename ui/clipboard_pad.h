#pragma once
#include <windows.h>

constexpr int IDC_PAD_TEXT = 1001;

extern HWND padWindow;
extern HWND padSavedFocus;

// Builds the pad and runs it modally; returns once the pad window is gone.
INT_PTR openClipboardPad();
INT_PTR padCallback(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
