#include "core/memory_bank.h"

#include <bit>
#include <cstring>

#include "core/bank_storage.h"
#include "core/number_text.h"

namespace {

bool validDigit(int d) { return d >= 0 && d < MEMORY_COUNT; }

char* bufferOf(const MemoryBank& bank, int d) {
    if (!bank.buffers || !validDigit(d)) return nullptr;
    return bank.buffers + static_cast<size_t>(d) * MEMORY_CAPACITY;
}

void dropExactText(MemoryBank& bank, int d) {
    releaseTextStorage(bank.exact[d]);
    bank.exact[d] = nullptr;
    bank.exactLength[d] = 0;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool pairAt(std::u16string_view s, size_t i) {
    return i + 1 < s.size() && isHighSurrogate(s[i]) && isLowSurrogate(s[i + 1]);
}

// How many leading units are ASCII and equal to the bytes beside them. Four
// at a time where they are: a 64 KiB text takes about half the time of a
// unit-by-unit loop.
size_t sameAsciiPrefix(const char16_t* units, const char* bytes, size_t count) {
    size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; count - k >= 4; k += 4) {
            uint32_t low, high, four;
            std::memcpy(&low, units + k, 4);
            std::memcpy(&high, units + k + 2, 4);
            std::memcpy(&four, bytes + k, 4);
            if ((low | high) & 0xFF80FF80u) break;
            if (low != ((four & 0xFFu) | (four & 0xFF00u) << 8) ||
                high != ((four >> 16 & 0xFFu) | (four >> 24) << 16))
                break;
        }
    }
    while (k < count && units[k] < 0x80 && units[k] == static_cast<unsigned char>(bytes[k])) ++k;
    return k;
}

constexpr size_t NO_AGREEMENT = static_cast<size_t>(-1);
// Units converted per call; no code page gives more than 4 bytes a unit.
constexpr size_t CHUNK_UNITS = 256;

// How many leading units of `exact` convert in `codePage` to exactly `kept`,
// never ending between the halves of a pair; with `whole`, all of them must.
// Without `whole` the kept bytes were cut, and may end in the leading part
// of a character's conversion (a lead byte): that character is left out. A
// long text is converted a chunk at a time, so a disagreement is found
// without a copy of the whole conversion, and where the bytes were cut, the
// cut is found inside one chunk only.
size_t agreeingUnits(std::string_view kept, std::u16string_view exact, bool whole,
                     uint32_t codePage, AnsiEncoder encode) {
    char out[CHUNK_UNITS * 4];
    size_t pos = 0;  // in kept
    size_t i = 0;    // in exact
    const size_t n = kept.size();
    const size_t m = exact.size();
    while (i < m && pos < n) {
        size_t end = i + CHUNK_UNITS < m ? i + CHUNK_UNITS : m;
        if (end < m && pairAt(exact, end - 1)) --end;
        // ASCII is itself in every ANSI code page: most text needs no call.
        const size_t run = end - i < n - pos ? end - i : n - pos;
        const size_t same = sameAsciiPrefix(exact.data() + i, kept.data() + pos, run);
        i += same;
        pos += same;
        if (same < run && exact[i] < 0x80) return NO_AGREEMENT;
        if (i == end || pos == n) continue;
        size_t got = encode(codePage, exact.data() + i, end - i, out, sizeof out);
        if (got == ANSI_ENCODE_FAILED) return NO_AGREEMENT;
        if (got <= n - pos) {
            if (std::memcmp(out, kept.data() + pos, got) != 0) return NO_AGREEMENT;
            pos += got;
            i = end;
            continue;
        }
        // The kept bytes end inside this chunk: take it character by character.
        while (i < end) {
            size_t units = pairAt(exact, i) ? 2 : 1;
            got = encode(codePage, exact.data() + i, units, out, sizeof out);
            if (got == ANSI_ENCODE_FAILED) break;
            if (got > n - pos) {
                if (!whole && std::memcmp(out, kept.data() + pos, n - pos) == 0) pos = n;
                break;
            }
            if (std::memcmp(out, kept.data() + pos, got) != 0) break;
            pos += got;
            i += units;
        }
        break;
    }
    if (pos != n || (whole && i != m)) return NO_AGREEMENT;
    return i;
}

// Keeps the bytes and their percentages; true when they were cut.
bool keepBytes(MemoryBank& bank, int d, char* buffer, std::string_view text) {
    dropExactText(bank, d);
    bank.locale[d] = TextLocale();

    size_t nul = text.find('\0');
    size_t n = nul == std::string_view::npos ? text.size() : nul;
    const bool cut = n > MEMORY_TEXT_MAX;
    if (cut) n = MEMORY_TEXT_MAX;
    if (n) std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    bank.size[d] = n;

    // Signed 32-bit, truncating, in this order: a full memory shows 99, never 100.
    bank.percent[d] = static_cast<int32_t>(n) * 100 / static_cast<int32_t>(MEMORY_CAPACITY);
    int32_t sum = 0;
    for (int i = 0; i < MEMORY_COUNT; ++i) sum += bank.percent[i];
    bank.overall = sum / 10;
    return cut;
}

