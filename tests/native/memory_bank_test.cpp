#include "core/memory_bank.h"
#include "tests/native/fake_ansi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {

// A store as the clipboard bridge makes one: as much of the bytes and units
// as the bank's spare takes, put there, then kept by memory d; from a
// clipboard tagged with `clipboard`, on a system whose code page is
// FAKE_WESTERN.
void store(MemoryBank& bank, int d, std::string_view bytes, std::u16string_view units = {},
           TextLocale clipboard = FAKE_SYSTEM_LOCALE) {
    SpareText spare = spareText(bank);
    ASSERT_NE(spare.bytes, nullptr);
    const size_t n = std::min(bytes.size(), MEMORY_CAPACITY);
    const size_t m = std::min(units.size(), MEMORY_CAPACITY);
    if (n) std::memcpy(spare.bytes, bytes.data(), n);
    if (m) std::memcpy(spare.units, units.data(), m * sizeof(char16_t));
    storeSpare(bank, d, n, m, clipboard, FAKE_SYSTEM_LOCALE, fakeAnsi, fakeUnicode);
}

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
        store(bank, 4, text);
        ASSERT_EQ(memorySize(bank, 4), 65535u);
        EXPECT_EQ(std::string(memoryText(bank, 4)), text.substr(0, 65535));
        EXPECT_EQ(memoryText(bank, 4)[65534], text[65534]);
        EXPECT_EQ(memoryPercent(bank, 4), 99);
        EXPECT_EQ(overallPercent(bank), 9);
        EXPECT_EQ(sizeLabelText(bank, 4), " 65535 bytes");
    }
}

TEST_F(MemoryBankTest, TextEndsAtFirstNul) {
    store(bank, 2, std::string("A\0B", 3));
    EXPECT_EQ(memorySize(bank, 2), 1u);
    EXPECT_STREQ(memoryText(bank, 2), "A");
    store(bank, 2, std::string("\0XYZ", 4));
    EXPECT_TRUE(isMemoryEmpty(bank, 2));
}

TEST_F(MemoryBankTest, ShorterTextReplacesLongerCompletely) {
    store(bank, 5, "a long first text", u"a long first text");
    store(bank, 5, "xy", u"xy");
    EXPECT_STREQ(memoryText(bank, 5), "xy");
    EXPECT_EQ(memoryUnicodeText(bank, 5), u"xy");
    EXPECT_EQ(memorySize(bank, 5), 2u);
    EXPECT_EQ(sizeLabelText(bank, 5), " 2 bytes");

    // Nor does what a read that was given up on leaves in the spare: it
    // changes no memory, and a store takes only what its own read counted.
    SpareText spare = spareText(bank);
    std::memset(spare.bytes, 'j', MEMORY_CAPACITY);
    std::fill(spare.units, spare.units + MEMORY_CAPACITY, u'j');
    for (int d = 0; d < MEMORY_COUNT; ++d) {
        SCOPED_TRACE(d);
        EXPECT_STREQ(memoryText(bank, d), d == 5 ? "xy" : "");
        EXPECT_EQ(memoryUnicodeText(bank, d), d == 5 ? u"xy" : u"");
    }
    std::memcpy(spare.bytes, "ab", 2);
    std::memcpy(spare.units, u"ab", 2 * sizeof(char16_t));
    storeSpare(bank, 4, 2, 2, FAKE_SYSTEM_LOCALE, FAKE_SYSTEM_LOCALE, fakeAnsi, fakeUnicode);
    EXPECT_STREQ(memoryText(bank, 4), "ab");
    EXPECT_EQ(memoryExactText(bank, 4), u"ab");
    EXPECT_EQ(memoryExactText(bank, 4).data()[2], u'\0');
    EXPECT_STREQ(memoryText(bank, 5), "xy");
}

TEST_F(MemoryBankTest, EmptyTextAndClearEmptyTheMemory) {
    store(bank, 7, pattern(40000));
    ASSERT_EQ(memoryPercent(bank, 7), 61);  // 4,000,000 div 65,536
    store(bank, 7, "");
    EXPECT_TRUE(isMemoryEmpty(bank, 7));
    EXPECT_EQ(memoryPercent(bank, 7), 0);

    store(bank, 7, pattern(40000));
    store(bank, 3, pattern(65535));
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
        store(bank, 6, pattern(p.size));
        EXPECT_EQ(memoryPercent(bank, 6), p.percent);
        EXPECT_EQ(overallPercent(bank), p.percent / 10);
    }
}

TEST_F(MemoryBankTest, OverallIsSumOfTruncatedPercentagesDivTen) {
    store(bank, 1, pattern(656));
    EXPECT_EQ(memoryPercent(bank, 1), 1);
    EXPECT_EQ(overallPercent(bank), 0);

    // One full memory (99) and nine at 655 bytes (0 each, though each is
    // 0.999 before truncation): 99 div 10 = 9, not 10.
    store(bank, 1, pattern(65535));
    for (int d : {0, 2, 3, 4, 5, 6, 7, 8, 9}) store(bank, d, pattern(655));
    EXPECT_EQ(overallPercent(bank), 9);

    for (int d = 0; d < MEMORY_COUNT; ++d) store(bank, d, pattern(65535));
    for (int d = 0; d < MEMORY_COUNT; ++d) EXPECT_EQ(memoryPercent(bank, d), 99) << d;
    EXPECT_EQ(overallPercent(bank), 99);
}

