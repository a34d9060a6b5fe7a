// libFuzzer target: random store / clear / re-create sequences on the real
// MemoryBank, checked after every step against a small reference model.
//
// Every store goes as the clipboard bridge makes it: at most 65,536 bytes and
// 65,536 units put in the bank's spare, then kept by a memory. Between stores
// a read that was given up on may write anything into the spare.
//
// The model is written from the bank's documented rules, not from its code:
//   - a stored text is cut before its first NUL, then to its first 65,535 bytes;
//   - percent(d) = size * 100 / 65,536, truncating;
//   - overall = (sum of the ten percents) / 10, truncating;
//   - the size label is a blank, the size in decimal, then " bytes";
//   - a memory that was not named by the operation keeps its text, whatever
//     was written into the spare;
//   - a memory keeps an exact UTF-16 text only from a store that offers one,
//     cut at its first NUL, with the clipboard's locale and the system's:
//     in the clipboard's code page (when it has one), else in the system's
//     (when it has one and it is another), all of it when its conversion is
//     exactly the kept bytes; when the bytes were cut at 65,535, the longest
//     prefix of whole characters whose conversion is exactly them, or them
//     less a trailing part that is a proper leading part of the next
//     character's conversion; an empty prefix is none;
//   - the memory's locale is the one whose code page agreed, else the
//     clipboard's when it has a code page, else the system's; a clear and a
//     re-create leave none (0, 0);
//   - the memory stands for its exact text, else for its bytes decoded in its
//     locale's code page (empty after a clear or a re-create).
// It deliberately spells out 65,535 and 65,536 instead of using the header's
// constants, so that a wrong constant is caught too.
//
// Input layout (read front to back; a missing byte reads as 0):
//   repeated up to MAX_OPS times: [kind] [digit] [parameters...]
// See runOne() for the parameters of each kind.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "core/memory_bank.h"
#include "tests/native/fake_ansi.h"

namespace {

constexpr int MAX_OPS = 40;
constexpr size_t MAX_TEXT = 100000;  // longest text one operation builds

// ---------------------------------------------------------------- input reader

struct Reader {
    const uint8_t* p;
    size_t left;
    uint8_t u8() {
        if (!left) return 0;
        --left;
        return *p++;
    }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    bool empty() const { return left == 0; }
};

// ------------------------------------------------------------ reference model

bool sameLocale(TextLocale a, TextLocale b) { return a.lcid == b.lcid && a.codePage == b.codePage; }

constexpr size_t NO_PREFIX = size_t(-1);

bool unitsArePair(std::u16string_view u, size_t i) {
    return i + 1 < u.size() && u[i] >= 0xD800 && u[i] <= 0xDBFF && u[i + 1] >= 0xDC00 &&
           u[i + 1] <= 0xDFFF;
}

// How many leading units of `u` the rule keeps for `kept` in `codePage`, or
// NO_PREFIX. Walks character by character: each whole character's conversion
// must be the next kept bytes; where one would run past the end of a cut text,
// the kept bytes left must be a proper leading part of its conversion.
size_t agreeingPrefix(std::u16string_view u, const std::string& kept, bool cut, uint32_t codePage) {
    if (!cut) return fakeAnsiOf(u, codePage) == kept ? u.size() : NO_PREFIX;
    size_t pos = 0, i = 0;
    for (;;) {
        if (pos == kept.size()) return i;
        if (i == u.size()) return NO_PREFIX;
        size_t units = unitsArePair(u, i) ? 2 : 1;
        char c[8];
        size_t len = fakeAnsi(codePage, &u[i], units, c, sizeof c);
        if (pos + len > kept.size()) {
            size_t rest = kept.size() - pos;  // 1 .. len - 1
            return std::memcmp(c, kept.data() + pos, rest) == 0 ? i : NO_PREFIX;
        }
        if (std::memcmp(c, kept.data() + pos, len) != 0) return NO_PREFIX;
        pos += len;
        i += units;
    }
}

struct Model {
    std::string text[10];
    std::u16string exact[10];
    std::u16string shown[10];  // what the memory stands for
    TextLocale locale[10];

