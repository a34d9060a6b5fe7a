// Clipboards that another program has filled in awkward ways, holds open, or
// promises and then hangs on, while the program stores, recalls and finishes
// the pad. Whatever is there, the program must take exactly what the CF_TEXT
// rule gives (and the Unicode text only where it says the same), read nothing
// past a block's end, show no box and keep answering.
#include <gtest/gtest.h>

#include "support/app.h"

using namespace e2e;

namespace {

// Another program that offers CF_TEXT by promise only (delayed rendering):
// its own thread owns the clipboard and answers WM_RENDERFORMAT as told.
class PromisingOwner {
public:
    enum class Mode { Render, RenderNothing, StallThenRender };

    PromisingOwner(Mode mode, std::string text, DWORD stallMs = 0)
        : mode_(mode), text_(std::move(text)), stallMs_(stallMs) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &PromisingOwner::run, this, 0, nullptr);
        // Pumping: taking the clipboard over tells its owner, which may be the
        // driver's own window.
        if (thread_) waitUntil([&] { return WaitForSingleObject(ready_, 0) == WAIT_OBJECT_0; }, 5000);
    }
    ~PromisingOwner() {
        if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
        if (thread_) {
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
        CloseHandle(ready_);
    }
    bool promised() const { return promised_; }
    LONG renderRequests() const { return requests_; }
    // Waits until it has rendered its text for someone.
    bool rendered(DWORD timeoutMs) const {
        return waitUntil([&] { return rendered_ > 0; }, timeoutMs);
    }

private:
    static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<PromisingOwner*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (self && msg == WM_RENDERFORMAT && wp == CF_TEXT) {
            InterlockedIncrement(&self->requests_);
            if (self->mode_ == Mode::StallThenRender) Sleep(self->stallMs_);
            if (self->mode_ != Mode::RenderNothing) {
                HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, self->text_.size() + 1);
                char* p = static_cast<char*>(GlobalLock(h));
                memcpy(p, self->text_.c_str(), self->text_.size() + 1);
                GlobalUnlock(h);
                if (!SetClipboardData(CF_TEXT, h)) GlobalFree(h);
                InterlockedIncrement(&self->rendered_);
            }
            return 0;
        }
        if (msg == WM_RENDERALLFORMATS) return 0;  // the promise dies with us
        if (msg == WM_CLOSE) {
            DestroyWindow(w);
            return 0;
        }
        if (msg == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(w, msg, wp, lp);
    }

    static DWORD WINAPI run(void* param) {
        auto* self = static_cast<PromisingOwner*>(param);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &PromisingOwner::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillbankE2EPromisingOwner";
        RegisterClassW(&wc);
        self->window_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                        nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        const ULONGLONG deadline = GetTickCount64() + 3000;
        bool opened = false;
        while (!(opened = OpenClipboard(self->window_) != FALSE) && GetTickCount64() < deadline)
            Sleep(10);
        if (opened) {
            EmptyClipboard();
            SetClipboardData(CF_TEXT, nullptr);
            CloseClipboard();
            self->promised_ = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
        }
        SetEvent(self->ready_);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        return 0;
    }

    Mode mode_;
    std::string text_;
    DWORD stallMs_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    bool promised_ = false;
    volatile LONG requests_ = 0;
    volatile LONG rendered_ = 0;
};

class HostileTest : public AppTest {
protected:
    // Gives memory `d` a text of `n` bytes so that its emptying shows.
    void prefill(int d, size_t n = 5) { ASSERT_TRUE(app.store(d, pattern(n))) << app.text(rowOf(d).size); }

    // Presses Alt+d and waits until the row shows `bytes` as its size.
    bool storeShows(int d, size_t bytes, DWORD timeoutMs = kShortWait) {
        pressAlt(digitKey(d));
        return waitUntil([&] { return app.text(rowOf(d).size) == sizeLabel(bytes); }, timeoutMs);
    }

