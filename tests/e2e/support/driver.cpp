#include "driver.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

#ifndef QB_PRODUCT_EXE
#define QB_PRODUCT_EXE ""
#endif

namespace e2e {

// ---- waiting -------------------------------------------------------------

namespace {
std::vector<WPARAM>& driverHotkeyLog() {
    static std::vector<WPARAM> log;
    return log;
}
}  // namespace

void pumpOwnMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_HOTKEY) {
            driverHotkeyLog().push_back(msg.wParam);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs,
               const std::source_location& where) {
    static const bool trace = GetEnvironmentVariableA("QB_E2E_TRACE", nullptr, 0) > 0;
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG deadline = started + timeoutMs;
    bool met = false;
    for (;;) {
        pumpOwnMessages();
        if ((met = condition())) break;
        if (GetTickCount64() >= deadline) {
            met = condition();
            break;
        }
        Sleep(10);
    }
    const ULONGLONG took = GetTickCount64() - started;
    if (trace && took > 1000)
        fprintf(stderr, "[trace] %s:%u waited %llu ms, %s\n", where.file_name(),
                static_cast<unsigned>(where.line()), took, met ? "met" : "timed out");
    return met;
}

// ---- paths ---------------------------------------------------------------

std::wstring widen(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring toWindowsPath(const std::string& path) {
    std::wstring out = widen(path);
    if (!out.empty() && out[0] == L'/') out = L"Z:" + out;
    for (auto& c : out)
        if (c == L'/') c = L'\\';
    return out;
}

namespace {
std::string environment(const char* name) {
    char buffer[4096];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}
}  // namespace

unsigned long long environmentNumber(const char* name, unsigned long long fallback) {
    std::string text = environment(name);
    return text.empty() ? fallback : strtoull(text.c_str(), nullptr, 0);
}

std::wstring productExe() {
    std::string configured = environment("QB_PRODUCT_EXE");
    if (configured.empty()) configured = QB_PRODUCT_EXE;
    return toWindowsPath(configured);
}

std::wstring screenshotDir() {
    std::string dir = environment("QB_SCREENSHOT_DIR");
    if (dir.empty()) return {};
    std::wstring out = toWindowsPath(dir);
    CreateDirectoryW(out.c_str(), nullptr);
    return out;
}

// ---- processes -----------------------------------------------------------

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), pid_(std::exchange(other.pid_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        terminate();
        handle_ = std::exchange(other.handle_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

Process::~Process() { terminate(); }

Process Process::start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process p;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return p;
    CloseHandle(info.hThread);
    p.handle_ = info.hProcess;
    p.pid_ = info.dwProcessId;
    return p;
}

std::vector<std::wstring> loadedModules(DWORD pid) {
    std::vector<std::wstring> files;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return files;
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    for (;;) {
        DWORD bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModulesEx(process, modules.data(), bytes, &needed, LIST_MODULES_ALL)) {
            modules.clear();
            break;
        }
        if (needed <= bytes) {
            modules.resize(needed / sizeof(HMODULE));
            break;
        }
        modules.resize(needed / sizeof(HMODULE));
    }
    for (HMODULE m : modules) {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameExW(process, m, path, MAX_PATH);
        if (n) files.emplace_back(path, n);
    }
    CloseHandle(process);
    return files;
}

bool runsAs32Bit(HANDLE process) {
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) && wow64;
}

bool Process::running() const {
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::waitExit(DWORD timeoutMs) {
    if (!handle_) return std::nullopt;
    bool ended = waitUntil([&] { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }, timeoutMs);
    if (!ended) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(handle_, &code)) return std::nullopt;
    return code;
}

void Process::terminate() {
    if (!handle_) return;
    if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 10000);
    }
    CloseHandle(handle_);
    handle_ = nullptr;
    pid_ = 0;
}

// ---- windows -------------------------------------------------------------

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool sameClass(HWND window, const wchar_t* name) {
    return _wcsicmp(className(window).c_str(), name) == 0;
}

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length))
        return L"<no answer>";
    std::wstring text(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 3000, &copied))
        return L"<no answer>";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::string windowTextAnsi(HWND window) { return narrow(windowText(window)); }

