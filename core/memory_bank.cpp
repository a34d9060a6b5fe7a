#include "core/memory_bank.h"

#include <bit>
#include <cstring>

#include "core/bank_storage.h"
#include "core/number_text.h"

namespace {

constexpr int SLOT_COUNT = MEMORY_COUNT + 1;
// A slot holds a memory's bytes, then its units: all that a read takes, and
// a terminator. Slots and their units start on pages of their own, so a
// short text makes two pages resident and no more.
constexpr size_t SLOT_UNITS = MEMORY_CAPACITY + 1;
constexpr size_t PAGE_BYTES = 4096;
constexpr size_t SLOT_SIZE =
    (MEMORY_CAPACITY + SLOT_UNITS * sizeof(char16_t) + PAGE_BYTES - 1) / PAGE_BYTES * PAGE_BYTES;

bool validDigit(int d) { return d >= 0 && d < MEMORY_COUNT; }

char* slotBytes(const MemoryBank& bank, int s) {
    return bank.storage + static_cast<size_t>(s) * SLOT_SIZE;
}

char16_t* slotUnits(const MemoryBank& bank, int s) {
    return reinterpret_cast<char16_t*>(slotBytes(bank, s) + MEMORY_CAPACITY);
}

char* bufferOf(const MemoryBank& bank, int d) {
    if (!bank.storage || !validDigit(d)) return nullptr;
    return slotBytes(bank, bank.slot[d]);
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
// The first `same` of them are ASCII and equal to the bytes beside them.
// Without `whole` the kept bytes were cut, and may end in the leading part
// of a character's conversion (a lead byte): that character is left out. A
// long text is converted a chunk at a time, so a disagreement is found
// without a copy of the whole conversion, and where the bytes were cut, the
// cut is found inside one chunk only.
size_t agreeingUnits(std::string_view kept, std::u16string_view exact, size_t same, bool whole,
                     uint32_t codePage, AnsiEncoder encode) {
    char out[CHUNK_UNITS * 4];
    size_t pos = same;  // in kept
    size_t i = same;    // in exact
    const size_t n = kept.size();
    const size_t m = exact.size();
    while (i < m && pos < n) {
        size_t end = i + CHUNK_UNITS < m ? i + CHUNK_UNITS : m;
        if (end < m && pairAt(exact, end - 1)) --end;
        // ASCII is itself in every ANSI code page: most text needs no call.
        const size_t run = end - i < n - pos ? end - i : n - pos;
        const size_t ascii = sameAsciiPrefix(exact.data() + i, kept.data() + pos, run);
        i += ascii;
        pos += ascii;
        if (ascii < run && exact[i] < 0x80) return NO_AGREEMENT;
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

// Keeps memory d's first `count` bytes, up to their first NUL, where they
// are, and their percentages; true when they were cut.
bool keepBytes(MemoryBank& bank, int d, size_t count) {
    char* buffer = bufferOf(bank, d);
    const void* nul = count ? std::memchr(buffer, '\0', count) : nullptr;
    size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : count;
    const bool cut = n > MEMORY_TEXT_MAX;
    if (cut) n = MEMORY_TEXT_MAX;
    buffer[n] = '\0';
    bank.size[d] = n;

    // Signed 32-bit, truncating, in this order: a full memory shows 99, never 100.
    bank.percent[d] = static_cast<int32_t>(n) * 100 / static_cast<int32_t>(MEMORY_CAPACITY);
    int32_t sum = 0;
    for (int i = 0; i < MEMORY_COUNT; ++i) sum += bank.percent[i];
    bank.overall = sum / 10;
    return cut;
}

// The text memory d stands for: the first `count` units beside its bytes
// when one of the locales says what the bytes say (then the memory's locale
// is that one), else the bytes decoded in place of them.
void keepText(MemoryBank& bank, int d, size_t count, bool bytesCut, const TextLocale& clipboard,
              const TextLocale& system, AnsiEncoder encode, AnsiDecoder decode) {
    bank.locale[d] = clipboard.codePage ? clipboard : system;
    char16_t* units = slotUnits(bank, bank.slot[d]);
    std::string_view kept(bufferOf(bank, d), bank.size[d]);
    // ASCII is itself in every ANSI code page, and the kept bytes hold no
    // NUL: units equal to them agree in any locale and hold none either, so
    // most text is looked at once.
    const size_t same =
        sameAsciiPrefix(units, kept.data(), count < kept.size() ? count : kept.size());
    std::u16string_view exact(units, count);
    size_t nul = exact.find(u'\0', same);
    if (nul != std::u16string_view::npos) exact = exact.substr(0, nul);
    size_t agreed = NO_AGREEMENT;
    if (!exact.empty() && encode && !kept.empty()) {
        const TextLocale* tried[2] = {&clipboard, &system};
        for (int t = 0; t < 2 && agreed == NO_AGREEMENT; ++t) {
            const TextLocale& locale = *tried[t];
            if (!locale.codePage || (t == 1 && locale.codePage == clipboard.codePage)) continue;
            agreed = agreeingUnits(kept, exact, same, !bytesCut, locale.codePage, encode);
            if (agreed != NO_AGREEMENT) bank.locale[d] = locale;
        }
    }
    bank.exact[d] = agreed != NO_AGREEMENT && agreed != 0;
    size_t n = agreed;
    if (!bank.exact[d])
        n = decode && !kept.empty()
                ? decode(bank.locale[d].codePage, kept.data(), kept.size(), units, SLOT_UNITS - 1)
                : 0;
    if (n) units[n] = u'\0';
    bank.unitCount[d] = n;
}

}  // namespace

void createMemoryBank(MemoryBank& bank) {
    releaseMemoryBank(bank);
    bank.storage = static_cast<char*>(allocateBankStorage(SLOT_COUNT * SLOT_SIZE));
}

void releaseMemoryBank(MemoryBank& bank) {
    releaseBankStorage(bank.storage);
    bank.storage = nullptr;
    for (int d = 0; d < MEMORY_COUNT; ++d) {
        bank.slot[d] = d;
        bank.exact[d] = false;
        bank.unitCount[d] = 0;
        bank.locale[d] = TextLocale();
        bank.size[d] = 0;
        bank.percent[d] = 0;
    }
    bank.spare = MEMORY_COUNT;
    bank.overall = 0;
}

SpareText spareText(MemoryBank& bank) {
    if (!bank.storage) return SpareText{nullptr, nullptr};
    return SpareText{slotBytes(bank, bank.spare), slotUnits(bank, bank.spare)};
}

void storeSpare(MemoryBank& bank, int d, size_t byteCount, size_t unitCount,
                const TextLocale& clipboard, const TextLocale& system, AnsiEncoder encode,
                AnsiDecoder decode) {
    if (!bank.storage || !validDigit(d)) return;
    if (byteCount > MEMORY_CAPACITY) byteCount = MEMORY_CAPACITY;
    if (unitCount > MEMORY_CAPACITY) unitCount = MEMORY_CAPACITY;
    const int filled = bank.spare;
    bank.spare = bank.slot[d];
    bank.slot[d] = filled;
    const bool cut = keepBytes(bank, d, byteCount);
    keepText(bank, d, unitCount, cut, clipboard, system, encode, decode);
}

void clearMemory(MemoryBank& bank, int d) {
    if (!bufferOf(bank, d)) return;
    keepBytes(bank, d, 0);
    bank.exact[d] = false;
    bank.unitCount[d] = 0;
    bank.locale[d] = TextLocale();
}

const char* memoryText(const MemoryBank& bank, int d) {
    const char* buffer = bufferOf(bank, d);
    return buffer ? buffer : "";
}

size_t memorySize(const MemoryBank& bank, int d) {
    return bufferOf(bank, d) ? bank.size[d] : 0;
}

bool isMemoryEmpty(const MemoryBank& bank, int d) { return memorySize(bank, d) == 0; }

std::u16string_view memoryUnicodeText(const MemoryBank& bank, int d) {
    if (!bufferOf(bank, d) || !bank.unitCount[d]) return u"";
    return std::u16string_view(slotUnits(bank, bank.slot[d]), bank.unitCount[d]);
}

std::u16string_view memoryExactText(const MemoryBank& bank, int d) {
    if (!bufferOf(bank, d) || !bank.exact[d]) return std::u16string_view();
    return memoryUnicodeText(bank, d);
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
