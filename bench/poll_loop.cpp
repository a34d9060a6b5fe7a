// For comparison only: a window served by a polling loop, PeekMessageW and a
// 1 ms sleep whenever the queue is empty. The benchmark measures what such a
// loop costs while nothing happens; no part of Quillbank runs this way.
//
// Build: x86_64-w64-mingw32-g++-posix -O2 -municode -mwindows -static poll_loop.cpp
#include <windows.h>

namespace {

constexpr wchar_t CLASS_NAME[] = L"QuillbankBenchPollLoop";
constexpr wchar_t CAPTION[] = L"Quillbank poll loop";

bool running = true;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        running = false;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassW(&wc)) return 1;

    HWND window = CreateWindowExW(WS_EX_TOPMOST, CLASS_NAME, CAPTION,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, 140, 140, 1000, 270,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 80, 65, 530, 16, window,
                    nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);

    MSG msg;
    while (running) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            Sleep(1);
        }
    }
    return 0;
}
