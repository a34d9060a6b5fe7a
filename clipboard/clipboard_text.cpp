#include "clipboard/clipboard_text.h"

#include <windows.h>

#include <cstring>

namespace {

// Other programs (clipboard viewers, remote-desktop and X bridges) hold the
// clipboard open for a moment now and then. Waiting up to about 200 ms rides
// that out without the user noticing.
constexpr int OPEN_ATTEMPTS = 20;
constexpr DWORD OPEN_PAUSE_MS = 10;
// On top of that, about one second for an owner that is slow to answer. Past
// it the user has moved on: the exchange is given up.
constexpr DWORD OWNER_WAIT_MS = 1000;
constexpr DWORD EXCHANGE_WAIT_MS = OPEN_ATTEMPTS * OPEN_PAUSE_MS + OWNER_WAIT_MS;
// How often a wait that lasts answers messages sent to this thread.
constexpr DWORD SENT_MESSAGE_SLICE_MS = 20;

enum ExchangeState {
    IDLE,       // the worker waits for a request
    RUNNING,    // the worker is on it, the caller waits
    COMMITTED,  // a write has the clipboard open and will go through
    DONE,       // finished in time; the caller takes the result
    ABANDONED,  // the caller gave up; the worker drops what it gets
};

// One exchange at a time, handed to the worker thread under `lock`. The
// caller fills in the request while the state is IDLE; the worker owns the
// rest from RUNNING until it sets DONE, or IDLE after an abandoned exchange.
// A lock and condition variables rather than events: the hand-over there and
// back costs about half as much.
struct Exchange {
    SRWLOCK lock;
    CONDITION_VARIABLE requested, finished;
    ExchangeState state;
    bool write;
    // A read: the caller's storage and its room, and what was found there.
    char* bytes;
    size_t byteRoom, byteCount;
    char16_t* units;
    size_t unitRoom, unitCount;
    uint32_t locale;
    // A write: the blocks prepared by the caller; whatever the clipboard does
    // not take is freed by the worker.
    HGLOBAL textBlock, unicodeBlock, localeBlock;
    bool ok;
};

Exchange* exchange;

ExchangeState stateNow() {
    AcquireSRWLockShared(&exchange->lock);
    ExchangeState state = exchange->state;
    ReleaseSRWLockShared(&exchange->lock);
    return state;
}

bool openClipboardPatiently() {
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        if (attempt == OPEN_ATTEMPTS) return false;
        Sleep(OPEN_PAUSE_MS);
    }
}

size_t lengthWithin(const char* p, size_t n) {
    const void* nul = n ? std::memchr(p, '\0', n) : nullptr;
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : n;
}

size_t lengthWithin(const char16_t* p, size_t n) {
    size_t length = 0;
    while (length < n && p[length]) ++length;
    return length;
}

// Copies a locked block of text units into `out` up to its first zero unit,
// never past the block's end (another program may hand over a block without
// one), and at most `room` units of it.
template <typename Unit>
bool copyBlock(HANDLE h, Unit* out, size_t room, size_t& count) {
    const Unit* p = h ? static_cast<const Unit*>(GlobalLock(h)) : nullptr;
    if (!p) return false;
    size_t n = GlobalSize(h) / sizeof(Unit);
    if (n > room) n = room;
    count = lengthWithin(p, n);
    if (count) std::memcpy(out, p, count * sizeof(Unit));
    GlobalUnlock(h);
    return true;
}

// The LCID at the start of a CF_LOCALE block; 0 for none, or for a block
// too short to hold one.
uint32_t localeOf(HANDLE h) {
    const void* p = h ? GlobalLock(h) : nullptr;
    if (!p) return 0;
    LCID lcid = 0;
    if (GlobalSize(h) >= sizeof lcid) std::memcpy(&lcid, p, sizeof lcid);
    GlobalUnlock(h);
    return lcid;
}

