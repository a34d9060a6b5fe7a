// A long random session of user actions against the real program, compared
// after every step with the reference model in support/model.h.
//
//   QB_SEED   replays a session (the seed is printed at the start and in
//             every failure message); without it a fresh seed is drawn.
//   QB_STEPS  the number of random steps (default 1000).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <random>

#include "support/app.h"
#include "support/model.h"

using namespace e2e;

namespace {

constexpr DWORD kStepWait = 20000;  // a hide or destroy alone costs Wine about 2 s

enum Kind { Store, Recall, Click, ToggleWindow, Help, PadKey, Type, ClosePad, Dismiss, Exit, KindCount };
const char* const kKindNames[KindCount] = {"store", "recall", "click",   "alt+v",   "alt+h",
                                           "ctrl+c", "type",  "sysclose", "dismiss", "exit"};

bool isHelpText(const std::string& text) {
    return text.size() == 1211 && text.rfind("This is the Program Help\r\n", 0) == 0;
}

class Session {
public:
    Session(App& app, unsigned long long seed) : app_(app), seed_(seed), rng_(seed) {}

    // The program as it is now, in the model's terms.
    model::Snapshot observe() const {
        model::Snapshot s;
        for (const RowIds& row : kRows) {
            auto& r = s.rows[row.digit];
            r.contents = app_.text(row.contents);
            r.size = app_.text(row.size);
            r.bar = app_.pos(row.fill);
        }
        s.totalBar = app_.pos(kFillTotal);
        s.mainVisible = IsWindowVisible(app_.main()) != FALSE;
        s.mainEnabled = IsWindowEnabled(app_.main()) != FALSE;
        for (HWND w : topLevelWindows(app_.pid())) {
            if (w == app_.main() || !IsWindowVisible(w)) continue;
            s.boxes.push_back(classify(w));
            if (s.boxes.back() == "pad") {
                s.boxes.pop_back();
                ++s.padsShown;
                s.padEnabled = IsWindowEnabled(w) != FALSE;
                s.padText = windowTextAnsi(GetDlgItem(w, 1001));
            }
        }
        std::sort(s.boxes.begin(), s.boxes.end());
        return s;
    }

    // Runs the initial check, `steps` random steps and the wind-down. Returns
    // false (after reporting) at the first mismatch.
    bool run(unsigned long long steps) {
        const auto started = std::chrono::steady_clock::now();
        // The session starts from whatever an earlier program left on the clipboard.
        model_.putOnClipboard(e2e::clipboardText());
        if (!check("start", false, clipboardSequence(), {})) return false;
        for (step_ = 1; step_ <= steps; ++step_)
            if (!randomStep()) return false;
        if (!windDown()) return false;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string perKind;
        for (int k = 0; k < KindCount; ++k) {
            if (!count_[k]) continue;
            char part[96];
            snprintf(part, sizeof part, " %s=%d(%.0fms)", kKindNames[k], count_[k],
                     millis_[k] / count_[k]);
            perKind += part;
        }
        printf("[random session] steps %llu, seed %llu, %.1f s, actions:%s, mismatches 0\n",
               steps, seed_, seconds, perKind.c_str());
        fflush(stdout);
        return true;
    }

private:
    // ---- steps -----------------------------------------------------------

    bool randomStep() {
        // Windows with a modal loop of their own nest; keep the stack short.
        const bool mayNest = model_.frames().size() < 4;
        const std::vector<int> boxes = model_.dismissableBoxes();
        bool anyFull = false;
        for (int d = 0; d < 10; ++d) anyFull = anyFull || !model_.memory(d).empty();
        std::vector<std::pair<Kind, int>> menu = {{Store, 40}, {ToggleWindow, 2}};
        if (mayNest || anyFull) menu.push_back({Recall, 24});
        if (model_.mainVisible() && model_.mainEnabled()) menu.push_back({Click, 14});
        if (mayNest) menu.push_back({Help, 2});
        if (mayNest || model_.padShown()) menu.push_back({PadKey, 5});
        if (model_.padShown() && model_.padEnabled() && model_.padText().size() < 300) menu.push_back({Type, 14});
        if (model_.padShown()) menu.push_back({ClosePad, 1});
        if (!boxes.empty()) menu.push_back({Dismiss, 25});

        int total = 0;
        for (auto& [kind, weight] : menu) total += weight;
        int pick = std::uniform_int_distribution<int>(0, total - 1)(rng_);
        Kind kind = Store;
        for (auto& [k, weight] : menu) {
            if (pick < weight) {
                kind = k;
                break;
            }
            pick -= weight;
        }
        switch (kind) {
            case Store: return store(digit());
            case Recall: return recall(recallDigit(mayNest));
            case Click: return click(digit());
            case ToggleWindow: return hotkey(ToggleWindow, "Alt+V", 'V', true);
            case Help: return hotkey(Help, "Alt+H", 'H', true);
            case PadKey: return hotkey(PadKey, "Ctrl+C", 'C', false);
            case Type: return type();
            case ClosePad: return closePad();
            case Dismiss: return dismiss(boxes[std::uniform_int_distribution<size_t>(0, boxes.size() - 1)(rng_)]);
            default: return false;
        }
    }

