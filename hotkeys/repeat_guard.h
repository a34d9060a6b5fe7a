#pragma once
#include <windows.h>

// A held key repeats, and each repeat of a hotkey's combination posts it
// again. Windows 7 and later drop the repeats of a hotkey registered with
// MOD_NOREPEAT; other systems (and Wine, which accepts the flag and ignores
// it) do not. This drops the repeated key-downs of `virtualKey` until the
// key is released, before they become hotkeys. Called at a press; a key
// that is already up again needs nothing. It waits at most a moment.
void dropRepeatsWhileHeld(UINT virtualKey);
