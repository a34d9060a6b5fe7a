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
#include <iterator>
#include <map>
#include <random>

#include "support/app.h"
#include "support/model.h"

using namespace e2e;

namespace {

constexpr DWORD kStepWait = 20000;  // a hide or destroy alone costs Wine about 2 s

enum Kind { Store, Recall, Click, ToggleWindow, Help, PadKey, Type, ClosePad, Dismiss, Exit, Hung, KindCount };
const char* const kKindNames[KindCount] = {"store",    "recall",  "click", "alt+v", "alt+h",     "ctrl+c",
                                           "type",     "sysclose", "dismiss", "exit", "hung-owner"};

// Pieces of text other programs offer: ASCII, Western letters and signs,
// Greek, Cyrillic, Hebrew, Japanese (two bytes a character in its code page,
// half-width katakana one), signs most code pages lack (arrows, check
// marks), characters outside the BMP (surrogate pairs) and line ends.
const wchar_t* const kMixedPieces[] = {
    L"a", L"Z", L"7", L" ", L".", L"\u00E9", L"\u00FC", L"\u00DF", L"\u00A3", L"\u20AC", L"\u201C",
    L"\u03A9", L"\u03BC", L"\u03AD", L"\u2192", L"\u2713", L"\u0416", L"\u05E9", L"\u6771", L"\u4EAC",
    L"\u3042", L"\uFF76", L"\U0001F600", L"\U0001F389", L"\r\n",
};

// The locales a program may tag its text with: other code pages (Russian,
// Japanese, Greek), the English one, one without an ANSI code page (Hindi)
// and a block too short to hold an LCID.
const DWORD kOfferedLocales[] = {0x0419, 0x0411, 0x0408, 0x0409, 0x0439, kShortLocaleBlock};

// CF_LOCALE as its readers get the block.
std::optional<unsigned long> localeRead(const std::optional<std::string>& block) {
    if (!block) return std::nullopt;
    if (block->size() < sizeof(DWORD)) return model::kShortLocale;
    DWORD lcid = 0;
    memcpy(&lcid, block->data(), sizeof lcid);
    return lcid;
}

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
            r.contents = windowText(app_.control(row.contents));
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
                s.padText = windowText(GetDlgItem(w, 1001));
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
        const ClipboardTexts start = clipboardTexts();
        model_.offer(start.text, start.unicode,
                     start.locale == kShortLocaleBlock ? std::optional<unsigned long>(model::kShortLocale)
                                                       : std::optional<unsigned long>(start.locale));
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
        // Each costs more than a second of the program's wait: rare.
        menu.push_back({Hung, 2});

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
            case Hung: return hungOwner();
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

    std::wstring mixedText(size_t pieces) {
        std::uniform_int_distribution<size_t> piece(0, std::size(kMixedPieces) - 1);
        std::wstring out;
        while (pieces--) out += kMixedPieces[piece(rng_)];
        return out;
    }

