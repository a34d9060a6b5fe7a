#pragma once
// The 24 system-wide hotkeys: which combinations, under which atom names,
// in which order they are registered and released. No platform calls here.
#include <cstdint>
#include <string>

constexpr uint32_t HOTKEY_MOD_ALT = 0x0001;
constexpr uint32_t HOTKEY_MOD_CONTROL = 0x0002;
constexpr uint32_t HOTKEY_MOD_NOREPEAT = 0x4000;

enum class HotkeyAction {
    TogglePad,
    Exit,
    ToggleWindow,
    Help,
    SetMemory,  // digit in HotkeyEntry::digit
    GetMemory,
};

struct HotkeyEntry {
    const char* baseName;
    uint32_t* id;  // the row's hotkeyId variable
    uint32_t modifiers;
    uint32_t virtualKey;
    HotkeyAction action;
    int digit;  // key digit for SetMemory / GetMemory, else -1
};

constexpr int HOTKEY_COUNT = 24;

// Each holds the 16-bit atom obtained at registration, zero-extended; 0 before.
extern uint32_t hkPad, hkExit, hkToggleWindow, hkHelp;
extern uint32_t hkSet1, hkSet2, hkSet3, hkSet4, hkSet5, hkSet6, hkSet7, hkSet8, hkSet9, hkSet0;
extern uint32_t hkGet1, hkGet2, hkGet3, hkGet4, hkGet5, hkGet6, hkGet7, hkGet8, hkGet9, hkGet0;

// The two toggles (the pad and the main window): a held key toggles once,
// where every other row acts again at each of its repeats.
bool actsOncePerPress(HotkeyAction action);

// In registration (and release) order.
extern const HotkeyEntry hotkeyTable[HOTKEY_COUNT];

// Base name followed by the seconds since local midnight in the number form,
// e.g. "My Hotkey0 34215.25" at 09:30:15.250.
std::string hotkeyAtomName(const char* baseName, unsigned hour, unsigned minute,
                           unsigned second, unsigned milliseconds);

// The row whose id equals a WM_HOTKEY wParam, or nullptr. Ids of 0 (never
// registered) match nothing.
const HotkeyEntry* findHotkey(uint64_t wParam);
