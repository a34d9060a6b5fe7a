#pragma once
// Text crosses the window boundary as UTF-16; inside the program it is
// single-byte text in the ANSI code page.
#include <windows.h>

#include <string>

// A failed conversion gives the empty text.
std::wstring ansiToWide(const char* text);
std::string wideToAnsi(const wchar_t* text, int length);
