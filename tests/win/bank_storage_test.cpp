// The bank's block must cost memory only where a memory was written: the
// program stays resident all day, mostly with a few short texts.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/text_convert.h"
#include "core/memory_bank.h"

namespace {

// As a store from the clipboard: bytes alone, put in the spare.
void store(MemoryBank& bank, int d, const std::string& bytes) {
    SpareText spare = spareText(bank);
    std::memcpy(spare.bytes, bytes.data(), bytes.size());
    storeSpare(bank, d, bytes.size(), 0, TextLocale(), systemLocale(), encodeAnsi, decodeAnsi);
}

bool resident(const void* address) {
    PSAPI_WORKING_SET_EX_INFORMATION info = {};
    info.VirtualAddress = const_cast<void*>(address);
    if (!QueryWorkingSetEx(GetCurrentProcess(), &info, sizeof info)) return true;
    return info.VirtualAttributes.Valid != 0;
}

int residentPages(const char* block, size_t bytes) {
    int count = 0;
    for (size_t offset = 0; offset < bytes; offset += 4096) count += resident(block + offset);
    return count;
}

}  // namespace

TEST(BankStorage, PagesBecomeResidentOnlyWhereAMemoryIsWritten) {
    // The probe itself must be able to tell: a touched page reads as resident.
    char* probe = static_cast<char*>(
        VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(probe, nullptr);
    ASSERT_FALSE(resident(probe + 4096)) << "working-set queries unsupported here";
    probe[4096] = 1;
    ASSERT_TRUE(resident(probe + 4096));
    VirtualFree(probe, 0, MEM_RELEASE);

    MemoryBank bank;
    createMemoryBank(bank);
    ASSERT_NE(bank.storage, nullptr);
    // Eleven slots, each its bytes and its units with a terminator, in pages.
    const size_t total = (MEMORY_COUNT + 1) * 49 * 4096;
    EXPECT_EQ(residentPages(bank.storage, total), 0);

    // A store from the clipboard fills the spare; bytes alone are decoded
    // beside them: a page of each.
    store(bank, 4, "abc");
    EXPECT_EQ(residentPages(bank.storage, total), 2);
    store(bank, 7, std::string(MEMORY_TEXT_MAX, 'x'));
    EXPECT_EQ(residentPages(bank.storage, total), 2 + 16 + 32);

    // Reading maps the system's shared zero page, so check contents last.
    EXPECT_STREQ(memoryText(bank, 4), "abc");
    EXPECT_EQ(memoryUnicodeText(bank, 4), u"abc");
    EXPECT_EQ(memorySize(bank, 7), MEMORY_TEXT_MAX);
    EXPECT_EQ(memoryUnicodeText(bank, 7).size(), MEMORY_TEXT_MAX);
    for (int d = 0; d < MEMORY_COUNT; ++d) {
        if (d == 4 || d == 7) continue;
        EXPECT_TRUE(isMemoryEmpty(bank, d)) << d;
    }

    // Re-creating gives fresh, empty and non-resident storage.
    createMemoryBank(bank);
    ASSERT_NE(bank.storage, nullptr);
    EXPECT_EQ(residentPages(bank.storage, total), 0);
    EXPECT_TRUE(isMemoryEmpty(bank, 4));
    EXPECT_TRUE(isMemoryEmpty(bank, 7));
    releaseMemoryBank(bank);
    EXPECT_EQ(bank.storage, nullptr);
}
