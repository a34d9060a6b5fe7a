#include "core/bank_storage.h"

#include <windows.h>

// Committed pages read as zero and only become resident when written; a heap
// block of this size would be zero-filled, and so resident, at once.
void* allocateBankStorage(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void releaseBankStorage(void* block) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}
