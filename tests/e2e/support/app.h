// One running copy of quillbank.exe, started and ended by the test that owns it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <type_traits>

#include "driver.h"

namespace e2e {

inline const wchar_t* const kMainCaption = L"Quillbank ...";
inline const wchar_t* const kPadCaption = L"Texto para Clipboard";

// The rows of the main window, top to bottom, with the ids of their controls,
// as the user sees them: row r holds the memory of key digit r, row 10 digit 0.
struct RowIds {
    int digit;
    int tag;
    int contents;
    int size;
    int fill;
};
inline constexpr RowIds kRows[10] = {
    {1, 1004, 1015, 1028, 1126}, {2, 1005, 1016, 1029, 1127}, {3, 1006, 1017, 1030, 1128},
    {4, 1007, 1018, 1031, 1129}, {5, 1008, 1019, 1032, 1130}, {6, 1009, 1020, 1033, 1131},
    {7, 1010, 1021, 1034, 1132}, {8, 1011, 1022, 1035, 1133}, {9, 1012, 1023, 1027, 1134},
    {0, 1013, 1024, 1036, 1135},
};
inline constexpr int kFillTotal = 1026;

inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kPaleYellow = RGB(255, 255, 213);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);

inline const RowIds& rowOf(int digit) { return kRows[digit == 0 ? 9 : digit - 1]; }
inline WORD digitKey(int digit) { return static_cast<WORD>('0' + digit); }
inline std::string sizeLabel(size_t bytes) {
    std::string label(" ");
    label += std::to_string(bytes);
    label += " bytes";
    return label;
}

// A text the ANSI code page cannot hold: letters of several scripts, signs
// it lacks, a character outside the BMP (a surrogate pair) and, between
// them, one line it can hold. Lines end in CR LF, as an edit control has them.
inline const std::wstring kMixedScriptText =
    L"Gr\u00FC\u00DFe \u2192 \u2713 \u6771\u4EAC \u03A9\u03BC\u03AD\u03B3\u03B1 \U0001F600\r\n"
    L"A plain line: 100% ANSI, caf\u00E9 \u00A3 \u20AC.\r\n"
    L"\u00BFQu\u00E9? \u0416\u0443\u043A \u05E9\u05DC\u05D5\u05DD";
// The same as typed: Enter for each CR LF.
inline std::wstring typedForm(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, L"\r\n") == 0) {
            out += L'\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Compares two texts and, when they differ, says where, without printing
// tens of thousands of characters.
template <typename Char>
::testing::AssertionResult sameText(const std::basic_string<Char>& want, const std::basic_string<Char>& got) {
    if (want == got) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    auto unit = [](const std::basic_string<Char>& s, size_t i) {
        if (i >= s.size()) return std::string("end");
        char hex[16];
        snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(s[i])));
        return std::string(hex);
    };
    return ::testing::AssertionFailure() << "want " << want.size() << " units, got " << got.size()
                                         << "; first difference at " << at << ": want " << unit(want, at)
                                         << ", got " << unit(got, at);
}

class App {
public:
    App() = default;
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App() { shutdown(); }

    // Starts the program and waits for its main window to be shown (by then
    // its hotkeys are registered: that happens before the window shows).
    bool start(const std::wstring& arguments = L"", const std::wstring& exe = productExe()) {
        process_ = Process::start(exe, arguments);
        if (!process_.valid()) return false;
        waitUntil(
            [&] {
                main_ = findOneTopLevel(process_.pid(), L"#32770", kMainCaption);
                return main_ && IsWindowVisible(main_);
            },
            kStartWait);
        return main_ && IsWindowVisible(main_);
    }

    DWORD pid() const { return process_.pid(); }
    Process& process() { return process_; }
    HWND main() const { return main_; }
    HWND control(int id) const { return GetDlgItem(main_, id); }
    std::string text(int id) const { return windowTextAnsi(control(id)); }
    int pos(int id) const { return progressPos(control(id)); }

    std::vector<HWND> boxes() const { return messageBoxes(process_.pid()); }
    HWND pad() const { return findOneTopLevel(process_.pid(), L"#32770", kPadCaption); }
    std::vector<HWND> pads() const { return findTopLevel(process_.pid(), L"#32770", kPadCaption); }

    // Puts `bytes` on the clipboard and presses Alt+digit; waits until the
    // row shows the new size. The caller makes sure the size changes.
    bool store(int digit, const std::string& bytes) {
        if (!setClipboardText(bytes)) return false;
        pressAlt(digitKey(digit));
        const std::string want = sizeLabel(bytes.size());
        return waitUntil([&] { return text(rowOf(digit).size) == want; });
    }

    // A barrier that needs no clipboard: clicks the tag of memory `digit`
    // (which holds a text) and waits for its row to show it emptied. A
    // hotkey's message is taken before input that came after it, so every
    // hotkey pressed earlier has been handled by then.
    bool emptyByClick(int digit) {
        clickAt(centreOf(control(rowOf(digit).tag)));
        return waitUntil([&] { return text(rowOf(digit).size) == sizeLabel(0); });
    }

    // Waits until the window has been painted down to its last row and
    // column: the window paints a little after it shows.
    bool waitPainted() {
        struct Spot {
            int id;
            COLORREF colour;
        };
        const Spot spots[] = {{1037, kWhite},      {1137, kWhite},      {1013, kBlack},
                              {1024, kPaleYellow}, {1036, kPaleYellow}, {1027, kBlack}};
        // The dialog's own background, right of the bars; a painted bar differs from it.
        POINT margin = {988, 187};
        ClientToScreen(main_, &margin);
        return waitUntil([&] {
            for (const Spot& s : spots)
                if (screenPixel(leftSpot(control(s.id), 4)) != s.colour) return false;
            const COLORREF background = screenPixel(margin);
            // Every bar: under emulation they are painted one by one, slowly.
            for (int bar = 1126; bar <= 1135; ++bar)
                if (screenPixel(leftSpot(control(bar), 4)) == background) return false;
            if (screenPixel(leftSpot(control(1026), 4)) == background) return false;
            return true;
        });
    }

    // Ends the program the way a user would, by the system close command; the
    // last resort is TerminateProcess on our own handle. Returns the exit code
    // when the program ended by itself.
    std::optional<DWORD> shutdown() {
        if (!process_.valid()) return std::nullopt;
        std::optional<DWORD> code;
        for (int round = 0; round < 3 && process_.running(); ++round) {
            for (HWND b : boxes()) dismissMessageBox(b);
            waitUntil([&] { return boxes().empty(); });
            for (HWND p : pads()) PostMessageW(p, WM_SYSCOMMAND, SC_CLOSE, 0);
            if (main_ && IsWindow(main_)) PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
            code = process_.waitExit(kShortWait);
            if (code) break;
        }
        process_.terminate();
        main_ = nullptr;
        return code;
    }

private:
    Process process_;
    HWND main_ = nullptr;
};

// A test with one freshly started program.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(productExe().empty());
        ASSERT_TRUE(app.start()) << "the main window did not appear";
    }
    void TearDown() override { app.shutdown(); }

    App app;
};

}  // namespace e2e
