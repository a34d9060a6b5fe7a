// libFuzzer target: random store / clear / re-create sequences on the real
// MemoryBank, checked after every step against a small reference model.
//
// The model is written from the bank's documented rules, not from its code:
//   - a stored text is cut before its first NUL, then to its first 65,535 bytes;
//   - percent(d) = size * 100 / 65,536, truncating;
//   - overall = (sum of the ten percents) / 10, truncating;
//   - the size label is a blank, the size in decimal, then " bytes";
//   - a memory that was not named by the operation keeps its text;
//   - a memory keeps an exact UTF-16 text only from a store that offers one,
//     cut at its first NUL: all of it when its conversion is exactly the
//     kept bytes; when the bytes were cut at 65,535, the prefix, ending on a
//     whole character, whose conversion is exactly them; else none.
// It deliberately spells out 65,535 and 65,536 instead of using the header's
// constants, so that a wrong constant is caught too.
//
// Input layout (read front to back; a missing byte reads as 0):
//   repeated up to MAX_OPS times: [kind] [digit] [parameters...]
// See runOne() for the parameters of each kind.
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

struct Model {
    std::string text[10];
    std::u16string exact[10];

    void reset() {
        for (auto& t : text) t.clear();
        for (auto& u : exact) u.clear();
    }
    // Returns whether the bytes were cut at 65,535.
    bool store(int d, std::string_view s) {
        const void* nul = s.empty() ? nullptr : std::memchr(s.data(), 0, s.size());
        size_t n = nul ? size_t(static_cast<const char*>(nul) - s.data()) : s.size();
        bool cut = n > 65535;
        if (cut) n = 65535;
        text[d].assign(s.data(), n);
        exact[d].clear();
        return cut;
    }
    // The prefix whose conversion is as long as the kept bytes, ending on a
    // whole character (each one converts to one byte or more, so there is
    // at most one), must also convert to exactly them.
    void storeExact(int d, std::string_view s, std::u16string_view u) {
        bool cut = store(d, s);
        size_t nul = u.find(u'\0');
        if (nul != std::u16string_view::npos) u = u.substr(0, nul);
        if (text[d].empty()) return;
        size_t end = 0, bytes = 0;
        while (end < u.size() && bytes < text[d].size()) {
            bool pair = end + 1 < u.size() && u[end] >= 0xD800 && u[end] <= 0xDBFF &&
                        u[end + 1] >= 0xDC00 && u[end + 1] <= 0xDFFF;
            char buf[8];
            bytes += fakeAnsi(&u[end], pair ? 2 : 1, buf, sizeof buf);
            end += pair ? 2 : 1;
        }
        if (bytes != text[d].size() || (!cut && end != u.size())) return;
        if (fakeAnsiOf(u.substr(0, end)) == text[d]) exact[d].assign(u.substr(0, end));
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
        if (exact != model.exact[d])
            differs(step, d, "memoryExactText", num(model.exact[d].size()) + " units",
                    num(exact.size()) + " units");
        if (!exact.empty() && exact.data()[exact.size()] != u'\0')
            differs(step, d, "memoryExactText terminator", "0", num(exact.data()[exact.size()]));
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

// Characters of every kind the conversion treats apart: plain, Latin-1, best
// fit, two bytes, a surrogate pair, a lone surrogate, a line break, one with
// no form at all.
void exactText(Reader& in, uint32_t seed) {
    static const char16_t* const pieces[] = {u"a", u"\u00E9", u"\u03A9", u"\u6771", u"\U0001F600",
                                             u"\xD800", u"\r\n", u"\u2192", u"plain words "};
    std::u16string& s = exactScratch();
    s.clear();
    uint8_t how = in.u8();
    // Short, or converting to about the 65,535 bytes a memory keeps.
    size_t target = how & 1 ? 65520 + in.u8() % 32 : in.u8() % 64;
    uint32_t x = seed | how | 1;
    for (size_t bytes = 0; bytes < target;) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        // Long texts are mostly plain, as most text is, so both paths are taken.
        size_t k = (how & 2) ? x % std::size(pieces) : (x % 4 ? 8 : x % std::size(pieces));
        s += pieces[k];
        bytes += fakeAnsiOf(pieces[k]).size();
    }
}

void runOne(Reader& in) {
    MemoryBank bank;
    createMemoryBank(bank);
    Model model;
    compareAll(bank, model, 0);

    std::string& s = scratch();
    for (int step = 1; step <= MAX_OPS && !in.empty(); ++step) {
        uint8_t kind = in.u8() % 9;
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
                model.store(d, std::string_view());
                compareAll(bank, model, step);
                continue;
            case 6:  // the window initialised again: everything starts empty
                createMemoryBank(bank);
                model.reset();
                compareAll(bank, model, step);
                continue;
            case 8: {  // a Unicode text and its conversion, exact, altered or cut
                exactText(in, seed);
                std::string bytes = fakeAnsiOf(exactScratch());
                switch (in.u8() % 6) {
                    case 1: if (!bytes.empty()) bytes[in.u16() % bytes.size()] ^= 0x21; break;
                    case 2: if (!bytes.empty()) bytes.pop_back(); break;
                    case 3: bytes += 'x'; break;
                    case 4: exactScratch() += u'x'; break;
                    case 5: exactScratch().insert(in.u16() % (exactScratch().size() + 1), 1, u'\0'); break;
                }
                storeMemory(bank, d, bytes, exactScratch(), fakeAnsi);
                model.storeExact(d, bytes, exactScratch());
                compareAll(bank, model, step);
                continue;
            }
            case 7: {  // a digit outside 0..9 must change nothing and touch nothing
                static const int bad[] = {-1, 10, 11, -10, 100, INT32_MIN, INT32_MAX};
                int b = bad[in.u8() % std::size(bad)];
                fill(s, in.u8(), seed);
                storeMemory(bank, b, s);
                clearMemory(bank, b);
                (void)memoryText(bank, b);
                (void)memorySize(bank, b);
                (void)memoryPercent(bank, b);
                (void)sizeLabelText(bank, b);
                compareAll(bank, model, step);
                continue;
            }
        }
        storeMemory(bank, d, s);
        model.store(d, s);
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
