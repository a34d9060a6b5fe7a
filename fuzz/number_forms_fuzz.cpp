// libFuzzer target: the number-to-text form (numberText, wholeNumberText) and
// the hotkey atom names built from it (hotkeyAtomName).
//
// Each number is checked two ways: against a formatter rebuilt here from
// snprintf (sign position, no grouping, at most three fractional digits
// without trailing zeros, no "0" before the point), and by reading the text
// back, which must give the very value that was formatted.
//
// Input layout (read front to back; a missing byte reads as 0): up to
// MAX_RECORDS records of [kind] [payload]; see LLVMFuzzerTestOneInput.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "core/number_text.h"
#include "hotkeys/hotkey_table.h"

namespace {

constexpr int MAX_RECORDS = 64;

struct Reader {
    const uint8_t* p;
    size_t left;
    uint8_t u8() {
        if (!left) return 0;
        --left;
        return *p++;
    }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    uint32_t u32() { return uint32_t(u16()) | uint32_t(u16()) << 16; }
    uint64_t u64() { return uint64_t(u32()) | uint64_t(u32()) << 32; }
    bool empty() const { return left == 0; }
};

[[noreturn]] void fail(const char* what, const std::string& input, const std::string& expected,
                       const std::string& actual) {
    std::fprintf(stderr,
                 "number_forms_fuzz: %s(%s)\n  expected: \"%s\"\n  actual:   \"%s\"\n", what,
                 input.c_str(), expected.c_str(), actual.c_str());
    std::abort();
}

std::string dec(int64_t v) {
    char b[32];
    std::snprintf(b, sizeof b, "%" PRId64, v);
    return b;
}

// ------------------------------------------------------ reference formatters

// Thousandths as "<sign><whole>.<three digits>", then trailing zeros and a
// bare point dropped, then a lone "0" before the point dropped.
std::string referenceNumber(int64_t thousandths) {
    bool negative = thousandths < 0;
    uint64_t magnitude = negative ? ~uint64_t(thousandths) + 1 : uint64_t(thousandths);
    char b[40];
    std::snprintf(b, sizeof b, "%" PRIu64 ".%03u", magnitude / 1000, unsigned(magnitude % 1000));
    std::string t = b;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    if (t.size() > 2 && t[0] == '0' && t[1] == '.') t.erase(0, 1);
    return (negative ? "-" : " ") + t;
}

std::string referenceWhole(int64_t value) { return (value < 0 ? "" : " ") + dec(value); }

// Reads text in the number form back. Returns false when the text is not in
// that form: sign position, then either whole digits (no leading zero unless
// the whole is the single digit 0 with nothing after it), a point and one to
// three fractional digits with no trailing zero, or both.
bool parseNumber(const std::string& t, __int128& thousandths) {
    if (t.size() < 2 || (t[0] != ' ' && t[0] != '-')) return false;
    size_t i = 1;
    __int128 whole = 0;
    size_t wholeDigits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        whole = whole * 10 + (t[i] - '0');
        if (whole > (__int128(1) << 70)) return false;
        ++i;
        ++wholeDigits;
    }
    if (wholeDigits > 1 && t[1] == '0') return false;  // leading zero
    int frac = 0;
    size_t fracDigits = 0;
    if (i < t.size()) {
        if (t[i] != '.') return false;
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && fracDigits < 4) {
            frac = frac * 10 + (t[i] - '0');
            ++i;
            ++fracDigits;
        }
        if (i != t.size() || fracDigits == 0 || fracDigits > 3) return false;
        if (t.back() == '0') return false;                 // trailing zero
        if (wholeDigits == 1 && t[1] == '0') return false;  // "0" before the point
        for (size_t k = fracDigits; k < 3; ++k) frac *= 10;
    } else if (wholeDigits == 0) {
        return false;
    }
    thousandths = whole * 1000 + frac;
    if (t[0] == '-') {
        if (thousandths == 0) return false;  // zero takes the blank
        thousandths = -thousandths;
    }
    return true;
}

// ------------------------------------------------------------------ checks

void checkNumber(int64_t v) {
    std::string got = numberText(v);
    std::string want = referenceNumber(v);
    if (got != want) fail("numberText", dec(v), want, got);
    __int128 back = 0;
    if (!parseNumber(got, back) || back != v)
        fail("numberText (read back)", dec(v), "the form of " + dec(v), got);

    got = wholeNumberText(v);
    want = referenceWhole(v);
    if (got != want) fail("wholeNumberText", dec(v), want, got);
    if (got.find('.') != std::string::npos || !parseNumber(got, back) || back != __int128(v) * 1000)
        fail("wholeNumberText (read back)", dec(v), "the form of " + dec(v), got);
}

