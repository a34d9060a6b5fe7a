#include "hotkeys/hotkey_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(HotkeyAtomName, SecondsSinceMidnight) {
    EXPECT_EQ(hotkeyAtomName("My Hotkey0", 9, 30, 15, 250), "My Hotkey0 34215.25");
    EXPECT_EQ(hotkeyAtomName("My Hotkey0", 12, 0, 0, 0), "My Hotkey0 43200");
    EXPECT_EQ(hotkeyAtomName("My Hotkey0", 0, 0, 0, 250), "My Hotkey0 .25");
    EXPECT_EQ(hotkeyAtomName("My Hotkey0", 0, 0, 0, 0), "My Hotkey0 0");
    EXPECT_EQ(hotkeyAtomName("My Hotkey", 0, 0, 1, 1), "My Hotkey 1.001");
    EXPECT_EQ(hotkeyAtomName("My 4Hotkey7", 10, 0, 0, 10), "My 4Hotkey7 36000.01");
    EXPECT_EQ(hotkeyAtomName("My Hotkey22", 23, 59, 59, 999), "My Hotkey22 86399.999");
    EXPECT_EQ(hotkeyAtomName("My Hotkey1", 0, 0, 0, 100), "My Hotkey1 .1");
}

struct ExpectedRow {
    const char* baseName;
    uint32_t* id;
    uint32_t modifiers;
    uint32_t virtualKey;
    HotkeyAction action;
    int digit;
};

constexpr uint32_t ALT = 0x0001, CTRL = 0x0002;
using A = HotkeyAction;
const ExpectedRow expectedRows[HOTKEY_COUNT] = {
    {"My Hotkey0", &hkPad, CTRL, 0x43, A::TogglePad, -1},
    {"My Hotkey", &hkExit, ALT, 0x1B, A::Exit, -1},
    {"My Hotkey2", &hkToggleWindow, ALT, 0x56, A::ToggleWindow, -1},
    {"My Hotkey1", &hkHelp, ALT, 0x48, A::Help, -1},
    {"My Hotkey3", &hkSet1, ALT, '1', A::SetMemory, 1},
    {"My Hotkey4", &hkSet2, ALT, '2', A::SetMemory, 2},
    {"My Hotkey5", &hkSet3, ALT, '3', A::SetMemory, 3},
    {"My Hotkey6", &hkSet4, ALT, '4', A::SetMemory, 4},
    {"My 4Hotkey7", &hkSet5, ALT, '5', A::SetMemory, 5},
    {"My Hotkey8", &hkSet6, ALT, '6', A::SetMemory, 6},
    {"My Hotkey9", &hkSet7, ALT, '7', A::SetMemory, 7},
    {"My Hotkey10", &hkSet8, ALT, '8', A::SetMemory, 8},
    {"My Hotkey11", &hkSet9, ALT, '9', A::SetMemory, 9},
    {"My Hotkey12", &hkSet0, ALT, '0', A::SetMemory, 0},
    {"My Hotkey13", &hkGet1, CTRL, '1', A::GetMemory, 1},
    {"My Hotkey14", &hkGet2, CTRL, '2', A::GetMemory, 2},
    {"My Hotkey15", &hkGet3, CTRL, '3', A::GetMemory, 3},
    {"My Hotkey16", &hkGet4, CTRL, '4', A::GetMemory, 4},
    {"My Hotkey17", &hkGet5, CTRL, '5', A::GetMemory, 5},
    {"My Hotkey18", &hkGet6, CTRL, '6', A::GetMemory, 6},
    {"My Hotkey19", &hkGet7, CTRL, '7', A::GetMemory, 7},
    {"My Hotkey20", &hkGet8, CTRL, '8', A::GetMemory, 8},
    {"My Hotkey21", &hkGet9, CTRL, '9', A::GetMemory, 9},
    {"My Hotkey22", &hkGet0, CTRL, '0', A::GetMemory, 0},
};

TEST(HotkeyTable, RowsInRegistrationOrder) {
    ASSERT_EQ(HOTKEY_COUNT, 24);
    EXPECT_EQ(HOTKEY_MOD_ALT, ALT);
    EXPECT_EQ(HOTKEY_MOD_CONTROL, CTRL);
    std::set<std::string> names;
    std::set<const uint32_t*> ids;
    for (int r = 0; r < HOTKEY_COUNT; ++r) {
        SCOPED_TRACE(r);
        const HotkeyEntry& row = hotkeyTable[r];
        const ExpectedRow& want = expectedRows[r];
        ASSERT_NE(row.baseName, nullptr);
        EXPECT_EQ(std::string(row.baseName), want.baseName);
        EXPECT_EQ(row.id, want.id);
        EXPECT_EQ(row.modifiers, want.modifiers);
        EXPECT_EQ(row.virtualKey, want.virtualKey);
        EXPECT_EQ(row.action, want.action);
        EXPECT_EQ(row.digit, want.digit);
        names.insert(row.baseName);
        ids.insert(row.id);
    }
    EXPECT_EQ(names.size(), 24u);
    EXPECT_EQ(ids.size(), 24u);
}

class FindHotkeyTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const HotkeyEntry& row : hotkeyTable) *row.id = 0;
    }
};

TEST_F(FindHotkeyTest, NothingMatchesBeforeRegistration) {
    EXPECT_EQ(findHotkey(0), nullptr);
    EXPECT_EQ(findHotkey(0xC000), nullptr);
}

TEST_F(FindHotkeyTest, EveryAssignedIdFindsItsRow) {
    for (int r = 0; r < HOTKEY_COUNT; ++r) *hotkeyTable[r].id = 0xC000 + r;
    for (int r = 0; r < HOTKEY_COUNT; ++r) EXPECT_EQ(findHotkey(0xC000 + r), &hotkeyTable[r]) << r;
    EXPECT_EQ(hkExit, 0xC001u);
    EXPECT_EQ(hkGet0, 0xC017u);
    EXPECT_EQ(findHotkey(0), nullptr);
    EXPECT_EQ(findHotkey(0xBFFF), nullptr);
    EXPECT_EQ(findHotkey(0xC000 + HOTKEY_COUNT), nullptr);
    EXPECT_EQ(findHotkey(0x1'0000'C001ull), nullptr);
}

TEST_F(FindHotkeyTest, UnregisteredRowsAreNeverFound) {
    hkSet5 = 0xC123;  // only one row has an id; the others stay 0
    EXPECT_EQ(findHotkey(0xC123), &hotkeyTable[8]);
    EXPECT_EQ(findHotkey(0), nullptr);
}

}  // namespace
