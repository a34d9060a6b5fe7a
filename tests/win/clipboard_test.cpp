// The clipboard bridge against the platform's real clipboard. The test's own
// clipboard work uses the raw calls, so each case checks the bridge against
// an independent view of the clipboard.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "clipboard/clipboard_text.h"
#include "tests/win/clipboard_holder.h"

namespace {

constexpr DWORD OPEN_TIMEOUT_MS = 3000;

// Another program (the platform's clipboard bridge to X, say) may hold the
// clipboard for a moment: retry, within a bound.
bool openClipboardWithin(DWORD timeoutMs, HWND owner = nullptr) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (OpenClipboard(owner)) return true;
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

struct RawFormat {
    UINT format;
    std::vector<char> bytes;
};

// Replaces the clipboard with the given memory blocks, as another program
// would. Returns false if the clipboard could not be set.
bool rawSet(const std::vector<RawFormat>& formats) {
    if (!openClipboardWithin(OPEN_TIMEOUT_MS)) return false;
    bool ok = EmptyClipboard() != FALSE;
    for (const RawFormat& f : formats) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, f.bytes.size());
        if (!block) {
            ok = false;
            continue;
        }
        std::memcpy(GlobalLock(block), f.bytes.data(), f.bytes.size());
        GlobalUnlock(block);
        if (!SetClipboardData(f.format, block)) {
            GlobalFree(block);
            ok = false;
        }
    }
    CloseClipboard();
    return ok;
}

std::vector<char> bytesOf(const std::string& s, bool terminate = true) {
    std::vector<char> v(s.begin(), s.end());
    if (terminate) v.push_back('\0');
    return v;
}

bool rawSetText(const std::string& text) { return rawSet({{CF_TEXT, bytesOf(text)}}); }

// The whole CF_TEXT block as the clipboard holds it; has is false without one.
struct RawBlock {
    bool has = false;
    std::vector<char> bytes;
};

RawBlock rawGetBlock(UINT format = CF_TEXT) {
    RawBlock b;
    if (!openClipboardWithin(OPEN_TIMEOUT_MS)) {
        ADD_FAILURE() << "the clipboard stayed busy";
        return b;
    }
    if (HANDLE h = GetClipboardData(format)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) {
            b.has = true;
            b.bytes.assign(p, p + GlobalSize(h));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return b;
}

std::string rawGetText() {
    RawBlock b = rawGetBlock();
    size_t n = 0;
    while (n < b.bytes.size() && b.bytes[n]) ++n;
    return std::string(b.bytes.data(), n);
}

std::vector<UINT> formatsOnClipboard() {
    std::vector<UINT> formats;
    if (!openClipboardWithin(OPEN_TIMEOUT_MS)) {
        ADD_FAILURE() << "the clipboard stayed busy";
        return formats;
    }
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) formats.push_back(f);
    CloseClipboard();
    return formats;
}

bool contains(const std::vector<UINT>& v, UINT x) {
    for (UINT y : v)
        if (y == x) return true;
    return false;
}

// The bridge closes the clipboard before returning: it can be opened at once.
bool clipboardIsClosed() {
    if (!OpenClipboard(nullptr)) return false;
    CloseClipboard();
    return true;
}

std::string pattern(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('!' + (i * 7 + i / 91) % 94);
    return s;
}

// The storage the bridge reads into, with room to spare. It lives as long
// as the program: a read given up on may still write into it.
constexpr size_t ROOM = 100000;
char readBytes[ROOM + 1];
char16_t readUnits[ROOM + 1];

struct ReadText {
    std::string bytes;
    std::u16string units;
    uint32_t locale;
};

// The bridge's read, with room for `maxBytes` bytes and `maxUnits` units.
std::optional<ReadText> readBoth(size_t maxBytes = ROOM, size_t maxUnits = ROOM) {
    std::optional<ClipboardText> t = readClipboardText(readBytes, maxBytes, readUnits, maxUnits);
    if (!t) return std::nullopt;
    EXPECT_LE(t->byteCount, maxBytes);
    EXPECT_LE(t->unitCount, maxUnits);
    return ReadText{std::string(readBytes, t->byteCount), std::u16string(readUnits, t->unitCount),
                    t->locale};
}

std::optional<std::string> readText(size_t maxBytes = ROOM) {
    std::optional<ReadText> t = readBoth(maxBytes);
    if (!t) return std::nullopt;
    return t->bytes;
}