void checkAtomName(const char* base, unsigned h, unsigned m, unsigned s, unsigned ms,
                   bool inRange) {
    std::string name = hotkeyAtomName(base, h, m, s, ms);
    std::string args = std::string("\"") + base + "\", " + std::to_string(h) + ", " +
                       std::to_string(m) + ", " + std::to_string(s) + ", " + std::to_string(ms);
    size_t baseLen = std::strlen(base);
    if (name.compare(0, baseLen, base) != 0)
        fail("hotkeyAtomName (base name first)", args, std::string(base) + "...", name);
    std::string rest = name.substr(baseLen);
    __int128 back = 0;
    if (!parseNumber(rest, back) || rest[0] != ' ')
        fail("hotkeyAtomName (number form)", args, std::string(base) + " <seconds>", name);
    if (inRange) {
        int64_t total = int64_t(h) * 3600000 + int64_t(m) * 60000 + int64_t(s) * 1000 + ms;
        if (back != total) fail("hotkeyAtomName (seconds)", args, base + referenceNumber(total), name);
        std::string want = base + referenceNumber(total);
        if (name != want) fail("hotkeyAtomName", args, want, name);
    }
}

void expectEqual(const char* what, const std::string& got, const std::string& want) {
    if (got != want) fail(what, "documented example", want, got);
}

constexpr int64_t EDGES[] = {INT64_MIN, INT64_MIN + 1, INT64_MAX, -1000000, -1001, -1000, -999,
                             -100,      -10,           -1,        0,        1,     9,     10,
                             99,        100,           999,       1000,     1001,  1010,  1100,
                             86399999,  86400000,      65535,     65536,    -65535};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The documented examples, once, so that a wrong reference cannot hide a
    // fault. fuzz/check_faults.sh turns them off to prove that the random
    // checks below find its planted faults on their own.
    if (std::getenv("QB_FUZZ_NO_EXAMPLES")) return 0;
    expectEqual("numberText", numberText(34215250), " 34215.25");
    expectEqual("numberText", numberText(3000), " 3");
    expectEqual("numberText", numberText(250), " .25");
    expectEqual("numberText", numberText(0), " 0");
    expectEqual("wholeNumberText", wholeNumberText(65535), " 65535");
    expectEqual("wholeNumberText", wholeNumberText(-7), "-7");
    expectEqual("hotkeyAtomName", hotkeyAtomName("My Hotkey0", 9, 30, 15, 250),
                "My Hotkey0 34215.25");
    expectEqual("hotkeyAtomName", hotkeyAtomName("My Hotkey0", 12, 0, 0, 0), "My Hotkey0 43200");
    expectEqual("hotkeyAtomName", hotkeyAtomName("My Hotkey0", 0, 0, 0, 250), "My Hotkey0 .25");
    expectEqual("hotkeyAtomName", hotkeyAtomName("My Hotkey0", 0, 0, 0, 0), "My Hotkey0 0");
    for (int64_t v : EDGES) {
        std::string r = referenceNumber(v);
        __int128 back = 0;
        if (!parseNumber(r, back) || back != v) fail("reference formatter", dec(v), "", r);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    for (int record = 0; record < MAX_RECORDS && !in.empty(); ++record) {
        switch (in.u8() % 6) {
            case 0:  // any 64-bit value
                checkNumber(int64_t(in.u64()));
                break;
            case 1:  // small values, where the fraction rules matter most
                checkNumber(int16_t(in.u16()));
                break;
            case 2: {  // near the edges: the most negative value, 1000, a day...
                int64_t base = EDGES[in.u8() % std::size(EDGES)];
                int8_t delta = int8_t(in.u8());
                checkNumber(int64_t(uint64_t(base) + uint64_t(int64_t(delta))));
                break;
            }
            case 3: {  // a time of day as GetLocalTime gives it, with a table name
                const char* base = hotkeyTable[in.u8() % HOTKEY_COUNT].baseName;
                unsigned h = in.u8() % 24, m = in.u8() % 60, s = in.u8() % 60;
                unsigned ms = in.u16() % 1000;
                checkAtomName(base, h, m, s, ms, true);
                break;
            }
            case 4: {  // any unsigned fields: must not crash nor overflow
                const char* base = hotkeyTable[in.u8() % HOTKEY_COUNT].baseName;
                unsigned h = in.u32(), m = in.u32(), s = in.u32(), ms = in.u32();
                checkAtomName(base, h, m, s, ms, false);
                break;
            }
            case 5: {  // a base name from the input, then a valid or any time
                char base[32] = {};
                size_t n = in.u8() % sizeof base;
                for (size_t i = 0; i < n; ++i) base[i] = char(in.u8());
                base[sizeof base - 1] = '\0';
                bool valid = in.u8() & 1;
                unsigned h = in.u32(), m = in.u32(), s = in.u32(), ms = in.u32();
                if (valid) {
                    h %= 24;
                    m %= 60;
                    s %= 60;
                    ms %= 1000;
                }
                checkAtomName(base, h, m, s, ms, valid);
                break;
            }
        }
    }
    return 0;
}
