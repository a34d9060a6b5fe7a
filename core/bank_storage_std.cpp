#include "core/bank_storage.h"

#include <cstdlib>

// The native tests set it to make that many text allocations fail.
int refusedTextAllocations;

void* allocateBankStorage(size_t bytes) { return std::calloc(1, bytes); }

void releaseBankStorage(void* block) { std::free(block); }

void* allocateTextStorage(size_t bytes) {
    if (refusedTextAllocations > 0) {
        --refusedTextAllocations;
        return nullptr;
    }
    return std::malloc(bytes);
}

void releaseTextStorage(void* block) { std::free(block); }
