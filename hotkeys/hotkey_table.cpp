#include "hotkeys/hotkey_table.h"

#include "core/number_text.h"

uint32_t hkPad, hkExit, hkToggleWindow, hkHelp;
uint32_t hkSet1, hkSet2, hkSet3, hkSet4, hkSet5, hkSet6, hkSet7, hkSet8, hkSet9, hkSet0;
uint32_t hkGet1, hkGet2, hkGet3, hkGet4, hkGet5, hkGet6, hkGet7, hkGet8, hkGet9, hkGet0;

namespace {
constexpr uint32_t ALT = HOTKEY_MOD_ALT;
constexpr uint32_t CTRL = HOTKEY_MOD_CONTROL;
constexpr HotkeyAction SET = HotkeyAction::SetMemory;
constexpr HotkeyAction GET = HotkeyAction::GetMemory;
}  // namespace

// The base names are not in numeric order, and "My 4Hotkey7" is as it must be.
const HotkeyEntry hotkeyTable[HOTKEY_COUNT] = {
    {"My Hotkey0", &hkPad, CTRL, 0x43, HotkeyAction::TogglePad, -1},
    {"My Hotkey", &hkExit, ALT, 0x1B, HotkeyAction::Exit, -1},
    {"My Hotkey2", &hkToggleWindow, ALT, 0x56, HotkeyAction::ToggleWindow, -1},
    {"My Hotkey1", &hkHelp, ALT, 0x48, HotkeyAction::Help, -1},
    {"My Hotkey3", &hkSet1, ALT, 0x31, SET, 1},
    {"My Hotkey4", &hkSet2, ALT, 0x32, SET, 2},
    {"My Hotkey5", &hkSet3, ALT, 0x33, SET, 3},
    {"My Hotkey6", &hkSet4, ALT, 0x34, SET, 4},
    {"My 4Hotkey7", &hkSet5, ALT, 0x35, SET, 5},
    {"My Hotkey8", &hkSet6, ALT, 0x36, SET, 6},
    {"My Hotkey9", &hkSet7, ALT, 0x37, SET, 7},
    {"My Hotkey10", &hkSet8, ALT, 0x38, SET, 8},
    {"My Hotkey11", &hkSet9, ALT, 0x39, SET, 9},
    {"My Hotkey12", &hkSet0, ALT, 0x30, SET, 0},
    {"My Hotkey13", &hkGet1, CTRL, 0x31, GET, 1},
    {"My Hotkey14", &hkGet2, CTRL, 0x32, GET, 2},
    {"My Hotkey15", &hkGet3, CTRL, 0x33, GET, 3},
    {"My Hotkey16", &hkGet4, CTRL, 0x34, GET, 4},
    {"My Hotkey17", &hkGet5, CTRL, 0x35, GET, 5},
    {"My Hotkey18", &hkGet6, CTRL, 0x36, GET, 6},
    {"My Hotkey19", &hkGet7, CTRL, 0x37, GET, 7},
    {"My Hotkey20", &hkGet8, CTRL, 0x38, GET, 8},
    {"My Hotkey21", &hkGet9, CTRL, 0x39, GET, 9},
    {"My Hotkey22", &hkGet0, CTRL, 0x30, GET, 0},
};

bool actsOncePerPress(HotkeyAction action) {
    return action == HotkeyAction::TogglePad || action == HotkeyAction::ToggleWindow;
}

std::string hotkeyAtomName(const char* baseName, unsigned hour, unsigned minute,
                           unsigned second, unsigned milliseconds) {
    int64_t ms = int64_t(hour) * 3600000 + int64_t(minute) * 60000 + int64_t(second) * 1000 +
                 milliseconds;
    return std::string(baseName) + numberText(ms);
}

// The dispatcher's test order differs from the table's (Alt+Esc is tested
// first), but the ids are distinct atoms, so at most one row can match.
const HotkeyEntry* findHotkey(uint64_t wParam) {
    static const int testOrder[HOTKEY_COUNT] = {1,  0,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                                12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};
    if (wParam == 0) return nullptr;
    for (int row : testOrder)
        if (*hotkeyTable[row].id == wParam) return &hotkeyTable[row];
    return nullptr;
}
