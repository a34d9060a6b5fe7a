#include "clipboard/clipboard_text.h"

#include <windows.h>

#include <cstring>

namespace {

// Other programs (clipboard viewers, remote-desktop and X bridges) hold the
// clipboard open for a moment now and then. Waiting up to about 200 ms rides
// that out without the user noticing; the thread does not pump meanwhile, so
// no other action can start in between.
constexpr int OPEN_ATTEMPTS = 20;
constexpr DWORD OPEN_PAUSE_MS = 10;

bool openClipboardPatiently() {
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        if (attempt == OPEN_ATTEMPTS) return false;
        Sleep(OPEN_PAUSE_MS);
    }
}

}  // namespace

std::optional<std::string> readClipboardText(size_t maxBytes) {
    if (!openClipboardPatiently()) return std::nullopt;
    // No text at all is an answer; text offered but out of reach is not.
    if (!IsClipboardFormatAvailable(CF_TEXT)) {
        CloseClipboard();
        return std::string();
    }
    std::optional<std::string> text;
    HANDLE h = GetClipboardData(CF_TEXT);
    const char* p = h ? static_cast<const char*>(GlobalLock(h)) : nullptr;
    if (p) {
        // Another program may hand over a block without a NUL: never read
        // past the block's end.
        size_t size = GlobalSize(h);
        // Whatever size another program chose, only what the caller keeps
        // is copied.
        if (size > maxBytes) size = maxBytes;
        const void* nul = size ? std::memchr(p, '\0', size) : nullptr;
        size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : size;
        text.emplace(p, n);
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

bool writeClipboardText(const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n + 2);
    if (!block) return false;  // the clipboard keeps what it has
    char* p = static_cast<char*>(GlobalLock(block));
    if (!p) {
        GlobalFree(block);
        return false;
    }
    if (n) std::memcpy(p, text, n);
    p[n] = '\0';  // the block's last byte is zero from the allocation
    GlobalUnlock(block);

    // The block is ready before the clipboard is opened, so it is held open
    // only for emptying and setting it.
    if (!openClipboardPatiently()) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    bool set = SetClipboardData(CF_TEXT, block) != nullptr;
    if (!set) GlobalFree(block);
    // Otherwise the system owns the block now.
    CloseClipboard();
    return set;
}
