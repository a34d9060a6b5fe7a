#include "model.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "driver.h"

namespace model {

std::string toAnsi(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring fromAnsi(const std::string& bytes, unsigned codePage) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

unsigned ansiCodePageOf(unsigned long locale) {
    static_assert(kShortLocale == e2e::kShortLocaleBlock);
    return locale == kSystemLocale ? GetACP() : e2e::ansiCodePageOf(locale);
}

bool sameLocale(unsigned long want, unsigned long got) {
    return want == kSystemLocale ? ansiCodePageOf(got) == GetACP() : want == got;
}

std::string localeName(std::optional<unsigned long> locale) {
    if (!locale) return "none";
    if (*locale == kSystemLocale) return "one of code page " + std::to_string(GetACP());
    if (*locale == kShortLocale) return "a short block";
    char name[48];
    snprintf(name, sizeof name, "0x%04lX (code page %u)", *locale, ansiCodePageOf(*locale));
    return name;
}

namespace {

template <typename Text>
Text upToNul(Text text) {
    text.resize(std::min(text.size(), text.find(typename Text::value_type(0))));
    return text;
}

// The exact text a memory keeps besides `kept`, the bytes it keeps of a
// CF_TEXT that was `cut` or not, when the clipboard's Unicode text was
// `unicode` and the bytes are taken to be in `codePage`: all of it when it
// converts to exactly the bytes; for a cut text, the longest prefix of whole
// characters (a surrogate pair is one) that converts to exactly the kept
// bytes, or to the kept bytes less the leading part of the next character's
// conversion; otherwise none.
std::optional<std::wstring> exactTextFor(const std::wstring& unicode, const std::string& kept, bool cut,
                                         unsigned codePage) {
    if (!cut) return toAnsi(unicode, codePage) == kept ? std::optional<std::wstring>(unicode) : std::nullopt;
    std::vector<size_t> ends = {0};  // where each prefix of whole characters ends
    for (size_t i = 0; i < unicode.size();) {
        i += i + 1 < unicode.size() && IS_HIGH_SURROGATE(unicode[i]) && IS_LOW_SURROGATE(unicode[i + 1]) ? 2 : 1;
        ends.push_back(i);
    }
    auto bytesOf = [&](size_t k) { return toAnsi(unicode.substr(0, ends[k]), codePage); };
    // A longer prefix never converts to fewer bytes: find the longest one
    // that converts to no more than the kept bytes.
    size_t lo = 0, hi = ends.size() - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (bytesOf(mid).size() <= kept.size())
            lo = mid;
        else
            hi = mid - 1;
    }
    const std::string prefix = bytesOf(lo);
    if (prefix == kept) return unicode.substr(0, ends[lo]);
    if (lo + 1 < ends.size() && kept.compare(0, prefix.size(), prefix) == 0 &&
        bytesOf(lo + 1).compare(0, kept.size(), kept) == 0)
        return unicode.substr(0, ends[lo]);
    return std::nullopt;
}

}  // namespace

std::string brief(const std::string& bytes) {
    std::string out = std::to_string(bytes.size()) + " bytes \"";
    for (size_t i = 0; i < bytes.size() && i < 24; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        }
    }
    if (bytes.size() > 24) out += "...";
    return out + "\"";
}

std::string brief(const std::wstring& text) {
    std::string out = std::to_string(text.size()) + " units \"";
    for (size_t i = 0; i < text.size() && i < 24; ++i) {
        const wchar_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != L'\\') {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(c));
            out += esc;
        }
    }
    if (text.size() > 24) out += "...";
    return out + "\"";
}

std::string differsAt(const std::wstring& want, const std::wstring& got) {
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    char where[96];
    snprintf(where, sizeof where, " (first difference at %zu: want U+%04X, got U+%04X)", at,
             at < want.size() ? static_cast<unsigned>(want[at]) : 0u,
             at < got.size() ? static_cast<unsigned>(got[at]) : 0u);
    return where;
}

