// The product is built without exceptions. These replace the few runtime
// hooks the standard containers reach for, so that the exception machinery
// (unwinder, demangler, terminate handler) stays out of the executable.
// They are reached only when memory is exhausted; the process then ends.
#include <windows.h>

#include <cstddef>
#include <new>

#include "hotkeys/hotkey_register.h"

namespace {
// The main window's destruction never runs on this path, so its hotkeys and
// their global atoms, which outlive the process, are given back here.
[[noreturn]] void outOfMemory() {
    releaseHotkeysOnExit();
    ExitProcess(255);
}

void* allocate(std::size_t size) {
    void* p = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (!p) outOfMemory();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete[](void* p) noexcept { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete(void* p, std::size_t) noexcept { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete[](void* p, std::size_t) noexcept { if (p) HeapFree(GetProcessHeap(), 0, p); }

// The GNU standard library's own hooks; other libraries have other names.
#if defined(__GLIBCXX__)
namespace std {
void __throw_bad_alloc() { outOfMemory(); }
void __throw_bad_array_new_length() { outOfMemory(); }
void __throw_length_error(const char*) { outOfMemory(); }
void __throw_logic_error(const char*) { outOfMemory(); }
#if defined(__clang__)
// Clang's code keeps a range check that GCC's proves unneeded.
void __throw_out_of_range_fmt(const char*, ...) { outOfMemory(); }
#endif
}  // namespace std
#endif