    void reset() {
        for (int d = 0; d < 10; ++d) clear(d);
    }
    void clear(int d) {
        text[d].clear();
        exact[d].clear();
        shown[d].clear();
        locale[d] = TextLocale();
    }
    void store(int d, std::string_view s, std::u16string_view u, TextLocale clipboard,
               TextLocale system) {
        const void* nul = s.empty() ? nullptr : std::memchr(s.data(), 0, s.size());
        size_t n = nul ? size_t(static_cast<const char*>(nul) - s.data()) : s.size();
        bool cut = n > 65535;
        if (cut) n = 65535;
        clear(d);
        text[d].assign(s.data(), n);
        locale[d] = clipboard.codePage ? clipboard : system;
        size_t end = u.find(u'\0');
        if (end != std::u16string_view::npos) u = u.substr(0, end);
        TextLocale tried[2] = {clipboard, system};
        for (int t = 0; t < 2 && !text[d].empty() && !u.empty(); ++t) {
            if (!tried[t].codePage) continue;
            if (t == 1 && tried[1].codePage == clipboard.codePage) continue;
            size_t units = agreeingPrefix(u, text[d], cut, tried[t].codePage);
            if (units == NO_PREFIX || units == 0) continue;
            exact[d].assign(u.substr(0, units));
            locale[d] = tried[t];
            break;
        }
        shown[d] = exact[d].empty() ? fakeUnicodeOf(text[d], locale[d].codePage) : exact[d];
    }
    int32_t percent(int d) const { return int32_t(text[d].size()) * 100 / 65536; }
    int32_t overall() const {
        int32_t sum = 0;
        for (int d = 0; d < 10; ++d) sum += percent(d);
        return sum / 10;
    }
    std::string label(int d) const {
        char buf[32];
        std::snprintf(buf, sizeof buf, " %zu bytes", text[d].size());
        return buf;
    }
};

// --------------------------------------------------------------- comparison

[[noreturn]] void differs(int step, int d, const char* what, const std::string& expected,
                           const std::string& actual) {
    std::fprintf(stderr,
                 "memory_bank_fuzz: mismatch after step %d, memory %d, %s\n"
                 "  expected: %s\n  actual:   %s\n",
                 step, d, what, expected.c_str(), actual.c_str());
    std::abort();
}

std::string num(long long v) { return std::to_string(v); }

// A library comparison: the element-by-element one, traced, would cost more
// than the code under test.
bool sameUnits(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

void compareAll(const MemoryBank& bank, const Model& model, int step) {
    for (int d = 0; d < 10; ++d) {
        const std::string& want = model.text[d];
        size_t size = memorySize(bank, d);
        if (size != want.size()) differs(step, d, "memorySize", num(want.size()), num(size));
        const char* got = memoryText(bank, d);
        if (std::memcmp(got, want.data(), want.size()) != 0) {
            size_t i = 0;
            while (got[i] == want[i]) ++i;
            differs(step, d, "memoryText bytes",
                     "byte " + num(i) + " = " + num(uint8_t(want[i])),
                     "byte " + num(i) + " = " + num(uint8_t(got[i])));
        }
        if (got[want.size()] != '\0')
            differs(step, d, "memoryText terminator", "0", num(uint8_t(got[want.size()])));
        if (isMemoryEmpty(bank, d) != want.empty())
            differs(step, d, "isMemoryEmpty", num(want.empty()), num(isMemoryEmpty(bank, d)));
        if (memoryPercent(bank, d) != model.percent(d))
            differs(step, d, "memoryPercent", num(model.percent(d)), num(memoryPercent(bank, d)));
        std::u16string_view exact = memoryExactText(bank, d);
        if (!sameUnits(exact, model.exact[d]))
            differs(step, d, "memoryExactText", num(model.exact[d].size()) + " units",
                    num(exact.size()) + " units");
        if (!exact.empty() && exact.data()[exact.size()] != u'\0')
            differs(step, d, "memoryExactText terminator", "0", num(exact.data()[exact.size()]));
        std::u16string_view shown = memoryUnicodeText(bank, d);
        const std::u16string& wantShown = model.shown[d];
        if (!sameUnits(shown, wantShown)) {
            size_t i = 0;
            while (i < shown.size() && i < wantShown.size() && shown[i] == wantShown[i]) ++i;
            differs(step, d, "memoryUnicodeText",
                    num(wantShown.size()) + " units, unit " + num(i) + " = " +
                        num(i < wantShown.size() ? wantShown[i] : -1),
                    num(shown.size()) + " units, unit " + num(i) + " = " +
                        num(i < shown.size() ? shown[i] : -1));
        }
        if (shown.data()[shown.size()] != u'\0')
            differs(step, d, "memoryUnicodeText terminator", "0", num(shown.data()[shown.size()]));
        TextLocale locale = memoryLocale(bank, d);
        if (!sameLocale(locale, model.locale[d]))
            differs(step, d, "memoryLocale",
                    num(model.locale[d].lcid) + "/" + num(model.locale[d].codePage),
                    num(locale.lcid) + "/" + num(locale.codePage));
        std::string label = sizeLabelText(bank, d);
        if (label != model.label(d)) differs(step, d, "sizeLabelText", model.label(d), label);
    }
    if (overallPercent(bank) != model.overall())
        differs(step, -1, "overallPercent", num(model.overall()), num(overallPercent(bank)));
}

// ------------------------------------------------------------- text builder

// Lengths at the documented telling points of the percentages and the cut.
constexpr size_t TELLING_LENGTHS[] = {0,     1,     655,   656,   657,   32767, 32768, 32769,
                                      64880, 64881, 65534, 65535, 65536, 65537, 70000, 100000};

// Non-NUL bytes (high bytes, CR and LF included) from a small generator,
// made once. A store copies a window of it whose start depends on the step,
// the digit and an input byte, so consecutive stores write different bytes.
// Library copies keep the harness's own per-byte work (and its coverage
// instrumentation) out of the way.
constexpr size_t POOL_SIZE = 2 * MAX_TEXT + 4096;

const char* pool() {
    static const std::string bytes = [] {
        std::string p(POOL_SIZE, '\0');
        uint32_t x = 0x9E3779B9u;
        for (size_t i = 0; i < POOL_SIZE; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            uint8_t b = uint8_t(x >> 24);
            if ((x & 0xFF) < 8) b = (x & 1) ? '\r' : '\n';
            p[i] = char(b ? b : 0xA0);
        }
        return p;
    }();
    return bytes.data();
}

void fill(std::string& s, size_t n, uint32_t seed) {
    size_t start = (size_t(seed) * 7919u) % (POOL_SIZE - n + 1);
    s.assign(pool() + start, n);
}

std::string& scratch() {
    static std::string s = [] {
        std::string t;
        t.reserve(MAX_TEXT + 1);
        return t;
    }();
    return s;
}

std::u16string& exactScratch() {
    static std::u16string s;
    return s;
}

// What the bridge reads for a memory, at most, of each form.
constexpr size_t READ_ROOM = 65536;

// A store as the bridge makes one: what it reads put in the spare, then kept.
// The model is given the same text; the bank sees no more of it than that.
void storeThroughSpare(MemoryBank& bank, Model& model, int d, std::string_view bytes,
                       std::u16string_view units, TextLocale clipboard, TextLocale system) {
    SpareText spare = spareText(bank);
    const size_t n = bytes.size() < READ_ROOM ? bytes.size() : READ_ROOM;
    const size_t m = units.size() < READ_ROOM ? units.size() : READ_ROOM;
    if (n) std::memcpy(spare.bytes, bytes.data(), n);
    if (m) std::memcpy(spare.units, units.data(), m * sizeof(char16_t));
    storeSpare(bank, d, n, m, clipboard, system, fakeAnsi, fakeUnicode);
    if (d >= 0 && d < 10) model.store(d, bytes.substr(0, n), units.substr(0, m), clipboard, system);
}

// Characters of every kind the conversions treat apart: plain, Latin-1, best
// fit, two bytes in FAKE_WESTERN, Cyrillic, a surrogate pair (four bytes in
// FAKE_UTF8), a lone surrogate, a line break, three bytes in FAKE_UTF8.
const char16_t* const PIECES[] = {
    u"a",      u"\u00E9",       u"\u03A9", u"\u6771", u"\U0001F600",
    u"\xD800", u"\r\n",         u"\u2192", u"\u0416", u"plain words ",
    u"\u041F\u0440\u0438\u0432\u0435\u0442 "};
constexpr size_t PLAIN = 9;  // index of "plain words "

// Bytes of each piece in each stand-in code page, worked out once.
size_t bytesOf(size_t piece, uint32_t codePage) {
    static const auto table = [] {
        std::array<std::array<size_t, 4>, std::size(PIECES)> t{};
        for (size_t k = 0; k < std::size(PIECES); ++k)
            for (uint32_t cp : {FAKE_WESTERN, FAKE_CYRILLIC, FAKE_UTF8})
                t[k][cp] = fakeAnsiOf(PIECES[k], cp).size();
        return t;
    }();
    return table[piece][codePage];
}

// A Unicode text whose conversion in `codePage` is short, about the 65,535
// bytes a memory keeps, or plain up to a chosen byte just before the cut,
// then a chosen character across it (so that a cut splits it after any of its
// bytes), then more.
void exactText(Reader& in, uint32_t seed, uint32_t codePage) {
    std::u16string& s = exactScratch();
    s.clear();
    uint8_t how = in.u8();
    uint32_t x = seed | how | 1;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        // Long texts are mostly plain, as most text is, so both paths are taken.
        switch (how >> 1 & 3) {
            case 1: return size_t(x % std::size(PIECES));
            case 2: return x % 8 ? PLAIN : size_t(x % 2 ? 0 : 6);  // nothing that converts apart
            default: return x % 4 ? PLAIN : size_t(x % std::size(PIECES));
        }
    };
    size_t bytes = 0;
    auto add = [&](size_t k) {
        s += PIECES[k];
        bytes += bytesOf(k, codePage);
    };
    if (how & 1 && how & 8) {
        uint8_t where = in.u8();
        size_t before = 65531 + where % 5;  // bytes before the character at the cut
        size_t at = size_t(where / 5) % std::size(PIECES);
        while (bytes + 16 < before) add(next());
        while (bytes < before) add(0);
        add(at);
        while (bytes < 65545) add(next());
        return;
    }
    size_t target = how & 1 ? 65520 + in.u8() % 32 : in.u8() % 64;
    while (bytes < target) add(next());
}

constexpr uint32_t CODE_PAGES[] = {FAKE_WESTERN, FAKE_CYRILLIC, FAKE_UTF8};

// The clipboard's locale: none, each stand-in, a locale of the system's code
// page under another LCID, and one without a code page.
TextLocale clipboardLocale(uint8_t b) {
    static const TextLocale locales[] = {TextLocale(),        FAKE_SYSTEM_LOCALE,
                                         FAKE_RUSSIAN_LOCALE, FAKE_UTF8_LOCALE,
                                         TextLocale{0x0809, FAKE_WESTERN}, TextLocale{0x0439, 0}};
    return locales[b % std::size(locales)];
}

TextLocale systemLocale(uint8_t b) {
    static const TextLocale locales[] = {FAKE_SYSTEM_LOCALE, FAKE_RUSSIAN_LOCALE, FAKE_UTF8_LOCALE};
    return locales[b % std::size(locales)];
}

void runOne(Reader& in) {
    MemoryBank bank;
    createMemoryBank(bank);
    Model model;
    compareAll(bank, model, 0);

    std::string& s = scratch();
    for (int step = 1; step <= MAX_OPS && !in.empty(); ++step) {
        uint8_t kind = in.u8() % 10;
        int d = in.u8() % 10;
        uint32_t seed = uint32_t(step) << 16 | uint32_t(d) << 8;
        switch (kind) {
            case 0: {  // short text straight from the input, NULs and all
                size_t n = in.u8();
                s.clear();
                for (size_t i = 0; i < n && !in.empty(); ++i) s.push_back(char(in.u8()));
                break;
            }
            case 1: {  // 65,531 .. 65,539 bytes, around the cut
                fill(s, 65531 + in.u8() % 9, seed | in.u8());
                break;
            }
            case 2: {  // one of the telling lengths
                uint8_t i = in.u8();
                fill(s, TELLING_LENGTHS[i % std::size(TELLING_LENGTHS)], seed | in.u8());
                break;
            }
            case 3: {  // any length up to MAX_TEXT
                size_t n = (size_t(in.u16()) | size_t(in.u8() & 1) << 16) % (MAX_TEXT + 1);
                fill(s, n, seed | in.u8());
                break;
            }
            case 4: {  // long text with a NUL inside, often near the cut
                uint8_t how = in.u8();
                size_t n = 65531 + how % 16;
                size_t at;
                if (how & 0x80) {
                    at = (size_t(in.u16()) | size_t(in.u8() & 1) << 16) % (n + 1);
                } else {
                    at = 65532 + in.u8() % 6;  // 65,532 .. 65,537
                }
                fill(s, n, seed | in.u8());
                if (at < n) s[at] = '\0';
                break;
            }
            case 5:  // clear
                clearMemory(bank, d);
                model.clear(d);
                compareAll(bank, model, step);
                continue;
            case 6:  // the window initialised again: everything starts empty
                createMemoryBank(bank);
                model.reset();
                compareAll(bank, model, step);
                continue;
            case 8: {  // a Unicode text and its conversion, exact, altered or cut
                TextLocale clipboard = clipboardLocale(in.u8());
                TextLocale system = systemLocale(in.u8());
                // The page the bytes were made in: the clipboard's (so they
                // agree there), the system's, or any stand-in (often neither).
                uint8_t maker = in.u8();
                uint32_t page = maker % 3 == 0 && clipboard.codePage ? clipboard.codePage
                                : maker % 3 < 2                      ? system.codePage
                                                                     : CODE_PAGES[maker / 3 % 3];
                exactText(in, seed, page);
                std::string bytes = fakeAnsiOf(exactScratch(), page);
                switch (in.u8() % 7) {
                    case 1: if (!bytes.empty()) bytes[in.u16() % bytes.size()] ^= 0x21; break;
                    case 2: if (!bytes.empty()) bytes.pop_back(); break;
                    case 3: bytes += 'x'; break;
                    case 4: exactScratch() += u'x'; break;
                    case 5: exactScratch().insert(in.u16() % (exactScratch().size() + 1), 1, u'\0'); break;
                    case 6:  // one of the last kept bytes, where a cut splits a character
                        if (bytes.size() >= 65535) bytes[65534 - in.u8() % 4] ^= 0x21;
                        break;
                }
                storeThroughSpare(bank, model, d, bytes, exactScratch(), clipboard, system);
                compareAll(bank, model, step);
                continue;
            }
            case 7: {  // a digit outside 0..9 must change nothing and touch nothing
                static const int bad[] = {-1, 10, 11, -10, 100, INT32_MIN, INT32_MAX};
                int b = bad[in.u8() % std::size(bad)];
                fill(s, in.u8(), seed);
                storeThroughSpare(bank, model, b, s, u"abc", FAKE_RUSSIAN_LOCALE,
                                  FAKE_SYSTEM_LOCALE);
                clearMemory(bank, b);
                (void)memoryExactText(bank, b);
                (void)memoryUnicodeText(bank, b);
                (void)memoryLocale(bank, b);
                (void)memoryText(bank, b);
                (void)memorySize(bank, b);
                (void)memoryPercent(bank, b);
                (void)sizeLabelText(bank, b);
                compareAll(bank, model, step);
                continue;
            }
            case 9: {  // a read given up on: anything in the spare, and no store
                SpareText spare = spareText(bank);
                const size_t n = (size_t(in.u16()) | size_t(in.u8() & 1) << 16) % (READ_ROOM + 1);
                const size_t start = (size_t(seed | in.u8()) * 7919u) % (POOL_SIZE - 2 * n + 1);
                std::memcpy(spare.bytes, pool() + start, n);
                std::memcpy(spare.units, pool() + start, n * sizeof(char16_t));
                compareAll(bank, model, step);
                continue;
            }
        }
        // Bytes alone, from a clipboard in one of the locales.
        storeThroughSpare(bank, model, d, s, std::u16string_view(),
                          clipboardLocale(uint8_t(step + d)), systemLocale(uint8_t(step)));
        compareAll(bank, model, step);
    }
    releaseMemoryBank(bank);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The fixed tables: tags and rows by key digit, memory 0 in the tenth row.
    for (int d = 0; d < 10; ++d) {
        char tag[4] = {'#', char('0' + d), '#', 0};
        int row = d == 0 ? 10 : d;
        if (std::strcmp(memoryTag(d), tag) != 0 || memoryRow(d) != row || memoryOfRow(row) != d) {
            std::fprintf(stderr, "memory_bank_fuzz: tag/row table wrong for digit %d\n", d);
            std::abort();
        }
    }
    (void)pool();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    runOne(in);
    return 0;
}
