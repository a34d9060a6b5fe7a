#include "core/memory_bank.h"

#include <cstring>

#include "core/bank_storage.h"
#include "core/number_text.h"

namespace {

bool validDigit(int d) { return d >= 0 && d < MEMORY_COUNT; }

char* bufferOf(const MemoryBank& bank, int d) {
    if (!bank.buffers || !validDigit(d)) return nullptr;
    return bank.buffers + static_cast<size_t>(d) * MEMORY_CAPACITY;
}

}  // namespace

void createMemoryBank(MemoryBank& bank) {
    releaseMemoryBank(bank);
    bank.buffers = static_cast<char*>(allocateBankStorage(MEMORY_COUNT * MEMORY_CAPACITY));
}

void releaseMemoryBank(MemoryBank& bank) {
    releaseBankStorage(bank.buffers);
    bank.buffers = nullptr;
    for (int32_t& p : bank.percent) p = 0;
    bank.overall = 0;
}

void storeMemory(MemoryBank& bank, int d, std::string_view text) {
    char* buffer = bufferOf(bank, d);
    if (!buffer) return;

    size_t nul = text.find('\0');
    size_t n = nul == std::string_view::npos ? text.size() : nul;
    if (n > MEMORY_TEXT_MAX) n = MEMORY_TEXT_MAX;
    if (n) std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';

    // Signed 32-bit, truncating, in this order: a full memory shows 99, never 100.
    bank.percent[d] = static_cast<int32_t>(n) * 100 / static_cast<int32_t>(MEMORY_CAPACITY);
    int32_t sum = 0;
    for (int i = 0; i < MEMORY_COUNT; ++i) sum += bank.percent[i];
    bank.overall = sum / 10;
}

void clearMemory(MemoryBank& bank, int d) { storeMemory(bank, d, std::string_view()); }

const char* memoryText(const MemoryBank& bank, int d) {
    const char* buffer = bufferOf(bank, d);
    return buffer ? buffer : "";
}

size_t memorySize(const MemoryBank& bank, int d) {
    const char* buffer = bufferOf(bank, d);
    // The terminator always lies within the buffer: storeMemory writes it.
    return buffer ? std::strlen(buffer) : 0;
}

bool isMemoryEmpty(const MemoryBank& bank, int d) { return memorySize(bank, d) == 0; }

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