TEST_F(MemoryBankTest, MemoryZeroIsElementZeroAndCounts) {
    store(bank, 0, "zero");
    EXPECT_STREQ(memoryText(bank, 0), "zero");
    for (int d = 1; d < MEMORY_COUNT; ++d) EXPECT_TRUE(isMemoryEmpty(bank, d)) << d;

    store(bank, 0, pattern(65535));
    EXPECT_EQ(bank.percent[0], 99);
    EXPECT_EQ(memoryPercent(bank, 0), 99);
    EXPECT_EQ(overallPercent(bank), 9);
}

TEST_F(MemoryBankTest, RecreatingTheBankStartsEmpty) {
    for (int d = 0; d < MEMORY_COUNT; ++d) store(bank, d, pattern(65535));
    createMemoryBank(bank);
    expectEmptyEverywhere();
}

TEST_F(MemoryBankTest, BytesAreStoredUnchanged) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    all += "\r\nline two\r\n";
    store(bank, 8, all);
    EXPECT_EQ(memorySize(bank, 8), all.size());
    EXPECT_EQ(std::string(memoryText(bank, 8)), all);
}

// ---- the exact text beside the bytes ----------------------------------------

bool sameLocale(TextLocale a, TextLocale b) { return a.lcid == b.lcid && a.codePage == b.codePage; }

TEST_F(MemoryBankTest, ExactTextIsKeptOnlyWhereItAgreesWithTheBytes) {
    const std::u16string exact = u"Gr\u00FC\u00DFe \u2192 \u6771\u4EAC \u03A9 \U0001F600\r\nplain";
    const std::string bytes = fakeAnsiOf(exact);
    store(bank, 3, bytes, exact);
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
        store(bank, 3, b, u);
        EXPECT_EQ(std::string(memoryText(bank, 3)), b);
        EXPECT_TRUE(memoryExactText(bank, 3).empty());
        EXPECT_EQ(memoryUnicodeText(bank, 3), fakeUnicodeOf(b));
    }

    // ASCII is compared several units at a time: a difference anywhere in
    // such a group is found, and a text equal to its bytes is kept.
    const std::string ascii = "The quick brown fox jumps over 13 lazy dogs.";
    const std::u16string asciiUnits(ascii.begin(), ascii.end());
    for (size_t at = 0; at < ascii.size(); ++at) {
        SCOPED_TRACE(at);
        std::string changed = ascii;
        changed[at] ^= 0x01;
        store(bank, 3, changed, asciiUnits);
        EXPECT_TRUE(memoryExactText(bank, 3).empty());
    }
    store(bank, 3, ascii, asciiUnits);
    EXPECT_EQ(memoryExactText(bank, 3), asciiUnits);

    // Both forms end at their first NUL.
    store(bank, 4, std::string("ab\0cd", 5), std::u16string(u"ab\0xy", 5));
    EXPECT_EQ(memoryExactText(bank, 4), u"ab");

    // Bytes alone stand for themselves decoded; a clear and a re-created
    // bank drop the text and the locale.
    store(bank, 4, "new bytes");
    EXPECT_TRUE(memoryExactText(bank, 4).empty());
    EXPECT_EQ(memoryUnicodeText(bank, 4), u"new bytes");
    store(bank, 5, bytes, exact);
    clearMemory(bank, 5);
    EXPECT_TRUE(memoryUnicodeText(bank, 5).empty());
    EXPECT_TRUE(sameLocale(memoryLocale(bank, 5), TextLocale()));
    store(bank, 5, bytes, exact, FAKE_RUSSIAN_LOCALE);
    createMemoryBank(bank);
    EXPECT_TRUE(memoryUnicodeText(bank, 5).empty());
    EXPECT_TRUE(sameLocale(memoryLocale(bank, 5), TextLocale()));
}

