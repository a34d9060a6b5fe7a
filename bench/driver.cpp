// The benchmark driver: a console program run under wine64 next to the
// programs it measures. It starts Quillbank, the two reference programs (one
// label; the same 46-control table) and the polling stand-in one at a time
// (never two at once: they all want Alt+3), in a different order each round,
// and measures
//   - start-up: CreateProcessW until the main window is visible;
//   - idle cost: CPU the process's Linux threads use over a quiet period,
//     read from /proc (utime + stime, and the nanosecond schedstat figure);
//   - store latency: SendInput of Alt+3 until the label shows the new text,
//     with a 3-byte and a 65,535-byte clipboard text, alternating; the texts
//     are offered as a Unicode editor offers them, CF_UNICODETEXT only;
//   - recall latency: after each store, another text on the clipboard, then
//     Ctrl+3 until the program has written the clipboard and closed it, and
//     its CF_TEXT must be the stored text;
//   - a storm: many Alt+3 presses in one SendInput call, then the time until
//     the program has handled them all, its CPU, and that it is still right;
//   - peak resident memory (VmHWM).
// It prints one table of medians; run.sh adds the executable's facts.
//
// A program's Linux process is found by a token on its command line: Wine
// shows the command line in /proc/<pid>/cmdline, and both programs ignore
// their arguments.
//
// Exit code 0 when every measurement was taken and every check held, 1 when
// one could not be taken or a program misbehaved, 2 for bad arguments.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// ---- options -------------------------------------------------------------

struct Options {
    std::wstring quillbank, reference, tableReference, pollLoop;  // Windows paths
    int rounds = 3;
    int idleSeconds = 30;
    int pressesPerSize = 34;  // per round and program
    int startsPerRound = 4;   // start-up samples per round and program
    int stormPresses = 1000;
    int wineserverPid = 0;    // 0: not measured
    long long exeSize = -1;   // the i686 product, from run.sh
    std::string imports;      // comma-separated DLL names, from run.sh
    bool smoke = false;
};

// ---- small tools -----------------------------------------------------------

bool failed = false;  // a measurement could not be taken or a check failed

void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
}

void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("FAILED: ", stderr);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
    failed = true;
}

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The driver's own messages: clipboard requests, and the injected keys, which
// Wine holds back until the sending thread has looked at its queue.
void pumpOwnMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Checks `condition` every `pollMs` (0: without pause), serving the driver's
// messages, until it holds or `timeoutMs` has passed. Returns its last value.
bool waitUntil(const std::function<bool()>& condition, double timeoutMs, DWORD pollMs = 5) {
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        pumpOwnMessages();
        if (condition()) return true;
        if (nowMs() >= deadline) return condition();
        if (pollMs) MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_ALLINPUT);
    }
}

// A measurement period: nothing is looked at until it is over.
void stayQuiet(double ms) {
    const double end = nowMs() + ms;
    for (double left = ms; left > 0; left = end - nowMs()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
        pumpOwnMessages();
    }
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::wstring toWindowsPath(const char* path) {
    std::wstring out;
    if (path[0] == '/') out = L"Z:";
    for (const char* p = path; *p; ++p) out += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return out;
}

// ---- /proc, through Wine's Z: drive ------------------------------------------

std::string readWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::wstring procPath(int pid, const wchar_t* name) {
    return L"Z:\\proc\\" + std::to_wstring(pid) + L"\\" + name;
}

// The Linux process whose command line holds `token`, or 0.
int linuxPidWithToken(const std::string& token) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int found = 0;
    do {
        const wchar_t* name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !iswdigit(name[0])) continue;
        std::string cmdline = readWholeFile(L"Z:\\proc\\" + std::wstring(name) + L"\\cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(token) != std::string::npos) found = _wtoi(name);
    } while (!found && FindNextFileW(find, &entry));
    FindClose(find);
    return found;
}

// utime + stime of all threads, in seconds (USER_HZ is 100 on Linux/x86).
double cpuSeconds(int pid) {
    std::string stat = readWholeFile(procPath(pid, L"stat"));
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    // Fields after the command: state is field 3; utime and stime are 14 and 15.
    const char* p = stat.c_str() + close + 2;
    unsigned long long values[13] = {};
    int field = 3;
    while (*p && field <= 15) {
        if (field >= 14) values[field - 14] = strtoull(p, nullptr, 10);
        while (*p && *p != ' ') ++p;
        while (*p == ' ') ++p;
        ++field;
    }
    if (field <= 15) return -1;
    return static_cast<double>(values[0] + values[1]) / 100.0;
}