// The exact text, when one of the locales says what the bytes say; then the
// memory's locale is that one.
void keepExactText(MemoryBank& bank, int d, std::u16string_view exact, bool bytesCut,
                   const TextLocale& clipboard, const TextLocale& system, AnsiEncoder encode) {
    bank.locale[d] = clipboard.codePage ? clipboard : system;
    size_t nul = exact.find(u'\0');
    if (nul != std::u16string_view::npos) exact = exact.substr(0, nul);
    if (exact.empty() || !encode || bank.size[d] == 0) return;
    std::string_view kept(bufferOf(bank, d), bank.size[d]);
    const TextLocale* tried[2] = {&clipboard, &system};
    size_t units = NO_AGREEMENT;
    for (int t = 0; t < 2 && units == NO_AGREEMENT; ++t) {
        const TextLocale& locale = *tried[t];
        if (!locale.codePage || (t == 1 && locale.codePage == clipboard.codePage)) continue;
        units = agreeingUnits(kept, exact, !bytesCut, locale.codePage, encode);
        if (units != NO_AGREEMENT) bank.locale[d] = locale;
    }
    if (units == NO_AGREEMENT || units == 0) return;
    auto* copy = static_cast<char16_t*>(allocateTextStorage((units + 1) * sizeof(char16_t)));
    if (!copy) return;  // the bytes are kept; only the copy is lost
    std::memcpy(copy, exact.data(), units * sizeof(char16_t));
    copy[units] = u'\0';
    bank.exact[d] = copy;
    bank.exactLength[d] = units;
}

}  // namespace

void createMemoryBank(MemoryBank& bank) {
    releaseMemoryBank(bank);
    bank.buffers = static_cast<char*>(allocateBankStorage(MEMORY_COUNT * MEMORY_CAPACITY));
}

void releaseMemoryBank(MemoryBank& bank) {
    releaseBankStorage(bank.buffers);
    bank.buffers = nullptr;
    for (int d = 0; d < MEMORY_COUNT; ++d) {
        dropExactText(bank, d);
        bank.locale[d] = TextLocale();
        bank.size[d] = 0;
        bank.percent[d] = 0;
    }
    bank.overall = 0;
}

void storeMemory(MemoryBank& bank, int d, std::string_view text, std::u16string_view exact,
                 const TextLocale& clipboard, const TextLocale& system, AnsiEncoder encode) {
    char* buffer = bufferOf(bank, d);
    if (!buffer) return;
    const bool cut = keepBytes(bank, d, buffer, text);
    keepExactText(bank, d, exact, cut, clipboard, system, encode);
}

void storeMemory(MemoryBank& bank, int d, std::string_view text) {
    char* buffer = bufferOf(bank, d);
    if (buffer) keepBytes(bank, d, buffer, text);
}

void clearMemory(MemoryBank& bank, int d) { storeMemory(bank, d, std::string_view()); }

const char* memoryText(const MemoryBank& bank, int d) {
    const char* buffer = bufferOf(bank, d);
    return buffer ? buffer : "";
}

size_t memorySize(const MemoryBank& bank, int d) {
    return bufferOf(bank, d) ? bank.size[d] : 0;
}

bool isMemoryEmpty(const MemoryBank& bank, int d) { return memorySize(bank, d) == 0; }

std::u16string_view memoryExactText(const MemoryBank& bank, int d) {
    if (!bufferOf(bank, d) || !bank.exact[d]) return std::u16string_view();
    return std::u16string_view(bank.exact[d], bank.exactLength[d]);
}

TextLocale memoryLocale(const MemoryBank& bank, int d) {
    return bufferOf(bank, d) ? bank.locale[d] : TextLocale();
}

int32_t memoryPercent(const MemoryBank& bank, int d) {
    return validDigit(d) ? bank.percent[d] : 0;
}

int32_t overallPercent(const MemoryBank& bank) { return bank.overall; }

std::string sizeLabelText(const MemoryBank& bank, int d) {
    return wholeNumberText(static_cast<int64_t>(memorySize(bank, d))) + " bytes";
}

const char* memoryTag(int d) {
    static const char* const tags[MEMORY_COUNT] = {"#0#", "#1#", "#2#", "#3#", "#4#",
                                                   "#5#", "#6#", "#7#", "#8#", "#9#"};
    return validDigit(d) ? tags[d] : "";
}

int memoryRow(int d) { return d == 0 ? 10 : d; }

int memoryOfRow(int row) { return row == 10 ? 0 : row; }
