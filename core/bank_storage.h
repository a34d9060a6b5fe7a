#pragma once
// Storage for the memory bank. Each platform supplies it: on Windows the
// bank's block comes straight from the virtual-memory manager, so the
// 640 KiB cost nothing until a memory is written.
#include <cstddef>

void* allocateBankStorage(size_t bytes);  // zero-filled, or nullptr
void releaseBankStorage(void* block);     // nullptr is fine

// A memory's exact text. Failing here only costs the copy, so it returns
// nullptr rather than ending the program.
void* allocateTextStorage(size_t bytes);
void releaseTextStorage(void* block);  // nullptr is fine