// Time on the CPU of all threads in nanoseconds, from each thread's schedstat.
double cpuNanoseconds(int pid) {
    WIN32_FIND_DATAW entry;
    std::wstring tasks = procPath(pid, L"task");
    HANDLE find = FindFirstFileW((tasks + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return -1;
    double total = 0;
    do {
        if (!iswdigit(entry.cFileName[0])) continue;
        std::string s = readWholeFile(tasks + L"\\" + entry.cFileName + L"\\schedstat");
        total += strtod(s.c_str(), nullptr);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return total;
}

// Peak resident set in KiB, or -1.
double peakResidentKiB(int pid) {
    std::string status = readWholeFile(procPath(pid, L"status"));
    size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : strtod(status.c_str() + at + 6, nullptr);
}

// ---- the driver's window, clipboard and keys -----------------------------------

HWND ownWindow;

// Offered as a Unicode editor offers text: CF_UNICODETEXT only; the system
// makes CF_TEXT from it for whoever asks. The texts are ASCII.
bool setClipboardText(const std::string& text) {
    const std::wstring wide(text.begin(), text.end());
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return false;
    std::memcpy(GlobalLock(block), wide.c_str(), bytes);
    GlobalUnlock(block);
    // Another program may hold the clipboard for a moment.
    if (!waitUntil([] { return OpenClipboard(ownWindow) != FALSE; }, 5000, 1)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!set) GlobalFree(block);  // otherwise the system owns it now
    CloseClipboard();
    return set;
}

// The clipboard's CF_TEXT up to its first NUL; the clipboard must be open.
std::string openClipboardText() {
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* p = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (!p) return std::string();
    std::string text(p, strnlen(p, GlobalSize(data)));
    GlobalUnlock(data);
    return text;
}

// `modifier` (VK_MENU, VK_CONTROL) held around one press of `key`.
void addPress(std::vector<INPUT>& inputs, WORD modifier, WORD key) {
    const WORD keys[4] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = keys[i];
        in.ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    }
}

UINT sendInputs(std::vector<INPUT>& inputs) {
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    pumpOwnMessages();
    return sent;
}

// ---- the programs under test ---------------------------------------------------

struct Program {
    const char* name;
    std::wstring exe;
    const wchar_t* caption;
    int labelId;  // 0: no hotkey and no label
};

struct Running {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    HWND label = nullptr;
    int linuxPid = 0;
    std::string token;
};

constexpr double START_WAIT_MS = 30000;
constexpr double EXIT_WAIT_MS = 20000;
constexpr double SETTLE_WAIT_MS = 10000;
constexpr double PRESS_WAIT_MS = 3000;
constexpr double STORM_WAIT_MS = 120000;
constexpr int PRESS_ATTEMPTS = 3;

int launches;

// The visible top-level window of `pid` with this caption, or null.
HWND visibleWindowOf(DWORD pid, const wchar_t* caption) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, nullptr, caption))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// Starts the program; on success `startupMs` is the time from CreateProcessW
// until its main window was visible, polled every millisecond.
bool start(const Program& program, Running& run, double& startupMs) {
    run = Running{};
    char token[64];
    snprintf(token, sizeof token, "--bench-%lu-%d", GetCurrentProcessId(), ++launches);
    run.token = token;
    std::wstring commandLine = L"\"" + program.exe + L"\" " + std::wstring(token, token + strlen(token));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const double t0 = nowMs();
    if (!CreateProcessW(program.exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &run.process)) {
        fail("%s: CreateProcessW error %lu", program.name, GetLastError());
        return false;
    }
    const DWORD pid = run.process.dwProcessId;
    bool shown = waitUntil(
        [&] {
            run.window = visibleWindowOf(pid, program.caption);
            return run.window != nullptr ||
                   WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0;
        },
        START_WAIT_MS, 1);
    startupMs = nowMs() - t0;
    if (!shown || !run.window) {
        fail("%s: the main window did not appear within %.0f s", program.name,
             START_WAIT_MS / 1000);
        return false;
    }
    if (program.labelId) {
        run.label = GetDlgItem(run.window, program.labelId);
        if (!run.label) {
            fail("%s: no control %d in the main window", program.name, program.labelId);
            return false;
        }
    }
    return true;
}

bool findLinuxProcess(const Program& program, Running& run) {
    waitUntil([&] { return (run.linuxPid = linuxPidWithToken(run.token)) != 0; }, 10000, 20);
    if (!run.linuxPid) fail("%s: its Linux process was not found in /proc", program.name);
    return run.linuxPid != 0;
}

