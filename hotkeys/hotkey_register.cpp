#include "hotkeys/hotkey_register.h"

#include "hotkeys/hotkey_table.h"

namespace {
HWND registeredWindow;
}  // namespace

void registerHotkeys(HWND window) {
    // Set first: an exit part way through still deletes the atoms made so far.
    registeredWindow = window;
    for (const HotkeyEntry& row : hotkeyTable) {
        // Read afresh per row: rows registered in different milliseconds get
        // different names.
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string name =
            hotkeyAtomName(row.baseName, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        *row.id = GlobalAddAtomA(name.c_str());
        // A combination held elsewhere leaves this row inactive; go on.
        RegisterHotKey(window, static_cast<int>(*row.id), row.modifiers, row.virtualKey);
    }
}

void releaseHotkeys(HWND window) {
    for (const HotkeyEntry& row : hotkeyTable) {
        UnregisterHotKey(window, static_cast<int>(*row.id));
        GlobalDeleteAtom(static_cast<ATOM>(*row.id));
    }
    // Global atoms outlive the process: deleted twice, one could be another
    // program's by then.
    if (window == registeredWindow) registeredWindow = nullptr;
}

void releaseHotkeysOnExit() {
    if (registeredWindow) releaseHotkeys(registeredWindow);
}