int controlId(HWND window) { return static_cast<int>(GetWindowLongPtrW(window, GWLP_ID)); }
DWORD windowStyle(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)); }
DWORD windowExStyle(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)); }

RECT windowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

POINT clientOrigin(HWND window) {
    POINT p = {0, 0};
    ClientToScreen(window, &p);
    return p;
}

SIZE clientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

namespace {
struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

// A named CALLBACK: in 32 bits EnumWindows calls with stdcall, which a
// lambda does not convert to.
BOOL CALLBACK collectWindowOf(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s->pid) s->found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> topLevelWindows(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(collectWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> findTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* caption) {
    std::vector<HWND> out;
    for (HWND w : topLevelWindows(pid)) {
        if (cls && !sameClass(w, cls)) continue;
        if (caption && windowText(w) != caption) continue;
        out.push_back(w);
    }
    return out;
}

HWND findOneTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* caption) {
    auto all = findTopLevel(pid, cls, caption);
    return all.size() == 1 ? all.front() : nullptr;
}

std::string describeWindows(DWORD pid) {
    std::string out;
    for (HWND w : topLevelWindows(pid)) {
        char line[96];
        snprintf(line, sizeof line, "\n  %p ", static_cast<void*>(w));
        out += line;
        out += narrow(className(w)) + " \"" + windowTextAnsi(w) + "\"";
        out += IsWindowVisible(w) ? " visible" : " hidden";
        out += IsWindowEnabled(w) ? " enabled" : " disabled";
    }
    return out.empty() ? " (no windows)" : out;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

namespace {
LRESULT sendTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 3000, &result))
        return -1;
    return static_cast<LRESULT>(result);
}
}  // namespace

int progressPos(HWND bar) { return static_cast<int>(sendTimeout(bar, PBM_GETPOS, 0, 0)); }
int progressLow(HWND bar) { return static_cast<int>(sendTimeout(bar, PBM_GETRANGE, TRUE, 0)); }
int progressHigh(HWND bar) { return static_cast<int>(sendTimeout(bar, PBM_GETRANGE, FALSE, 0)); }

// ---- message boxes -------------------------------------------------------

std::vector<HWND> messageBoxes(DWORD pid) {
    std::vector<HWND> out;
    for (HWND w : findTopLevel(pid, L"#32770", nullptr))
        if (GetDlgItem(w, 0xFFFF)) out.push_back(w);
    return out;
}

std::string messageBoxText(HWND box) { return windowTextAnsi(GetDlgItem(box, 0xFFFF)); }
std::string messageBoxCaption(HWND box) { return windowTextAnsi(box); }

void dismissMessageBox(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

HWND waitForMessageBox(DWORD pid, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND b : messageBoxes(pid))
                if (IsWindowVisible(b)) found = b;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

// ---- keyboard and mouse --------------------------------------------------

std::string pattern(size_t n, char first) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + (i * 7 + i / 61) % 26);
    return s;
}

INPUT keyInput(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

namespace {
void send(std::vector<INPUT>& inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    // Injected input is held back until the sending thread has looked at its
    // own queue once.
    pumpOwnMessages();
}
}  // namespace

void pressChord(std::initializer_list<WORD> modifiers, WORD key) {
    std::vector<INPUT> inputs;
    for (WORD m : modifiers) inputs.push_back(keyInput(m, false));
    inputs.push_back(keyInput(key, false));
    inputs.push_back(keyInput(key, true));
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        inputs.push_back(keyInput(*it, true));
    send(inputs);
}

void pressAlt(WORD key) { pressChord({VK_MENU}, key); }
void pressCtrl(WORD key) { pressChord({VK_CONTROL}, key); }
void pressKey(WORD key) { pressChord({}, key); }

void typeText(const std::wstring& text) {
    for (wchar_t c : text) {
        std::vector<INPUT> inputs;
        if (c == L'\n') {
            inputs.push_back(keyInput(VK_RETURN, false));
            inputs.push_back(keyInput(VK_RETURN, true));
        } else {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wScan = c;
            in.ki.dwFlags = KEYEVENTF_UNICODE;
            inputs.push_back(in);
            in.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
            inputs.push_back(in);
        }
        send(inputs);
    }
}

void clickAt(POINT screen) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(screen.x) * 65536 + width / 2) / width);
    in.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(screen.y) * 65536 + height / 2) / height);
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    std::vector<INPUT> inputs{in};
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN;
    inputs.push_back(in);
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP;
    inputs.push_back(in);
    send(inputs);
}