// Ends a program the way a user would, by the system close command; the last
// resort is TerminateProcess on the driver's own handle.
void stop(const Program& program, Running& run) {
    if (!run.process.hProcess) return;
    if (run.window && IsWindow(run.window))
        PostMessageW(run.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    bool ended = waitUntil(
        [&] { return WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0; },
        EXIT_WAIT_MS);
    if (!ended) {
        fail("%s: did not end within %.0f s of the close command", program.name,
             EXIT_WAIT_MS / 1000);
        TerminateProcess(run.process.hProcess, 1);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    run.process = {};
}

// Waits until the program has emptied its queue and finished painting. A
// paint is only handed out once no posted message (such as WM_HOTKEY) is
// waiting, so once the invalidated window is valid again, everything posted
// before the invalidation has been handled. The window has no
// WS_CLIPCHILDREN, so its children are invalidated with it and painted after
// it: they must be valid too. BeginPaint validates as a paint starts, so a
// sent message, answered only between messages, then waits for the paint
// still running; otherwise it would run into the next press.
bool settle(const Program& program, const Running& run) {
    InvalidateRect(run.window, nullptr, FALSE);
    auto painted = [&] {
        if (GetUpdateRect(run.window, nullptr, FALSE)) return false;
        for (HWND c = GetWindow(run.window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetUpdateRect(c, nullptr, FALSE)) return false;
        return true;
    };
    DWORD_PTR answer = 0;
    bool done = waitUntil(painted, SETTLE_WAIT_MS, 1) &&
                SendMessageTimeoutW(run.window, WM_NULL, 0, 0, SMTO_NORMAL,
                                    static_cast<UINT>(SETTLE_WAIT_MS), &answer);
    if (!done) fail("%s: did not get back to its message loop within %.0f s", program.name,
                    SETTLE_WAIT_MS / 1000);
    return done;
}

// The label's text, at most `limit` characters of it (0: all).
bool labelText(HWND label, std::wstring& text, size_t limit = 0) {
    DWORD_PTR length = 0;
    if (!limit) {
        if (!SendMessageTimeoutW(label, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length))
            return false;
        limit = length;
    }
    text.assign(limit + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(label, WM_GETTEXT, limit + 1, reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_NORMAL, 5000, &got))
        return false;
    text.resize(got);
    return true;
}

std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// ---- the texts put on the clipboard ------------------------------------------

// Unique for every press: three letters and digits for the short text, a
// numbered start for the long one.
std::string shortText(int n) {
    const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string t(3, ' ');
    t[0] = letters[n % 26];
    t[1] = letters[(n / 26) % 26];
    t[2] = static_cast<char>('0' + (n / 676) % 10);
    return t;
}

std::string longText(int n, size_t size) {
    static const char* const words[] = {"quill ", "bank ", "memory ", "clipboard ", "text ",
                                        "hotkey ", "window ", "label "};
    char head[32];
    snprintf(head, sizeof head, "#%08d# ", n);
    std::string t = head;
    for (int i = 0; t.size() < size; ++i) t += words[(i * 5 + n) % 8];
    t.resize(size);
    return t;
}

constexpr size_t LONG_SIZE = 65535;
constexpr size_t LONG_PREFIX = 12;  // "#00000042# q" tells presses apart

// ---- the table reference's table ------------------------------------------------

// A main window's controls as another process sees them, in creation order:
// id, class, styles, place and size in the client area, text; then the
// client area's size.
std::vector<std::wstring> tableFacts(HWND window) {
    std::vector<std::wstring> facts;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t kind[64] = L"", text[64] = L"", line[256];
        GetClassNameW(c, kind, 64);
        GetWindowTextW(c, text, 64);
        RECT r = {};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        swprintf(line, 256, L"control %d %ls style %08lx ex %08lx at %ld,%ld size %ldx%ld \"%ls\"",
                 GetDlgCtrlID(c), kind, static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE)),
                 static_cast<unsigned long>(GetWindowLongW(c, GWL_EXSTYLE)), r.left, r.top,
                 r.right - r.left, r.bottom - r.top, text);
        facts.push_back(line);
    }
    RECT client = {};
    GetClientRect(window, &client);
    facts.push_back(L"client area " + std::to_wstring(client.right) + L"x" +
                    std::to_wstring(client.bottom));
    return facts;
}

bool sameTable(const std::vector<std::wstring>& quillbank, const std::vector<std::wstring>& ours) {
    for (size_t i = 0; i < std::max(quillbank.size(), ours.size()); ++i) {
        const std::wstring q = i < quillbank.size() ? quillbank[i] : L"(none)";
        const std::wstring t = i < ours.size() ? ours[i] : L"(none)";
        if (q != t) {
            fail("table reference: entry %zu is %ls, Quillbank's is %ls", i + 1, t.c_str(),
                 q.c_str());
            return false;
        }
    }
    return true;
}

// ---- one press, timed ----------------------------------------------------------

int textSerial;