void readOnWorker() {
    Exchange& x = *exchange;
    x.byteCount = 0;
    x.unitCount = 0;
    x.locale = 0;
    x.ok = false;
    if (!openClipboardPatiently()) return;
    if (stateNow() == ABANDONED) {
        // Asking the owner to render now would only keep it busy for nothing.
    } else if (HANDLE text = GetClipboardData(CF_TEXT); !text) {
        // No text at all is an answer; text offered but out of reach is not.
        // Asked only here: where the text is, it costs a request for nothing.
        x.ok = !IsClipboardFormatAvailable(CF_TEXT);
    } else {
        // The exact form is a bonus.
        x.ok = copyBlock(text, x.bytes, x.byteRoom, x.byteCount);
        if (x.ok && stateNow() != ABANDONED &&
            !copyBlock(GetClipboardData(CF_UNICODETEXT), x.units, x.unitRoom, x.unitCount))
            x.unitCount = 0;
        if (x.ok && stateNow() != ABANDONED) x.locale = localeOf(GetClipboardData(CF_LOCALE));
    }
    CloseClipboard();
}

// Frees what the clipboard did not take.
void dropBlocks() {
    Exchange& x = *exchange;
    if (x.unicodeBlock) GlobalFree(x.unicodeBlock);
    if (x.textBlock) GlobalFree(x.textBlock);
    if (x.localeBlock) GlobalFree(x.localeBlock);
    x.unicodeBlock = x.textBlock = x.localeBlock = nullptr;
}

// From the moment the clipboard is open here no other program can change it
// until it closes: a write that goes ahead then puts only the text it was
// asked for over what was there at the press, even if the caller gives up
// meanwhile. A caller that gave up before keeps the clipboard as it is.
bool commitWrite() {
    AcquireSRWLockExclusive(&exchange->lock);
    bool go = exchange->state == RUNNING;
    if (go) exchange->state = COMMITTED;
    ReleaseSRWLockExclusive(&exchange->lock);
    return go;
}

// Emptying the clipboard tells its old owner and waits for it, with the
// clipboard held open. An owner that answers nothing is found out first, a
// bounded time, with a message that costs it nothing, so that a write given
// up on does not go through long after the press.
bool ownerAnswers() {
    HWND owner = GetClipboardOwner();
    if (!owner) return true;
    DWORD_PTR result = 0;
    const bool replied = SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG,
                                             OWNER_WAIT_MS, &result) != 0;
    const DWORD error = replied ? 0 : GetLastError();
    return ownerCountsAsAnswering(replied, error, replied || IsWindow(owner));
}

void writeOnWorker() {
    Exchange& x = *exchange;
    x.ok = false;
    if (ownerAnswers() && openClipboardPatiently()) {
        if (commitWrite()) {
            EmptyClipboard();
            if (x.unicodeBlock && SetClipboardData(CF_UNICODETEXT, x.unicodeBlock)) {
                x.unicodeBlock = nullptr;  // the system owns it now
                x.ok = true;
            }
            if (SetClipboardData(CF_TEXT, x.textBlock)) {
                x.textBlock = nullptr;
                x.ok = true;
            }
            // Without it the system would tag the text with the keyboard
            // language of the moment, and convert it in that code page.
            if (x.ok && x.localeBlock && SetClipboardData(CF_LOCALE, x.localeBlock))
                x.localeBlock = nullptr;
        }
        CloseClipboard();
    }
    dropBlocks();
}

DWORD WINAPI clipboardWorker(void*) {
    Exchange& x = *exchange;
    AcquireSRWLockExclusive(&x.lock);
    for (;;) {
        // No time-out: an idle program wakes for nothing.
        while (x.state != RUNNING) SleepConditionVariableSRW(&x.requested, &x.lock, INFINITE, 0);
        ReleaseSRWLockExclusive(&x.lock);
        if (x.write)
            writeOnWorker();
        else
            readOnWorker();
        AcquireSRWLockExclusive(&x.lock);
        if (x.state == ABANDONED) {
            x.state = IDLE;  // too late: nobody takes it
        } else {
            x.state = DONE;
            WakeConditionVariable(&x.finished);
        }
    }
}

// The worker and its exchange, made at the first use and kept for the life
// of the process.
bool startWorker() {
    if (exchange) return true;
    auto* x = static_cast<Exchange*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Exchange)));
    if (!x) return false;
    InitializeSRWLock(&x->lock);
    InitializeConditionVariable(&x->requested);
    InitializeConditionVariable(&x->finished);
    x->state = IDLE;
    exchange = x;
    HANDLE thread = CreateThread(nullptr, 0, clipboardWorker, nullptr, 0, nullptr);
    if (!thread) {
        HeapFree(GetProcessHeap(), 0, x);
        exchange = nullptr;
        return false;
    }
    CloseHandle(thread);
    return true;
}