    // The program's thread answers, acts on a hotkey, and shows nothing but
    // its main window.
    void expectResponsive() {
        ASSERT_TRUE(app.process().running());
        DWORD_PTR r = 0;
        EXPECT_TRUE(SendMessageTimeoutW(app.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r));
        const std::string probe = "still here " + std::to_string(++probes_);
        ASSERT_TRUE(app.store(8, probe)) << app.text(1035);
        EXPECT_EQ(app.text(1022), probe);
        EXPECT_TRUE(app.boxes().empty()) << describeWindows(app.pid());
        EXPECT_TRUE(app.pads().empty()) << describeWindows(app.pid());
    }

    // Recalls memory d and returns both text forms of the clipboard
    // afterwards (none when the clipboard did not change).
    ClipboardTexts recall(int d) {
        const DWORD before = clipboardSequence();
        pressCtrl(digitKey(d));
        if (!waitClipboardChange(before)) return {};
        return clipboardTexts();
    }

    // Memory d holds `bytes` (its row shows their count) and the contents
    // label shows `shown`; Ctrl+d gives CF_TEXT readers `bytes`,
    // CF_UNICODETEXT readers `unicode` and CF_LOCALE readers `locale`
    // (kSystemLocale: any whose ANSI code page is the system's).
    static constexpr DWORD kSystemLocale = 0;
    void expectMemory(int d, const std::string& bytes, const std::wstring& shown, const std::wstring& unicode,
                      DWORD locale) {
        EXPECT_EQ(app.text(rowOf(d).size), sizeLabel(bytes.size()));
        EXPECT_TRUE(sameText(shown, windowText(app.control(rowOf(d).contents)))) << "contents label";
        const ClipboardTexts back = recall(d);
        ASSERT_TRUE(back.text && back.unicode) << "Ctrl+" << d << " put no text on the clipboard";
        EXPECT_TRUE(sameText(bytes, *back.text)) << "CF_TEXT after Ctrl+" << d;
        EXPECT_TRUE(sameText(unicode, *back.unicode)) << "CF_UNICODETEXT after Ctrl+" << d;
        ASSERT_TRUE(back.locale.has_value()) << "no CF_LOCALE after Ctrl+" << d;
        char got[16];
        snprintf(got, sizeof got, "0x%04lX", static_cast<unsigned long>(*back.locale));
        if (locale == kSystemLocale)
            EXPECT_EQ(ansiCodePageOf(*back.locale), GetACP()) << "CF_LOCALE " << got << " after Ctrl+" << d;
        else
            EXPECT_EQ(*back.locale, locale) << "CF_LOCALE " << got << " after Ctrl+" << d;
    }

    // Within 3 s of a press that needs the clipboard, whatever its owner
    // does, the program handles the next hotkey: Alt+V, pressed right after,
    // flips the main window's visibility. With `lateMs`, a flip that misses
    // the 3 s is waited for that much longer, so that the next step starts
    // with no Alt+V pending. How long it took is printed. True once flipped.
    bool expectNextHotkeyWithin3s(ULONGLONG pressedAt, const std::string& what, DWORD lateMs = 0) {
        const bool visibleBefore = IsWindowVisible(app.main()) != FALSE;
        auto flippedNow = [&] { return (IsWindowVisible(app.main()) != FALSE) != visibleBefore; };
        pressAlt('V');
        const ULONGLONG elapsed = GetTickCount64() - pressedAt;
        const bool flipped = waitUntil(flippedNow, elapsed >= 3000 ? 0 : static_cast<DWORD>(3000 - elapsed));
        const bool late = !flipped && lateMs && waitUntil(flippedNow, lateMs);
        printf("[hung owner] %s: Alt+V %s after %llu ms\n", what.c_str(),
               flipped ? "answered" : late ? "answered LATE" : "NOT answered", GetTickCount64() - pressedAt);
        fflush(stdout);
        EXPECT_TRUE(flipped) << what << ": Alt+V was not handled within 3 s of the press";
        return flipped || late;
    }

