#include "model.h"

#include <algorithm>
#include <cstdio>

namespace model {

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

std::string describeDifference(const Snapshot& want, const Snapshot& got) {
    std::string out;
    auto line = [&](const std::string& what, const std::string& w, const std::string& g) {
        out += "  " + what + ": want " + w + ", got " + g + "\n";
    };
    for (int d = 0; d < 10; ++d) {
        const auto& w = want.rows[d];
        const auto& g = got.rows[d];
        const std::string name = "memory " + std::to_string(d);
        if (w.contents != g.contents) line(name + " contents", brief(w.contents), brief(g.contents));
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
    if (want.padText != got.padText) line("pad text", brief(want.padText), brief(got.padText));
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

void Model::putOnClipboard(std::optional<std::string> bytes) {
    // Readers see the text up to its first NUL.
    if (bytes) bytes->resize(std::min(bytes->size(), bytes->find('\0')));
    clipboard_ = std::move(bytes);
}

void Model::store(int digit) {
    std::string text = clipboard_.value_or("");
    if (text.size() > kTextMax) text.resize(kTextMax);
    memory_[digit] = std::move(text);
    refresh(digit);
}

void Model::recall(int digit) {
    if (!memory_[digit].empty())
        clipboard_ = memory_[digit];
    else if (mayOpenBox())
        push(Frame::EmptyMemory, digit);
}

void Model::clickTag(int digit) {
    memory_[digit].clear();
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
    std::string text = padText_;
    end(pad->id);
    text.resize(std::min(text.size(), kPadTextMax));
    clipboard_ = text;
    padText_.clear();
    unwind();
}

void Model::typeIntoPad(const std::string& ansi, size_t from, size_t to) {
    from = std::min(from, padText_.size());
    to = std::min(std::max(to, from), padText_.size());
    padText_.replace(from, to - from, ansi);
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
    for (const std::string& m : memory_) sum += percent(m.size());
    return sum / 10;
}

Snapshot Model::snapshot() const {
    Snapshot s;
    for (int d = 0; d < 10; ++d) {
        // A row shows nothing until it is first refreshed.
        if (refreshed_[d]) {
            s.rows[d].contents = memory_[d];
            s.rows[d].size = sizeLabel(memory_[d].size());
        }
        s.rows[d].bar = percent(memory_[d].size());
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
