// Registration and release of the 24 system-wide hotkeys against the
// platform's hotkey and atom tables. A second window plays "another program"
// that tries to take the same combinations.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "hotkeys/hotkey_register.h"
#include "hotkeys/hotkey_table.h"

namespace {

constexpr int PROBE_ID = 0x0100;     // an application-range id
constexpr int BLOCKER_ID = 0x0101;

double secondsSinceMidnightNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

std::string atomName(uint32_t id) {
    char name[256];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(id), name, sizeof name);
    return std::string(name, n);
}

// The suffix after "<base> ": whole seconds and/or a point with one to three
// digits. Returns false if it is not of that form.
bool parseSeconds(const std::string& suffix, double* value) {
    if (suffix.empty()) return false;
    size_t point = suffix.find('.');
    std::string whole = suffix.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : suffix.substr(point + 1);
    if (whole.find_first_not_of("0123456789") != std::string::npos) return false;
    if (fraction.find_first_not_of("0123456789") != std::string::npos) return false;
    if (point != std::string::npos && (fraction.empty() || fraction.size() > 3)) return false;
    if (whole.empty() && fraction.empty()) return false;
    *value = std::atof(("0" + suffix).c_str());
    return true;
}

HWND makeWindow() {
    return CreateWindowExW(0, L"STATIC", L"hotkey test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class HotkeyRegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const HotkeyEntry& row : hotkeyTable) *row.id = 0;
        owner = makeWindow();
        other = makeWindow();
        ASSERT_NE(owner, nullptr);
        ASSERT_NE(other, nullptr);
    }

    void TearDown() override {
        if (registered) releaseHotkeys(owner);
        UnregisterHotKey(other, PROBE_ID);
        UnregisterHotKey(other, BLOCKER_ID);
        DestroyWindow(owner);
        DestroyWindow(other);
        for (const HotkeyEntry& row : hotkeyTable) *row.id = 0;
    }

    void registerAll() {
        registerHotkeys(owner);
        registered = true;
    }

    void releaseAll() {
        releaseHotkeys(owner);
        registered = false;
    }

    // Whether another window can take the combination right now; gives it
    // back at once if so.
    bool combinationFree(const HotkeyEntry& row) {
        if (!RegisterHotKey(other, PROBE_ID, row.modifiers, row.virtualKey)) return false;
        UnregisterHotKey(other, PROBE_ID);
        return true;
    }

    HWND owner = nullptr;
    HWND other = nullptr;
    bool registered = false;
};

TEST_F(HotkeyRegisterTest, EveryRowGetsAFreshTimeNamedAtomAndHoldsItsCombination) {
    for (const HotkeyEntry& row : hotkeyTable) ASSERT_TRUE(combinationFree(row)) << row.baseName;

    double before = secondsSinceMidnightNow();
    registerAll();
    double after = secondsSinceMidnightNow();
    bool midnightPassed = after < before;

    std::set<uint32_t> ids;
    double previous = -1;
    for (const HotkeyEntry& row : hotkeyTable) {
        SCOPED_TRACE(row.baseName);
        const uint32_t id = *row.id;
        EXPECT_GE(id, 0xC000u);
        EXPECT_LE(id, 0xFFFFu);
        ids.insert(id);

        const std::string name = atomName(id);
        const std::string base = std::string(row.baseName) + " ";
        ASSERT_EQ(name.compare(0, base.size(), base), 0) << "atom name '" << name << "'";
        double seconds = -1;
        ASSERT_TRUE(parseSeconds(name.substr(base.size()), &seconds))
            << "atom name '" << name << "'";
        // Read from the local clock while registering, row after row.
        if (!midnightPassed) {
            EXPECT_GE(seconds, before - 0.002) << name;
            EXPECT_LE(seconds, after + 0.002) << name;
            EXPECT_GE(seconds, previous) << "rows out of table order: " << name;
        }
        previous = seconds;

        EXPECT_FALSE(combinationFree(row)) << "combination not held";
        EXPECT_EQ(findHotkey(id), &row);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(HOTKEY_COUNT)) << "ids are not distinct";

    // Nothing else maps to a row.
    EXPECT_EQ(findHotkey(0), nullptr);
    EXPECT_EQ(findHotkey(0xBFFF), nullptr);
    EXPECT_EQ(findHotkey(static_cast<uint64_t>(hkPad) + 0x10000), nullptr);
}

TEST_F(HotkeyRegisterTest, EachCombinationIsRegisteredForTheWindowUnderItsRowsId) {
    registerAll();
    for (const HotkeyEntry& row : hotkeyTable) {
        SCOPED_TRACE(row.baseName);
        // Only the owner's registration under exactly this id frees it.
        EXPECT_TRUE(UnregisterHotKey(owner, static_cast<int>(*row.id)));
        EXPECT_TRUE(combinationFree(row));
    }
}

