#pragma once
// The program's only contact with the system clipboard, in CF_TEXT form.
#include <optional>
#include <string>

#include <cstddef>

// The clipboard's text up to its first NUL, never past the end of its block,
// and at most maxBytes of it; the empty string when the clipboard holds no
// text. Nothing when the text could not be read: the clipboard stayed busy,
// or it offers text whose data cannot be reached.
std::optional<std::string> readClipboardText(size_t maxBytes = static_cast<size_t>(-1));

// Replaces every format on the clipboard with a CF_TEXT block holding text up
// to its first NUL. False when the clipboard does not hold that text now: it
// stayed busy (and is as it was), the block could not be prepared, or the
// clipboard refused it.
bool writeClipboardText(const char* text);