    int digit() { return std::uniform_int_distribution<int>(0, 9)(rng_); }

    // Mostly memories that hold something: an empty one means a box, which
    // costs seconds under Wine to take down again.
    int recallDigit(bool mayNest) {
        std::vector<int> full;
        for (int d = 0; d < 10; ++d)
            if (!model_.memory(d).empty()) full.push_back(d);
        if (mayNest && (full.empty() || std::uniform_int_distribution<int>(0, 14)(rng_) == 0))
            return digit();
        return full[std::uniform_int_distribution<size_t>(0, full.size() - 1)(rng_)];
    }

    // The clipboard texts a user's other programs leave behind.
    std::optional<std::string> clipboardText(std::string& what) {
        auto bytes = [&](size_t n, int lo, int hi) {
            std::uniform_int_distribution<int> b(lo, hi);
            std::string s(n, ' ');
            for (char& c : s) c = static_cast<char>(b(rng_));
            return s;
        };
        auto len = [&](size_t lo, size_t hi) { return std::uniform_int_distribution<size_t>(lo, hi)(rng_); };
        switch (std::uniform_int_distribution<int>(0, 10)(rng_)) {
            case 0: what = "no text"; return std::nullopt;
            case 1: what = "one blank"; return std::string(" ");
            case 2: {
                what = "NUL inside";
                std::string s = bytes(len(0, 6), 'a', 'z');
                s += '\0';
                return s + bytes(len(1, 6), 'A', 'Z');
            }
            case 3: what = "65535 bytes"; return bytes(65535, 0x21, 0x7E);
            case 4: what = "65536 bytes"; return bytes(65536, 0x21, 0x7E);
            case 5: what = "70000 bytes"; return bytes(70000, 0x21, 0x7E);
            case 6: what = "high ANSI"; return bytes(len(1, 40), 0x80, 0xFF);
            case 7: what = "CR LF"; return bytes(len(0, 10), 'a', 'z') + "\r\n" + bytes(len(0, 10), 'a', 'z');
            default: what = "short"; return bytes(len(1, 30), 0x20, 0x7E);
        }
    }

    bool store(int d) {
        std::string what;
        std::optional<std::string> text = clipboardText(what);
        bool placed = text ? setClipboardText(*text) : emptyClipboard();
        if (!placed) return fail("could not set the clipboard for Alt+" + std::to_string(d));
        model_.putOnClipboard(text);
        return act(Store, "Alt+" + std::to_string(d) + " with " + what, false,
                   [&] { model_.store(d); }, [&] { pressAlt(digitKey(d)); });
    }

    bool recall(int d) {
        const bool writes = !model_.memory(d).empty();
        return act(Recall, "Ctrl+" + std::to_string(d), writes, [&] { model_.recall(d); },
                   [&] { pressCtrl(digitKey(d)); });
    }

    bool hotkey(Kind kind, const char* name, WORD key, bool alt) {
        // Ctrl+C writes the clipboard when it finishes a pad that is still there.
        const bool writes = kind == PadKey && model_.padShown();
        return act(kind, name, writes,
                   [&] {
                       if (kind == ToggleWindow) model_.toggleWindow();
                       if (kind == Help) model_.help();
                       if (kind == PadKey) model_.padKey();
                   },
                   [&] { alt ? pressAlt(key) : pressCtrl(key); });
    }

    bool click(int d) {
        HWND tag = app_.control(rowOf(d).tag);
        const POINT at = centreOf(tag);
        if (WindowFromPoint(at) != tag) return store(d);  // covered: the user would not click it
        return act(Click, "click #" + std::to_string(d) + "#", false, [&] { model_.clickTag(d); },
                   [&] { clickAt(at); });
    }

