#pragma once
// The program's only contact with the system clipboard, in CF_TEXT form.
#include <string>

// The clipboard's text up to its first NUL, never past the end of its block.
// A busy clipboard or one without text gives the empty string.
std::string readClipboardText();

// Replaces every format on the clipboard with a CF_TEXT block holding text up
// to its first NUL. A busy clipboard, or a block that cannot be prepared,
// leaves the clipboard as it was.
void writeClipboardText(const char* text);