POINT centreOf(HWND window) {
    RECT r = windowRect(window);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

POINT leftSpot(HWND window, int inset) {
    RECT r = {};
    GetClientRect(window, &r);
    POINT p = {r.left + inset, (r.top + r.bottom) / 2};
    ClientToScreen(window, &p);
    return p;
}

// ---- the driver's own window and hotkeys ---------------------------------

HWND driverWindow() {
    static HWND window = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillbankE2EDriver";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"e2e driver", WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, wc.hInstance, nullptr);
    }();
    return window;
}

std::vector<WPARAM> takeDriverHotkeys() {
    pumpOwnMessages();
    return std::exchange(driverHotkeyLog(), {});
}

const std::vector<HotkeyCombo>& programHotkeys() {
    static const std::vector<HotkeyCombo> combos = {
        {MOD_CONTROL, 'C', "Ctrl+C"}, {MOD_ALT, VK_ESCAPE, "Alt+Esc"},
        {MOD_ALT, 'V', "Alt+V"},      {MOD_ALT, 'H', "Alt+H"},
        {MOD_ALT, '1', "Alt+1"},      {MOD_ALT, '2', "Alt+2"},
        {MOD_ALT, '3', "Alt+3"},      {MOD_ALT, '4', "Alt+4"},
        {MOD_ALT, '5', "Alt+5"},      {MOD_ALT, '6', "Alt+6"},
        {MOD_ALT, '7', "Alt+7"},      {MOD_ALT, '8', "Alt+8"},
        {MOD_ALT, '9', "Alt+9"},      {MOD_ALT, '0', "Alt+0"},
        {MOD_CONTROL, '1', "Ctrl+1"}, {MOD_CONTROL, '2', "Ctrl+2"},
        {MOD_CONTROL, '3', "Ctrl+3"}, {MOD_CONTROL, '4', "Ctrl+4"},
        {MOD_CONTROL, '5', "Ctrl+5"}, {MOD_CONTROL, '6', "Ctrl+6"},
        {MOD_CONTROL, '7', "Ctrl+7"}, {MOD_CONTROL, '8', "Ctrl+8"},
        {MOD_CONTROL, '9', "Ctrl+9"}, {MOD_CONTROL, '0', "Ctrl+0"},
    };
    return combos;
}

std::vector<std::string> combinationsHeldElsewhere() {
    std::vector<std::string> refused;
    const int firstId = 0x3000;
    int id = firstId;
    std::vector<int> got;
    for (const auto& c : programHotkeys()) {
        if (RegisterHotKey(driverWindow(), id, c.modifiers, c.vk))
            got.push_back(id);
        else
            refused.push_back(c.name);
        ++id;
    }
    for (int g : got) UnregisterHotKey(driverWindow(), g);
    return refused;
}

// ---- clipboard -----------------------------------------------------------

namespace {
// The program opens the clipboard for a moment when it reads or writes, so
// our own opening may fail once in a while: try again for a bounded time.
bool openClipboardPatiently() {
    return waitUntil([] { return OpenClipboard(driverWindow()) != FALSE; }, 3000);
}
}  // namespace

DWORD clipboardSequence() { return GetClipboardSequenceNumber(); }