// The same, after marking the storage just past the room given: a read
// that writes there would overwrite the next memory's text. Only where no
// read was given up on, which could still be writing there.
std::optional<ReadText> readWithinRoom(size_t maxBytes, size_t maxUnits) {
    readBytes[maxBytes] = '\x7F';
    readUnits[maxUnits] = u'\x7F';
    std::optional<ReadText> t = readBoth(maxBytes, maxUnits);
    EXPECT_EQ(readBytes[maxBytes], '\x7F') << "bytes written past the room they were given";
    EXPECT_EQ(readUnits[maxUnits], u'\x7F') << "units written past the room they were given";
    return t;
}

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rawSetText("setup")); }
};

TEST_F(ClipboardTest, WrittenTextReadsBackAndSitsInABlockWithTwoZeroBytes) {
    DWORD before = GetClipboardSequenceNumber();
    EXPECT_TRUE(writeClipboardText("abc"));
    EXPECT_NE(GetClipboardSequenceNumber(), before) << "the clipboard was not changed";
    EXPECT_TRUE(clipboardIsClosed());
    EXPECT_EQ(readText(), "abc");
    EXPECT_TRUE(clipboardIsClosed());

    RawBlock b = rawGetBlock();
    ASSERT_TRUE(b.has);
    ASSERT_GE(b.bytes.size(), 5u);
    EXPECT_EQ(std::string(b.bytes.data(), 3), "abc");
    EXPECT_EQ(b.bytes[3], '\0');
    EXPECT_EQ(b.bytes[4], '\0');
}

TEST_F(ClipboardTest, WriteTakesTheTextUpToItsFirstNul) {
    const char buffer[] = "ab\0cd";
    writeClipboardText(buffer);
    EXPECT_EQ(readText(), "ab");
    RawBlock b = rawGetBlock();
    ASSERT_TRUE(b.has);
    ASSERT_GE(b.bytes.size(), 4u);
    EXPECT_EQ(b.bytes[2], '\0');
    EXPECT_EQ(b.bytes[3], '\0');
}

TEST_F(ClipboardTest, EmptyTextIsAnEmptyTextItem) {
    writeClipboardText("");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    RawBlock b = rawGetBlock();
    ASSERT_TRUE(b.has);
    ASSERT_GE(b.bytes.size(), 2u);
    EXPECT_EQ(b.bytes[0], '\0');
    EXPECT_EQ(b.bytes[1], '\0');
    EXPECT_EQ(readText(), "");
}

TEST_F(ClipboardTest, LongTextFromAnotherWriterIsReadWhole) {
    const std::string text = pattern(70000);
    ASSERT_TRUE(rawSetText(text));
    std::string got = readText().value_or("<unread>");
    EXPECT_EQ(got.size(), text.size());
    EXPECT_TRUE(got == text);
    EXPECT_TRUE(clipboardIsClosed());
}

TEST_F(ClipboardTest, ReadCopiesNoMoreThanTheCallerKeeps) {
    const std::string text = pattern(70000);
    ASSERT_TRUE(rawSetText(text));
    std::optional<ReadText> t = readWithinRoom(65535, 65535);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->bytes, text.substr(0, 65535));
    EXPECT_EQ(readText(0), "");
    ASSERT_TRUE(rawSet({{CF_TEXT, {'a', 'b', '\0', 'c', 'd', '\0'}}}));
    EXPECT_EQ(readText(5), "ab");
    EXPECT_TRUE(clipboardIsClosed());
}

TEST_F(ClipboardTest, ReadStopsAtTheFirstNul) {
    ASSERT_TRUE(rawSet({{CF_TEXT, {'a', 'b', '\0', 'c', 'd', '\0'}}}));
    EXPECT_EQ(readText(), "ab");
}

TEST_F(ClipboardTest, BlockWithoutNulIsNotReadPastItsEnd) {
    // An odd size, so no rounding of the block hides a missing terminator.
    const size_t n = 4097;
    const std::string text = pattern(n);
    ASSERT_TRUE(rawSet({{CF_TEXT, bytesOf(text, false)}}));
    std::string got = readText().value_or("<unread>");
    ASSERT_LE(got.size(), n);
    EXPECT_EQ(got, text.substr(0, got.size())) << "not a prefix of the block";
    // The platform makes the last byte of such a block its terminator.
    EXPECT_EQ(got.size(), n - 1);
}

