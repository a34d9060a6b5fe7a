#include "ui/message_texts.h"

const char* const FAREWELL_TEXT = "See you soon ...";
const char* const FAREWELL_CAPTION = "Programmer";
const char* const EMPTY_MEMORY_CAPTION = "User Error";
const char* const HELP_CAPTION = "Quillbank Help";

std::string helpText() {
    static const char* const lines[] = {
        "This is the Program Help",
        "",
        "Alt + V ----> View Hide/Show Mean Dialog",
        "Alt + Esc ----> Exit",
        "Alt + H ----> This Help",
        "",
        "Alt + 1 ----> Set Clipboard Memory #1#",
        "Alt + 2 ----> Set Clipboard Memory #2#",
        "Alt + 3 ----> Set Clipboard Memory #3#",
        "Alt + 4 ----> Set Clipboard Memory #4#",
        "Alt + 5 ----> Set Clipboard Memory #5#",
        "Alt + 6 ----> Set Clipboard Memory #6#",
        "Alt + 7 ----> Set Clipboard Memory #7#",
        "Alt + 8 ----> Set Clipboard Memory #8#",
        "Alt + 9 ----> Set Clipboard Memory #9#",
        "Alt + 0 ----> Set Clipboard Memory #0#",
        "",
        "Ctrl + 1 ----> Get Clipboard Memory #1#",
        "Ctrl + 2 ----> Get Clipboard Memory #2#",
        "Ctrl + 3 ----> Get Clipboard Memory #3#",
        "Ctrl + 4 ----> Get Clipboard Memory #4#",
        "Ctrl + 5 ----> Get Clipboard Memory #5#",
        "Ctrl + 6 ----> Get Clipboard Memory #6#",
        "Ctrl + 7 ----> Get Clipboard Memory #7#",
        "Ctrl + 8 ----> Get Clipboard Memory #8#",
        "Ctrl + 9 ----> Get Clipboard Memory #9#",
        "Ctrl + 0 ----> Get Clipboard Memory #0#",
        "",
        "This program turn clipboard to 10 Memory.",
        "Only you select Text and then Copy ordinary when Text will be inside clipboard Set "
        "Clipboard Memory #n#.",
        "When You want to get this Text or other one you Get Clipboard Memory #n# and then push "
        "Ctrl + V ( Paste ).Bye, bye. See you soon.",
    };
    std::string text;
    for (size_t i = 0; i < sizeof lines / sizeof lines[0]; ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}

std::string emptyMemoryText(int d) {
    static const char* const titles[10] = {
        "Memory #0#", "Memory #1#", "Memory #2#", "Memory #3#", "Memory #4#",
        "Memory #5#", "Memory #6#", "Memory #7#", "Memory #8#", "Memory #9#",
    };
    std::string text = (d >= 0 && d <= 9) ? titles[d] : "";
    return text + "\r\n" + "empty ..";
}
