// Tools for driving quillbank.exe from outside, the way a user's own tools
// would: start and stop the process by its handle, find its windows, press
// keys and click the mouse through SendInput, read controls across the
// process boundary, own the clipboard and sample the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

namespace e2e {

// ---- waiting -------------------------------------------------------------

// Hiding or destroying a captioned window costs Wine about 2 s on a display
// without a window manager (it waits for the window manager to confirm).
constexpr DWORD kShortWait = 10000;  // an action on a running program
constexpr DWORD kStartWait = 30000;  // a program start (a cold prefix is slow)

// Processes the driver's own queue once. WM_HOTKEY messages of the driver's
// own hotkey window are set aside (see takeDriverHotkeys) instead of being
// dispatched.
void pumpOwnMessages();

// Polls `condition` every few milliseconds, pumping the driver's messages in
// between, until it holds or `timeoutMs` has passed. Returns its last value.
// With QB_E2E_TRACE set, waits longer than a second are logged to stderr.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kShortWait,
               const std::source_location& where = std::source_location::current());

// ---- paths ---------------------------------------------------------------

// A path as Windows sees it: a Unix path ("/tmp/x") becomes "Z:\tmp\x".
std::wstring toWindowsPath(const std::string& path);
// Text in a code page (default: the ANSI one) to UTF-16 and back, as the
// system converts it (default flags: best fit, '?' for what it lacks).
std::wstring widen(const std::string& bytes, UINT codePage = CP_ACP);
std::string narrow(const std::wstring& text, UINT codePage = CP_ACP);

// The executable under test: $QB_PRODUCT_EXE, else the path built in.
std::wstring productExe();

// A number from the environment (decimal, or 0x hex), else `fallback`.
unsigned long long environmentNumber(const char* name, unsigned long long fallback);

// The folder for screenshots ($QB_SCREENSHOT_DIR) or empty when unset.
std::wstring screenshotDir();

// ---- processes -----------------------------------------------------------

class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process();  // terminates the process if it is still running

    // CreateProcessW(exe, "\"exe\" " + arguments). Returns an empty Process on failure.
    static Process start(const std::wstring& exe, const std::wstring& arguments = L"");

    bool valid() const { return handle_ != nullptr; }
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return handle_; }
    bool running() const;
    // Waits for the end of the process; the exit code when it ended in time.
    std::optional<DWORD> waitExit(DWORD timeoutMs);
    // Last resort: TerminateProcess on our own handle, then wait for it.
    void terminate();

private:
    HANDLE handle_ = nullptr;
    DWORD pid_ = 0;
};

// The files of the modules loaded in process `pid`, 32-bit ones included.
std::vector<std::wstring> loadedModules(DWORD pid);
// True when a process of this (64-bit) driver's system runs as a 32-bit one.
bool runsAs32Bit(HANDLE process);

// ---- windows -------------------------------------------------------------

std::wstring className(HWND window);
std::wstring windowText(HWND window);  // cross-process WM_GETTEXT, whole text
std::string windowTextAnsi(HWND window);
int controlId(HWND window);
DWORD windowStyle(HWND window);
DWORD windowExStyle(HWND window);
RECT windowRect(HWND window);                 // screen coordinates
POINT clientOrigin(HWND window);              // screen coordinates
SIZE clientSize(HWND window);
bool sameClass(HWND window, const wchar_t* name);  // case-insensitive

// Top-level windows of a process, in z-order (hidden ones included).
std::vector<HWND> topLevelWindows(DWORD pid);
// Top-level windows of `pid` with class `cls` (null: any) and caption `caption` (null: any).
std::vector<HWND> findTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* caption);
HWND findOneTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* caption);
// One line per top-level window of `pid`: handle, class, caption, visible, enabled.
std::string describeWindows(DWORD pid);
// Children in z-order (GW_CHILD, then GW_HWNDNEXT).
std::vector<HWND> childWindows(HWND parent);

// Progress bars, across the process boundary.
int progressPos(HWND bar);
int progressLow(HWND bar);
int progressHigh(HWND bar);

// ---- message boxes -------------------------------------------------------