// True when a new exchange may start: the worker exists and no earlier one
// is still stuck.
bool exchangeFree() { return startWorker() && stateNow() == IDLE; }

// Hands the request to the worker and waits for it, a bounded time. The wait
// takes no posted message, so no hotkey or click is handled in the middle of
// this one. Messages sent to this thread's windows are answered now and then:
// when one of them owns the clipboard (the pad's text box, after its own
// Copy), the worker asks it whether it answers and then tells it the
// clipboard is emptied, and would otherwise wait on this thread.
bool runExchange() {
    Exchange& x = *exchange;
    AcquireSRWLockExclusive(&x.lock);
    x.state = RUNNING;
    WakeConditionVariable(&x.requested);
    const DWORD started = GetTickCount();
    for (;;) {
        if (x.state != RUNNING && x.state != COMMITTED) break;
        DWORD waited = GetTickCount() - started;  // unsigned: right across a wrap
        if (waited >= EXCHANGE_WAIT_MS) break;
        DWORD slice = EXCHANGE_WAIT_MS - waited;
        if (slice > SENT_MESSAGE_SLICE_MS) slice = SENT_MESSAGE_SLICE_MS;
        if (!SleepConditionVariableSRW(&x.finished, &x.lock, slice, 0) &&
            (x.state == RUNNING || x.state == COMMITTED)) {
            ReleaseSRWLockExclusive(&x.lock);
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            AcquireSRWLockExclusive(&x.lock);
        }
    }
    const bool done = x.state == DONE;
    x.state = done ? IDLE : ABANDONED;
    ReleaseSRWLockExclusive(&x.lock);
    return done;
}

// A block of `size` bytes of data and `zeros` zero bytes after them.
HGLOBAL blockWith(UINT flags, const void* data, size_t size, size_t zeros) {
    HGLOBAL block = GlobalAlloc(flags, size + zeros);
    if (!block) return nullptr;
    char* p = static_cast<char*>(GlobalLock(block));
    if (!p) {
        GlobalFree(block);
        return nullptr;
    }
    if (size) std::memcpy(p, data, size);
    std::memset(p + size, 0, zeros);
    GlobalUnlock(block);
    return block;
}

}  // namespace

bool ownerCountsAsAnswering(bool replied, unsigned long error, bool ownerExists) {
    return replied || error == ERROR_ACCESS_DENIED || !ownerExists;
}

std::optional<ClipboardText> readClipboardText(char* bytes, size_t byteRoom, char16_t* units,
                                               size_t unitRoom) {
    if (!exchangeFree()) return std::nullopt;
    Exchange& x = *exchange;
    x.write = false;
    x.bytes = bytes;
    x.byteRoom = byteRoom;
    x.units = units;
    x.unitRoom = unitRoom;
    if (!runExchange() || !x.ok) return std::nullopt;
    return ClipboardText{x.byteCount, x.unitCount, x.locale};
}

bool writeClipboardText(std::string_view bytes, std::u16string_view units, uint32_t locale) {
    if (!exchangeFree()) return false;  // the clipboard keeps what it has
    // Ready before the clipboard is opened, so it is held open only for
    // emptying and setting it. A text of n bytes goes in a block of n + 2.
    HGLOBAL text = blockWith(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.data(), bytes.size(), 2);
    HGLOBAL unicode = units.empty() ? nullptr
                                    : blockWith(GMEM_MOVEABLE, units.data(),
                                                units.size() * sizeof(char16_t), sizeof(char16_t));
    const LCID lcid = locale;
    HGLOBAL localeBlock = lcid ? blockWith(GMEM_MOVEABLE, &lcid, sizeof lcid, 0) : nullptr;
    if (!text || (!units.empty() && !unicode) || (lcid && !localeBlock)) {
        if (text) GlobalFree(text);
        if (unicode) GlobalFree(unicode);
        if (localeBlock) GlobalFree(localeBlock);
        return false;
    }
    exchange->write = true;
    exchange->textBlock = text;
    exchange->unicodeBlock = unicode;
    exchange->localeBlock = localeBlock;
    return runExchange() && exchange->ok;
}
