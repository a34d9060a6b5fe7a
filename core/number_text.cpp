#include "core/number_text.h"

namespace {

uint64_t magnitudeOf(int64_t value) {
    // Unsigned arithmetic, so that the most negative value has a magnitude too.
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// The one form behind both entry points: sign position, whole digits, and at
// most three fractional digits without trailing zeros.
std::string formatNumber(bool negative, uint64_t whole, unsigned thousandths) {
    std::string text(1, negative ? '-' : ' ');
    if (whole != 0 || thousandths == 0) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole != 0);
        while (n > 0) text += digits[--n];
    }
    if (thousandths != 0) {
        text += '.';
        for (unsigned scale = 100; thousandths != 0; scale /= 10) {
            text += static_cast<char>('0' + thousandths / scale);
            thousandths %= scale;
        }
    }
    return text;
}

}  // namespace

std::string numberText(int64_t thousandths) {
    uint64_t magnitude = magnitudeOf(thousandths);
    return formatNumber(thousandths < 0, magnitude / 1000, static_cast<unsigned>(magnitude % 1000));
}

std::string wholeNumberText(int64_t value) {
    return formatNumber(value < 0, magnitudeOf(value), 0);
}
