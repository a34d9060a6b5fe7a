#include "ui/message_boxes.h"

#include <windows.h>

#include "app/text_convert.h"
#include "ui/message_texts.h"

int showMessageBox(const char* text, const char* caption, unsigned flags) {
    if (!caption || !*caption) caption = HELP_CAPTION;
    std::wstring wideText = ansiToWide(text);
    std::wstring wideCaption = ansiToWide(caption);
    return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), flags);
}

void showFarewellBox() { showMessageBox(FAREWELL_TEXT, FAREWELL_CAPTION, MB_OK); }

void showHelpBox() {
    showMessageBox(helpText().c_str(), "", MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

void showEmptyMemoryBox(int d) {
    showMessageBox(emptyMemoryText(d).c_str(), EMPTY_MEMORY_CAPTION, MB_OK);
}
