#include "core/memory_bank.h"
#include "tests/native/fake_ansi.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

extern int refusedTextAllocations;  // the native storage refuses this many

namespace {

class MemoryBankTest : public ::testing::Test {
protected:
    void SetUp() override { createMemoryBank(bank); }
    void TearDown() override { releaseMemoryBank(bank); }

    void expectEmptyEverywhere() {
        for (int d = 0; d < MEMORY_COUNT; ++d) {
            SCOPED_TRACE(d);
            EXPECT_TRUE(isMemoryEmpty(bank, d));
            EXPECT_EQ(memorySize(bank, d), 0u);
            EXPECT_STREQ(memoryText(bank, d), "");
            EXPECT_EQ(sizeLabelText(bank, d), " 0 bytes");
            EXPECT_EQ(memoryPercent(bank, d), 0);
        }
        EXPECT_EQ(overallPercent(bank), 0);
    }

    // Bytes 'a'..'z' over and over, so a cut in the wrong place shows.
    static std::string pattern(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
        return s;
    }

    MemoryBank bank;
};

TEST_F(MemoryBankTest, NewBankIsEmpty) {
    EXPECT_EQ(MEMORY_COUNT, 10);
    EXPECT_EQ(MEMORY_CAPACITY, 65536u);
    EXPECT_EQ(MEMORY_TEXT_MAX, 65535u);
    expectEmptyEverywhere();
}

TEST_F(MemoryBankTest, LongTextsAreCutTo65535Bytes) {
    for (size_t length : {size_t{65535}, size_t{65536}, size_t{100000}}) {
        SCOPED_TRACE(length);
        const std::string text = pattern(length);
        storeMemory(bank, 4, text);
        ASSERT_EQ(memorySize(bank, 4), 65535u);
        EXPECT_EQ(std::string(memoryText(bank, 4)), text.substr(0, 65535));
        EXPECT_EQ(memoryText(bank, 4)[65534], text[65534]);
        EXPECT_EQ(memoryPercent(bank, 4), 99);
        EXPECT_EQ(overallPercent(bank), 9);
        EXPECT_EQ(sizeLabelText(bank, 4), " 65535 bytes");
    }
}

TEST_F(MemoryBankTest, TextEndsAtFirstNul) {
    storeMemory(bank, 2, std::string("A\0B", 3));
    EXPECT_EQ(memorySize(bank, 2), 1u);
    EXPECT_STREQ(memoryText(bank, 2), "A");
    storeMemory(bank, 2, std::string("\0XYZ", 4));
    EXPECT_TRUE(isMemoryEmpty(bank, 2));
}

TEST_F(MemoryBankTest, ShorterTextReplacesLongerCompletely) {
    storeMemory(bank, 5, "a long first text");
    storeMemory(bank, 5, "xy");
    EXPECT_STREQ(memoryText(bank, 5), "xy");
    EXPECT_EQ(memorySize(bank, 5), 2u);
    EXPECT_EQ(sizeLabelText(bank, 5), " 2 bytes");
}

TEST_F(MemoryBankTest, EmptyTextAndClearEmptyTheMemory) {
    storeMemory(bank, 7, pattern(40000));
    ASSERT_EQ(memoryPercent(bank, 7), 61);  // 4,000,000 div 65,536
    storeMemory(bank, 7, "");
    EXPECT_TRUE(isMemoryEmpty(bank, 7));
    EXPECT_EQ(memoryPercent(bank, 7), 0);

    storeMemory(bank, 7, pattern(40000));
    storeMemory(bank, 3, pattern(65535));
    clearMemory(bank, 7);
    EXPECT_TRUE(isMemoryEmpty(bank, 7));
    EXPECT_EQ(memoryPercent(bank, 7), 0);
    EXPECT_EQ(overallPercent(bank), 9);  // memory 3 alone
    EXPECT_EQ(sizeLabelText(bank, 7), " 0 bytes");
}

TEST_F(MemoryBankTest, PercentageTellingPoints) {
    const struct { size_t size; int percent; } points[] = {
        {0, 0},      {1, 0},      {655, 0},    {656, 1},     {32767, 49},
        {32768, 50}, {64880, 98}, {64881, 99}, {65535, 99},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(p.size);
        storeMemory(bank, 6, pattern(p.size));
        EXPECT_EQ(memoryPercent(bank, 6), p.percent);
        EXPECT_EQ(overallPercent(bank), p.percent / 10);
    }
}

TEST_F(MemoryBankTest, OverallIsSumOfTruncatedPercentagesDivTen) {
    storeMemory(bank, 1, pattern(656));
    EXPECT_EQ(memoryPercent(bank, 1), 1);
    EXPECT_EQ(overallPercent(bank), 0);

    // One full memory (99) and nine at 655 bytes (0 each, though each is
    // 0.999 before truncation): 99 div 10 = 9, not 10.
    storeMemory(bank, 1, pattern(65535));
    for (int d : {0, 2, 3, 4, 5, 6, 7, 8, 9}) storeMemory(bank, d, pattern(655));
    EXPECT_EQ(overallPercent(bank), 9);

    for (int d = 0; d < MEMORY_COUNT; ++d) storeMemory(bank, d, pattern(65535));
    for (int d = 0; d < MEMORY_COUNT; ++d) EXPECT_EQ(memoryPercent(bank, d), 99) << d;
    EXPECT_EQ(overallPercent(bank), 99);
}

TEST_F(MemoryBankTest, MemoryZeroIsElementZeroAndCounts) {
    storeMemory(bank, 0, "zero");
    EXPECT_EQ(memoryText(bank, 0), bank.buffers);
    EXPECT_EQ(memoryText(bank, 1), bank.buffers + MEMORY_CAPACITY);
    for (int d = 1; d < MEMORY_COUNT; ++d) EXPECT_TRUE(isMemoryEmpty(bank, d)) << d;

    storeMemory(bank, 0, pattern(65535));
    EXPECT_EQ(bank.percent[0], 99);
    EXPECT_EQ(memoryPercent(bank, 0), 99);
    EXPECT_EQ(overallPercent(bank), 9);
}

TEST_F(MemoryBankTest, RecreatingTheBankStartsEmpty) {
    for (int d = 0; d < MEMORY_COUNT; ++d) storeMemory(bank, d, pattern(65535));
    createMemoryBank(bank);
    expectEmptyEverywhere();
}

TEST_F(MemoryBankTest, BytesAreStoredUnchanged) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    all += "\r\nline two\r\n";
    storeMemory(bank, 8, all);
    EXPECT_EQ(memorySize(bank, 8), all.size());
    EXPECT_EQ(std::string(memoryText(bank, 8)), all);
}

