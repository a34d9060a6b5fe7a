#include "app/command_line.h"

const wchar_t* skipProgramName(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    if (!p) return L"";
    if (*p == L'"') {
        // An unterminated quote ends at the NUL rather than past it.
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p > L' ') ++p;
    }
    while (*p == L' ') ++p;
    return p;
}
