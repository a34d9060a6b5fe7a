#include "ui/message_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> splitOnCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(HelpText, ShapeAndSize) {
    const std::string text = helpText();
    EXPECT_EQ(text.size(), 1211u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.front(), 'T');
    EXPECT_EQ(text.back(), '.');
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");

    size_t pairs = 0, bareBreaks = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++pairs;
        else if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++bareBreaks;
        EXPECT_LT(static_cast<unsigned char>(text[i]), 0x80u) << i;
    }
    EXPECT_EQ(pairs, 30u);
    EXPECT_EQ(bareBreaks, 0u);

    const std::vector<std::string> lines = splitOnCrLf(text);
    ASSERT_EQ(lines.size(), 31u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool blank = i + 1 == 2 || i + 1 == 6 || i + 1 == 17 || i + 1 == 28;
        EXPECT_EQ(lines[i].empty(), blank) << "line " << i + 1;
    }
}

TEST(HelpText, LinesByteForByte) {
    const std::vector<std::string> lines = splitOnCrLf(helpText());
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[0], "This is the Program Help");
    EXPECT_EQ(lines[2], "Alt + V ----> View Hide/Show Mean Dialog");
    EXPECT_EQ(lines[3], "Alt + Esc ----> Exit");
    EXPECT_EQ(lines[4], "Alt + H ----> This Help");
    const char digits[] = "1234567890";
    for (int k = 0; k < 10; ++k) {
        const std::string d(1, digits[k]);
        EXPECT_EQ(lines[6 + k], "Alt + " + d + " ----> Set Clipboard Memory #" + d + "#");
        EXPECT_EQ(lines[17 + k], "Ctrl + " + d + " ----> Get Clipboard Memory #" + d + "#");
    }
    EXPECT_EQ(lines[28], "This program turn clipboard to 10 Memory.");
    EXPECT_EQ(lines[29],
              "Only you select Text and then Copy ordinary when Text will be inside clipboard "
              "Set Clipboard Memory #n#.");
    EXPECT_EQ(lines[30],
              "When You want to get this Text or other one you Get Clipboard Memory #n# and "
              "then push Ctrl + V ( Paste ).Bye, bye. See you soon.");
}

TEST(EmptyMemoryText, TitleLineThenEmpty) {
    EXPECT_EQ(emptyMemoryText(3), "Memory #3#\r\nempty ..");
    EXPECT_EQ(emptyMemoryText(3).size(), 20u);
    for (int d = 0; d < 10; ++d) {
        const std::string tag = "#" + std::to_string(d) + "#";
        EXPECT_EQ(emptyMemoryText(d), "Memory " + tag + "\r\nempty ..") << d;
    }
}

TEST(MessageBoxTexts, CaptionsAndFarewell) {
    EXPECT_STREQ(FAREWELL_TEXT, "See you soon ...");
    EXPECT_STREQ(FAREWELL_CAPTION, "Programmer");
    EXPECT_STREQ(EMPTY_MEMORY_CAPTION, "User Error");
    ASSERT_NE(HELP_CAPTION, nullptr);
    EXPECT_STRNE(HELP_CAPTION, "");
}

}  // namespace