    // Once every Alt+V pressed so far has been handled (`visibleByNow`),
    // shows the main window again if it is hidden.
    void showMainWindowAgain(bool visibleByNow) {
        ASSERT_TRUE(waitUntil([&] { return (IsWindowVisible(app.main()) != FALSE) == visibleByNow; }))
            << "an Alt+V was never handled";
        if (!visibleByNow) {
            pressAlt('V');
            ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(app.main()) != FALSE; }));
        }
    }

    // Presses Alt+d until the row shows `text`: a press that finds an
    // earlier exchange still ending is refused, the one after works.
    bool storeSoon(int d, const std::string& text) {
        for (int attempt = 0; attempt < 6; ++attempt) {
            pressAlt(digitKey(d));
            if (waitUntil([&] { return app.text(rowOf(d).size) == sizeLabel(text.size()); }, 2500))
                return app.text(rowOf(d).contents) == text;
        }
        return false;
    }

    // A store while the clipboard's owner hangs in `mode`: memory 6 and its
    // row stay as they were, the next hotkey is handled within 3 s, the
    // owner's late answer is dropped, and once it answers again a store
    // takes its text.
    void storeWithHungOwner(HungOwner::Mode mode, const char* name) {
        ASSERT_TRUE(app.store(6, "kept six")) << app.text(1033);
        const std::wstring late = L"late owner text";
        HungOwner owner(mode, late);
        ASSERT_TRUE(owner.ready()) << "the helper did not take the clipboard";
        const ULONGLONG pressed = GetTickCount64();
        pressAlt('6');
        if (mode == HungOwner::Mode::InRender) {
            ASSERT_TRUE(owner.asked()) << "the program never asked the owner to render";
        }
        expectNextHotkeyWithin3s(pressed, std::string("Alt+6, owner hung ") + name);
        EXPECT_EQ(app.text(1020), "kept six");
        EXPECT_EQ(app.text(1033), sizeLabel(8));
        EXPECT_TRUE(app.boxes().empty()) << describeWindows(app.pid());

        // Released after the program gave up: what the owner now renders for
        // the abandoned read must never reach memory 6. A late store would
        // follow the rendering within moments.
        owner.release();
        owner.rendered(3000);
        EXPECT_FALSE(waitUntil([&] { return app.text(1033) != sizeLabel(8); }, 1500))
            << "the late text was stored: " << app.text(1020);
        EXPECT_EQ(app.text(1020), "kept six");
        showMainWindowAgain(false);

        // The owner answers now: the next store takes its text.
        EXPECT_TRUE(storeSoon(6, narrow(late))) << app.text(1020) << " |" << app.text(1033);
        EXPECT_TRUE(sameText(late, windowText(app.control(1020))));
        EXPECT_EQ(owner.end(), std::optional<DWORD>(0));
        expectResponsive();
    }

    int probes_ = 0;
};

}  // namespace

// ---- what is on the clipboard ----------------------------------------------

TEST_F(HostileTest, FormatsWithoutTextEmptyTheMemory) {
    const UINT html = RegisterClipboardFormatW(L"HTML Format");
    const UINT rtf = RegisterClipboardFormatW(L"Rich Text Format");
    const UINT own = RegisterClipboardFormatW(L"Quillbank e2e private");
    ASSERT_TRUE(html && rtf && own);
    // Text-like bytes under names other than CF_TEXT are not text to the program.
    prefill(1);
    ASSERT_TRUE(setClipboardBlocks({{html, std::string("Version:0.9\r\n<b>bold</b>", 26)},
                           {rtf, std::string("{\\rtf1 bold}", 13)},
                           {own, "private bytes"}}));
    ASSERT_TRUE(storeShows(1, 0)) << app.text(1028);
    EXPECT_EQ(app.text(1015), "");
    EXPECT_EQ(app.pos(1126), 0);

    // A device-independent bitmap: the system offers a CF_BITMAP for it,
    // still no text.
    prefill(2);
    std::string dib(sizeof(BITMAPINFOHEADER) + 16, '\0');
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 2;
    header->biHeight = 2;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    ASSERT_TRUE(setClipboardBlocks({{CF_DIB, dib}}));
    ASSERT_TRUE(storeShows(2, 0)) << app.text(1029);
    EXPECT_EQ(app.text(1016), "");
    expectResponsive();
}

