#include "app/text_convert.h"

std::wstring ansiToWide(const char* text) {
    if (!text || !*text) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, &wide[0], n) != n)
        return std::wstring();
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
