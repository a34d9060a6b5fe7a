#pragma once
// The dialog layer every window is built with: dialogs from an in-memory
// template, controls created at run time, ANSI text converted to UTF-16 at
// the window boundary, label colours, and a modal loop that serves every
// window of the thread while it blocks.
#include <windows.h>

#include <string>

// Non-zero means handled; zero leaves the message to the engine's defaults,
// then the platform's.
typedef INT_PTR (*DialogCallback)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

constexpr DWORD DEFAULT_DIALOG_STYLE = 0x80C000D4;  // WS_POPUP|WS_CAPTION|DS_MODALFRAME|...
constexpr COLORREF COLOR_SYSTEM_DEFAULT = static_cast<COLORREF>(-1);
constexpr COLORREF COLOR_TRANSPARENT_BACKGROUND = static_cast<COLORREF>(-2);

// Coordinates are dialog units of the engine's font, "MS Sans Serif" 8 pt.
// The dialog is created hidden. Style 0 selects DEFAULT_DIALOG_STYLE.
HWND newDialog(HWND parent, const char* caption, int x, int y, int w, int h, DWORD style,
               DWORD exStyle);

// kindOrClass "STATIC" (a label; style 0 means WS_CHILD|WS_VISIBLE) or "EDIT"
// (a text box) always get WS_CHILD|WS_VISIBLE; any other class keeps its style.
HWND addControl(HWND dialog, int id, const char* kindOrClass, const char* text, int x, int y,
                int w, int h, DWORD style, DWORD exStyle);

// text and background: COLORREF, COLOR_SYSTEM_DEFAULT, or (background only)
// COLOR_TRANSPARENT_BACKGROUND. Returns false for an unknown dialog.
bool setControlColors(HWND dialog, int id, COLORREF text, COLORREF background);

// Delivers WM_INITDIALOG and WM_SIZE to the callback, shows the dialog and
// returns once it no longer exists, with the value endDialog wrote.
INT_PTR showDialogModal(HWND dialog, DialogCallback callback, INT_PTR* result);

void setDialogShowState(HWND dialog, int showCommand);

// Writes the result, destroys the dialog at once. Unknown handles are ignored.
void endDialog(HWND dialog, INT_PTR result);

void setControlText(HWND dialog, int id, const char* text);
// For a text that is UTF-16 already: it goes to the control unconverted.
void setControlTextW(HWND dialog, int id, const wchar_t* text);
// At most maxChars UTF-16 units of the text are read: another program can
// set a text box's text past the limit the box itself keeps.
std::string getControlText(HWND dialog, int id, int maxChars = 0x7FFFFFFE);
std::wstring getControlTextW(HWND dialog, int id, int maxChars = 0x7FFFFFFE);
LRESULT sendControlMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

// Process-wide state of the engine; false if it cannot be set up.
bool startDialogEngine(HINSTANCE instance);
void stopDialogEngine();