// Puts `text` on the clipboard, presses Alt+3 and polls the label until it
// starts with the text; then checks the whole label and waits for the
// program to be idle again. Returns the latency in ms, or -1.
double timedPress(const Program& program, const Running& run, const std::string& text,
                  size_t prefix, int& missed) {
    const std::wstring want = widen(text);
    const std::wstring wantStart = want.substr(0, prefix);
    for (int attempt = 0; attempt < PRESS_ATTEMPTS; ++attempt) {
        if (!setClipboardText(text)) {
            fail("driver: could not put a text on the clipboard");
            return -1;
        }
        std::vector<INPUT> press;
        addPress(press, VK_MENU, '3');
        std::wstring seen;
        const double t0 = nowMs();
        if (sendInputs(press) != press.size()) {
            fail("driver: SendInput refused the keys");
            return -1;
        }
        bool shown = waitUntil(
            [&] { return labelText(run.label, seen, prefix) && seen == wantStart; },
            PRESS_WAIT_MS, 0);
        const double latency = nowMs() - t0;
        if (!shown) {
            // The clipboard may have been busy when the program read it
            // (it then shows what it got); press again.
            ++missed;
            if (!settle(program, run)) return -1;
            continue;
        }
        std::wstring whole;
        if (!labelText(run.label, whole) || whole != want) {
            fail("%s: the label holds %zu characters, not the %zu-byte text pressed in",
                 program.name, whole.size(), text.size());
            return -1;
        }
        if (!settle(program, run)) return -1;
        return latency;
    }
    fail("%s: Alt+3 did not show the clipboard's text in %d attempts", program.name,
         PRESS_ATTEMPTS);
    return -1;
}

// After a store of `stored`: puts another text on the clipboard, presses
// Ctrl+3 and waits until the program has written the clipboard and closed
// it; then checks that its CF_TEXT is the stored text and waits for the
// program to be idle again. Returns the latency in ms, or -1.
//
// Wine counts a change at EmptyClipboard, before the data is set, so the
// sequence number only says that the program has the clipboard open. From
// then on opening it cannot make the program's own open fail, and it
// succeeds once the program has closed it: that moment ends the timing.
double timedRecall(const Program& program, const Running& run, const std::string& stored,
                   int& missed) {
    for (int attempt = 0; attempt < PRESS_ATTEMPTS; ++attempt) {
        if (!setClipboardText("other " + std::to_string(++textSerial))) {
            fail("driver: could not put a text on the clipboard");
            return -1;
        }
        const DWORD before = GetClipboardSequenceNumber();
        std::vector<INPUT> press;
        addPress(press, VK_CONTROL, '3');
        const double t0 = nowMs();
        if (sendInputs(press) != press.size()) {
            fail("driver: SendInput refused the keys");
            return -1;
        }
        bool changed = waitUntil([&] { return GetClipboardSequenceNumber() != before; },
                                 PRESS_WAIT_MS, 0);
        bool opened =
            changed && waitUntil([] { return OpenClipboard(ownWindow) != FALSE; }, PRESS_WAIT_MS, 0);
        const double latency = nowMs() - t0;
        if (!changed) {
            // The clipboard may have been busy when the program opened it.
            ++missed;
            if (!settle(program, run)) return -1;
            continue;
        }
        if (!opened) {
            fail("%s: still holding the clipboard %.0f s after Ctrl+3", program.name,
                 PRESS_WAIT_MS / 1000);
            return -1;
        }
        const std::string got = openClipboardText();
        CloseClipboard();
        if (got != stored) {
            fail("%s: after Ctrl+3 the clipboard holds %zu bytes (\"%s\"), not the %zu-byte text "
                 "stored", program.name, got.size(), got.substr(0, 20).c_str(), stored.size());
            return -1;
        }
        if (!settle(program, run)) return -1;
        return latency;
    }
    fail("%s: Ctrl+3 did not change the clipboard in %d attempts", program.name, PRESS_ATTEMPTS);
    return -1;
}

// ---- results ---------------------------------------------------------------------

struct Samples {
    std::vector<double> startupMs, idleCpuS, idleCpuMs, idleServerS, latencyShortMs,
        latencyLongMs, recallShortMs, recallLongMs, stormDrainMs, stormTotalMs, stormCpuS,
        peakKiB, startCpuMs;
    int missed = 0;
    int storms = 0, stormsPassed = 0;
};

// Waits until the program has finished what its start left to do (painting,
// activation, late window-system events): its threads' CPU time no longer
// grows by a millisecond in half a second. The CPU used up to then counts as
// start-up work.
constexpr double REST_STEP_MS = 500;
constexpr double REST_CPU_MS = 1.0;
constexpr double REST_WAIT_MS = 15000;

bool waitForRest(const Program& program, const Running& run, Samples& s) {
    double before = cpuNanoseconds(run.linuxPid);
    const double deadline = nowMs() + REST_WAIT_MS;
    for (;;) {
        stayQuiet(REST_STEP_MS);
        double after = cpuNanoseconds(run.linuxPid);
        if (before < 0 || after < 0) {
            fail("%s: /proc/%d could not be read", program.name, run.linuxPid);
            return false;
        }
        if ((after - before) / 1e6 < REST_CPU_MS) {
            s.startCpuMs.push_back(after / 1e6);
            return true;
        }
        if (nowMs() >= deadline) {
            fail("%s: still using CPU %.0f s after its start", program.name, REST_WAIT_MS / 1000);
            return false;
        }
        before = after;
    }
}