    // What a user's other programs leave on the clipboard: CF_TEXT alone, a
    // Unicode text alone (the system makes the other form), or both forms,
    // saying the same or not; now and then with a locale of their own.
    struct Offer {
        std::string what;
        std::optional<std::string> text;
        std::optional<std::wstring> unicode;
        std::optional<std::string> locale = std::nullopt;  // the CF_LOCALE block
    };
    Offer clipboardOffer() {
        Offer offer = textOffer();
        if ((offer.text || offer.unicode) && std::uniform_int_distribution<int>(0, 2)(rng_) == 0) {
            const DWORD lcid = kOfferedLocales[std::uniform_int_distribution<size_t>(0, std::size(kOfferedLocales) - 1)(rng_)];
            offer.locale = lcid == kShortLocaleBlock ? localeBlock(0x0419).substr(0, 2) : localeBlock(lcid);
            offer.what += ", with CF_LOCALE " + model::localeName(localeRead(offer.locale));
        }
        return offer;
    }
    Offer textOffer() {
        auto bytes = [&](size_t n, int lo, int hi) {
            std::uniform_int_distribution<int> b(lo, hi);
            std::string s(n, ' ');
            for (char& c : s) c = static_cast<char>(b(rng_));
            return s;
        };
        auto len = [&](size_t lo, size_t hi) { return std::uniform_int_distribution<size_t>(lo, hi)(rng_); };
        switch (std::uniform_int_distribution<int>(0, 14)(rng_)) {
            case 0: return {"no text", std::nullopt, std::nullopt};
            case 1: return {"one blank", std::string(" "), std::nullopt};
            case 2: {
                std::string s = bytes(len(0, 6), 'a', 'z');
                s += '\0';
                return {"NUL inside", s + bytes(len(1, 6), 'A', 'Z'), std::nullopt};
            }
            case 3: return {"65535 bytes", bytes(65535, 0x21, 0x7E), std::nullopt};
            case 4: return {"65536 bytes", bytes(65536, 0x21, 0x7E), std::nullopt};
            case 5: return {"70000 bytes", bytes(70000, 0x21, 0x7E), std::nullopt};
            case 6: return {"high ANSI", bytes(len(1, 40), 0x80, 0xFF), std::nullopt};
            case 7:
                return {"CR LF", bytes(len(0, 10), 'a', 'z') + "\r\n" + bytes(len(0, 10), 'a', 'z'), std::nullopt};
            case 8: return {"mixed script, Unicode only", std::nullopt, mixedText(len(1, 40))};
            case 9: {
                // Alike in the system's code page or in that of a locale the
                // offer may get (as a program that converts itself would).
                const std::wstring u = mixedText(len(1, 40));
                const UINT codePages[] = {CP_ACP, 1251, 932, 1253};
                const UINT cp = codePages[len(0, 3)];
                return {"mixed script, both forms alike in code page " + std::to_string(cp ? cp : GetACP()),
                        model::toAnsi(u, cp), u};
            }
            case 10: {
                // The bytes say something else: one byte changed, or another text.
                const std::wstring u = mixedText(len(1, 40));
                std::string b = model::toAnsi(u);
                if (len(0, 1)) {
                    char& c = b[len(0, b.size() - 1)];
                    c = c == 'x' ? 'y' : 'x';
                } else {
                    b = bytes(len(1, 20), 0x20, 0x7E);
                }
                return {"mixed script, forms that differ", b, u};
            }
            case 11: {
                // Longer than a memory, so that its cut sometimes falls
                // inside a surrogate pair.
                if (len(0, 3)) return {"short", bytes(len(1, 30), 0x20, 0x7E), std::nullopt};
                std::wstring u = mixedText(len(65450, 65530));
                while (u.size() < 65540) u += mixedText(1);
                return {"long mixed script, Unicode only", std::nullopt, u};
            }
            default: return {"short", bytes(len(1, 30), 0x20, 0x7E), std::nullopt};
        }
    }