TEST_F(ClipboardTest, ClipboardWithoutTextReadsAsEmpty) {
    static const BYTE bits[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, bits);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_TRUE(openClipboardWithin(OPEN_TIMEOUT_MS));
    EmptyClipboard();
    bool set = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
    CloseClipboard();
    if (!set) DeleteObject(bitmap);
    ASSERT_TRUE(set);
    ASSERT_FALSE(IsClipboardFormatAvailable(CF_TEXT));

    EXPECT_EQ(readText(), "");
    EXPECT_TRUE(clipboardIsClosed()) << "left open on the no-text path";

    // An entirely empty clipboard reads as empty too.
    ASSERT_TRUE(rawSet({}));
    EXPECT_EQ(readText(), "");
    EXPECT_TRUE(clipboardIsClosed());
}

TEST_F(ClipboardTest, WriteReplacesEveryEarlierFormat) {
    UINT custom = RegisterClipboardFormatW(L"Quillbank test private format");
    ASSERT_NE(custom, 0u);
    std::vector<char> unicode;
    for (wchar_t c : std::wstring(L"earlier\0", 8)) {
        unicode.push_back(static_cast<char>(c & 0xFF));
        unicode.push_back(static_cast<char>(c >> 8));
    }
    ASSERT_TRUE(rawSet({{CF_UNICODETEXT, unicode}, {custom, {'x', 'y', 'z'}}}));
    ASSERT_TRUE(IsClipboardFormatAvailable(custom));

    DWORD before = GetClipboardSequenceNumber();
    writeClipboardText("new");
    ASSERT_NE(GetClipboardSequenceNumber(), before);

    std::vector<UINT> formats = formatsOnClipboard();
    EXPECT_FALSE(contains(formats, custom));
    EXPECT_TRUE(contains(formats, CF_TEXT));
    EXPECT_FALSE(IsClipboardFormatAvailable(custom));
    // Whatever Unicode form the platform offers now comes from the new text.
    RawBlock u = rawGetBlock(CF_UNICODETEXT);
    if (u.has) {
        ASSERT_GE(u.bytes.size(), 8u);
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(u.bytes.data())), L"new");
    }
    EXPECT_EQ(readText(), "new");
}

std::vector<char> unitsOf(const std::u16string& s, bool terminate = true) {
    std::vector<char> v(reinterpret_cast<const char*>(s.data()),
                        reinterpret_cast<const char*>(s.data() + s.size()));
    if (terminate) v.insert(v.end(), 2, '\0');
    return v;
}

std::vector<char> localeOf(LCID lcid, size_t size = sizeof(LCID)) {
    std::vector<char> v(reinterpret_cast<const char*>(&lcid), reinterpret_cast<const char*>(&lcid + 1));
    v.resize(size);
    return v;
}

TEST_F(ClipboardTest, BothFormsAndTheLocaleAreReadInOneGoAndWrittenInOneEmptying) {
    // Forms another program chose: the bridge takes each as it is, bounded.
    const std::u16string exact = u"Gr\u00FC\u00DFe \u2192 \u6771\u4EAC \U0001F600";
    ASSERT_TRUE(rawSet({{CF_UNICODETEXT, unitsOf(exact)}, {CF_TEXT, bytesOf("Gr\xFC\xDF" "e ? ?? ??")},
                        {CF_LOCALE, localeOf(0x0419)}}));
    std::optional<ReadText> t = readBoth();
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->bytes, "Gr\xFC\xDF" "e ? ?? ??");
    EXPECT_EQ(t->units, exact);
    EXPECT_EQ(t->locale, 0x0419u);
    t = readWithinRoom(4, 3);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->bytes, "Gr\xFC\xDF");
    EXPECT_EQ(t->units, u"Gr\u00FC");
    // A locale block too short for an LCID names none.
    ASSERT_TRUE(rawSet({{CF_TEXT, bytesOf("abc")}, {CF_LOCALE, localeOf(0x0419, 2)}}));
    t = readBoth();
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->locale, 0u);
    // A Unicode block without a terminator, of an odd size: read to its end
    // and no further.
    ASSERT_TRUE(rawSet({{CF_TEXT, bytesOf("abc")}, {CF_UNICODETEXT, unitsOf(u"xyz", false)}}));
    t = readBoth();
    ASSERT_TRUE(t.has_value());
    EXPECT_LE(t->units.size(), 3u);
    EXPECT_EQ(std::u16string(u"xyz").substr(0, t->units.size()), t->units);
    EXPECT_TRUE(clipboardIsClosed());

    DWORD before = GetClipboardSequenceNumber();
    EXPECT_TRUE(writeClipboardText("Gr\xFC\xDF" "e ?", u"Gr\u00FC\u00DFe \u2192", 0x0407));
    EXPECT_NE(GetClipboardSequenceNumber(), before);
    EXPECT_TRUE(clipboardIsClosed());
    RawBlock l = rawGetBlock(CF_LOCALE);
    ASSERT_TRUE(l.has);
    ASSERT_GE(l.bytes.size(), sizeof(LCID));
    EXPECT_EQ(*reinterpret_cast<const LCID*>(l.bytes.data()), 0x0407u);
    RawBlock u = rawGetBlock(CF_UNICODETEXT);
    ASSERT_TRUE(u.has);
    ASSERT_GE(u.bytes.size(), 16u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(u.bytes.data())), u"Gr\u00FC\u00DFe \u2192");
    RawBlock b = rawGetBlock(CF_TEXT);
    ASSERT_TRUE(b.has);
    ASSERT_GE(b.bytes.size(), 9u);
    EXPECT_EQ(std::string(b.bytes.data(), 9), std::string("Gr\xFC\xDF" "e ?\0\0", 9));
}