bool measureIdle(const Program& program, const Running& run, const Options& o, Samples& s) {
    if (!settle(program, run)) return false;
    // A polling loop never rests; it is measured as it is.
    if (program.labelId && !waitForRest(program, run, s)) return false;
    const double c0 = cpuSeconds(run.linuxPid), n0 = cpuNanoseconds(run.linuxPid);
    const double w0 = o.wineserverPid ? cpuSeconds(o.wineserverPid) : 0;
    stayQuiet(o.idleSeconds * 1000.0);
    const double c1 = cpuSeconds(run.linuxPid), n1 = cpuNanoseconds(run.linuxPid);
    const double w1 = o.wineserverPid ? cpuSeconds(o.wineserverPid) : 0;
    if (c0 < 0 || c1 < 0 || n0 < 0 || n1 < 0 || w0 < 0 || w1 < 0) {
        fail("%s: /proc/%d could not be read", program.name, run.linuxPid);
        return false;
    }
    s.idleCpuS.push_back(c1 - c0);
    s.idleCpuMs.push_back((n1 - n0) / 1e6);
    if (o.wineserverPid) s.idleServerS.push_back(w1 - w0);
    return true;
}

bool measureStorm(const Program& program, const Running& run, const Options& o, Samples& s,
                  int round) {
    ++s.storms;
    char head[32];
    snprintf(head, sizeof head, "storm %d", round);
    const std::string text = head;
    if (!setClipboardText(text)) {
        fail("driver: could not put a text on the clipboard");
        return false;
    }
    std::vector<INPUT> presses;
    for (int i = 0; i < o.stormPresses; ++i) addPress(presses, VK_MENU, '3');
    const double c0 = cpuSeconds(run.linuxPid);
    const double t0 = nowMs();
    UINT sent = sendInputs(presses);
    const double t1 = nowMs();
    if (sent != presses.size()) {
        fail("driver: SendInput took %u of %zu storm inputs", sent, presses.size());
        return false;
    }
    // Every WM_HOTKEY of the storm is queued by now; the paint comes after them.
    std::wstring seen;
    InvalidateRect(run.window, nullptr, FALSE);
    bool drained = waitUntil(
        [&] { return !GetUpdateRect(run.window, nullptr, FALSE); }, STORM_WAIT_MS, 1);
    const double t2 = nowMs();
    const double c1 = cpuSeconds(run.linuxPid);
    if (!drained) {
        fail("%s: still busy %.0f s after a storm of %d presses", program.name,
             STORM_WAIT_MS / 1000, o.stormPresses);
        return false;
    }
    if (!labelText(run.label, seen) || seen != widen(text)) {
        fail("%s: after the storm the label shows \"%ls\", not \"%s\"", program.name,
             seen.substr(0, 40).c_str(), text.c_str());
        return false;
    }
    s.stormDrainMs.push_back(t2 - t1);
    s.stormTotalMs.push_back(t2 - t0);
    s.stormCpuS.push_back(c1 - c0);
    // Still answering at once: one ordinary press.
    int missed = 0;
    double after = timedPress(program, run, shortText(++textSerial), 3, missed);
    if (after < 0) return false;
    if (IsWindowVisible(run.window) == FALSE) {
        fail("%s: the main window is no longer visible after the storm", program.name);
        return false;
    }
    ++s.stormsPassed;
    return true;
}

// One program's turn in a round.
bool session(const Program& program, const Options& o, Samples& s, int round) {
    Running run;
    double startupMs = 0;
    bool ok = start(program, run, startupMs) && findLinuxProcess(program, run);
    if (ok) s.startupMs.push_back(startupMs);
    ok = ok && measureIdle(program, run, o, s);
    if (ok && program.labelId) {
        int missed = 0;
        // Not timed: the first press after a start.
        ok = timedPress(program, run, shortText(++textSerial), 3, missed) >= 0;
        // Each store is followed by its recall; stores alternate 3 and 65,535
        // bytes, so every one changes the size label and moves the bars.
        for (int i = 0; ok && i < o.pressesPerSize; ++i) {
            const std::string shortOne = shortText(++textSerial);
            const std::string longOne = longText(++textSerial, LONG_SIZE);
            double ms[4] = {-1, -1, -1, -1};
            ok = (ms[0] = timedPress(program, run, shortOne, 3, missed)) >= 0 &&
                 (ms[1] = timedRecall(program, run, shortOne, missed)) >= 0 &&
                 (ms[2] = timedPress(program, run, longOne, LONG_PREFIX, missed)) >= 0 &&
                 (ms[3] = timedRecall(program, run, longOne, missed)) >= 0;
            if (ok) {
                s.latencyShortMs.push_back(ms[0]);
                s.recallShortMs.push_back(ms[1]);
                s.latencyLongMs.push_back(ms[2]);
                s.recallLongMs.push_back(ms[3]);
            }
        }
        s.missed += missed;
        ok = ok && measureStorm(program, run, o, s, round);
    }
    if (ok) {
        double peak = peakResidentKiB(run.linuxPid);
        if (peak < 0) {
            fail("%s: no VmHWM in /proc/%d/status", program.name, run.linuxPid);
            ok = false;
        } else {
            s.peakKiB.push_back(peak);
        }
    }
    stop(program, run);
    // More start-up samples.
    for (int i = 1; ok && program.labelId && i < o.startsPerRound; ++i) {
        ok = start(program, run, startupMs);
        if (ok) s.startupMs.push_back(startupMs);
        stop(program, run);
    }
    return ok;
}

