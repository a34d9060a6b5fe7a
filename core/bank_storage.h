#pragma once
// Zeroed storage for the memory bank's one block. Each platform supplies it:
// on Windows the pages come straight from the virtual-memory manager, so the
// 640 KiB cost nothing until a memory is written.
#include <cstddef>

void* allocateBankStorage(size_t bytes);  // zero-filled, or nullptr
void releaseBankStorage(void* block);     // nullptr is fine