TEST_F(HotkeyRegisterTest, CombinationHeldElsewhereLeavesTheOtherRowsRegistered) {
    const HotkeyEntry* altFive = nullptr;
    for (const HotkeyEntry& row : hotkeyTable)
        if (row.modifiers == HOTKEY_MOD_ALT && row.virtualKey == '5') altFive = &row;
    ASSERT_NE(altFive, nullptr);
    ASSERT_TRUE(RegisterHotKey(other, BLOCKER_ID, MOD_ALT, '5'));

    registerAll();
    EXPECT_NE(*altFive->id, 0u) << "the row still gets its atom";
    EXPECT_FALSE(atomName(*altFive->id).empty());
    for (const HotkeyEntry& row : hotkeyTable) {
        if (&row == altFive) continue;
        EXPECT_FALSE(combinationFree(row)) << row.baseName;
    }

    // Once the other holder lets go, Alt+5 is free: the owner never took it.
    ASSERT_TRUE(UnregisterHotKey(other, BLOCKER_ID));
    EXPECT_TRUE(combinationFree(*altFive));
}

TEST_F(HotkeyRegisterTest, ReleaseFreesEveryCombinationAndDeletesTheAtoms) {
    registerAll();
    uint32_t saved[HOTKEY_COUNT];
    for (int i = 0; i < HOTKEY_COUNT; ++i) {
        saved[i] = *hotkeyTable[i].id;
        ASSERT_FALSE(atomName(saved[i]).empty());
    }

    releaseAll();
    for (int i = 0; i < HOTKEY_COUNT; ++i) {
        const HotkeyEntry& row = hotkeyTable[i];
        SCOPED_TRACE(row.baseName);
        EXPECT_TRUE(combinationFree(row));
        char name[256];
        EXPECT_EQ(GlobalGetAtomNameA(static_cast<ATOM>(saved[i]), name, sizeof name), 0u)
            << "atom still there: " << name;
    }
}

// What a stand-in for RegisterHotKey was asked, and whether it refuses
// MOD_NOREPEAT as Windows before 7 does; everything else it passes on.
struct Registration {
    int id;
    UINT modifiers;
    UINT vk;
};
std::vector<Registration> registrations;
bool refuseNoRepeat;

BOOL WINAPI recordingRegisterHotKey(HWND window, int id, UINT modifiers, UINT vk) {
    registrations.push_back({id, modifiers, vk});
    if (refuseNoRepeat && (modifiers & MOD_NOREPEAT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return RegisterHotKey(window, id, modifiers, vk);
}

TEST_F(HotkeyRegisterTest, TogglesAskForNoRepeatAndGoWithoutItWhereTheSystemRefusesIt) {
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "MOD_NOREPEAT refused" : "MOD_NOREPEAT accepted");
        registrations.clear();
        refuseNoRepeat = refuse;
        registerHotkeys(owner, recordingRegisterHotKey);
        registered = true;
        size_t call = 0;
        for (const HotkeyEntry& row : hotkeyTable) {
            SCOPED_TRACE(row.baseName);
            const bool toggle = row.id == &hkPad || row.id == &hkToggleWindow;
            ASSERT_LT(call, registrations.size());
            EXPECT_EQ(registrations[call].id, static_cast<int>(*row.id));
            EXPECT_EQ(registrations[call].vk, row.virtualKey);
            EXPECT_EQ(registrations[call].modifiers, row.modifiers | (toggle ? MOD_NOREPEAT : 0));
            ++call;
            if (toggle && refuse) {
                ASSERT_LT(call, registrations.size());
                EXPECT_EQ(registrations[call].id, static_cast<int>(*row.id));
                EXPECT_EQ(registrations[call].modifiers, row.modifiers);
                ++call;
            }
            EXPECT_FALSE(combinationFree(row)) << "combination not held";
        }
        EXPECT_EQ(call, registrations.size());
        releaseAll();
    }
}

// The program's out-of-memory exit bypasses the main window's destruction;
// the atoms must be deleted all the same, or they stay in the system's table.
TEST(OutOfMemoryExit, GivesTheHotkeyAtomsBack) {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::string dir(self, n);
    dir.resize(dir.find_last_of("\\/") + 1);
    char list[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(dir.c_str(), "oom", 0, list), 0u);
    std::string commandLine = "\"" + dir + "out_of_memory_probe.exe\" \"" + list + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        ADD_FAILURE() << "the probe did not end";
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 255u);

    FILE* in = std::fopen(list, "r");
    ASSERT_NE(in, nullptr);
    std::set<unsigned> atoms;
    for (unsigned id; std::fscanf(in, "%u", &id) == 1;) atoms.insert(id);
    std::fclose(in);
    DeleteFileA(list);
    ASSERT_EQ(atoms.size(), static_cast<size_t>(HOTKEY_COUNT));
    for (unsigned id : atoms) {
        EXPECT_GE(id, 0xC000u);
        EXPECT_EQ(atomName(id), "") << "atom " << id << " outlived the process";
    }
}

}  // namespace