// A message box is a top-level "#32770" that has a Static with id 65535.
std::vector<HWND> messageBoxes(DWORD pid);
std::string messageBoxText(HWND box);      // the Static 65535, CR LF kept
std::string messageBoxCaption(HWND box);
void dismissMessageBox(HWND box);          // WM_COMMAND IDOK
// Waits for the first message box of `pid`.
HWND waitForMessageBox(DWORD pid, DWORD timeoutMs = kShortWait);

// ---- keyboard and mouse --------------------------------------------------

// Presses the modifiers (in order), taps `key`, releases the modifiers in
// reverse order: one SendInput call, then the driver's queue is pumped.
// `n` bytes of printable text with no repeat shorter than 61 bytes, so a cut
// at the wrong place shows.
std::string pattern(size_t n, char first = 'A');

// One key going down or up, as the keyboard would send it.
INPUT keyInput(WORD vk, bool up);
void pressChord(std::initializer_list<WORD> modifiers, WORD key);
void pressAlt(WORD key);
void pressCtrl(WORD key);
void pressKey(WORD key);
// Types the text with KEYEVENTF_UNICODE; '\n' is sent as the Enter key.
void typeText(const std::wstring& text);
// A left click at a screen point (absolute SendInput).
void clickAt(POINT screen);
POINT centreOf(HWND window);
// A screen point `inset` pixels in from the client area's left edge, halfway down.
POINT leftSpot(HWND window, int inset);

// ---- the driver's own window and hotkeys ---------------------------------

// A hidden top-level window of the driver: clipboard owner, hotkey target.
HWND driverWindow();
// WM_HOTKEY ids received by the driver window since the last call.
std::vector<WPARAM> takeDriverHotkeys();

struct HotkeyCombo {
    UINT modifiers;
    UINT vk;
    const char* name;
};
// The 24 combinations the program takes for itself.
const std::vector<HotkeyCombo>& programHotkeys();
// Tries RegisterHotKey for each combination on the driver window and releases
// every one it got again; returns the names of those that were refused.
std::vector<std::string> combinationsHeldElsewhere();

// ---- clipboard -----------------------------------------------------------

DWORD clipboardSequence();
bool setClipboardText(const std::string& bytes);  // CF_TEXT, n + 1 byte block
bool emptyClipboard();
bool setClipboardBitmapOnly();
// The CF_TEXT text up to its first NUL; nullopt when there is no CF_TEXT.
std::optional<std::string> clipboardText();
// Waits until the clipboard's sequence number differs from `before`.
bool waitClipboardChange(DWORD before, DWORD timeoutMs = kShortWait);

// A block as another program might hand it over: exactly these bytes, no
// NUL added.
struct ClipboardBlock {
    UINT format;
    std::string bytes;
};
// Replaces the clipboard's contents with these blocks, in one opening.
bool setClipboardBlocks(const std::vector<ClipboardBlock>& blocks);
// UTF-16 text with its terminating NUL, as CF_UNICODETEXT bytes.
std::string unicodeBlock(const std::wstring& text);

// A CF_LOCALE block of an LCID, as a program puts it.
std::string localeBlock(LCID locale);
// What a reader of CF_LOCALE gets from a block shorter than an LCID.
inline constexpr DWORD kShortLocaleBlock = 0xFFFFFFFF;

// Both text forms as a reader gets them (each up to its first NUL), and the
// clipboard's locale, read in one opening; the system makes the text form
// that was not put there from the other, in the ANSI code page of that
// locale, and adds the writer's keyboard language as the locale when none
// was put. nullopt for a format the clipboard does not offer.
struct ClipboardTexts {
    std::optional<std::string> text;
    std::optional<std::wstring> unicode;
    std::optional<DWORD> locale;  // CF_LOCALE, or kShortLocaleBlock
};
ClipboardTexts clipboardTexts();
std::optional<std::wstring> clipboardUnicode();

// ---- code pages ------------------------------------------------------------

// The ANSI code page of a locale; 0 when it has none (a Unicode-only locale,
// an unknown LCID, a short block).
UINT ansiCodePageOf(DWORD locale);
// The language of this thread's keyboard, as an LCID.
LCID inputLanguage();
// "code pages: ACP 932, OEM 932, input language 0x0409 (ANSI 1252), ..."
std::string codePageReport();
// Some character of `text` does not come back from `codePage`: only the
// exact text can carry it, so a test with it proves something.
bool lacksSomeOf(const std::wstring& text, UINT codePage);

