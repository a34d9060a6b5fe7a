#pragma once
// The one number-to-text form of the program: a leading blank for zero and
// positive values ("-" for negative ones), no digit grouping, and at most
// three fractional digits with no trailing zeros and no zero before the point.
#include <cstdint>
#include <string>

// value is in thousandths, so 34215250 reads " 34215.25" and 3000 reads " 3".
std::string numberText(int64_t thousandths);

// A whole number in the same form: " 65535", "-7".
std::string wholeNumberText(int64_t value);