    bool store(int d) {
        // Now and then the clipboard is stored as it is: what a recall, the
        // pad or another program left there.
        if (std::uniform_int_distribution<int>(0, 9)(rng_) == 0)
            return act(Store, "Alt+" + std::to_string(d) + " with the clipboard as it is", false,
                       [&] { model_.store(d); }, [&] { pressAlt(digitKey(d)); });
        const Offer offer = clipboardOffer();
        std::vector<ClipboardBlock> blocks;
        if (offer.text) blocks.push_back({CF_TEXT, *offer.text + '\0'});
        if (offer.unicode) blocks.push_back({CF_UNICODETEXT, unicodeBlock(*offer.unicode)});
        if (offer.locale) blocks.push_back({CF_LOCALE, *offer.locale});
        if (!setClipboardBlocks(blocks)) return fail("could not set the clipboard for Alt+" + std::to_string(d));
        model_.offer(offer.text, offer.unicode, localeRead(offer.locale));
        return act(Store, "Alt+" + std::to_string(d) + " with " + offer.what, false, [&] { model_.store(d); },
                   [&] { pressAlt(digitKey(d)); });
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
        // Letters the code page has, a few it lacks, and (as the last key)
        // one outside the BMP, typed as its two halves.
        static const wchar_t kLetters[] =
            L"abcdefghijklmnopqrstuvwxyz ABCXYZ0123456789.,;-!?\n\u00e9\u00fc\u00df\u00f1\u00a3\u03A9\u6771\u2713";
        std::uniform_int_distribution<size_t> letter(0, wcslen(kLetters));
        std::wstring chunk;
        for (size_t n = std::uniform_int_distribution<size_t>(1, 8)(rng_); n; --n) {
            const size_t k = letter(rng_);
            chunk += k < wcslen(kLetters) ? std::wstring(1, kLetters[k]) : std::wstring(L"\U0001F600");
        }
        std::wstring crlf;
        for (wchar_t c : chunk) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
        return act(Type, "type " + model::brief(crlf) + " at " + std::to_string(from) + ".." + std::to_string(to),
                   false, [&] { model_.typeIntoPad(crlf, from, to); }, [&] { typeText(chunk); });
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

    // Another program's clipboard owner hangs while a press needs the
    // clipboard: a store, a recall of a memory that holds something, or the
    // pad's finishing Ctrl+C. The program gives up: nothing changes, the
    // clipboard is not written, and Alt+V pressed right after is handled
    // within 3 s. Then the owner answers (its late text is dropped), renders
    // what it owes and ends by its handle.
    bool hungOwner() {
        std::vector<int> full;
        for (int d = 0; d < 10; ++d)
            if (!model_.memory(d).empty()) full.push_back(d);
        std::vector<Kind> presses = {Store};
        if (!full.empty()) presses.push_back(Recall);
        if (model_.padShown()) presses.push_back(PadKey);
        const Kind press = presses[std::uniform_int_distribution<size_t>(0, presses.size() - 1)(rng_)];
        const int d = press == Store ? digit()
                      : press == Recall ? full[std::uniform_int_distribution<size_t>(0, full.size() - 1)(rng_)]
                                        : 0;
        // A write is kept waiting only by an owner that answers nothing at
        // all; one that hangs inside WM_RENDERFORMAT is asked only by a read.
        const bool inRender = press == Store && std::uniform_int_distribution<int>(0, 1)(rng_);
        const std::string what = std::string(press == Store ? "Alt+" + std::to_string(d)
                                             : press == Recall ? "Ctrl+" + std::to_string(d)
                                                               : "Ctrl+C on the pad") +
                                 ", then Alt+V, with the owner hung " +
                                 (inRender ? "inside WM_RENDERFORMAT" : "before the press");
        const auto started = std::chrono::steady_clock::now();
        remember(what);
        const std::wstring text = mixedText(std::uniform_int_distribution<size_t>(1, 20)(rng_));
        HungOwner owner(inRender ? HungOwner::Mode::InRender : HungOwner::Mode::Before, text);
        if (!owner.ready()) return fail(what + ": the hung owner did not take the clipboard");
        // Once it has answered, its text is there in both forms.
        model_.offer(model::toAnsi(text), text);
        const DWORD sequence = clipboardSequence();

        model_.toggleWindow();
        // Hiding a window costs Wine about 2 s of the program's time, which
        // an earlier step may have started: the press is timed from when the
        // program answers again.
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(app_.main(), WM_NULL, 0, 0, SMTO_NORMAL, kStepWait, &answer);
        const ULONGLONG pressed = GetTickCount64();
        if (press == Store) pressAlt(digitKey(d));
        if (press == Recall) pressCtrl(digitKey(d));
        if (press == PadKey) pressCtrl('C');
        pressAlt('V');
        const bool visible = model_.mainVisible();
        if (!waitUntil([&] { return (IsWindowVisible(app_.main()) != FALSE) == visible; },
                       static_cast<DWORD>(3000 - std::min<ULONGLONG>(3000, GetTickCount64() - pressed))))
            return fail(what + ": Alt+V not handled within 3 s (" + std::to_string(GetTickCount64() - pressed) +
                        " ms)\n" + describeWindows(app_.pid()));
        const model::Snapshot want = model_.snapshot();
        model::Snapshot got;
        if (!waitUntil([&] { return (got = observe()) == want; }, kStepWait))
            return fail(what + ":\n" + model::describeDifference(want, got) + describeWindows(app_.pid()));
        if (clipboardSequence() != sequence) return fail(what + ": the clipboard was written while its owner hung");

        if (!owner.end()) return fail(what + ": the hung owner did not end when released");
        const bool ok = check(what + ", owner released and gone", false, clipboardSequence(), want);
        ++count_[Hung];
        millis_[Hung] += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        return ok;
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
        const ClipboardTexts clip = clipboardTexts();
        const model::Clipboard& expected = model_.clipboard();
        auto show = [](const auto& c) { return c ? model::brief(*c) : std::string("no text"); };
        if (clip.text != expected.text)
            return fail(what + ": clipboard CF_TEXT: want " + show(expected.text) + ", got " + show(clip.text));
        if (clip.unicode != expected.unicode) {
            std::string where;
            if (clip.unicode && expected.unicode) where = model::differsAt(*expected.unicode, *clip.unicode);
            return fail(what + ": clipboard CF_UNICODETEXT: want " + show(expected.unicode) + ", got " +
                        show(clip.unicode) + where);
        }
        const std::optional<unsigned long> gotLocale =
            clip.locale == kShortLocaleBlock ? std::optional<unsigned long>(model::kShortLocale)
                                             : std::optional<unsigned long>(clip.locale);
        if (expected.locale.has_value() != gotLocale.has_value() ||
            (expected.locale && !model::sameLocale(*expected.locale, *gotLocale)))
            return fail(what + ": clipboard CF_LOCALE: want " + model::localeName(expected.locale) + ", got " +
                        model::localeName(gotLocale));
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
    printf("[random session] seed %llu, %llu steps (replay with QB_SEED=%llu); %s\n", seed, steps, seed,
           codePageReport().c_str());
    fflush(stdout);
    App app;
    ASSERT_TRUE(app.start()) << "the main window did not appear; seed " << seed;
    Session session(app, seed);
    EXPECT_TRUE(session.run(steps));
}
