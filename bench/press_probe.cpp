// A probe for breaking one press down: it presses Alt+3 into an already
// running program N times, the same way the driver does (clipboard text,
// SendInput, poll the label, wait until the program is idle), and prints the
// median latency. Run the program under a server trace or strace while the
// probe works, and divide by N.
//
//   press_probe.exe <caption> <label id> <presses> short|alternate|none [cf_text]
//
// "short": a new 3-byte text every press, so the labels change and no bar
// moves; "alternate": 3 and 65,535 bytes in turn, so the bars move too;
// "none": no key is pressed, only the clipboard is set and the window
// settled, the baseline to subtract. Texts are offered as the benchmark
// offers them, CF_UNICODETEXT only; "cf_text" offers CF_TEXT only instead.
//
// Build: x86_64-w64-mingw32-g++-posix -O2 -municode -static press_probe.cpp
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

HWND ownWindow;
bool offerCfText;

double nowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool setClipboardText(const std::string& text) {
    const std::wstring wide(text.begin(), text.end());
    const void* data = offerCfText ? static_cast<const void*>(text.c_str()) : wide.c_str();
    const size_t bytes = offerCfText ? text.size() + 1 : (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), data, bytes);
    GlobalUnlock(block);
    for (int i = 0; i < 5000 && !OpenClipboard(ownWindow); ++i) Sleep(1);
    EmptyClipboard();
    bool set = SetClipboardData(offerCfText ? CF_TEXT : CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return set;
}

void pressAlt3() {
    const WORD keys[4] = {VK_MENU, '3', '3', VK_MENU};
    INPUT in[4] = {};
    for (int i = 0; i < 4; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = keys[i];
        in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, in, sizeof(INPUT));
    pump();
}

bool startsWith(HWND label, const std::wstring& want) {
    std::wstring seen(want.size() + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(label, WM_GETTEXT, want.size() + 1,
                             reinterpret_cast<LPARAM>(&seen[0]), SMTO_NORMAL, 5000, &got))
        return false;
    seen.resize(got);
    return seen == want;
}

void settle(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    for (int i = 0; i < 10000 && GetUpdateRect(window, nullptr, FALSE); ++i) {
        pump();
        Sleep(1);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 && !(argc == 6 && std::wstring(argv[5]) == L"cf_text")) {
        fprintf(stderr,
                "usage: press_probe <caption> <label id> <presses> short|alternate|none [cf_text]\n");
        return 2;
    }
    offerCfText = argc == 6;
    HWND window = FindWindowW(nullptr, argv[1]);
    HWND label = window ? GetDlgItem(window, _wtoi(argv[2])) : nullptr;
    if (!label) {
        fprintf(stderr, "no window or label\n");
        return 1;
    }
    const int presses = _wtoi(argv[3]);
    const std::wstring mode = argv[4];
    ownWindow = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                nullptr, nullptr);
    DWORD tid = GetWindowThreadProcessId(window, nullptr);
    printf("target thread %04lx\n", tid);
    fflush(stdout);

    std::vector<double> ms;
    int misses = 0;
    for (int n = 0; n < presses; ++n) {
        char head[16];
        snprintf(head, sizeof head, "%c%c%c", 'A' + n % 26, 'A' + n / 26 % 26, '0' + n / 676 % 10);
        std::string text = head;
        if (mode == L"alternate" && n % 2) text.resize(65535, 'x');
        std::wstring want(text.begin(), text.begin() + std::min<size_t>(text.size(), 3));
        setClipboardText(text);
        if (mode != L"none") {
            double t0 = nowMs();
            pressAlt3();
            bool shown = false;
            while (!(shown = startsWith(label, want)) && nowMs() - t0 < 3000) pump();
            if (shown)
                ms.push_back(nowMs() - t0);
            else
                ++misses;
        } else {
            startsWith(label, want);
        }
        settle(window);
    }
    std::sort(ms.begin(), ms.end());
    double med = ms.empty() ? -1 : ms[ms.size() / 2];
    printf("presses %d, shown %zu, missed %d, median latency %.3f ms\n", presses, ms.size(),
           misses, med);
    DestroyWindow(ownWindow);
    return 0;
}
