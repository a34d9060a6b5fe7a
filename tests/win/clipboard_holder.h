#pragma once
// The clipboard test program doubles as the "other program" that keeps the
// clipboard open, or owns it and hangs (HANG_OWNER_ARG, with ready, release
// and stop event names): started with HOLD_CLIPBOARD_ARG, a ready-event name and a
// release-event name, it opens the clipboard, signals ready, and closes it
// when released (or after a bounded wait).

constexpr const char* HOLD_CLIPBOARD_ARG = "--hold-clipboard";

// Returns the helper process's exit code: 0 after a normal release.
int holdClipboardUntilReleased(const char* readyEventName, const char* releaseEventName);

constexpr const char* HANG_OWNER_ARG = "--hang-owner";
int actAsHungOwner(const char* readyEventName, const char* releaseEventName,
                   const char* stopEventName);