TEST_F(HostileTest, UnicodeTextComesBackExactlyWhereItSaysWhatTheBytesSay) {
    printf("[exact text] %s\n", codePageReport().c_str());
    fflush(stdout);
    // Without a CF_LOCALE of the program's own, the system tags the text
    // with the driver's keyboard and makes the ANSI form in its code page:
    // the literals below are code page 1252's.
    const LCID keyboard = inputLanguage();
    ASSERT_EQ(ansiCodePageOf(keyboard), 1252u) << "run with an English (or Western European) keyboard";
    // Unicode only. Letters the code page has, the euro sign (0x80 there),
    // and characters it lacks: Greek, Japanese and one outside the BMP (a
    // surrogate pair).
    const std::wstring unicode = L"Gr\u00FC\u00DFe \u20AC5 \u03A9 \u65E5\u672C \U0001F600!";
    prefill(3);
    ASSERT_TRUE(setClipboardBlocks({{CF_UNICODETEXT, unicodeBlock(unicode)}}));
    // The system's conversion: best fit where it has one (Omega becomes O),
    // otherwise one '?' per UTF-16 unit, so the pair gives two.
    const std::string ansi = "Gr\xFC\xDF" "e \x80" "5 O ?\? ?\?!";
    EXPECT_EQ(clipboardText().value_or("<none>"), ansi);  // what every CF_TEXT reader gets
    // Sized by its bytes, shown and given back as it was written.
    ASSERT_TRUE(storeShows(3, ansi.size())) << app.text(1030);
    expectMemory(3, ansi, unicode, unicode, keyboard);

    // Both forms, saying different things: the bytes count, and not a
    // character of the other program's Unicode text comes back (a Unicode
    // reader gets the bytes decoded in their locale's code page).
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, std::string("abc", 4)}, {CF_UNICODETEXT, unicodeBlock(L"xyz")}}));
    ASSERT_TRUE(storeShows(3, 3)) << app.text(1030);
    expectMemory(3, "abc", L"abc", L"abc", keyboard);
    // The Unicode text says one character more than the bytes.
    const std::string latin = "Gr\xFC\xDF";
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, latin + '\0'}, {CF_UNICODETEXT, unicodeBlock(L"Gr\u00FC\u00DF\u2713")}}));
    ASSERT_TRUE(storeShows(3, 4)) << app.text(1030);
    expectMemory(3, latin, L"Gr\u00FC\u00DF", L"Gr\u00FC\u00DF", keyboard);

    // A program that copies Unicode with a locale of another code page
    // (Russian): the system's CF_TEXT is in code page 1251, and the text
    // comes back exactly, with that locale.
    const std::wstring russian = L"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440 \u2014 \u2713 \U0001F600 ok";
    ASSERT_TRUE(lacksSomeOf(russian, 1252) && lacksSomeOf(russian, GetACP()) && lacksSomeOf(russian, 1251));
    ASSERT_TRUE(setClipboardBlocks({{CF_UNICODETEXT, unicodeBlock(russian)}, {CF_LOCALE, localeBlock(0x0419)}}));
    const std::string cyrillic = clipboardText().value_or("<none>");
    ASSERT_EQ(cyrillic, narrow(russian, 1251));
    ASSERT_TRUE(storeShows(6, cyrillic.size())) << app.text(1033);
    expectMemory(6, cyrillic, russian, russian, 0x0419);

    // A locale block is another program's data. Two bytes of the Russian
    // LCID, or an LCID without an ANSI code page (Hindi), name no code page:
    // the bytes are tried in the system's, and the memory takes its locale.
    ASSERT_EQ(ansiCodePageOf(0x0439), 0u) << "Hindi has an ANSI code page here: pick another locale";
    const std::string privet = narrow(L"\u041F\u0440\u0438\u0432\u0435\u0442", 1251);
    const std::wstring privetHere = widen(privet, GetACP());
    ASSERT_NE(privetHere, L"\u041F\u0440\u0438\u0432\u0435\u0442");
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, privet + '\0'},
                                    {CF_UNICODETEXT, unicodeBlock(L"\u041F\u0440\u0438\u0432\u0435\u0442")},
                                    {CF_LOCALE, localeBlock(0x0419).substr(0, 2)}}));
    ASSERT_TRUE(storeShows(2, privet.size())) << app.text(1029);
    expectMemory(2, privet, privetHere, privetHere, kSystemLocale);
    const std::wstring plain = L"no code page of its own";
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, narrow(plain) + '\0'}, {CF_UNICODETEXT, unicodeBlock(plain)},
                                    {CF_LOCALE, localeBlock(0x0439)}}));
    ASSERT_TRUE(storeShows(2, plain.size())) << app.text(1029);
    expectMemory(2, narrow(plain), plain, plain, kSystemLocale);

    // Longer than a memory, Unicode only: 65,535 bytes are kept, and of the
    // Unicode text the prefix that converts to exactly those bytes. Every
    // UTF-16 unit is one byte in this code page, so that is 65,535 units.
    std::wstring longer;
    while (longer.size() < 70000) longer += L"\u03A9\u00E9a\u6771 \u2713-";
    const std::wstring kept = longer.substr(0, 65535);
    const std::string keptBytes = narrow(kept, 1252);
    ASSERT_EQ(narrow(longer, 1252).substr(0, 65535), keptBytes);
    ASSERT_TRUE(setClipboardBlocks({{CF_UNICODETEXT, unicodeBlock(longer)}}));
    ASSERT_TRUE(storeShows(3, 65535)) << app.text(1030);
    expectMemory(3, keptBytes, kept, kept, keyboard);
    // The same, but the cut falls between the '?' marks the two halves of a
    // surrogate pair become: the exact text ends before the pair, never
    // inside it.
    const std::wstring split = longer.substr(0, 65534) + L"\U0001F600" + longer.substr(0, 4000);
    const std::string splitBytes = narrow(split, 1252).substr(0, 65535);
    ASSERT_EQ(splitBytes.back(), '?');
    ASSERT_TRUE(setClipboardBlocks({{CF_UNICODETEXT, unicodeBlock(split)}}));
    ASSERT_TRUE(storeShows(5, 65535)) << app.text(1032);
    expectMemory(5, splitBytes, split.substr(0, 65534), split.substr(0, 65534), keyboard);

    // Japanese, copied with its own locale: the system's CF_TEXT is in code
    // page 932, two bytes for most characters, and the cut falls between the
    // two bytes of one. The exact text keeps every character before that
    // one, the emoji too, which code page 932 lacks.
    const std::wstring piece = L"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8 \uFF76\uFF85 \U0001F600 ok\u3002\r\n";
    auto character = [](const std::wstring& t, size_t i) { return t.substr(i, IS_HIGH_SURROGATE(t[i]) ? 2 : 1); };
    std::wstring japanese;
    for (size_t bytes = 0; bytes < 66000; bytes += narrow(piece, 932).size()) japanese += piece;
    std::wstring whole;  // the characters wholly inside the first 65,534 bytes
    for (size_t shift = 0; shift < piece.size() && whole.empty(); ++shift) {
        size_t bytes = 0, units = 0;
        for (std::wstring c; bytes + narrow(c = character(japanese, units), 932).size() <= 65534; units += c.size())
            bytes += narrow(c, 932).size();
        // The next character is a two-byte one: its lead byte is the last kept.
        const std::wstring next = character(japanese, units);
        if (bytes == 65534 && next.size() == 1 && narrow(next, 932).size() == 2)
            whole = japanese.substr(0, units);
        else
            japanese.insert(0, L"x");
    }
    ASSERT_FALSE(whole.empty()) << "no cut inside a two-byte character";
    ASSERT_NE(whole.find(L"\U0001F600"), std::wstring::npos);
    ASSERT_TRUE(setClipboardBlocks({{CF_UNICODETEXT, unicodeBlock(japanese)}, {CF_LOCALE, localeBlock(0x0411)}}));
    const std::string sjis = narrow(japanese, 932).substr(0, 65535);
    ASSERT_TRUE(sameText(narrow(japanese, 932), clipboardText().value_or("<none>"))) << "the system's CF_TEXT";
    ASSERT_EQ(narrow(whole, 932), sjis.substr(0, 65534));
    ASSERT_TRUE(storeShows(7, 65535)) << app.text(1034);
    expectMemory(7, sjis, whole, whole, 0x0411);
    expectResponsive();
}

