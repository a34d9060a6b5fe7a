#include "clipboard/clipboard_text.h"

#include <windows.h>

#include <cstring>

std::string readClipboardText(size_t maxBytes) {
    if (!OpenClipboard(nullptr)) return std::string();  // held by another program
    std::string text;
    HANDLE h = GetClipboardData(CF_TEXT);
    if (h) {
        const char* p = static_cast<const char*>(GlobalLock(h));
        if (p) {
            // Another program may hand over a block without a NUL: never read
            // past the block's end.
            size_t size = GlobalSize(h);
            // Whatever size another program chose, only what the caller
            // keeps is copied.
            if (size > maxBytes) size = maxBytes;
            const void* nul = size ? std::memchr(p, '\0', size) : nullptr;
            size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : size;
            text.assign(p, n);
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

void writeClipboardText(const char* text) {
    size_t n = text ? std::strlen(text) : 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n + 2);
    if (!block) return;  // the clipboard keeps what it has
    char* p = static_cast<char*>(GlobalLock(block));
    if (!p) {
        GlobalFree(block);
        return;
    }
    if (n) std::memcpy(p, text, n);
    p[n] = '\0';  // the block's last byte is zero from the allocation
    GlobalUnlock(block);

    // The block is ready before the clipboard is opened, so it is held open
    // only for emptying and setting it.
    if (!OpenClipboard(nullptr)) {
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    // Otherwise the system owns the block now.
    CloseClipboard();
}
