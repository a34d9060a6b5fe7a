// The benchmark's yardstick: the least a program needs to do Quillbank's
// central job. One window about the size of Quillbank's, one STATIC label,
// Alt+3 and Ctrl+3 registered; Alt+3 keeps the clipboard's CF_TEXT (at most
// a memory's 65,535 bytes) and shows it in the label, Ctrl+3 puts it back.
// The thread blocks in GetMessageW, so at rest it costs nothing.
//
// Build: x86_64-w64-mingw32-g++-posix -O2 -municode -mwindows -static reference.cpp
#include <windows.h>

#include <cstring>

namespace {

constexpr int HOTKEY_STORE = 1;
constexpr int HOTKEY_RECALL = 2;
constexpr size_t TEXT_MAX = 65535;
constexpr int IDC_LABEL = 1017;  // the id Quillbank's row 3 has, for the driver's sake
constexpr wchar_t CLASS_NAME[] = L"QuillbankBenchReference";
constexpr wchar_t CAPTION[] = L"Quillbank reference";

HWND label;
char kept[TEXT_MAX + 1];
size_t keptBytes;

// Keeps the clipboard's text and shows it. A busy clipboard or one without
// text leaves both as they were.
void onStore() {
    if (!OpenClipboard(nullptr)) return;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (text) {
        // Never past the block's end, whatever its owner wrote.
        size_t limit = GlobalSize(data) < TEXT_MAX ? GlobalSize(data) : TEXT_MAX;
        const void* nul = std::memchr(text, '\0', limit);
        keptBytes = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
        std::memcpy(kept, text, keptBytes);
        kept[keptBytes] = '\0';
        GlobalUnlock(data);
    }
    CloseClipboard();
    if (text) SetWindowTextA(label, kept);
}

// The block is ready before the clipboard is opened.
void onRecall() {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, keptBytes + 1);
    if (!block) return;
    std::memcpy(GlobalLock(block), kept, keptBytes + 1);
    GlobalUnlock(block);
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        if (SetClipboardData(CF_TEXT, block)) block = nullptr;  // the system's now
        CloseClipboard();
    }
    if (block) GlobalFree(block);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_HOTKEY:
            if (wParam == HOTKEY_STORE) onStore();
            if (wParam == HOTKEY_RECALL) onRecall();
            return 0;
        case WM_DESTROY:
            UnregisterHotKey(window, HOTKEY_STORE);
            UnregisterHotKey(window, HOTKEY_RECALL);
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
    // is visible, the hotkeys work.
    if (!RegisterHotKey(window, HOTKEY_STORE, MOD_ALT, '3') ||
        !RegisterHotKey(window, HOTKEY_RECALL, MOD_CONTROL, '3'))
        return 2;
    ShowWindow(window, SW_SHOW);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
