#pragma once
// The program's only contact with the system clipboard, in CF_TEXT form.
#include <string>

#include <cstddef>

// The clipboard's text up to its first NUL, never past the end of its block,
// and at most maxBytes of it. A busy clipboard or one without text gives the
// empty string.
std::string readClipboardText(size_t maxBytes = static_cast<size_t>(-1));

// Replaces every format on the clipboard with a CF_TEXT block holding text up
// to its first NUL. A busy clipboard, or a block that cannot be prepared,
// leaves the clipboard as it was.
void writeClipboardText(const char* text);
