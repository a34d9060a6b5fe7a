// Keeps Wine's desktop alive between the end-to-end test programs.
//
// Each test case is its own Windows process. When the last program with a
// window ends, Wine takes its desktop down, and the next program pays about
// 20 s to bring it up and take it down again. This program holds one hidden
// window for the whole ctest run: started by the "e2e.desktop.start" fixture,
// ended by its PID in "e2e.desktop.stop", and ending itself after an hour in
// any case.
//
// Usage: desktop_keeper.exe <ready file>   (written once the window exists)
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    HWND window = CreateWindowExW(0, L"STATIC", L"quillbank e2e desktop keeper", WS_POPUP, 0, 0, 1,
                                  1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) return 1;
    if (argc > 1) {
        std::wstring path = argv[1];
        if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
        for (auto& c : path)
            if (c == L'/') c = L'\\';
        HANDLE ready = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    }
    SetTimer(nullptr, 0, 60 * 60 * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return 0;
}