std::string describeDifference(const Snapshot& want, const Snapshot& got) {
    std::string out;
    auto line = [&](const std::string& what, const std::string& w, const std::string& g) {
        out += "  " + what + ": want " + w + ", got " + g + "\n";
    };
    for (int d = 0; d < 10; ++d) {
        const auto& w = want.rows[d];
        const auto& g = got.rows[d];
        const std::string name = "memory " + std::to_string(d);
        if (w.contents != g.contents)
            line(name + " contents", brief(w.contents), brief(g.contents) + differsAt(w.contents, g.contents));
        if (w.size != g.size) line(name + " size", "\"" + w.size + "\"", "\"" + g.size + "\"");
        if (w.bar != g.bar) line(name + " bar", std::to_string(w.bar), std::to_string(g.bar));
    }
    auto b = [](bool v) { return std::string(v ? "yes" : "no"); };
    if (want.totalBar != got.totalBar)
        line("overall bar", std::to_string(want.totalBar), std::to_string(got.totalBar));
    if (want.mainVisible != got.mainVisible) line("main visible", b(want.mainVisible), b(got.mainVisible));
    if (want.mainEnabled != got.mainEnabled) line("main enabled", b(want.mainEnabled), b(got.mainEnabled));
    if (want.padsShown != got.padsShown)
        line("pads shown", std::to_string(want.padsShown), std::to_string(got.padsShown));
    if (want.padEnabled != got.padEnabled) line("pad enabled", b(want.padEnabled), b(got.padEnabled));
    if (want.padText != got.padText)
        line("pad text", brief(want.padText), brief(got.padText) + differsAt(want.padText, got.padText));
    if (want.boxes != got.boxes) {
        auto list = [](const std::vector<std::string>& v) {
            std::string s = "[";
            for (const auto& x : v) s += (s.size() > 1 ? ", " : "") + brief(x);
            return s + "]";
        };
        line("boxes", list(want.boxes), list(got.boxes));
    }
    return out;
}

// ---- actions ---------------------------------------------------------------

void Model::offer(std::optional<std::string> bytes, std::optional<std::wstring> unicode,
                  std::optional<unsigned long> locale) {
    // Readers see each form up to its first NUL.
    if (bytes) bytes = upToNul(*bytes);
    if (unicode) unicode = upToNul(*unicode);
    if (!bytes && !unicode) {
        clipboard_ = {};
        return;
    }
    // A text put without a locale is tagged with the writer's keyboard
    // language. The system makes the missing form in the code page of the
    // locale, the system's where it names none, and that of the user's
    // locale for a block too short to hold one (as Wine does).
    if (!locale) locale = LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0)));
    unsigned codePage = *locale == kShortLocale ? ansiCodePageOf(GetUserDefaultLCID()) : ansiCodePageOf(*locale);
    if (!codePage) codePage = GetACP();
    if (bytes && !unicode) unicode = fromAnsi(*bytes, codePage);
    if (unicode && !bytes) bytes = toAnsi(*unicode, codePage);
    clipboard_ = {std::move(bytes), std::move(unicode), locale};
}

void Model::store(int digit) {
    Memory m;
    m.bytes = clipboard_.text.value_or("");
    const bool cut = m.bytes.size() > kTextMax;
    if (cut) m.bytes.resize(kTextMax);
    // The clipboard's locale counts where it names a code page. The Unicode
    // text is tried in that code page first, then in the system's; the
    // memory takes the locale its bytes agreed in, else the clipboard's,
    // else the system's.
    const unsigned long theirs = clipboard_.locale.value_or(kShortLocale);
    m.locale = ansiCodePageOf(theirs) ? theirs : kSystemLocale;
    if (clipboard_.unicode) {
        for (unsigned long locale : {theirs, kSystemLocale}) {
            const unsigned codePage = ansiCodePageOf(locale);
            if (!codePage) continue;
            if ((m.exact = exactTextFor(*clipboard_.unicode, m.bytes, cut, codePage))) {
                m.locale = locale;
                break;
            }
        }
    }
    memory_[digit] = std::move(m);
    refresh(digit);
}

void Model::recall(int digit) {
    const Memory& m = memory_[digit];
    if (!m.bytes.empty())
        // The stored bytes as CF_TEXT, the text the row shows as
        // CF_UNICODETEXT, and the memory's locale.
        clipboard_ = {m.bytes, m.exact ? *m.exact : fromAnsi(m.bytes, ansiCodePageOf(m.locale)), m.locale};
    else if (mayOpenBox())
        push(Frame::EmptyMemory, digit);
}

void Model::clickTag(int digit) {
    memory_[digit] = Memory();
    refresh(digit);
}

void Model::toggleWindow() { mainVisible_ = !mainVisible_; }

void Model::help() {
    if (!mayOpenBox()) return;
    restoreAfterHelp_ = false;
    if (mainVisible_) {
        mainVisible_ = false;
        restoreAfterHelp_ = true;
    }
    push(Frame::Help);
}

