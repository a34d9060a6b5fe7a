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

// What the user can see, in a form both sides fill in and compare.
struct Snapshot {
    struct Row {
        std::string contents, size;
        int bar = 0;
        bool operator==(const Row&) const = default;
    };
    Row rows[10];  // by key digit
    int totalBar = 0;
    bool mainVisible = true;
    bool mainEnabled = true;
    int padsShown = 0;
    bool padEnabled = true;      // only meaningful with a pad shown
    std::string padText;         // ditto
    std::vector<std::string> boxes;  // "help", "error:<text>", "farewell", sorted
    bool operator==(const Snapshot&) const = default;
};

// Describes what differs between `want` and `got`, one line per field.
std::string describeDifference(const Snapshot& want, const Snapshot& got);
// A short printable form of a text: its length and its first bytes escaped.
std::string brief(const std::string& bytes);

class Model {
public:
    // ---- the user's actions ----
    void putOnClipboard(std::optional<std::string> bytes);  // CF_TEXT as placed, or none
    void store(int digit);                                  // Alt+digit
    void recall(int digit);                                 // Ctrl+digit
    void clickTag(int digit);
    void toggleWindow();                                    // Alt+V
    void help();                                            // Alt+H
    void padKey();                                          // Ctrl+C
    // Typed text replaces the box's selection [from, to) (the caret when empty);
    // Enter arrives as CR LF.
    void typeIntoPad(const std::string& ansi, size_t from, size_t to);
    void closePad();                                        // system close command
    void dismiss(int frameId);                              // OK on a box
    void exitKey();                                         // Alt+Esc

    // ---- what the model predicts ----
    Snapshot snapshot() const;
    // The clipboard's text (before its first NUL), or none without CF_TEXT.
    const std::optional<std::string>& clipboard() const { return clipboard_; }
    const std::string& memory(int digit) const { return memory_[digit]; }
    bool padShown() const { return padFrame() != nullptr; }
    bool padEnabled() const;
    bool mainVisible() const { return mainVisible_; }
    bool mainEnabled() const;
    const std::string& padText() const { return padText_; }
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

    std::string memory_[10];
    bool refreshed_[10] = {};
    std::optional<std::string> clipboard_;
    bool mainVisible_ = true;
    bool restoreAfterHelp_ = false;
    std::string padText_;
    std::vector<Frame> frames_;
    int nextId_ = 1;
    bool exiting_ = false;
    bool ended_ = false;
};

}  // namespace model
