#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>

namespace {

// Runs the scan on an exactly sized heap copy, so that a read past the
// terminating NUL is caught by the address sanitizer, and checks that the
// result points into the given command line.
std::wstring remainder(const wchar_t* commandLine) {
    const size_t n = std::wcslen(commandLine) + 1;
    std::unique_ptr<wchar_t[]> copy(new wchar_t[n]);
    std::wmemcpy(copy.get(), commandLine, n);
    const wchar_t* rest = skipProgramName(copy.get());
    EXPECT_GE(rest, copy.get());
    EXPECT_LT(rest, copy.get() + n);
    return rest;
}

TEST(SkipProgramName, QuotedName) {
    EXPECT_EQ(remainder(L"\"C:\\a b\\q.exe\"  x"), L"x");
    EXPECT_EQ(remainder(L"\"C:\\a b\\q.exe\" -z  \"y\" "), L"-z  \"y\" ");
    EXPECT_EQ(remainder(L"\"q.exe\"x"), L"x");
    EXPECT_EQ(remainder(L"\"q.exe\""), L"");
    EXPECT_EQ(remainder(L"\"\"  x"), L"x");
}

TEST(SkipProgramName, UnterminatedQuoteStopsAtTheEnd) {
    EXPECT_EQ(remainder(L"\"unterminated"), L"");
    EXPECT_EQ(remainder(L"\"C:\\a b\\q.exe x"), L"");
    EXPECT_EQ(remainder(L"\""), L"");
}

TEST(SkipProgramName, PlainName) {
    EXPECT_EQ(remainder(L"q.exe   -z"), L"-z");
    EXPECT_EQ(remainder(L"q.exe"), L"");
    EXPECT_EQ(remainder(L"q.exe   "), L"");
    EXPECT_EQ(remainder(L"q.exe a b"), L"a b");
    EXPECT_EQ(remainder(L"  x"), L"x");
}

TEST(SkipProgramName, ControlCharacterStopsTheScan) {
    EXPECT_EQ(remainder(L"q.exe\t-z"), L"\t-z");
    EXPECT_EQ(remainder(L"q.exe \t-z"), L"\t-z");
}

TEST(SkipProgramName, EmptyAndMissingCommandLine) {
    EXPECT_EQ(remainder(L""), L"");
    const wchar_t* rest = skipProgramName(nullptr);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(*rest, L'\0');
}

}  // namespace