bool setClipboardText(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + 1);
    if (!block) return false;
    char* p = static_cast<char*>(GlobalLock(block));
    memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
    if (!openClipboardPatiently()) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    bool ok = SetClipboardData(CF_TEXT, block) != nullptr;
    if (!ok) GlobalFree(block);
    CloseClipboard();
    return ok;
}

bool emptyClipboard() {
    if (!openClipboardPatiently()) return false;
    bool ok = EmptyClipboard() != FALSE;
    CloseClipboard();
    return ok;
}

bool setClipboardBitmapOnly() {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    ReleaseDC(nullptr, screen);
    if (!bitmap) return false;
    if (!openClipboardPatiently()) {
        DeleteObject(bitmap);
        return false;
    }
    EmptyClipboard();
    bool ok = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
    CloseClipboard();
    if (!ok) DeleteObject(bitmap);
    return ok;
}

std::optional<std::string> clipboardText() {
    if (!openClipboardPatiently()) return std::nullopt;
    std::optional<std::string> out;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        const char* p = static_cast<const char*>(GlobalLock(h));
        if (p) {
            size_t size = GlobalSize(h);
            out = std::string(p, strnlen(p, size));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

bool waitClipboardChange(DWORD before, DWORD timeoutMs) {
    return waitUntil([&] { return GetClipboardSequenceNumber() != before; }, timeoutMs);
}

bool setClipboardBlocks(const std::vector<ClipboardBlock>& blocks) {
    if (!openClipboardPatiently()) return false;
    EmptyClipboard();
    bool ok = true;
    for (const ClipboardBlock& b : blocks) {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, b.bytes.size());
        if (!h) {
            ok = false;
            continue;
        }
        if (!b.bytes.empty()) {
            char* p = static_cast<char*>(GlobalLock(h));
            memcpy(p, b.bytes.data(), b.bytes.size());
            GlobalUnlock(h);
        }
        if (!SetClipboardData(b.format, h)) {
            GlobalFree(h);
            ok = false;
        }
    }
    CloseClipboard();
    return ok;
}

std::string unicodeBlock(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

namespace {
template <typename Char>
std::optional<std::basic_string<Char>> readFormat(UINT format) {
    HANDLE h = GetClipboardData(format);
    if (!h) return std::nullopt;
    const auto* p = static_cast<const Char*>(GlobalLock(h));
    if (!p) return std::nullopt;
    const size_t units = GlobalSize(h) / sizeof(Char);
    std::basic_string<Char> out(p, units);
    GlobalUnlock(h);
    out.resize(std::min(out.size(), out.find(Char(0))));
    return out;
}
}  // namespace

std::string localeBlock(LCID locale) {
    return std::string(reinterpret_cast<const char*>(&locale), sizeof locale);
}

ClipboardTexts clipboardTexts() {
    ClipboardTexts out;
    if (!openClipboardPatiently()) return out;
    out.text = readFormat<char>(CF_TEXT);
    out.unicode = readFormat<wchar_t>(CF_UNICODETEXT);
    if (HANDLE h = GetClipboardData(CF_LOCALE)) {
        if (const auto* p = static_cast<const char*>(GlobalLock(h))) {
            DWORD lcid = kShortLocaleBlock;
            if (GlobalSize(h) >= sizeof lcid) memcpy(&lcid, p, sizeof lcid);
            out.locale = lcid;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

std::optional<std::wstring> clipboardUnicode() { return clipboardTexts().unicode; }

// ---- code pages ------------------------------------------------------------

UINT ansiCodePageOf(DWORD locale) {
    if (locale == kShortLocaleBlock) return 0;
    DWORD codePage = 0;
    if (!GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<wchar_t*>(&codePage), sizeof codePage / sizeof(wchar_t)))
        return 0;
    return codePage;
}

LCID inputLanguage() {
    return LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0)));
}

std::string codePageReport() {
    char line[200];
    snprintf(line, sizeof line,
             "code pages: ACP %u, OEM %u, input language 0x%04lX (ANSI %u), system locale 0x%04lX, user locale 0x%04lX",
             GetACP(), GetOEMCP(), static_cast<unsigned long>(inputLanguage()), ansiCodePageOf(inputLanguage()),
             static_cast<unsigned long>(GetSystemDefaultLCID()), static_cast<unsigned long>(GetUserDefaultLCID()));
    return line;
}

bool lacksSomeOf(const std::wstring& text, UINT codePage) {
    return widen(narrow(text, codePage), codePage) != text;
}

ClipboardHolder::ClipboardHolder(DWORD holdMs) : holdMs_(holdMs) {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &ClipboardHolder::run, this, 0, nullptr);
    if (thread_) WaitForSingleObject(ready_, 5000);
}

