#pragma once
#include <windows.h>

#include "core/memory_bank.h"

extern MemoryBank memoryBank;

// Builds the main window, runs it modally, returns its end result once it is gone.
INT_PTR buildMainWindow(HWND parent);
HFONT makeLabelFont();
// The pad's text box draws with it while the main window lives; null: the
// box keeps the dialog's font.
extern HFONT padTextFont;
INT_PTR mainWindowCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Shows memory d's state in its row and the overall bar, shown or hidden.
void refreshMemoryRow(int d);