TEST_F(HostileTest, TextBlockWithoutNulIsTakenToItsEndAndNoFurther) {
    // A block of N bytes with no NUL in it: the system makes its last byte
    // the terminator, so N - 1 bytes are text, for every reader alike.
    prefill(4);
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, "abcdefgh"}}));
    EXPECT_EQ(clipboardText().value_or("<none>"), "abcdefg");
    ASSERT_TRUE(storeShows(4, 7)) << app.text(1031);
    EXPECT_EQ(app.text(1018), "abcdefg");

    // One byte and no NUL: no text at all.
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, "x"}}));
    ASSERT_TRUE(storeShows(4, 0)) << app.text(1031);
    EXPECT_EQ(app.text(1018), "");

    // A NUL part way: the text ends there.
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, std::string("abc\0def", 7)}}));
    ASSERT_TRUE(storeShows(4, 3)) << app.text(1031);
    EXPECT_EQ(app.text(1018), "abc");

    // Every byte value but NUL, CF_TEXT alone: given back byte for byte, the
    // five the code page has no character for included.
    std::string every;
    for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, every + '\0'}}));
    ASSERT_TRUE(storeShows(4, 255)) << app.text(1031);
    EXPECT_TRUE(sameText(every, recall(4).text.value_or("<none>")));

    // Longer than a memory and no NUL: cut to 65,535 bytes.
    const std::string big = pattern(70001);
    ASSERT_TRUE(setClipboardBlocks({{CF_TEXT, big}}));
    ASSERT_TRUE(storeShows(4, 65535)) << app.text(1031);
    EXPECT_EQ(app.text(1018), big.substr(0, 65535));
    EXPECT_EQ(recall(4).text, big.substr(0, 65535));
    expectResponsive();
}