// ---------------------------------------------------------------------------
// An owner that promises text and then does not answer: a thread of this
// program that hangs when asked to render, or a helper process (this program
// again) that answers no message at all until released.

LRESULT CALLBACK hungOwnerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_RENDERFORMAT) {
        WaitForSingleObject(reinterpret_cast<HANDLE>(GetWindowLongPtrW(w, GWLP_USERDATA)), 30000);
        const bool unicode = wp == CF_UNICODETEXT;
        const size_t size = unicode ? sizeof u"late" : sizeof "late";
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(h), unicode ? static_cast<const void*>(u"late") : "late", size);
        GlobalUnlock(h);
        if (!SetClipboardData(static_cast<UINT>(wp), h)) GlobalFree(h);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

// Promises CF_TEXT and CF_UNICODETEXT, signals `ready`, hangs until `release`
// if told to, and then renders "late" on request until `stop`.
bool runHungOwner(HANDLE ready, HANDLE release, HANDLE stop, bool hangAlways) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = hungOwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillbankTestHungOwner";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    bool promised = false;
    if (window && openClipboardWithin(OPEN_TIMEOUT_MS, window)) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(release));
        EmptyClipboard();
        SetClipboardData(CF_TEXT, nullptr);
        SetClipboardData(CF_UNICODETEXT, nullptr);
        CloseClipboard();
        promised = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
    }
    if (promised) SetEvent(ready);
    if (hangAlways) WaitForSingleObject(release, 30000);
    MSG msg;
    while (MsgWaitForMultipleObjects(1, &stop, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (window) DestroyWindow(window);
    return promised;
}

DWORD WINAPI hungOwnerThread(void* events) {
    auto* e = static_cast<HANDLE*>(events);
    return runHungOwner(e[0], e[1], e[2], false) ? 0 : 1;
}

class HungOwner {
public:
    enum Where { ThreadHangingInRender, ProcessAnsweringNothing };

    explicit HungOwner(Where where) {
        tag_ = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
        for (int i = 0; i < 3; ++i)
            events_[i] = CreateEventA(nullptr, TRUE, FALSE, name(i).c_str());
        if (where == ThreadHangingInRender) {
            thread_ = CreateThread(nullptr, 0, hungOwnerThread, events_, 0, nullptr);
        } else {
            char self[MAX_PATH];
            GetModuleFileNameA(nullptr, self, MAX_PATH);
            std::string commandLine = std::string("\"") + self + "\" " + HANG_OWNER_ARG;
            for (int i = 0; i < 3; ++i) commandLine += " " + name(i);
            STARTUPINFOA si = {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi = {};
            if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi)) {
                CloseHandle(pi.hThread);
                thread_ = pi.hProcess;
            }
        }
        HANDLE waits[2] = {events_[0], thread_};
        promised_ = thread_ && WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    ~HungOwner() {
        SetEvent(events_[1]);
        SetEvent(events_[2]);
        if (thread_) {
            if (WaitForSingleObject(thread_, 30000) != WAIT_OBJECT_0) TerminateProcess(thread_, 9);
            CloseHandle(thread_);
        }
        for (HANDLE e : events_) CloseHandle(e);
    }
    bool promised() const { return promised_; }
    void release() { SetEvent(events_[1]); }

private:
    std::string name(int i) const {
        static const char* const kinds[3] = {"Ready", "Release", "Stop"};
        return std::string("QuillbankTestHungOwner") + kinds[i] + "-" + tag_;
    }

    std::string tag_;
    HANDLE events_[3] = {};  // ready, release, stop
    HANDLE thread_ = nullptr;  // the owner's thread or process
    bool promised_ = false;
};

// Waits, a bounded time, until the bridge can read again.
std::optional<std::string> readOnceFree(DWORD timeoutMs = 20000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        std::optional<std::string> t = readText();
        if (t || GetTickCount64() >= deadline) return t;
        Sleep(20);
    }
}