// ---- the table ---------------------------------------------------------------------

std::vector<std::string> table;
int targetsMissed;

std::string formatValue(double v, int decimals) {
    if (v < 0) return "-";
    char b[32];
    snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

std::string ratioText(double ours, double ref) {
    if (ours < 0 || ref <= 0) return "-";
    char b[32];
    snprintf(b, sizeof b, "%.2f", ours / ref);
    return b;
}

// Quillbank's figure, the one-label reference's and the table reference's,
// with Quillbank's ratio to each. `met` may judge two targets ("no / yes").
void row(const std::string& metric, const std::string& ours, const std::string& ref,
         const std::string& ratio, const std::string& tab, const std::string& tabRatio,
         const std::string& target, const std::string& met) {
    char line[512];
    snprintf(line, sizeof line, "| %-46s | %10s | %10s | %6s | %10s | %6s | %-26s | %-8s |",
             metric.c_str(), ours.c_str(), ref.c_str(), ratio.c_str(), tab.c_str(),
             tabRatio.c_str(), target.c_str(), met.c_str());
    table.push_back(line);
    for (size_t at = met.find("no"); at != std::string::npos; at = met.find("no", at + 2))
        ++targetsMissed;
}

void valueRow(const std::string& metric, double q, double r, double t, int decimals,
              const std::string& target = "(detail)", const std::string& met = "") {
    row(metric, formatValue(q, decimals), formatValue(r, decimals), ratioText(q, r),
        formatValue(t, decimals), ratioText(q, t), target, met);
}

// Quillbank at most `refFactor` times the one-label reference and, where
// `tabFactor` is not 0, at most `tabFactor` times the table reference.
void latencyRow(const std::string& metric, const std::vector<double>& ours,
                const std::vector<double>& ref, const std::vector<double>& tab,
                double refFactor, double tabFactor) {
    const double q = median(ours), r = median(ref), t = median(tab);
    auto within = [q](double other, double factor) {
        return q >= 0 && other > 0 && q <= factor * other ? "yes" : "no";
    };
    char target[64];
    std::string met;
    if (refFactor == 0) {
        snprintf(target, sizeof target, "(detail)");
    } else if (tabFactor == 0) {
        snprintf(target, sizeof target, "<= %.1f x reference", refFactor);
        met = within(r, refFactor);
    } else {
        snprintf(target, sizeof target, "<= %.1f x ref, %.1f x table", refFactor, tabFactor);
        met = std::string(within(r, refFactor)) + " / " + within(t, tabFactor);
    }
    valueRow(metric, q, r, t, 3, target, met);
}

void printTable(const Options& o, const Samples& qb, const Samples& ref, const Samples& tab,
                const Samples& poll) {
    char m[128];
    row("metric", "Quillbank", "reference", "ratio", "table ref", "ratio", "target", "met?");
    table.push_back("|" + std::string(48, '-') + "|" + std::string(12, '-') + "|" +
                    std::string(12, '-') + "|" + std::string(8, '-') + "|" +
                    std::string(12, '-') + "|" + std::string(8, '-') + "|" +
                    std::string(28, '-') + "|" + std::string(10, '-') + "|");

    // Idle: /proc counts in 10 ms ticks, so "no more than" allows one tick.
    snprintf(m, sizeof m, "idle CPU over %d s (s, utime+stime, n=%zu)", o.idleSeconds,
             qb.idleCpuS.size());
    double qi = median(qb.idleCpuS), ri = median(ref.idleCpuS);
    valueRow(m, qi, ri, median(tab.idleCpuS), 2, "<= reference (+1 tick)",
             qi >= 0 && ri >= 0 && qi <= ri + 0.01 ? "yes" : "no");
    snprintf(m, sizeof m, "idle CPU over %d s (ms, schedstat)", o.idleSeconds);
    double rn = median(ref.idleCpuMs);
    valueRow(m, median(qb.idleCpuMs), rn, median(tab.idleCpuMs), 3);
    double rw = median(ref.idleServerS);
    if (o.wineserverPid)
        valueRow("wineserver CPU in that period (s)", median(qb.idleServerS), rw,
                 median(tab.idleServerS), 2);
    // The stand-in's figures stand in Quillbank's column.
    snprintf(m, sizeof m, "1 ms poll stand-in, idle CPU over %d s (s)", o.idleSeconds);
    valueRow(m, median(poll.idleCpuS), ri, -1, 2, "(comparison only)");
    valueRow("1 ms poll stand-in, idle CPU (ms, schedstat)", median(poll.idleCpuMs), rn, -1, 3,
             "(comparison only)");
    if (o.wineserverPid)
        valueRow("1 ms poll stand-in, wineserver CPU (s)", median(poll.idleServerS), rw, -1, 2,
                 "(comparison only)");

    snprintf(m, sizeof m, "store (Alt+3), 3-byte text (ms, n=%zu)", qb.latencyShortMs.size());
    latencyRow(m, qb.latencyShortMs, ref.latencyShortMs, tab.latencyShortMs, 1.2, 0);
    snprintf(m, sizeof m, "store (Alt+3), 65,535-byte text (ms, n=%zu)", qb.latencyLongMs.size());
    latencyRow(m, qb.latencyLongMs, ref.latencyLongMs, tab.latencyLongMs, 1.2, 1.3);
    snprintf(m, sizeof m, "recall (Ctrl+3), 3-byte text (ms, n=%zu)", qb.recallShortMs.size());
    latencyRow(m, qb.recallShortMs, ref.recallShortMs, tab.recallShortMs, 0, 0);
    snprintf(m, sizeof m, "recall (Ctrl+3), 65,535-byte text (ms, n=%zu)", qb.recallLongMs.size());
    latencyRow(m, qb.recallLongMs, ref.recallLongMs, tab.recallLongMs, 0, 0);

    snprintf(m, sizeof m, "start-up to visible window (ms, n=%zu)", qb.startupMs.size());
    const double qs = median(qb.startupMs), rs = median(ref.startupMs);
    valueRow(m, qs, rs, median(tab.startupMs), 1, "<= 1.2 x reference",
             qs >= 0 && rs > 0 && qs <= 1.2 * rs ? "yes" : "no");
    valueRow("start-up CPU until at rest (ms, schedstat)", median(qb.startCpuMs),
             median(ref.startCpuMs), median(tab.startCpuMs), 1);

    if (o.exeSize >= 0) {
        char size[32];
        snprintf(size, sizeof size, "%lld", o.exeSize);
        row("i686 quillbank.exe size (bytes)", size, "-", "-", "-", "-", "<= 262,144",
            o.exeSize <= 262144 ? "yes" : "no");
    }
    if (!o.imports.empty()) {
        // Windows' own DLLs; anything else would have to ship beside the program.
        static const char* const system[] = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                             "comctl32.dll", "ole32.dll",  "msvcrt.dll",
                                             "advapi32.dll", "shell32.dll", "comdlg32.dll"};
        bool allSystem = true;
        size_t from = 0;
        while (from <= o.imports.size()) {
            size_t to = o.imports.find(',', from);
            if (to == std::string::npos) to = o.imports.size();
            std::string dll = o.imports.substr(from, to - from);
            for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            bool known = false;
            for (const char* s : system) known = known || dll == s;
            if (!dll.empty() && !known) allSystem = false;
            from = to + 1;
        }
        const std::string& list = o.imports;
        row("i686 quillbank.exe imported DLLs (see below)",
            std::to_string(std::count(list.begin(), list.end(), ',') + 1), "-", "-", "-", "-",
            "system DLLs only", allSystem ? "yes" : "no");
    }
    double qp = median(qb.peakKiB), rp = median(ref.peakKiB);
    snprintf(m, sizeof m, "peak resident memory, VmHWM (KiB, n=%zu)", qb.peakKiB.size());
    valueRow(m, qp, rp, median(tab.peakKiB), 0, "<= reference + 2,048 KiB",
             qp >= 0 && rp >= 0 && qp <= rp + 2048 ? "yes" : "no");

    snprintf(m, sizeof m, "storm of %d presses: drain after last (ms)", o.stormPresses);
    valueRow(m, median(qb.stormDrainMs), median(ref.stormDrainMs), median(tab.stormDrainMs), 1);
    snprintf(m, sizeof m, "storm: first press to last shown (ms, n=%zu)", qb.stormTotalMs.size());
    valueRow(m, median(qb.stormTotalMs), median(ref.stormTotalMs), median(tab.stormTotalMs), 1);
    valueRow("storm: CPU used (s)", median(qb.stormCpuS), median(ref.stormCpuS),
             median(tab.stormCpuS), 2);
    auto passed = [](const Samples& x) {
        return std::to_string(x.stormsPassed) + "/" + std::to_string(x.storms);
    };
    row("storms with right final label, then responsive", passed(qb), passed(ref), "-",
        passed(tab), "-", "all correct and responsive",
        qb.storms > 0 && qb.stormsPassed == qb.storms ? "yes" : "no");
    row("presses re-sent (clipboard busy)", std::to_string(qb.missed), std::to_string(ref.missed),
        "-", std::to_string(tab.missed), "-", "(detail)", "");

    for (const std::string& line : table) printf("%s\n", line.c_str());
    if (!o.imports.empty()) printf("\nImports of the i686 quillbank.exe: %s\n", o.imports.c_str());
    printf("\nTargets missed: %d%s\n", targetsMissed,
           o.smoke ? " (smoke mode: short samples, targets not asserted)" : "");
    fflush(stdout);
}

