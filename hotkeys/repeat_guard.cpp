#include "hotkeys/repeat_guard.h"

namespace {

// A low-level keyboard hook sees every key event in order, before the system
// matches it to a hotkey. It is called on the thread that set it, so it runs
// on a thread of its own: the main thread may be busy for seconds (a window
// that hides waits for the window manager), and input would wait for it.
// That thread waits in GetMessageW, and the hook exists only while a watched
// key is held: at rest the guard costs nothing.
constexpr UINT WM_WATCH_KEY = WM_APP;      // wParam: the virtual key; lParam: the request
constexpr UINT WM_LAST_KEY_UP = WM_APP + 1;
// The hand-over takes well under a millisecond. A guard that does not answer
// in this time is not waited for: the press acts, and its repeats may too.
constexpr DWORD WATCH_WAIT_MS = 200;

DWORD guardThread;
HANDLE answered;          // set when the guard's thread has taken a request
// Requests are numbered, so that a late answer is told apart; 0 is the
// thread's start.
volatile LONG lastAsked;
volatile LONG lastTaken = -1;

// The guard's thread alone touches these.
HHOOK hook;
bool held[256];
int heldCount;

LRESULT CALLBACK onKey(int code, WPARAM message, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (key.vkCode < 256 && held[key.vkCode]) {
            if (!(key.flags & LLKHF_UP)) return 1;  // a repeat: dropped
            held[key.vkCode] = false;
            if (--heldCount == 0) PostThreadMessageW(guardThread, WM_LAST_KEY_UP, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, message, lParam);
}

void unhookWhenNoneHeld() {
    if (hook && heldCount == 0) {
        UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
}

void watch(UINT vk) {
    if (!hook) hook = SetWindowsHookExW(WH_KEYBOARD_LL, onKey, GetModuleHandleW(nullptr), 0);
    // Read once the hook is in: the system calls the hook before it updates
    // the key state, so this is the state after every event the hook will
    // not see, and the hook sees every later one, the release among them.
    if (hook && !held[vk] && GetAsyncKeyState(static_cast<int>(vk)) < 0) {
        held[vk] = true;
        ++heldCount;
    }
    unhookWhenNoneHeld();
}

DWORD WINAPI runGuard(void*) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue PostThreadMessageW needs
    InterlockedExchange(&lastTaken, 0);
    SetEvent(answered);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_WATCH_KEY) {
            watch(static_cast<UINT>(msg.wParam & 0xFF));
            InterlockedExchange(&lastTaken, static_cast<LONG>(msg.lParam));
            SetEvent(answered);
        } else if (msg.message == WM_LAST_KEY_UP) {
            unhookWhenNoneHeld();
        }
    }
    return 0;
}

// Waits until the guard's thread has taken request `n`, a bounded time.
bool waitTaken(LONG n) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (lastTaken - n >= 0) return true;
        DWORD waited = GetTickCount() - started;
        if (waited >= WATCH_WAIT_MS) return false;
        WaitForSingleObject(answered, WATCH_WAIT_MS - waited);
    }
}

bool startGuard() {
    if (guardThread) return true;
    if (!answered && !(answered = CreateEventW(nullptr, FALSE, FALSE, nullptr))) return false;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, runGuard, nullptr, 0, &id);
    if (!thread) return false;
    CloseHandle(thread);
    guardThread = id;
    return waitTaken(0);
}

}  // namespace

void dropRepeatsWhileHeld(UINT virtualKey) {
    if (!startGuard()) return;
    const LONG n = InterlockedIncrement(&lastAsked);
    if (PostThreadMessageW(guardThread, WM_WATCH_KEY, virtualKey, n)) waitTaken(n);
}
