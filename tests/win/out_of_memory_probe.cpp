// Started by the hotkey tests: registers the 24 hotkeys as the program does,
// writes their atoms to the file named on its command line, one a line, then
// asks for more memory than there is. It is linked with the product's own
// allocator, whose out-of-memory exit must give the atoms back: global atoms
// outlive the process.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "hotkeys/hotkey_register.h"
#include "hotkeys/hotkey_table.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HWND window = CreateWindowExW(0, L"STATIC", L"out-of-memory probe", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) return 3;
    registerHotkeys(window);
    FILE* out = std::fopen(argv[1], "w");
    if (!out) return 4;
    for (const HotkeyEntry& row : hotkeyTable) std::fprintf(out, "%u\n", static_cast<unsigned>(*row.id));
    std::fclose(out);
    // More than the address space holds, in 32 and in 64 bits. A call of the
    // function itself, not a new-expression, which the compiler may elide.
    volatile size_t huge = SIZE_MAX / 2;
    volatile char* p = static_cast<char*>(operator new(huge));
    p[0] = 1;
    return 5;  // only if the allocation came back after all
}
