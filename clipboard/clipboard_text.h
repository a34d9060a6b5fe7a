#pragma once
// The program's only contact with the system clipboard: its text in the
// CF_TEXT form and, beside it, the exact text in the CF_UNICODETEXT form and
// the locale (CF_LOCALE) whose code page the CF_TEXT bytes are in.
//
// Another program decides how long the clipboard takes to answer: an owner
// that renders on request may hang. So the calls themselves run on a thread
// of their own, and the caller waits a bounded time for them; an exchange
// that outlasts it is given up, and while it is still stuck every further
// one is refused at once.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What one read found, in the caller's storage: CF_TEXT up to its first NUL
// (none without text), CF_UNICODETEXT up to its first NUL (none when absent
// or out of reach), and CF_LOCALE's LCID (0 when absent or too short).
struct ClipboardText {
    size_t byteCount;
    size_t unitCount;
    uint32_t locale;
};

// Reads both forms and the locale in one open of the clipboard, each text
// straight from the clipboard's block into `bytes` (at most `byteRoom`) and
// `units` (at most `unitRoom`): up to its first NUL, never past the end of
// its block. Nothing when the text could not be read in time: the clipboard
// stayed busy, its owner did not answer, or it offers text whose data cannot
// be reached.
//
// A read that was given up on may still be writing into that storage: until
// it ends every exchange is refused, and the storage must be neither freed
// nor used for anything else.
std::optional<ClipboardText> readClipboardText(char* bytes, size_t byteRoom, char16_t* units,
                                               size_t unitRoom);

// Replaces every format on the clipboard, in one emptying of it, with
// CF_UNICODETEXT holding `units` (when not empty), CF_TEXT holding `bytes`,
// neither of which holds a NUL (a text from a pointer ends at its first),
// and CF_LOCALE holding `locale` (when not 0), so that the system and every
// reader take the bytes in that locale's code page.
// A text of n bytes goes in a block of n + 2. False when neither form was set
// in time: the clipboard stayed busy (and is as it was), the blocks could not
// be prepared, or the clipboard refused them.
bool writeClipboardText(std::string_view bytes, std::u16string_view units = {},
                        uint32_t locale = 0);

// Whether the clipboard's owner counts as answering, from what a bounded
// WM_NULL to it gave: `replied`, else the error. A program of higher
// integrity (an elevated console, an installer) may have that message
// refused with ERROR_ACCESS_DENIED; it is no sign of a hang, and the
// emptying the write goes on to is the system's own message, which is never
// refused. An owner window that is gone cannot hold anything up.
bool ownerCountsAsAnswering(bool replied, unsigned long error, bool ownerExists);