    // A visible point of the pad's text box, or none when windows cover it.
    static std::optional<POINT> visibleSpot(HWND box) {
        RECT r = {};
        GetClientRect(box, &r);
        for (int y = r.bottom - 4; y > r.top; y -= 12)
            for (int x = r.right - 4; x > r.left; x -= 24) {
                POINT p = {x, y};
                ClientToScreen(box, &p);
                if (WindowFromPoint(p) == box) return p;
            }
        return std::nullopt;
    }

    bool type() {
        HWND pad = app_.pad();
        HWND box = pad ? GetDlgItem(pad, 1001) : nullptr;
        if (!box) return fail("no pad to type into\n" + describeWindows(app_.pid()));
        // The user clicks into the box first when the keyboard is elsewhere.
        if (focusOfProgram() != box) {
            std::optional<POINT> spot = visibleSpot(box);
            if (!spot) return store(digit());
            clickAt(*spot);
            if (!waitUntil([&] { return focusOfProgram() == box; }))
                return fail("a click into the pad did not give it the focus");
        }
        // Typing replaces the selection, or goes in at the caret.
        DWORD_PTR selection = 0;
        if (!SendMessageTimeoutW(box, EM_GETSEL, 0, 0, SMTO_NORMAL, 3000, &selection))
            return fail("the pad's text box does not answer");
        const size_t from = LOWORD(selection), to = HIWORD(selection);
        static const wchar_t kLetters[] =
            L"abcdefghijklmnopqrstuvwxyz ABCXYZ0123456789.,;-!?\n\u00e9\u00fc\u00df\u00f1\u00a3";
        std::uniform_int_distribution<size_t> letter(0, wcslen(kLetters) - 1);
        std::wstring chunk;
        for (size_t n = std::uniform_int_distribution<size_t>(1, 8)(rng_); n; --n)
            chunk += kLetters[letter(rng_)];
        std::wstring crlf;
        for (wchar_t c : chunk) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
        const std::string ansi = narrow(crlf);
        return act(Type, "type " + model::brief(ansi) + " at " + std::to_string(from) + ".." + std::to_string(to),
                   false, [&] { model_.typeIntoPad(ansi, from, to); }, [&] { typeText(chunk); });
    }

    bool closePad() {
        HWND pad = app_.pad();
        if (!pad) return fail("no pad to close\n" + describeWindows(app_.pid()));
        return act(ClosePad, "system close of the pad", false, [&] { model_.closePad(); },
                   [&] { PostMessageW(pad, WM_SYSCOMMAND, SC_CLOSE, 0); });
    }

    bool dismiss(int frameId) {
        auto found = boxWindows_.find(frameId);
        if (found == boxWindows_.end()) return fail("no window known for box " + std::to_string(frameId));
        HWND box = found->second;
        return act(Dismiss, "OK on " + model::brief(messageBoxText(box)), false,
                   [&] { model_.dismiss(frameId); }, [&] { dismissMessageBox(box); });
    }

    // Closes what is open, innermost first, then ends the program with Alt+Esc.
    bool windDown() {
        while (!model_.frames().empty()) {
            const model::Frame& top = model_.frames().back();
            bool ok = top.kind == model::Frame::Pad ? hotkey(PadKey, "Ctrl+C", 'C', false)
                                                    : dismiss(top.id);
            if (!ok) return false;
        }
        if (!act(Exit, "Alt+Esc", false, [&] { model_.exitKey(); }, [&] { pressAlt(VK_ESCAPE); }))
            return false;
        HWND farewell = boxWindows_[model_.frames().back().id];
        model_.dismiss(model_.frames().back().id);
        dismissMessageBox(farewell);
        std::optional<DWORD> code = app_.process().waitExit(kStepWait);
        if (!code) return fail("the program did not end after the farewell box");
        if (*code != 0) return fail("exit code " + std::to_string(*code));
        return true;
    }

    // ---- one step: act on both, then compare ------------------------------

    template <typename OnModel, typename OnProgram>
    bool act(Kind kind, const std::string& what, bool writes, OnModel onModel, OnProgram onProgram) {
        const auto started = std::chrono::steady_clock::now();
        remember(what);
        const model::Snapshot before = model_.snapshot();
        const DWORD sequence = clipboardSequence();
        onModel();
        onProgram();
        const bool ok = check(what, writes, sequence, before);
        ++count_[kind];
        millis_[kind] += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        return ok;
    }

