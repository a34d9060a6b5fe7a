#include "app/text_convert.h"

#include <climits>
#include <cstring>

#include "core/memory_bank.h"

std::wstring ansiToWide(const char* text) {
    if (!text || !*text) return std::wstring();
    // One pass: no code page gives more UTF-16 units than it has bytes, so
    // the byte count bounds the result and a sizing pass is not needed.
    size_t bytes = std::strlen(text);
    if (bytes > INT_MAX - 1) return std::wstring();
    int room = static_cast<int>(bytes) + 1;
    std::wstring wide(static_cast<size_t>(room), L'\0');
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, room, &wide[0], room);
    if (n <= 0) return std::wstring();
    wide.resize(static_cast<size_t>(n - 1));  // the terminator
    return wide;
}

std::string wideToAnsi(const wchar_t* text, int length) {
    if (!text || length <= 0) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string ansi(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, length, &ansi[0], n, nullptr, nullptr) != n)
        return std::string();
    return ansi;
}

size_t encodeAnsi(uint32_t codePage, const char16_t* units, size_t count, char* out, size_t room) {
    if (count == 0) return 0;
    if (count > INT_MAX || room == 0) return ANSI_ENCODE_FAILED;
    int roomBytes = room > INT_MAX ? INT_MAX : static_cast<int>(room);
    int n = WideCharToMultiByte(codePage, 0, asWide(units), static_cast<int>(count), out, roomBytes,
                                nullptr, nullptr);
    return n > 0 ? static_cast<size_t>(n) : ANSI_ENCODE_FAILED;
}

size_t decodeAnsi(uint32_t codePage, const char* bytes, size_t count, char16_t* out, size_t room) {
    if (count == 0 || count > INT_MAX || room == 0) return 0;
    int roomUnits = room > INT_MAX ? INT_MAX : static_cast<int>(room);
    int n = MultiByteToWideChar(codePage, MB_PRECOMPOSED, bytes, static_cast<int>(count),
                                asWide(out), roomUnits);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

namespace {
uint32_t ansiCodePageOf(LCID lcid) {
    DWORD codePage = 0;
    if (!GetLocaleInfoW(lcid, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)))
        return 0;
    return codePage;
}
}  // namespace

TextLocale clipboardLocale(uint32_t lcid) {
    // 0 names no locale, although the system would answer for the user's.
    uint32_t codePage = lcid ? ansiCodePageOf(lcid) : 0;
    return codePage ? TextLocale{lcid, codePage} : TextLocale();
}

TextLocale systemLocale() {
    // The system locale is what sets the ANSI code page.
    return TextLocale{GetSystemDefaultLCID(), GetACP()};
}
