// A reference model of the program as its user sees it: the ten memories and
// their rows, the clipboard, the main window, the pad and the message boxes,
// written from the intended behaviour alone, not from the code. The random
// session test applies every action to the model and to the real program and
// then compares the two.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace model {

constexpr size_t kTextMax = 65535;
constexpr size_t kPadTextMax = 32767;
// Message boxes nest no deeper than this; a press that would open one more
// does nothing (but beep).
constexpr size_t kBoxDepthMax = 16;

// A window that runs its own modal loop inside the handling of an earlier
// message. The windows nest as a call stack: one that is dismissed while a
// later one is still up disappears at once, but its call only returns (and
// its follow-up runs) when everything above it has returned.
struct Frame {
    enum Kind { Pad, Help, EmptyMemory, Farewell } kind;
    int digit = 0;     // EmptyMemory: the memory asked for
    int id = 0;        // unique, to pair it with a real window
    bool ended = false;
};

// A text in a code page (default: the ANSI one, CP_ACP) and back, as the
// system converts them (default flags: best fit, '?' for what it lacks).
std::string toAnsi(const std::wstring& text, unsigned codePage = 0);
std::wstring fromAnsi(const std::string& bytes, unsigned codePage = 0);

// A clipboard's locale (CF_LOCALE) as its readers get it: an LCID, or one of
// these.
constexpr unsigned long kShortLocale = 0xFFFFFFFF;   // a block shorter than an LCID
constexpr unsigned long kSystemLocale = 0xFFFFFFFE;  // any locale whose ANSI code page is the system's
// The ANSI code page of a locale; 0 where it names none (a short block, an
// unknown LCID, a Unicode-only locale such as Hindi's).
unsigned ansiCodePageOf(unsigned long locale);
// The locale `got` is what `want` (an LCID or kSystemLocale) asks for.
bool sameLocale(unsigned long want, unsigned long got);
std::string localeName(std::optional<unsigned long> locale);

// What a reader of each text form gets from the clipboard, up to the first
// NUL, and its locale; none where the clipboard has no text. Either text
// form that a program did not put there the system makes from the other.
struct Clipboard {
    std::optional<std::string> text;      // CF_TEXT
    std::optional<std::wstring> unicode;  // CF_UNICODETEXT
    std::optional<unsigned long> locale;  // CF_LOCALE
};

// A memory: its bytes, the locale they are in, and the exact text when the
// clipboard's Unicode text said exactly those bytes in that locale's code
// page.
struct Memory {
    std::string bytes;
    std::optional<std::wstring> exact;
    unsigned long locale = kSystemLocale;
};

// What the user can see, in a form both sides fill in and compare.
struct Snapshot {
    struct Row {
        std::wstring contents;
        std::string size;
        int bar = 0;
        bool operator==(const Row&) const = default;
    };
    Row rows[10];  // by key digit
    int totalBar = 0;
    bool mainVisible = true;
    bool mainEnabled = true;
    int padsShown = 0;
    bool padEnabled = true;      // only meaningful with a pad shown
    std::wstring padText;        // ditto
    std::vector<std::string> boxes;  // "help", "error:<text>", "farewell", sorted
    bool operator==(const Snapshot&) const = default;
};

// Describes what differs between `want` and `got`, one line per field.
std::string describeDifference(const Snapshot& want, const Snapshot& got);
// A short printable form of a text: its length and its first bytes (units)
// escaped.
std::string brief(const std::string& bytes);
std::string brief(const std::wstring& text);
// Where two texts part: " (first difference at N: want U+..., got U+...)".
std::string differsAt(const std::wstring& want, const std::wstring& got);

class Model {
public:
    // ---- the user's actions ----
    // Another program puts CF_TEXT, CF_UNICODETEXT or both, as given (both
    // none: no text at all), with a CF_LOCALE that reads as `locale` (an
    // LCID or kShortLocale) or none.
    void offer(std::optional<std::string> bytes, std::optional<std::wstring> unicode,
               std::optional<unsigned long> locale = std::nullopt);
    void store(int digit);                                  // Alt+digit
    void recall(int digit);                                 // Ctrl+digit
    void clickTag(int digit);
    void toggleWindow();                                    // Alt+V
    void help();                                            // Alt+H
    void padKey();                                          // Ctrl+C
    // Typed text replaces the box's selection [from, to) of UTF-16 units (the
    // caret when empty); Enter arrives as CR LF.
    void typeIntoPad(const std::wstring& text, size_t from, size_t to);
    void closePad();                                        // system close command
    void dismiss(int frameId);                              // OK on a box
    void exitKey();                                         // Alt+Esc

    // ---- what the model predicts ----
    Snapshot snapshot() const;
    const Clipboard& clipboard() const { return clipboard_; }
    const std::string& memory(int digit) const { return memory_[digit].bytes; }
    bool padShown() const { return padFrame() != nullptr; }
    bool padEnabled() const;
    bool mainVisible() const { return mainVisible_; }
    bool mainEnabled() const;
    const std::wstring& padText() const { return padText_; }
    const std::vector<Frame>& frames() const { return frames_; }
    // Boxes the user can press OK on: up, and not disabled by a later help box.
    std::vector<int> dismissableBoxes() const;
    bool ended() const { return ended_; }  // the main window is gone

    static int percent(size_t bytes) { return static_cast<int>(bytes * 100 / 65536); }
    int overall() const;
    static std::string sizeLabel(size_t bytes) {
        std::string label(" ");
        label += std::to_string(bytes);
        label += " bytes";
        return label;
    }

private:
    const Frame* padFrame() const;
    bool mayOpenBox() const;
    bool enabledAt(size_t index) const;
    int push(Frame::Kind kind, int digit = 0);
    void end(int frameId);
    void unwind();
    void refresh(int digit) { refreshed_[digit] = true; }

    Memory memory_[10];
    bool refreshed_[10] = {};
    Clipboard clipboard_;
    bool mainVisible_ = true;
    bool restoreAfterHelp_ = false;
    std::wstring padText_;
    std::vector<Frame> frames_;
    int nextId_ = 1;
    bool exiting_ = false;
    bool ended_ = false;
};

}  // namespace model
