#pragma once
// A stand-in for the system's conversion of UTF-16 to a code page, for the
// memory bank's exact-text rule in the native tests and the fuzzer: Latin-1
// as itself, Omega by best fit, CJK as two bytes (as in a double-byte code
// page), and one '?' for every other unit, each half of a surrogate pair
// included. It converts one unit at a time, as the system does.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/memory_bank.h"

inline size_t fakeAnsi(const char16_t* units, size_t count, char* out, size_t room) {
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        char16_t u = units[i];
        char bytes[2] = {'?', 0};
        size_t len = 1;
        if (u < 0x100) {
            bytes[0] = static_cast<char>(u);
        } else if (u == 0x03A9) {
            bytes[0] = 'O';
        } else if (u >= 0x4E00 && u <= 0x9FFF) {
            bytes[0] = static_cast<char>(0x80 | (u >> 8 & 0x7F));
            bytes[1] = static_cast<char>(0x40 | (u & 0x3F));
            len = 2;
        }
        if (n + len > room) return ANSI_ENCODE_FAILED;
        for (size_t k = 0; k < len; ++k) out[n++] = bytes[k];
    }
    return n;
}

inline std::string fakeAnsiOf(std::u16string_view s) {
    std::string out(s.size() * 2, '\0');
    out.resize(fakeAnsi(s.data(), s.size(), out.data(), out.size()));
    return out;
}
