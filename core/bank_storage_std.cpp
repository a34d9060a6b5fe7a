#include "core/bank_storage.h"

#include <cstdlib>

void* allocateBankStorage(size_t bytes) { return std::calloc(1, bytes); }

void releaseBankStorage(void* block) { std::free(block); }