TEST_F(HostileTest, TenMegabyteTextFillsOneMemoryAndTheProgramKeepsUp) {
    std::string huge = pattern(10 * 1024 * 1024);
    ASSERT_TRUE(setClipboardText(huge));
    // Taking 65,535 bytes out of 10 MB is one copy: well within the usual wait.
    ASSERT_TRUE(storeShows(5, 65535)) << app.text(1032);
    EXPECT_EQ(app.text(1019), huge.substr(0, 65535));
    EXPECT_EQ(app.pos(1130), 99);
    EXPECT_EQ(recall(5).text, huge.substr(0, 65535));
    expectResponsive();
}

TEST_F(HostileTest, TextOfferedByPromiseIsFetchedOrMissedQuietly) {
    {
        // Kept: the owner renders when the program asks.
        PromisingOwner owner(PromisingOwner::Mode::Render, "rendered on demand");
        ASSERT_TRUE(owner.promised());
        ASSERT_TRUE(storeShows(6, 18)) << app.text(1033);
        EXPECT_EQ(app.text(1020), "rendered on demand");
        EXPECT_EQ(owner.renderRequests(), 1);
    }
    {
        // Broken: the owner is asked and puts nothing there. Text was
        // offered and could not be had, so the memory keeps what it had.
        prefill(7);
        PromisingOwner owner(PromisingOwner::Mode::RenderNothing, "");
        ASSERT_TRUE(owner.promised());
        pressAlt('6');
        ASSERT_TRUE(app.emptyByClick(7));
        // Asked at least once (a reader of the Unicode form may ask again).
        EXPECT_GE(owner.renderRequests(), 1);
        EXPECT_EQ(app.text(1020), "rendered on demand");
        EXPECT_EQ(app.text(1033), sizeLabel(18));
    }
    {
        // Slow: the owner takes 3 s to answer, longer than the program
        // waits. It gives up and keeps the memory; the late text is dropped,
        // not stored afterwards.
        prefill(7);
        PromisingOwner owner(PromisingOwner::Mode::StallThenRender, "late", 3000);
        ASSERT_TRUE(owner.promised());
        pressAlt('6');
        ASSERT_TRUE(owner.rendered(kShortWait));
        ASSERT_TRUE(app.emptyByClick(7));
        EXPECT_EQ(app.text(1020), "rendered on demand");
        EXPECT_EQ(app.text(1033), sizeLabel(18));
    }
    expectResponsive();
    EXPECT_EQ(app.text(1020), "rendered on demand");
}