TEST_F(ClipboardTest, AnOwnerThatHangsIsGivenUpOnAndItsLateTextDropped) {
    DWORD took = 0;
    {
        HungOwner owner(HungOwner::ThreadHangingInRender);
        ASSERT_TRUE(owner.promised());
        ULONGLONG started = GetTickCount64();
        EXPECT_EQ(readText(), std::nullopt) << "the owner never rendered";
        took = static_cast<DWORD>(GetTickCount64() - started);
        // While that exchange is stuck, every other one is refused at once.
        started = GetTickCount64();
        DWORD before = GetClipboardSequenceNumber();
        EXPECT_EQ(readText(), std::nullopt);
        EXPECT_FALSE(writeClipboardText("replacement"));
        EXPECT_LT(GetTickCount64() - started, 200u) << "waited on a stuck exchange";
        EXPECT_EQ(GetClipboardSequenceNumber(), before);
        owner.release();
        // Back to normal by itself.
        EXPECT_EQ(readOnceFree(), "late");
    }
    EXPECT_GE(took, 900u) << "gave up before the owner had a fair chance";
    EXPECT_LE(took, 2000u) << "waited on the owner for too long";
}

TEST_F(ClipboardTest, AWriteGivenUpBeforeItOpensTheClipboardNeverHappens) {
    // An owner in another program that answers nothing at all makes
    // OpenClipboard itself slow here, for longer than the bridge waits.
    HungOwner owner(HungOwner::ProcessAnsweringNothing);
    ASSERT_TRUE(owner.promised());
    ULONGLONG started = GetTickCount64();
    bool wrote = writeClipboardText("too late");
    DWORD took = static_cast<DWORD>(GetTickCount64() - started);
    EXPECT_LE(took, 2000u) << "waited on the owner for too long";
    if (wrote) GTEST_SKIP() << "OpenClipboard did not wait for the hung owner here";
    owner.release();
    EXPECT_EQ(readOnceFree(), "late") << "the given-up write went through later";
}

// Only a real hang counts against the owner. Integrity levels (a program run
// elevated) can refuse the question outright, which Wine cannot show.
TEST(OwnerCheck, RefusalByIntegrityLevelOrAVanishedOwnerIsNoHang) {
    EXPECT_TRUE(ownerCountsAsAnswering(true, 0, true));
    EXPECT_FALSE(ownerCountsAsAnswering(false, ERROR_TIMEOUT, true));
    EXPECT_FALSE(ownerCountsAsAnswering(false, 0, true));  // timed out, as older systems say it
    EXPECT_TRUE(ownerCountsAsAnswering(false, ERROR_ACCESS_DENIED, true));
    EXPECT_TRUE(ownerCountsAsAnswering(false, ERROR_TIMEOUT, false));
}

// ---------------------------------------------------------------------------
// A clipboard held open elsewhere: reads give nothing, writes change nothing.