void Model::padKey() {
    // Only a pad that is still there is finished; otherwise (none yet, or
    // one the system closed) the press opens one.
    const Frame* pad = padFrame();
    if (!pad) {
        padText_.clear();
        push(Frame::Pad);
        return;
    }
    // The exact text, at most kPadTextMax units, and its ANSI form cut at
    // kPadTextMax bytes.
    const std::wstring text = padText_.substr(0, kPadTextMax);
    end(pad->id);
    clipboard_ = {toAnsi(padText_).substr(0, kPadTextMax), text, kSystemLocale};
    padText_.clear();
    unwind();
}

void Model::typeIntoPad(const std::wstring& text, size_t from, size_t to) {
    from = std::min(from, padText_.size());
    to = std::min(std::max(to, from), padText_.size());
    padText_.replace(from, to - from, text);
}

void Model::closePad() {
    if (const Frame* pad = padFrame()) end(pad->id);
    padText_.clear();
    unwind();
}

void Model::dismiss(int frameId) {
    end(frameId);
    unwind();
}

void Model::exitKey() {
    if (!mayOpenBox()) return;
    exiting_ = true;
    push(Frame::Farewell);
}

// ---- frames ----------------------------------------------------------------

int Model::push(Frame::Kind kind, int digit) {
    Frame f;
    f.kind = kind;
    f.digit = digit;
    f.id = nextId_++;
    frames_.push_back(f);
    return f.id;
}

void Model::end(int frameId) {
    for (Frame& f : frames_)
        if (f.id == frameId) f.ended = true;
}

// Calls return innermost first; each one's follow-up runs as it returns.
void Model::unwind() {
    while (!frames_.empty() && frames_.back().ended) {
        const Frame f = frames_.back();
        frames_.pop_back();
        if (f.kind == Frame::Help && restoreAfterHelp_) mainVisible_ = true;
        if (f.kind == Frame::Farewell && exiting_) ended_ = true;
    }
}

// Counted while their calls last: a box dismissed under a later one still
// takes its level until that one returns.
bool Model::mayOpenBox() const {
    const auto boxes = std::count_if(frames_.begin(), frames_.end(),
                                     [](const Frame& f) { return f.kind != Frame::Pad; });
    return static_cast<size_t>(boxes) < kBoxDepthMax;
}

const Frame* Model::padFrame() const {
    for (const Frame& f : frames_)
        if (f.kind == Frame::Pad && !f.ended) return &f;
    return nullptr;
}

// A task-modal help box disables the windows that exist when it opens, until
// its call returns.
bool Model::enabledAt(size_t index) const {
    for (size_t i = index + 1; i < frames_.size(); ++i)
        if (frames_[i].kind == Frame::Help) return false;
    return true;
}

bool Model::mainEnabled() const {
    return std::none_of(frames_.begin(), frames_.end(),
                        [](const Frame& f) { return f.kind == Frame::Help; });
}

bool Model::padEnabled() const {
    for (size_t i = 0; i < frames_.size(); ++i)
        if (frames_[i].kind == Frame::Pad && !frames_[i].ended) return enabledAt(i);
    return false;
}

std::vector<int> Model::dismissableBoxes() const {
    std::vector<int> out;
    for (size_t i = 0; i < frames_.size(); ++i)
        if (frames_[i].kind != Frame::Pad && !frames_[i].ended && enabledAt(i))
            out.push_back(frames_[i].id);
    return out;
}

int Model::overall() const {
    int sum = 0;
    for (const Memory& m : memory_) sum += percent(m.bytes.size());
    return sum / 10;
}

Snapshot Model::snapshot() const {
    Snapshot s;
    for (int d = 0; d < 10; ++d) {
        // A row shows nothing until it is first refreshed.
        // Sized by the bytes; the exact text shown where there is one, else
        // the bytes in their locale's code page.
        const Memory& m = memory_[d];
        if (refreshed_[d]) {
            s.rows[d].contents = m.exact ? *m.exact : fromAnsi(m.bytes, ansiCodePageOf(m.locale));
            s.rows[d].size = sizeLabel(m.bytes.size());
        }
        s.rows[d].bar = percent(m.bytes.size());
    }
    s.totalBar = overall();
    s.mainVisible = mainVisible_;
    s.mainEnabled = mainEnabled();
    if (padShown()) {
        s.padsShown = 1;
        s.padEnabled = padEnabled();
        s.padText = padText_;
    }
    for (const Frame& f : frames_) {
        if (f.ended) continue;
        if (f.kind == Frame::Help) s.boxes.push_back("help");
        if (f.kind == Frame::Farewell) s.boxes.push_back("farewell");
        if (f.kind == Frame::EmptyMemory)
            s.boxes.push_back("error:Memory #" + std::to_string(f.digit) + "#\r\nempty ..");
    }
    std::sort(s.boxes.begin(), s.boxes.end());
    return s;
}

}  // namespace model
