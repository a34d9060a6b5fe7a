#pragma once
// The ten text memories. Plain data and integer arithmetic, no platform calls.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int MEMORY_COUNT = 10;
constexpr size_t MEMORY_CAPACITY = 65536;
constexpr size_t MEMORY_TEXT_MAX = MEMORY_CAPACITY - 1;

// A locale as the clipboard names it (its CF_LOCALE), and the ANSI code page
// that locale's bytes are in; 0 for none.
struct TextLocale {
    uint32_t lcid = 0;
    uint32_t codePage = 0;
};

// Converts UTF-16 units to ANSI code page `codePage` exactly as the system
// does (the platform supplies it). Writes the bytes to `out` and returns how
// many, or ANSI_ENCODE_FAILED when they do not fit in `room` or cannot be
// converted.
using AnsiEncoder = size_t (*)(uint32_t codePage, const char16_t* units, size_t count, char* out,
                               size_t room);
constexpr size_t ANSI_ENCODE_FAILED = static_cast<size_t>(-1);
// The other way, as the system makes Unicode text from bytes (the platform
// supplies it): returns how many units it wrote to `out`, 0 when they do not
// fit in `room` or cannot be converted.
using AnsiDecoder = size_t (*)(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                               size_t room);

// Memories are indexed by key digit d (0..9): memory 0 is element 0 although
// the window shows it in the tenth row. A memory is its bytes, the locale
// whose code page they are in and the UTF-16 text they stand for: the exact
// text the clipboard offered beside them, or else the bytes decoded.
//
// Each memory keeps its text in one of eleven slots of one block; the slot
// left over is the spare, which a store from the clipboard fills and then
// trades for the memory's own. So a store copies nothing twice and
// allocates nothing, and what is written into the spare changes no memory
// until a store takes it.
struct MemoryBank {
    char* storage = nullptr;  // MEMORY_COUNT + 1 slots, one block
    int slot[MEMORY_COUNT] = {};
    int spare = MEMORY_COUNT;
    size_t size[MEMORY_COUNT] = {};
    size_t unitCount[MEMORY_COUNT] = {};  // of the text the memory stands for
    bool exact[MEMORY_COUNT] = {};        // that text is the clipboard's own
    TextLocale locale[MEMORY_COUNT] = {};
    int32_t percent[MEMORY_COUNT] = {};
    int32_t overall = 0;
};

// Releases any earlier storage, then makes ten empty memories.
void createMemoryBank(MemoryBank& bank);
void releaseMemoryBank(MemoryBank& bank);

// Where the next store's text goes: room for MEMORY_CAPACITY bytes and as
// many units, one byte more than a memory keeps, so that a text that was cut
// can be told from one that fits. Null without storage.
struct SpareText {
    char* bytes;
    char16_t* units;
};
SpareText spareText(MemoryBank& bank);

// Memory d takes the spare's first `byteCount` bytes and `unitCount` units, as
// read from the clipboard, and its own storage becomes the spare. Keeps the
// bytes up to their first NUL, at most MEMORY_TEXT_MAX of them, then
// recomputes memory d's percentage and the overall percentage.
//
// The bytes were made in the code page of the clipboard's locale (the
// copying program's keyboard), or in the system's by a program that put
// both forms itself. The units (up to their first NUL) are the memory's
// exact text when their conversion by `encode` is exactly the kept bytes,
// trying `clipboard` first, then `system`. When the bytes were cut at
// MEMORY_TEXT_MAX: the longest prefix of them whose conversion is exactly
// them, or them less the leading part of the character the cut split; never
// ending between the halves of a surrogate pair. The memory's locale is the
// one they agreed in, else `clipboard` when it has a code page, else
// `system`. Without an exact text, the memory stands for its bytes as
// `decode` makes them in its locale's code page.
void storeSpare(MemoryBank& bank, int d, size_t byteCount, size_t unitCount,
                const TextLocale& clipboard, const TextLocale& system, AnsiEncoder encode,
                AnsiDecoder decode);
// Memory d becomes empty, with no locale; the percentages are recomputed.
void clearMemory(MemoryBank& bank, int d);

// NUL-terminated; valid until memory d is next stored.
const char* memoryText(const MemoryBank& bank, int d);
size_t memorySize(const MemoryBank& bank, int d);
bool isMemoryEmpty(const MemoryBank& bank, int d);
// The text memory d stands for, which the table shows and a recall puts on
// the clipboard as Unicode: its exact text, else its bytes decoded.
// NUL-terminated; valid until memory d is next stored.
std::u16string_view memoryUnicodeText(const MemoryBank& bank, int d);
// The same when it is the exact text, else empty.
std::u16string_view memoryExactText(const MemoryBank& bank, int d);
// Whose code page the bytes are in; none for a memory never stored, or
// cleared.
TextLocale memoryLocale(const MemoryBank& bank, int d);
int32_t memoryPercent(const MemoryBank& bank, int d);
int32_t overallPercent(const MemoryBank& bank);

// " 3 bytes", " 0 bytes", " 65535 bytes".
std::string sizeLabelText(const MemoryBank& bank, int d);
// "#1#" .. "#9#", "#0#"
const char* memoryTag(int d);
// 1..9 for digits 1..9, 10 for digit 0.
int memoryRow(int d);
// The key digit shown in row r (1..10).
int memoryOfRow(int row);