// Holders open the clipboard for a window of their own, as programs do. (Wine
// lets a second OpenClipboard(NULL) through while the first was also opened
// without a window, so a window-less holder would not keep the bridge out.)
HWND makeHolderWindow() {
    return CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

struct ThreadHolder {
    HANDLE opened;
    HANDLE release;
    bool gotIt;
};

DWORD WINAPI holdClipboardInThread(void* p) {
    auto* h = static_cast<ThreadHolder*>(p);
    HWND window = makeHolderWindow();
    h->gotIt = window && openClipboardWithin(OPEN_TIMEOUT_MS, window);
    SetEvent(h->opened);
    if (h->gotIt) {
        WaitForSingleObject(h->release, 30000);
        CloseClipboard();
    }
    if (window) DestroyWindow(window);
    return h->gotIt ? 0 : 1;
}

// The caller checks afterwards that the earlier text survived. Each call
// waits a moment for the holder, but no longer than a user would not notice.
void expectBusyClipboardUntouched() {
    DWORD before = GetClipboardSequenceNumber();
    ULONGLONG started = GetTickCount64();
    EXPECT_EQ(readText(), std::nullopt) << "a busy clipboard read as a text";
    ULONGLONG took = GetTickCount64() - started;
    EXPECT_GE(took, 90u) << "gave up on a busy clipboard at once";
    EXPECT_LE(took, 600u);  // about 200 ms, with room for a loaded machine
    started = GetTickCount64();
    EXPECT_FALSE(writeClipboardText("replacement"));
    took = GetTickCount64() - started;
    EXPECT_GE(took, 90u) << "gave up on a busy clipboard at once";
    EXPECT_LE(took, 600u);  // about 200 ms, with room for a loaded machine
    EXPECT_EQ(GetClipboardSequenceNumber(), before) << "a write changed a busy clipboard";
}

TEST_F(ClipboardTest, ClipboardHeldByAnotherThreadIsLeftAlone) {
    ASSERT_TRUE(rawSetText("earlier"));
    ThreadHolder h = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, FALSE, nullptr), false};
    ASSERT_TRUE(h.opened && h.release);
    HANDLE thread = CreateThread(nullptr, 0, holdClipboardInThread, &h, 0, nullptr);
    ASSERT_NE(thread, nullptr);

    bool held = WaitForSingleObject(h.opened, 10000) == WAIT_OBJECT_0 && h.gotIt;
    if (held) expectBusyClipboardUntouched();

    SetEvent(h.release);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(h.opened);
    CloseHandle(h.release);
    ASSERT_TRUE(held) << "the helper thread could not open the clipboard";

    // Free again: the earlier text is still there, and the bridge sees it.
    EXPECT_EQ(rawGetText(), "earlier");
    EXPECT_EQ(readText(), "earlier");
}

TEST_F(ClipboardTest, ClipboardHeldByAnotherProcessIsLeftAlone) {
    ASSERT_TRUE(rawSetText("earlier"));
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount64());
    const std::string readyName = "QuillbankTestClipboardReady-" + tag;
    const std::string releaseName = "QuillbankTestClipboardRelease-" + tag;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(ready && release);

    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string commandLine = std::string("\"") + self + "\" " + HOLD_CLIPBOARD_ARG + " " +
                              readyName + " " + releaseName;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    CloseHandle(pi.hThread);

    HANDLE waits[2] = {ready, pi.hProcess};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 30000);
    bool held = woke == WAIT_OBJECT_0;
    if (held) expectBusyClipboardUntouched();

    SetEvent(release);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        ADD_FAILURE() << "the helper process did not end when released";
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(ready);
    CloseHandle(release);
    ASSERT_TRUE(held) << "the helper process never held the clipboard (wait result " << woke
                      << ", exit code " << code << ")";
    EXPECT_EQ(code, 0u);

    EXPECT_EQ(rawGetText(), "earlier");
    EXPECT_EQ(readText(), "earlier");
}

}  // namespace

int actAsHungOwner(const char* ready, const char* release, const char* stop) {
    HANDLE events[3] = {OpenEventA(EVENT_MODIFY_STATE, FALSE, ready),
                        OpenEventA(SYNCHRONIZE, FALSE, release), OpenEventA(SYNCHRONIZE, FALSE, stop)};
    if (!events[0] || !events[1] || !events[2]) return 2;
    return runHungOwner(events[0], events[1], events[2], true) ? 0 : 3;
}

int holdClipboardUntilReleased(const char* readyEventName, const char* releaseEventName) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEventName);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, releaseEventName);
    if (!ready || !release) return 2;
    HWND window = makeHolderWindow();
    if (!window || !openClipboardWithin(OPEN_TIMEOUT_MS, window)) return 3;
    SetEvent(ready);
    // Bounded, so a parent that died cannot leave the clipboard held for good.
    DWORD waited = WaitForSingleObject(release, 60000);
    CloseClipboard();
    DestroyWindow(window);
    CloseHandle(ready);
    CloseHandle(release);
    return waited == WAIT_OBJECT_0 ? 0 : 4;
}
