#pragma once
#include <windows.h>

#include <string>
#include <string_view>

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
// The text memory d shows, and a recall pastes as Unicode: its exact text,
// else its bytes decoded in their own code page (into `decoded`).
// NUL-terminated.
std::u16string_view memoryUnicodeText(int d, std::wstring& decoded);
