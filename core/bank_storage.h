#pragma once
// Storage for the memory bank. Each platform supplies it: on Windows the
// bank's block comes straight from the virtual-memory manager, so its
// 2 MiB cost memory only where a text is written.
#include <cstddef>

void* allocateBankStorage(size_t bytes);  // zero-filled, or nullptr
void releaseBankStorage(void* block);     // nullptr is fine