// Keeps the clipboard open from another thread of the driver while alive, or
// for `holdMs` from the moment it got it, whichever ends first.
class ClipboardHolder {
public:
    explicit ClipboardHolder(DWORD holdMs = INFINITE);
    ~ClipboardHolder();
    bool holding() const { return opened_; }

private:
    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE release_ = nullptr;
    DWORD holdMs_ = INFINITE;
    bool opened_ = false;
    static DWORD WINAPI run(void* self);
};

// Another program that offers text by promise (delayed rendering of
// CF_UNICODETEXT and CF_TEXT) and then stops answering. It runs in a process
// of its own, this driver started again with kHungOwnerArgument; it is
// released by a named event and ended by its handle.
class HungOwner {
public:
    enum class Mode {
        Before,    // waits for the release without pumping: answers nothing
        InRender,  // pumps, but waits for the release inside WM_RENDERFORMAT
    };
    HungOwner(Mode mode, const std::wstring& text);
    HungOwner(const HungOwner&) = delete;
    HungOwner& operator=(const HungOwner&) = delete;
    ~HungOwner() { end(); }

    // The promise is on the clipboard and the owner has started to hang.
    bool ready() const { return ready_; }
    DWORD pid() const { return process_.pid(); }
    // A render request has reached the owner (InRender: it hangs in it now).
    bool asked(DWORD timeoutMs = kShortWait);
    // The owner has rendered a format for someone since it started.
    bool rendered(DWORD timeoutMs);
    // From now on the owner answers and renders at once.
    void release();
    // Releases the owner, lets it render what it still owes (so its text
    // stays on the clipboard) and end, and waits a bounded time for its end;
    // TerminateProcess on its handle is the last resort. The exit code when
    // it ended by itself.
    std::optional<DWORD> end();

private:
    Process process_;
    HANDLE events_[5] = {};  // ready, release, asked, rendered, quit
    bool ready_ = false;
    std::optional<DWORD> exitCode_;
};

inline constexpr const char* kHungOwnerArgument = "--hung-clipboard-owner";
// The helper's whole life, when the driver was started with kHungOwnerArgument.
int runHungOwner(int argc, char** argv);

// ---- another program: Wine's notepad ---------------------------------------

// Started by its process handle and ended by it (no save prompt is answered).
class Notepad {
public:
    // Starts notepad and waits for its window; valid() tells whether it came.
    Notepad();
    bool valid() const { return window_ && edit_; }
    DWORD pid() const { return process_.pid(); }
    HWND window() const { return window_; }
    HWND edit() const { return edit_; }
    // Makes notepad the foreground window and waits for it.
    bool bringToFront();
    std::wstring text() const { return windowText(edit_); }
    // Ctrl+A (select all), then Ctrl+Insert: the edit control's own copy
    // keys. Ctrl+C is not an option while Quillbank holds it.
    void selectAllAndCopy();
    // Ctrl+A and Delete.
    void clear();

private:
    Process process_;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
};

// ---- screen --------------------------------------------------------------

struct Image {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // row-major, top row first
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// BitBlt of a screen rectangle from GetDC(NULL).
Image captureScreen(const RECT& area);
COLORREF screenPixel(POINT p);  // GetPixel on GetDC(NULL)
// A window's pixels once its text is drawn: something other than
// `background` shows, and two captures in a row agree. Empty when that did
// not happen in time.
Image settledCapture(HWND window, COLORREF background, DWORD timeoutMs = kShortWait);
bool saveBmp(const Image& image, const std::wstring& path);
std::string colourName(COLORREF c);

// ---- registry ------------------------------------------------------------

// Sets HKCU\Software\Wine\AppDefaults\<exeName>\Version for the life of the
// object and deletes the key again afterwards.
class WineVersionOverride {
public:
    WineVersionOverride(const std::wstring& exeName, const std::wstring& version);
    ~WineVersionOverride();
    bool ok() const { return ok_; }

private:
    std::wstring key_;
    bool ok_ = false;
};

// A fresh folder under %TEMP%, deleted with its files afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

}  // namespace e2e
