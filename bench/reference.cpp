// The benchmark's yardstick: the least a program needs to do Quillbank's
// central job. One window about the size of Quillbank's, one STATIC label,
// Alt+3 registered; on the hotkey the clipboard's CF_TEXT goes into the
// label. The thread blocks in GetMessageW, so at rest it costs nothing.
//
// Build: x86_64-w64-mingw32-g++-posix -O2 -municode -mwindows -static reference.cpp
#include <windows.h>

namespace {

constexpr int HOTKEY_ID = 1;
constexpr int IDC_LABEL = 1017;  // the id Quillbank's row 3 has, for the driver's sake
constexpr wchar_t CLASS_NAME[] = L"QuillbankBenchReference";
constexpr wchar_t CAPTION[] = L"Quillbank reference";

HWND label;

// Copies the clipboard's text into the label. A busy clipboard or one
// without text leaves the label as it was.
void onHotkey() {
    if (!OpenClipboard(nullptr)) return;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char* text = static_cast<const char*>(GlobalLock(data));
        if (text) {
            SetWindowTextA(label, text);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_HOTKEY:
            if (wParam == HOTKEY_ID) onHotkey();
            return 0;
        case WM_DESTROY:
            UnregisterHotKey(window, HOTKEY_ID);
            PostQuitMessage(0);
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

    // Quillbank's window is 497 x 145 dialog units, about 1000 x 270 pixels here.
    HWND window = CreateWindowExW(WS_EX_TOPMOST, CLASS_NAME, CAPTION,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, 140, 140, 1000, 270,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 80, 65, 530, 16,
                            window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LABEL)),
                            instance, nullptr);
    if (!label) return 1;
    // Registered before the window shows, as Quillbank does: once the window
    // is visible, the hotkey works.
    if (!RegisterHotKey(window, HOTKEY_ID, MOD_ALT, '3')) return 2;
    ShowWindow(window, SW_SHOW);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
