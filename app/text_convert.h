#pragma once
// Text crosses the window boundary as UTF-16; inside the program it is
// single-byte text in the ANSI code page, with a memory's exact UTF-16 text
// kept beside it.
#include <windows.h>

#include <string>

#include "core/memory_bank.h"

// A failed conversion gives the empty text.
std::wstring ansiToWide(const char* text);
std::string wideToAnsi(const wchar_t* text, int length);

// The bank's AnsiEncoder: UTF-16 to an ANSI code page, as the system
// converts the clipboard's Unicode text to its CF_TEXT form.
size_t encodeAnsi(uint32_t codePage, const char16_t* units, size_t count, char* out, size_t room);
// The bank's AnsiDecoder: bytes in `codePage` (0: the system's) as UTF-16,
// as the system makes the clipboard's Unicode text from its CF_TEXT form.
size_t decodeAnsi(uint32_t codePage, const char* bytes, size_t count, char16_t* out, size_t room);

// A CF_LOCALE's LCID with the ANSI code page its text is in; none for 0 or
// a locale without one.
TextLocale clipboardLocale(uint32_t lcid);
// The system's locale: the one whose ANSI code page is GetACP().
TextLocale systemLocale();

// The platform's UTF-16 type is the bank's char16_t under another name.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 units on Windows");
inline const wchar_t* asWide(const char16_t* units) { return reinterpret_cast<const wchar_t*>(units); }
inline wchar_t* asWide(char16_t* units) { return reinterpret_cast<wchar_t*>(units); }
inline const char16_t* asUnits(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
