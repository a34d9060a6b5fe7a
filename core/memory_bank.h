#pragma once
// The ten text memories. Plain data and integer arithmetic, no platform calls.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int MEMORY_COUNT = 10;
constexpr size_t MEMORY_CAPACITY = 65536;
constexpr size_t MEMORY_TEXT_MAX = MEMORY_CAPACITY - 1;

// Memories are indexed by key digit d (0..9): memory 0 is element 0 although
// the window shows it in the tenth row.
struct MemoryBank {
    char* buffers = nullptr;  // MEMORY_COUNT * MEMORY_CAPACITY bytes, one block
    int32_t percent[MEMORY_COUNT] = {};
    int32_t overall = 0;
};

// Releases any earlier storage, then makes ten empty memories.
void createMemoryBank(MemoryBank& bank);
void releaseMemoryBank(MemoryBank& bank);

// Keeps text up to its first NUL, at most MEMORY_TEXT_MAX bytes, then
// recomputes memory d's percentage and the overall percentage.
void storeMemory(MemoryBank& bank, int d, std::string_view text);
void clearMemory(MemoryBank& bank, int d);

// NUL-terminated; valid until memory d is next stored.
const char* memoryText(const MemoryBank& bank, int d);
size_t memorySize(const MemoryBank& bank, int d);
bool isMemoryEmpty(const MemoryBank& bank, int d);
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