    bool check(const std::string& what, bool writes, DWORD sequence, const model::Snapshot& before) {
        if (writes && !waitClipboardChange(sequence, kStepWait))
            return fail(what + ": the clipboard was not written");
        const model::Snapshot want = model_.snapshot();
        model::Snapshot got;
        if (!waitUntil([&] { return (got = observe()) == want; }, kStepWait))
            return fail(what + ":\n" + model::describeDifference(want, got) + describeWindows(app_.pid()));
        // Nothing to see changes: give the program time to have handled the
        // input before the next step touches the clipboard. Each message sent
        // across waits until the program looks at its queue again.
        if (!writes && want == before) {
            for (int i = 0; i < 8; ++i) {
                DWORD_PTR r = 0;
                SendMessageTimeoutW(app_.main(), WM_NULL, 0, 0, SMTO_NORMAL, 3000, &r);
            }
            if (!(got = observe()).operator==(want))
                return fail(what + " (later):\n" + model::describeDifference(want, got));
        }
        if (!writes && clipboardSequence() != sequence)
            return fail(what + ": the clipboard was written");
        const std::optional<std::string> clip = e2e::clipboardText();
        if (clip != model_.clipboard()) {
            auto show = [](const std::optional<std::string>& c) {
                return c ? model::brief(*c) : std::string("no text");
            };
            return fail(what + ": clipboard: want " + show(model_.clipboard()) + ", got " + show(clip));
        }
        pairBoxes();
        return true;
    }

    // Each box the model has put up is paired with the real window that showed it.
    void pairBoxes() {
        for (const model::Frame& f : model_.frames()) {
            if (f.kind == model::Frame::Pad || f.ended || boxWindows_.count(f.id)) continue;
            const std::string want =
                f.kind == model::Frame::Help       ? "help"
                : f.kind == model::Frame::Farewell ? "farewell"
                : "error:Memory #" + std::to_string(f.digit) + "#\r\nempty ..";
            for (HWND w : messageBoxes(app_.pid())) {
                bool taken = false;
                for (auto& [id, known] : boxWindows_) taken = taken || known == w;
                if (!taken && IsWindowVisible(w) && classify(w) == want) {
                    boxWindows_[f.id] = w;
                    break;
                }
            }
        }
    }

    std::string classify(HWND w) const {
        const std::string caption = windowTextAnsi(w);
        if (sameClass(w, L"#32770") && caption == narrow(kPadCaption) && GetDlgItem(w, 1001)) return "pad";
        if (!sameClass(w, L"#32770") || !GetDlgItem(w, 0xFFFF)) return "other:" + narrow(className(w)) + " " + caption;
        const std::string text = messageBoxText(w);
        if (caption == "User Error") return "error:" + text;
        if (caption == "Programmer" && text == "See you soon ...") return "farewell";
        if (isHelpText(text) && !caption.empty()) return "help";
        return "other:" + caption + "|" + text;
    }

    HWND focusOfProgram() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(app_.main(), nullptr), &info)) return nullptr;
        return info.hwndFocus;
    }

    void remember(const std::string& what) {
        history_.push_back("step " + std::to_string(step_) + ": " + what);
        if (history_.size() > 20) history_.pop_front();
    }

    bool fail(const std::string& message) {
        std::string recent;
        for (const std::string& h : history_) recent += "\n  " + h;
        ADD_FAILURE() << "random session, seed " << seed_ << ", step " << step_ << ": " << message
                      << "\nlast actions:" << recent << "\nreplay: QB_SEED=" << seed_
                      << " QB_STEPS=" << step_;
        return false;
    }

    App& app_;
    const unsigned long long seed_;
    std::mt19937_64 rng_;
    model::Model model_;
    std::map<int, HWND> boxWindows_;
    std::deque<std::string> history_;
    unsigned long long step_ = 0;
    int count_[KindCount] = {};
    double millis_[KindCount] = {};
};

}  // namespace

TEST(RandomSession, ProgramFollowsTheModelStepByStep) {
    const unsigned long long seed = environmentNumber("QB_SEED", std::random_device{}() * 65536ull + GetTickCount());
    const unsigned long long steps = environmentNumber("QB_STEPS", 1000);
    printf("[random session] seed %llu, %llu steps (replay with QB_SEED=%llu)\n", seed, steps, seed);
    fflush(stdout);
    App app;
    ASSERT_TRUE(app.start()) << "the main window did not appear; seed " << seed;
    Session session(app, seed);
    EXPECT_TRUE(session.run(steps));
}
