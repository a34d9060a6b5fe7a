#pragma once
#include <windows.h>

// The program's main procedure: its own common-controls initialisation, then
// the main window until it is gone. Returns the exit code, always 0.
int mainEntry(HINSTANCE instance, HINSTANCE previous, const wchar_t* commandLine, int showCommand);
// The process from its first instruction to ExitProcess.
[[noreturn]] void startProcess();