// ---- a clipboard held open by another program -------------------------------

TEST_F(HostileTest, HeldClipboardIsWaitedForAndNothingTypedOrRecalledIsLost) {
    ASSERT_TRUE(app.store(1, "one"));
    prefill(9);
    ASSERT_TRUE(setClipboardText("owned by someone else"));
    DWORD before = clipboardSequence();
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.holding());
        pressCtrl('1');
        ASSERT_TRUE(app.emptyByClick(9));
        EXPECT_EQ(clipboardSequence(), before);
        EXPECT_TRUE(app.boxes().empty());
    }
    EXPECT_EQ(clipboardSequence(), before);
    EXPECT_EQ(clipboardText().value_or("<none>"), "owned by someone else");
    EXPECT_EQ(app.text(1015), "one");

    // The pad: opened freely, finished while the clipboard is held. It stays
    // open with its text, and the next Ctrl+C delivers it.
    pressCtrl('C');
    HWND pad = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        pad = app.pad();
        return pad && IsWindowVisible(pad);
    }));
    typeText(L"typed");
    ASSERT_TRUE(waitUntil([&] { return windowTextAnsi(GetDlgItem(pad, 1001)) == "typed"; }));
    prefill(9);
    ASSERT_TRUE(setClipboardText("owned by someone else"));
    before = clipboardSequence();
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.holding());
        pressCtrl('C');
        ASSERT_TRUE(app.emptyByClick(9));
        EXPECT_EQ(clipboardSequence(), before);
    }
    EXPECT_TRUE(IsWindowVisible(pad)) << describeWindows(app.pid());
    EXPECT_EQ(windowTextAnsi(GetDlgItem(pad, 1001)), "typed");
    EXPECT_EQ(clipboardText().value_or("<none>"), "owned by someone else");
    pressCtrl('C');
    ASSERT_TRUE(waitClipboardChange(before));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(pad); })) << describeWindows(app.pid());
    EXPECT_EQ(clipboardText().value_or("<none>"), "typed");
    EXPECT_TRUE(app.pads().empty());

    // Held for a moment only: a recall waits it out.
    before = clipboardSequence();
    {
        ClipboardHolder holder(80);
        ASSERT_TRUE(holder.holding());
        pressCtrl('1');
        ASSERT_TRUE(waitClipboardChange(before));
    }
    EXPECT_EQ(clipboardText().value_or("<none>"), "one");
    expectResponsive();
}

// ---- a clipboard owner that stops answering ---------------------------------

TEST_F(HostileTest, StoreGivesUpOnAnOwnerHungBeforeThePress) {
    storeWithHungOwner(HungOwner::Mode::Before, "before the press");
}

TEST_F(HostileTest, StoreGivesUpOnAnOwnerHungInsideRendering) {
    storeWithHungOwner(HungOwner::Mode::InRender, "inside WM_RENDERFORMAT");
}

