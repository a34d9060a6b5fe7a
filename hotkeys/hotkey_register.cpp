#include "hotkeys/hotkey_register.h"

#include "hotkeys/hotkey_table.h"

static_assert(HOTKEY_MOD_NOREPEAT == MOD_NOREPEAT, "the table's flag is the system's");

namespace {
HWND registeredWindow;
}  // namespace

void registerHotkeys(HWND window, RegisterHotKeyFunction registerHotKey) {
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
        const int id = static_cast<int>(*row.id);
        // Windows before 7 refuses the flag. A combination held elsewhere is
        // refused either way and leaves this row inactive; go on.
        if (actsOncePerPress(row.action) &&
            registerHotKey(window, id, row.modifiers | HOTKEY_MOD_NOREPEAT, row.virtualKey))
            continue;
        registerHotKey(window, id, row.modifiers, row.virtualKey);
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