TEST_F(MemoryBankTest, BytesAreTakenInTheClipboardsCodePageThenTheSystemsAndTheMemoryKeepsIt) {
    const std::u16string russian = u"\u041F\u0440\u0438\u0432\u0435\u0442, ok";
    const std::u16string western = u"Gr\u00FC\u00DFe, ok";
    struct Case {
        const char* what;
        std::string bytes;
        std::u16string exact;
        TextLocale clipboard;
        bool kept;
        TextLocale locale;
    } cases[] = {
        // The system made the bytes in the keyboard's code page.
        {"keyboard's code page", fakeAnsiOf(russian, FAKE_CYRILLIC), russian, FAKE_RUSSIAN_LOCALE,
         true, FAKE_RUSSIAN_LOCALE},
        // A program put both forms in the system's code page; the system
        // tagged them with the keyboard's locale.
        {"system's code page", fakeAnsiOf(western), western, FAKE_RUSSIAN_LOCALE, true,
         FAKE_SYSTEM_LOCALE},
        // Saying the same in both, the clipboard's is taken.
        {"plain ASCII", "ok", u"ok", FAKE_RUSSIAN_LOCALE, true, FAKE_RUSSIAN_LOCALE},
        // Neither agrees: the bytes are in the clipboard's code page.
        {"forms that differ", fakeAnsiOf(russian, FAKE_CYRILLIC), western, FAKE_RUSSIAN_LOCALE,
         false, FAKE_RUSSIAN_LOCALE},
        {"bytes only", fakeAnsiOf(russian, FAKE_CYRILLIC), u"", FAKE_RUSSIAN_LOCALE, false,
         FAKE_RUSSIAN_LOCALE},
        // No locale, or one without a code page, counts as none.
        {"no locale", fakeAnsiOf(russian, FAKE_CYRILLIC), russian, TextLocale(), false,
         FAKE_SYSTEM_LOCALE},
        {"locale without a code page", fakeAnsiOf(western), western, TextLocale{0x0439, 0}, true,
         FAKE_SYSTEM_LOCALE},
        {"UTF-8 keyboard", fakeAnsiOf(russian + u"\U0001F600", FAKE_UTF8), russian + u"\U0001F600",
         FAKE_UTF8_LOCALE, true, FAKE_UTF8_LOCALE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store(bank, 2, c.bytes, c.exact, c.clipboard);
        EXPECT_EQ(std::string(memoryText(bank, 2)), c.bytes);
        EXPECT_EQ(memoryExactText(bank, 2), c.kept ? c.exact : std::u16string());
        const TextLocale got = memoryLocale(bank, 2);
        EXPECT_EQ(got.lcid, c.locale.lcid);
        EXPECT_EQ(got.codePage, c.locale.codePage);
        // What it stands for: the exact text, else the bytes in its code page.
        EXPECT_EQ(memoryUnicodeText(bank, 2),
                  c.kept ? c.exact : fakeUnicodeOf(c.bytes, c.locale.codePage));
    }
}

TEST_F(MemoryBankTest, CutTextKeepsItsWholeCharactersUpToTheCutAndNothingBeyond) {
    // Plain text up to `before` bytes, then `at` (the character the cut may
    // split), then more beyond the cut.
    auto longText = [](size_t before, std::u16string_view at) {
        std::u16string s(before, u'a');
        for (size_t i = 0; i < s.size(); i += 7) s[i] = u'b';
        s += at;
        s += u"\u00E9tail beyond the cut";
        return s;
    };
    struct Case {
        const char* what;
        uint32_t codePage;
        size_t before;        // bytes before `at`, all one byte each
        std::u16string at;
        size_t keptUnits;     // of the exact text
    } cases[] = {
        {"one byte reaches the cut", FAKE_WESTERN, 65534, u"z", 65535},
        {"a two-byte character ends at the cut", FAKE_WESTERN, 65533, u"\u6771", 65534},
        {"a two-byte character split by the cut", FAKE_WESTERN, 65534, u"\u6771", 65534},
        {"a pair split, a '?' for each half", FAKE_WESTERN, 65534, u"\U0001F600", 65534},
        {"three bytes split after one", FAKE_UTF8, 65534, u"\u2713", 65534},
        {"three bytes split after two", FAKE_UTF8, 65533, u"\u2713", 65533},
        {"four bytes split after one", FAKE_UTF8, 65534, u"\U0001F600", 65534},
        {"four bytes split after three", FAKE_UTF8, 65532, u"\U0001F600", 65532},
        {"four bytes end at the cut", FAKE_UTF8, 65531, u"\U0001F600", 65533},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TextLocale keyboard{0x0400 + c.codePage, c.codePage};
        const std::u16string exact = longText(c.before, c.at);
        const std::string bytes = fakeAnsiOf(exact, c.codePage);
        store(bank, 7, bytes, exact, keyboard);
        ASSERT_EQ(memorySize(bank, 7), 65535u);
        EXPECT_EQ(std::string(memoryText(bank, 7)), bytes.substr(0, 65535));
        EXPECT_EQ(memoryExactText(bank, 7), exact.substr(0, c.keptUnits));
        EXPECT_EQ(memoryLocale(bank, 7).codePage, c.codePage);
    }

    // The byte at the cut is not the start of the next character's
    // conversion, or the Unicode text ends short of the cut: no prefix.
    std::u16string exact = longText(65534, u"\u6771");
    std::string bytes = fakeAnsiOf(exact);
    bytes[65534] = 'x';
    store(bank, 7, bytes, exact);
    EXPECT_TRUE(memoryExactText(bank, 7).empty());
    EXPECT_EQ(memoryUnicodeText(bank, 7), fakeUnicodeOf(bytes.substr(0, 65535)));
    exact = longText(65534, u"z");
    store(bank, 7, fakeAnsiOf(exact), exact.substr(0, 60000));
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
