#pragma once
// Every text the message boxes show, byte for byte. No platform calls here.
#include <string>

extern const char* const FAREWELL_TEXT;     // "See you soon ..."
extern const char* const FAREWELL_CAPTION;  // "Programmer"
extern const char* const EMPTY_MEMORY_CAPTION;  // "User Error"
extern const char* const HELP_CAPTION;      // the default for an empty caption

// The 31 help lines joined by CR LF, with no CR LF at the end (1,211 bytes).
std::string helpText();
// "Memory #d#", CR LF, "empty .." for key digit d.
std::string emptyMemoryText(int d);