// ---- the exact text beside the bytes ----------------------------------------

TEST_F(MemoryBankTest, ExactTextIsKeptOnlyWhereItAgreesWithTheBytes) {
    const std::u16string exact = u"Gr\u00FC\u00DFe \u2192 \u6771\u4EAC \u03A9 \U0001F600\r\nplain";
    const std::string bytes = fakeAnsiOf(exact);
    storeMemory(bank, 3, bytes, exact, fakeAnsi);
    EXPECT_EQ(std::string(memoryText(bank, 3)), bytes);
    EXPECT_EQ(memorySize(bank, 3), bytes.size());
    EXPECT_EQ(memoryExactText(bank, 3), exact);
    EXPECT_EQ(memoryExactText(bank, 3).data()[exact.size()], u'\0');

    // Forms that disagree, by one byte or by one more character on either
    // side, leave the bytes alone.
    std::string other = bytes;
    other[1] = 'R';
    const std::pair<std::string, std::u16string> disagreeing[] = {
        {other, exact}, {bytes + "x", exact}, {bytes, exact + u"x"}, {"abc", u"xyz"}};
    for (const auto& [b, u] : disagreeing) {
        SCOPED_TRACE(b.size());
        storeMemory(bank, 3, b, u, fakeAnsi);
        EXPECT_EQ(std::string(memoryText(bank, 3)), b);
        EXPECT_TRUE(memoryExactText(bank, 3).empty());
    }

    // Both forms end at their first NUL.
    storeMemory(bank, 4, std::string("ab\0cd", 5), std::u16string(u"ab\0xy", 5), fakeAnsi);
    EXPECT_EQ(memoryExactText(bank, 4), u"ab");

    // Every other way of changing a memory drops its exact text with it.
    storeMemory(bank, 4, "new bytes");
    EXPECT_TRUE(memoryExactText(bank, 4).empty());
    storeMemory(bank, 5, bytes, exact, fakeAnsi);
    clearMemory(bank, 5);
    EXPECT_TRUE(memoryExactText(bank, 5).empty());
    storeMemory(bank, 5, bytes, exact, fakeAnsi);
    createMemoryBank(bank);
    EXPECT_TRUE(memoryExactText(bank, 5).empty());

    // No storage for the copy: the bytes are stored all the same.
    refusedTextAllocations = 1;
    storeMemory(bank, 6, bytes, exact, fakeAnsi);
    EXPECT_EQ(std::string(memoryText(bank, 6)), bytes);
    EXPECT_TRUE(memoryExactText(bank, 6).empty());
    EXPECT_EQ(refusedTextAllocations, 0);
}

TEST_F(MemoryBankTest, CutTextKeepsTheExactPrefixOfTheKeptBytesOrNone) {
    // 65,534 bytes of plain text, then a character of the given kind, then more.
    auto longText = [](char16_t at, char16_t after) {
        std::u16string s(65534, u'a');
        for (size_t i = 0; i < s.size(); i += 7) s[i] = u'\u00E9';
        s += at;
        if (after) s += after;
        s += u"tail beyond the cut";
        return s;
    };
    // One byte reaches the cut: the prefix of 65,535 units is kept.
    std::u16string exact = longText(u'z', 0);
    storeMemory(bank, 7, fakeAnsiOf(exact), exact, fakeAnsi);
    ASSERT_EQ(memorySize(bank, 7), 65535u);
    EXPECT_EQ(memoryExactText(bank, 7), exact.substr(0, 65535));

    // A two-byte character or a surrogate pair across the cut: no prefix
    // converts to exactly the kept bytes.
    for (std::u16string s : {longText(u'\u6771', 0), longText(0xD83D, 0xDE00)}) {
        storeMemory(bank, 7, fakeAnsiOf(s), s, fakeAnsi);
        ASSERT_EQ(memorySize(bank, 7), 65535u);
        EXPECT_TRUE(memoryExactText(bank, 7).empty());
    }

    // A Unicode text shorter than the cut bytes is no prefix of them.
    exact = longText(u'z', 0);
    storeMemory(bank, 7, fakeAnsiOf(exact), exact.substr(0, 60000), fakeAnsi);
    EXPECT_TRUE(memoryExactText(bank, 7).empty());
}

TEST(MemoryNumbering, TagsAndRows) {
    const char* const tags[] = {"#0#", "#1#", "#2#", "#3#", "#4#",
                                "#5#", "#6#", "#7#", "#8#", "#9#"};
    for (int d = 0; d < 10; ++d) {
        SCOPED_TRACE(d);
        EXPECT_STREQ(memoryTag(d), tags[d]);
        const int row = d == 0 ? 10 : d;
        EXPECT_EQ(memoryRow(d), row);
        EXPECT_EQ(memoryOfRow(row), d);
    }
}

}  // namespace
