#pragma once
// Stand-ins for the system's conversion of UTF-16 to a code page, for the
// memory bank's exact-text rule in the native tests and the fuzzer. Each
// converts one character at a time, as the system does:
//   FAKE_WESTERN:  Latin-1 as itself, Omega by best fit, CJK as two bytes (a
//                  lead byte, then a trail byte, as in a double-byte code
//                  page), and one '?' for every other unit, each half of a
//                  surrogate pair included;
//   FAKE_CYRILLIC: ASCII as itself, the Russian letters as one byte each from
//                  0xC0, '?' for every other unit;
//   FAKE_UTF8:     UTF-8, one to four bytes a character; '?' for a lone half
//                  of a pair.
// Their decoders go a byte at a time, each its own way, so that a text
// decoded in the wrong one shows: FAKE_WESTERN as Latin-1, FAKE_CYRILLIC
// with the Russian letters from 0xC0 and U+FFFD for the other high bytes,
// FAKE_UTF8 with U+FFFD for every byte that is not ASCII.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/memory_bank.h"

constexpr uint32_t FAKE_WESTERN = 1;
constexpr uint32_t FAKE_CYRILLIC = 2;
constexpr uint32_t FAKE_UTF8 = 3;

inline size_t fakeAnsi(uint32_t codePage, const char16_t* units, size_t count, char* out,
                       size_t room) {
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        char32_t u = units[i];
        unsigned char bytes[4] = {'?', 0, 0, 0};
        size_t len = 1;
        if (codePage == FAKE_UTF8) {
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
                units[i + 1] <= 0xDFFF)
                u = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
            if (u >= 0xD800 && u <= 0xDFFF) {
                // a lone half: '?'
            } else if (u < 0x80) {
                bytes[0] = static_cast<unsigned char>(u);
            } else if (u < 0x800) {
                bytes[0] = static_cast<unsigned char>(0xC0 | u >> 6);
                bytes[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
                len = 2;
            } else if (u < 0x10000) {
                bytes[0] = static_cast<unsigned char>(0xE0 | u >> 12);
                bytes[1] = static_cast<unsigned char>(0x80 | (u >> 6 & 0x3F));
                bytes[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
                len = 3;
            } else {
                bytes[0] = static_cast<unsigned char>(0xF0 | u >> 18);
                bytes[1] = static_cast<unsigned char>(0x80 | (u >> 12 & 0x3F));
                bytes[2] = static_cast<unsigned char>(0x80 | (u >> 6 & 0x3F));
                bytes[3] = static_cast<unsigned char>(0x80 | (u & 0x3F));
                len = 4;
            }
        } else if (codePage == FAKE_CYRILLIC) {
            if (u < 0x80) bytes[0] = static_cast<unsigned char>(u);
            if (u >= 0x0410 && u <= 0x044F) bytes[0] = static_cast<unsigned char>(0xC0 + (u - 0x0410));
        } else if (u < 0x100) {
            bytes[0] = static_cast<unsigned char>(u);
        } else if (u == 0x03A9) {
            bytes[0] = 'O';
        } else if (u >= 0x4E00 && u <= 0x9FFF) {
            bytes[0] = static_cast<unsigned char>(0x80 | (u >> 8 & 0x7F));
            bytes[1] = static_cast<unsigned char>(0x40 | (u & 0x3F));
            len = 2;
        }
        if (n + len > room) return ANSI_ENCODE_FAILED;
        for (size_t k = 0; k < len; ++k) out[n++] = static_cast<char>(bytes[k]);
    }
    return n;
}

inline std::string fakeAnsiOf(std::u16string_view s, uint32_t codePage = FAKE_WESTERN) {
    std::string out(s.size() * 3, '\0');
    out.resize(fakeAnsi(codePage, s.data(), s.size(), out.data(), out.size()));
    return out;
}

inline size_t fakeUnicode(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                          size_t room) {
    if (count > room) return 0;
    // Worked out once per page: the fuzzer decodes long texts at every step.
    static const auto tables = [] {
        struct { char16_t unit[4][256]; } t{};
        for (int b = 0; b < 256; ++b) {
            t.unit[FAKE_WESTERN][b] = char16_t(b);
            t.unit[FAKE_CYRILLIC][b] = b < 0x80 ? char16_t(b) : b >= 0xC0 ? char16_t(0x0410 + (b - 0xC0)) : u'\uFFFD';
            t.unit[FAKE_UTF8][b] = b < 0x80 ? char16_t(b) : u'\uFFFD';
        }
        return t;
    }();
    const char16_t* unit = tables.unit[codePage < 4 ? codePage : FAKE_WESTERN];
    for (size_t i = 0; i < count; ++i) out[i] = unit[static_cast<unsigned char>(bytes[i])];
    return count;
}

inline std::u16string fakeUnicodeOf(std::string_view s, uint32_t codePage = FAKE_WESTERN) {
    std::u16string out(s.size(), u'\0');
    out.resize(fakeUnicode(codePage, s.data(), s.size(), out.data(), out.size()));
    return out;
}

// The locales the tests name: the system's and two keyboards' (LCIDs as the
// clipboard has them).
inline constexpr TextLocale FAKE_SYSTEM_LOCALE{0x0409, FAKE_WESTERN};
inline constexpr TextLocale FAKE_RUSSIAN_LOCALE{0x0419, FAKE_CYRILLIC};
inline constexpr TextLocale FAKE_UTF8_LOCALE{0x0999, FAKE_UTF8};