ClipboardHolder::~ClipboardHolder() {
    SetEvent(release_);
    if (thread_) {
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
}

DWORD WINAPI ClipboardHolder::run(void* self) {
    auto* holder = static_cast<ClipboardHolder*>(self);
    // Opened for a window of this thread: Wine lets a second OpenClipboard(NULL)
    // through while the clipboard is open for no window, but not while it is
    // open for a window.
    HWND window = CreateWindowExW(0, L"STATIC", L"e2e clipboard holder", 0, 0, 0, 1, 1,
                                  HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    const ULONGLONG deadline = GetTickCount64() + 3000;
    while (!(holder->opened_ = window && OpenClipboard(window) != FALSE) &&
           GetTickCount64() < deadline)
        Sleep(10);
    const ULONGLONG heldUntil =
        holder->holdMs_ == INFINITE ? ~0ull : GetTickCount64() + holder->holdMs_;
    SetEvent(holder->ready_);
    // Serve this thread's messages while holding, so nothing that talks to
    // the window waits on it.
    auto left = [&]() -> DWORD {
        if (holder->holdMs_ == INFINITE) return INFINITE;
        const ULONGLONG now = GetTickCount64();
        return now >= heldUntil ? 0 : static_cast<DWORD>(heldUntil - now);
    };
    while (MsgWaitForMultipleObjects(1, &holder->release_, FALSE, left(), QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (holder->opened_) CloseClipboard();
    if (window) DestroyWindow(window);
    return 0;
}

// ---- a clipboard owner that hangs -----------------------------------------

namespace {

constexpr int kReady = 0, kRelease = 1, kAsked = 2, kRendered = 3, kQuit = 4;
const wchar_t* const kEventSuffix[5] = {L"ready", L"release", L"asked", L"rendered", L"quit"};
// However it is left, the helper ends by itself after this.
constexpr DWORD kHelperLifeMs = 120000;

std::wstring eventName(const std::wstring& tag, int which) {
    return L"QuillbankE2EHungOwner-" + tag + L"-" + kEventSuffix[which];
}

std::wstring hexOf(const std::wstring& text) {
    std::wstring out;
    wchar_t unit[8];
    for (wchar_t c : text) {
        swprintf(unit, 8, L"%04X", static_cast<unsigned>(c));
        out += unit;
    }
    return out.empty() ? L"-" : out;
}

std::wstring unhex(const char* hex) {
    std::wstring out;
    for (size_t i = 0; hex[i] && hex[i + 1] && hex[i + 2] && hex[i + 3]; i += 4) {
        char unit[5] = {hex[i], hex[i + 1], hex[i + 2], hex[i + 3], 0};
        out += static_cast<wchar_t>(strtoul(unit, nullptr, 16));
    }
    return out;
}

// The helper's state: one process, one thread.
struct Owner {
    HungOwner::Mode mode;
    std::wstring text;
    HANDLE events[5] = {};
    HWND window = nullptr;
};
Owner* theOwner = nullptr;

HGLOBAL blockOf(UINT format, const std::wstring& text) {
    std::string bytes = format == CF_UNICODETEXT ? unicodeBlock(text) : narrow(text) + '\0';
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!h) return nullptr;
    memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

void render(UINT format) {
    if (format != CF_TEXT && format != CF_UNICODETEXT) return;
    if (HGLOBAL h = blockOf(format, theOwner->text))
        if (!SetClipboardData(format, h)) GlobalFree(h);
}

void pumpAll() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// What it still owes, while it still owns the clipboard, so that its text
// outlives it.
void renderAll() {
    const ULONGLONG deadline = GetTickCount64() + 3000;
    bool opened = false;
    // Someone may hold the clipboard open while asking us to render: answer.
    while (!(opened = OpenClipboard(theOwner->window) != FALSE) && GetTickCount64() < deadline) {
        pumpAll();
        Sleep(10);
    }
    if (!opened) return;
    if (GetClipboardOwner() == theOwner->window) {
        render(CF_UNICODETEXT);
        render(CF_TEXT);
    }
    CloseClipboard();
}

LRESULT CALLBACK ownerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_RENDERFORMAT) {
        SetEvent(theOwner->events[kAsked]);
        if (theOwner->mode == HungOwner::Mode::InRender)
            WaitForSingleObject(theOwner->events[kRelease], kHelperLifeMs);
        render(static_cast<UINT>(wp));
        SetEvent(theOwner->events[kRendered]);
        return 0;
    }
    if (msg == WM_RENDERALLFORMATS) {
        renderAll();
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int runHungOwner(int argc, char** argv) {
    if (argc != 5) return 2;
    Owner owner;
    owner.mode = strcmp(argv[2], "before") == 0 ? HungOwner::Mode::Before : HungOwner::Mode::InRender;
    const std::wstring tag = widen(argv[3]);
    owner.text = strcmp(argv[4], "-") == 0 ? std::wstring() : unhex(argv[4]);
    for (int i = 0; i < 5; ++i) {
        owner.events[i] = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, eventName(tag, i).c_str());
        if (!owner.events[i]) return 3;
    }
    theOwner = &owner;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ownerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillbankE2EHungOwner";
    RegisterClassW(&wc);
    owner.window = CreateWindowExW(0, wc.lpszClassName, L"hung owner", WS_POPUP, 0, 0, 1, 1, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    if (!owner.window) return 4;
    const ULONGLONG deadline = GetTickCount64() + 5000;
    bool opened = false;
    while (!(opened = OpenClipboard(owner.window) != FALSE) && GetTickCount64() < deadline) Sleep(10);
    if (!opened) return 5;
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, nullptr);
    SetClipboardData(CF_TEXT, nullptr);
    CloseClipboard();
    SetEvent(owner.events[kReady]);

    // Before: not a message is looked at until the release.
    if (owner.mode == HungOwner::Mode::Before) WaitForSingleObject(owner.events[kRelease], kHelperLifeMs);
    const ULONGLONG end = GetTickCount64() + kHelperLifeMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        DWORD woke = MsgWaitForMultipleObjects(1, &owner.events[kQuit], FALSE,
                                               static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) break;
        pumpAll();
    }
    renderAll();
    DestroyWindow(owner.window);
    for (HANDLE e : owner.events) CloseHandle(e);
    return 0;
}

HungOwner::HungOwner(Mode mode, const std::wstring& text) {
    static LONG count = 0;
    const std::wstring tag =
        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(InterlockedIncrement(&count));
    for (int i = 0; i < 5; ++i) {
        events_[i] = CreateEventW(nullptr, TRUE, FALSE, eventName(tag, i).c_str());
        if (!events_[i]) return;
    }
    wchar_t self[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return;
    process_ = Process::start(self, widen(kHungOwnerArgument) + (mode == Mode::Before ? L" before " : L" render ") +
                                        tag + L" " + hexOf(text));
    if (!process_.valid()) return;
    // Pumping: its taking the clipboard over tells the last owner, which may
    // be the driver's own window.
    ready_ = waitUntil(
        [&] {
            return WaitForSingleObject(events_[kReady], 0) == WAIT_OBJECT_0 || !process_.running();
        },
        kStartWait) &&
             WaitForSingleObject(events_[kReady], 0) == WAIT_OBJECT_0;
}

bool HungOwner::asked(DWORD timeoutMs) {
    return waitUntil([&] { return WaitForSingleObject(events_[kAsked], 0) == WAIT_OBJECT_0; }, timeoutMs);
}

bool HungOwner::rendered(DWORD timeoutMs) {
    return waitUntil([&] { return WaitForSingleObject(events_[kRendered], 0) == WAIT_OBJECT_0; }, timeoutMs);
}

void HungOwner::release() {
    if (events_[kRelease]) SetEvent(events_[kRelease]);
}

std::optional<DWORD> HungOwner::end() {
    if (process_.valid()) {
        release();
        if (events_[kQuit]) SetEvent(events_[kQuit]);
        exitCode_ = process_.waitExit(kShortWait);
        process_.terminate();
    }
    for (HANDLE& e : events_) {
        if (e) CloseHandle(e);
        e = nullptr;
    }
    return exitCode_;
}

// ---- another program: Wine's notepad ---------------------------------------

Notepad::Notepad() {
    wchar_t system[MAX_PATH] = {};
    if (!GetSystemDirectoryW(system, MAX_PATH)) return;
    process_ = Process::start(std::wstring(system) + L"\\notepad.exe");
    if (!process_.valid()) return;
    waitUntil(
        [&] {
            window_ = findOneTopLevel(process_.pid(), L"Notepad", nullptr);
            return window_ && IsWindowVisible(window_);
        },
        kStartWait);
    if (window_) edit_ = FindWindowExW(window_, nullptr, L"Edit", nullptr);
}

bool Notepad::bringToFront() {
    SetForegroundWindow(window_);
    return waitUntil([&] { return GetForegroundWindow() == window_; });
}

void Notepad::selectAllAndCopy() {
    pressCtrl('A');
    pressCtrl(VK_INSERT);
}

void Notepad::clear() {
    pressCtrl('A');
    pressKey(VK_DELETE);
}

// ---- screen --------------------------------------------------------------

Image captureScreen(const RECT& area) {
    Image image;
    image.width = area.right - area.left;
    image.height = area.bottom - area.top;
    if (image.width <= 0 || image.height <= 0) return image;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, image.width, image.height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    const auto* bgra = static_cast<const unsigned char*>(bits);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = RGB(bgra[i * 4 + 2], bgra[i * 4 + 1], bgra[i * 4 + 0]);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

COLORREF screenPixel(POINT p) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

Image settledCapture(HWND window, COLORREF background, DWORD timeoutMs) {
    Image last, now;
    const bool settled = waitUntil(
        [&] {
            now = captureScreen(windowRect(window));
            const bool inked = std::any_of(now.pixels.begin(), now.pixels.end(),
                                           [&](COLORREF c) { return c != background; });
            const bool same = inked && now.pixels == last.pixels;
            last = now;
            return same;
        },
        timeoutMs);
    return settled ? now : Image();
}

bool saveBmp(const Image& image, const std::wstring& path) {
    const int rowBytes = (image.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = image.width;
    header.biHeight = image.height;  // bottom row first
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(rowBytes) * image.height;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::vector<unsigned char> data(header.biSizeImage);
    for (int y = 0; y < image.height; ++y) {
        unsigned char* row = data.data() + static_cast<size_t>(image.height - 1 - y) * rowBytes;
        for (int x = 0; x < image.width; ++x) {
            COLORREF c = image.at(x, y);
            row[x * 3 + 0] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(out);
    return ok;
}

std::string colourName(COLORREF c) {
    char text[40];
    snprintf(text, sizeof text, "RGB(%u,%u,%u)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

// ---- registry ------------------------------------------------------------

WineVersionOverride::WineVersionOverride(const std::wstring& exeName, const std::wstring& version)
    : key_(L"Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    ok_ = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
}

WineVersionOverride::~WineVersionOverride() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }

TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    wchar_t name[64];
    swprintf(name, 64, L"qb-e2e-%lu-%llu", GetCurrentProcessId(),
             static_cast<unsigned long long>(GetTickCount64()));
    path_ = std::wstring(base) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
}

}  // namespace e2e
