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

// Memories are indexed by key digit d (0..9): memory 0 is element 0 although
// the window shows it in the tenth row. A memory is its bytes, the locale
// whose code page they are in and, when it has one, the exact UTF-16 text
// those bytes stand for.
struct MemoryBank {
    char* buffers = nullptr;  // MEMORY_COUNT * MEMORY_CAPACITY bytes, one block
    size_t size[MEMORY_COUNT] = {};
    char16_t* exact[MEMORY_COUNT] = {};  // NUL-terminated, or null
    size_t exactLength[MEMORY_COUNT] = {};
    TextLocale locale[MEMORY_COUNT] = {};
    int32_t percent[MEMORY_COUNT] = {};
    int32_t overall = 0;
};

// Releases any earlier storage, then makes ten empty memories.
void createMemoryBank(MemoryBank& bank);
void releaseMemoryBank(MemoryBank& bank);

// Keeps text up to its first NUL, at most MEMORY_TEXT_MAX bytes, then
// recomputes memory d's percentage and the overall percentage. Any exact
// text and locale the memory had are dropped.
void storeMemory(MemoryBank& bank, int d, std::string_view text);
// The same for a text read from the clipboard, whose bytes were made in the
// code page of the clipboard's locale (the copying program's keyboard), or in
// the system's by a program that put both forms itself. The memory also keeps
// `exact` (up to its first NUL) when its conversion by `encode` is exactly
// the kept bytes, trying `clipboard` first, then `system`. When the bytes
// were cut at MEMORY_TEXT_MAX: the longest prefix of it whose conversion is
// exactly them, or them less the leading part of the character the cut
// split; never ending between the halves of a surrogate pair. Otherwise, or
// when its storage cannot be had, the memory keeps its bytes only. Its
// locale is the one they agreed in, else `clipboard` when it has a code
// page, else `system`.
void storeMemory(MemoryBank& bank, int d, std::string_view text, std::u16string_view exact,
                 const TextLocale& clipboard, const TextLocale& system, AnsiEncoder encode);
void clearMemory(MemoryBank& bank, int d);

// NUL-terminated; valid until memory d is next stored.
const char* memoryText(const MemoryBank& bank, int d);
size_t memorySize(const MemoryBank& bank, int d);
bool isMemoryEmpty(const MemoryBank& bank, int d);
// The exact text, NUL-terminated, or empty when the memory has none; valid
// until memory d is next stored.
std::u16string_view memoryExactText(const MemoryBank& bank, int d);
// Whose code page the bytes are in; none for a memory stored without one.
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