bool parse(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--smoke") {
            o.smoke = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        std::wstring v = argv[++i];
        std::string narrowV(v.begin(), v.end());
        if (a == L"--quillbank") o.quillbank = toWindowsPath(narrowV.c_str());
        else if (a == L"--reference") o.reference = toWindowsPath(narrowV.c_str());
        else if (a == L"--table-reference") o.tableReference = toWindowsPath(narrowV.c_str());
        else if (a == L"--poll-loop") o.pollLoop = toWindowsPath(narrowV.c_str());
        else if (a == L"--rounds") o.rounds = _wtoi(v.c_str());
        else if (a == L"--idle-seconds") o.idleSeconds = _wtoi(v.c_str());
        else if (a == L"--presses") o.pressesPerSize = _wtoi(v.c_str());
        else if (a == L"--starts") o.startsPerRound = _wtoi(v.c_str());
        else if (a == L"--storm") o.stormPresses = _wtoi(v.c_str());
        else if (a == L"--wineserver-pid") o.wineserverPid = _wtoi(v.c_str());
        else if (a == L"--exe-size") o.exeSize = _wtoi64(v.c_str());
        else if (a == L"--imports") o.imports = narrowV;
        else return false;
    }
    return !o.quillbank.empty() && !o.reference.empty() && !o.tableReference.empty() &&
           !o.pollLoop.empty() && o.rounds > 0 &&
           o.idleSeconds > 0 && o.pressesPerSize > 0 && o.startsPerRound > 0 &&
           o.stormPresses > 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain "\n" line ends in the table, whatever reads it.
    _setmode(_fileno(stdout), _O_BINARY);
    Options o;
    if (!parse(argc, argv, o)) {
        fprintf(stderr,
                "usage: driver.exe --quillbank EXE --reference EXE --table-reference EXE\n"
                "       --poll-loop EXE [--smoke]\n"
                "       [--rounds N] [--idle-seconds S] [--presses N] [--starts N] [--storm N]\n"
                "       [--wineserver-pid PID] [--exe-size BYTES] [--imports A.dll,B.dll]\n");
        return 2;
    }
    // A hidden top-level window: owner of the clipboard texts, and it keeps
    // Wine's desktop up between the programs.
    ownWindow = CreateWindowExW(0, L"STATIC", L"Quillbank benchmark driver", WS_POPUP, 0, 0, 1,
                                1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!ownWindow) {
        fail("driver: no window");
        return 1;
    }

    const Program quillbank = {"Quillbank", o.quillbank, L"Quillbank ...", 1017};
    const Program reference = {"reference", o.reference, L"Quillbank reference", 1017};
    const Program tableReference = {"table reference", o.tableReference,
                                    L"Quillbank table reference", 1017};
    const Program pollLoop = {"poll loop", o.pollLoop, L"Quillbank poll loop", 0};
    Samples qb, ref, tab, poll;

    // One untimed start of each first: the first start after Wine's desktop
    // came up loads fonts and libraries for everyone. Meanwhile the table
    // reference's table is checked against Quillbank's.
    std::vector<std::wstring> quillbankTable;
    for (const Program* p : {&quillbank, &reference, &tableReference, &pollLoop}) {
        Running run;
        double ms = 0;
        bool ok = start(*p, run, ms);
        if (ok && p == &quillbank) quillbankTable = tableFacts(run.window);
        if (ok && p == &tableReference) ok = sameTable(quillbankTable, tableFacts(run.window));
        stop(*p, run);
        if (!ok) return 1;
    }

    for (int round = 0; round < o.rounds && !failed; ++round) {
        // The order turns each round, so that no program always follows another.
        const Program* order[4] = {&quillbank, &reference, &tableReference, &pollLoop};
        std::rotate(order, order + round % 4, order + 4);
        for (const Program* p : order) {
            note("round %d/%d: %s", round + 1, o.rounds, p->name);
            Samples& s = p == &quillbank ? qb : p == &reference ? ref
                                                : p == &tableReference ? tab : poll;
            if (!session(*p, o, s, round)) break;
        }
    }
    printTable(o, qb, ref, tab, poll);
    if (failed) fprintf(stderr, "A measurement could not be taken or a check failed (see above).\n");
    DestroyWindow(ownWindow);
    return failed ? 1 : 0;
}
