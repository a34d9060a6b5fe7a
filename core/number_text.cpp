#include "core/number_text.h"

std::string numberText(int64_t thousandths) {
    std::string text(1, thousandths < 0 ? '-' : ' ');
    // Unsigned arithmetic so that the most negative value has a magnitude too.
    uint64_t magnitude = thousandths < 0 ? 0 - static_cast<uint64_t>(thousandths)
                                         : static_cast<uint64_t>(thousandths);
    uint64_t whole = magnitude / 1000;
    unsigned fraction = static_cast<unsigned>(magnitude % 1000);

    if (whole != 0 || fraction == 0) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole != 0);
        while (n > 0) text += digits[--n];
    }
    if (fraction != 0) {
        text += '.';
        for (unsigned scale = 100; fraction != 0; scale /= 10) {
            text += static_cast<char>('0' + fraction / scale);
            fraction %= scale;
        }
    }
    return text;
}

std::string wholeNumberText(int64_t value) {
    // Values beyond +-9.2e15 would overflow the thousandths; sizes never come near.
    return numberText(value * 1000);
}
