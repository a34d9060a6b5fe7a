#include "hotkeys/hotkey_register.h"

#include "hotkeys/hotkey_table.h"

void registerHotkeys(HWND window) {
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
}