TEST_F(HostileTest, RecallAndPadGiveUpOnAHungOwnerAndWorkOnceItAnswers) {
    ASSERT_TRUE(app.store(2, "two"));
    auto openPadWith = [&](const wchar_t* text) -> HWND {
        pressCtrl('C');
        HWND pad = nullptr;
        if (!waitUntil([&] { return (pad = app.pad()) && IsWindowVisible(pad); })) return nullptr;
        typeText(text);
        if (!waitUntil([&] { return windowText(GetDlgItem(pad, 1001)) == text; })) return nullptr;
        return pad;
    };
    HWND pad = openPadWith(L"pad text");
    ASSERT_NE(pad, nullptr) << describeWindows(app.pid());
    auto padKeptItsText = [&] {
        return IsWindow(pad) && IsWindowVisible(pad) && windowText(GetDlgItem(pad, 1001)) == L"pad text";
    };
    {
        HungOwner owner(HungOwner::Mode::Before, L"owner text");
        ASSERT_TRUE(owner.ready()) << "the helper did not take the clipboard";
        ULONGLONG pressed = GetTickCount64();
        pressCtrl('2');
        ASSERT_TRUE(expectNextHotkeyWithin3s(pressed, "Ctrl+2, owner hung", kShortWait));
        // Hiding the window costs Wine about 2 s of the program's time: the
        // next press is timed from when that is over. Finishing the pad is
        // then refused at once if the recall is still stuck, or gives up as
        // quickly.
        showMainWindowAgain(false);
        pressed = GetTickCount64();
        pressCtrl('C');
        expectNextHotkeyWithin3s(pressed, "Ctrl+C on the pad behind the recall", kShortWait);
        EXPECT_TRUE(app.boxes().empty()) << describeWindows(app.pid());
        EXPECT_EQ(owner.end(), std::optional<DWORD>(0));
    }
    showMainWindowAgain(false);
    // Still there once the owner has answered and every press is handled.
    EXPECT_TRUE(padKeptItsText()) << describeWindows(app.pid());
    // Left alone, or written by a recall that had already begun: nothing else.
    const ClipboardTexts now = clipboardTexts();
    EXPECT_TRUE(now.text == "owner text" || now.text == "two") << now.text.value_or("<none>");

    // The owner is gone: Ctrl+2 works again.
    bool recalled = false;
    for (int attempt = 0; attempt < 6 && !recalled; ++attempt) {
        const DWORD before = clipboardSequence();
        pressCtrl('2');
        recalled = waitClipboardChange(before, 2500) && clipboardText() == "two";
    }
    EXPECT_TRUE(recalled) << clipboardText().value_or("<none>");

    // The pad's own write with the owner hung: the pad stays with its text.
    if (!IsWindow(pad)) pad = openPadWith(L"pad text");
    ASSERT_NE(pad, nullptr) << describeWindows(app.pid());
    {
        HungOwner owner(HungOwner::Mode::Before, L"second owner");
        ASSERT_TRUE(owner.ready()) << "the helper did not take the clipboard";
        const ULONGLONG pressed = GetTickCount64();
        pressCtrl('C');
        expectNextHotkeyWithin3s(pressed, "Ctrl+C on the pad, owner hung", kShortWait);
        EXPECT_EQ(owner.end(), std::optional<DWORD>(0));
    }
    showMainWindowAgain(false);
    EXPECT_TRUE(padKeptItsText()) << describeWindows(app.pid());
    // And the next Ctrl+C delivers it; a press that finds the earlier write
    // still ending is refused and leaves the pad up for the one after.
    for (int attempt = 0; attempt < 6 && IsWindow(pad); ++attempt) {
        pressCtrl('C');
        waitUntil([&] { return !IsWindow(pad); }, 2500);
    }
    EXPECT_FALSE(IsWindow(pad)) << describeWindows(app.pid());
    const ClipboardTexts delivered = clipboardTexts();
    EXPECT_EQ(delivered.text, "pad text");
    EXPECT_EQ(delivered.unicode, L"pad text");
    EXPECT_TRUE(app.pads().empty()) << describeWindows(app.pid());
    expectResponsive();
}

TEST_F(HostileTest, AltEscWhileAnExchangeIsStuckSaysGoodbyeAndEndsWithCodeZero) {
    ASSERT_TRUE(app.store(6, "kept six"));
    HungOwner owner(HungOwner::Mode::Before, L"never rendered");
    ASSERT_TRUE(owner.ready()) << "the helper did not take the clipboard";
    const ULONGLONG pressed = GetTickCount64();
    pressAlt('6');
    pressAlt(VK_ESCAPE);
    HWND box = waitForMessageBox(app.pid());
    printf("[hung owner] Alt+Esc after Alt+6: farewell box %s after %llu ms\n", box ? "shown" : "NOT shown",
           GetTickCount64() - pressed);
    fflush(stdout);
    ASSERT_NE(box, nullptr) << "no farewell box while the owner hangs" << describeWindows(app.pid());
    EXPECT_EQ(messageBoxText(box), "See you soon ...");
    dismissMessageBox(box);
    const std::optional<DWORD> code = app.process().waitExit(kShortWait);
    ASSERT_TRUE(code.has_value()) << "still running with the exchange stuck" << describeWindows(app.pid());
    EXPECT_EQ(*code, 0u);
}
