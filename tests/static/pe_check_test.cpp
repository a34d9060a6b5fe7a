// Static checks of the shipped 32-bit executable, read as a PE file on the
// build machine: what it is (i386 GUI program), what it carries (icon and
// manifest only), what it needs at run time (system DLLs only) and its size.
// The small PE reader below follows only the structures these checks need.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef QB_PRODUCT_EXE
#error "QB_PRODUCT_EXE must name the executable to check"
#endif
#ifndef QB_MANIFEST_TEMPLATE
#error "QB_MANIFEST_TEMPLATE must name res/quillbank.manifest.in"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Little-endian reads that refuse to leave the file.
class Reader {
public:
    explicit Reader(const Bytes& bytes) : bytes_(bytes) {}

    void need(std::uint64_t offset, std::uint64_t length, const char* what) const {
        if (offset > bytes_.size() || length > bytes_.size() - offset) {
            std::ostringstream msg;
            msg << what << ": " << length << " bytes at offset " << offset
                << " run past the end of the file (" << bytes_.size() << " bytes)";
            throw ParseError(msg.str());
        }
    }
    std::uint16_t u16(std::uint64_t offset, const char* what) const {
        need(offset, 2, what);
        return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    std::uint32_t u32(std::uint64_t offset, const char* what) const {
        return u16(offset, what) | static_cast<std::uint32_t>(u16(offset + 2, what)) << 16;
    }
    Bytes slice(std::uint64_t offset, std::uint64_t length, const char* what) const {
        need(offset, length, what);
        return Bytes(bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes_.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }

private:
    const Bytes& bytes_;
};

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

struct Resource {
    std::uint32_t type = 0, id = 0, language = 0;  // ids; 0 when named
    bool namedType = false, namedId = false;
    std::string typeName, idName;
    std::uint32_t codePage = 0;
    Bytes data;
};

struct ImportedDll {
    std::string name;
    std::vector<std::string> functions;  // imported by name
    int byOrdinal = 0;
};

constexpr int kImportDirectory = 1;
constexpr int kResourceDirectory = 2;
constexpr int kDelayImportDirectory = 13;

struct PeImage {
    std::uint16_t machine = 0, characteristics = 0, magic = 0, subsystem = 0;
    std::vector<Section> sections;
    std::array<std::uint32_t, 16> dirRva{}, dirSize{};
    std::vector<Resource> resources;
    std::vector<ImportedDll> imports;
};

class PeParser {
public:
    explicit PeParser(const Bytes& file) : in_(file) {}

    PeImage parse() {
        if (in_.u16(0, "DOS header") != 0x5A4D) throw ParseError("no MZ signature");
        const std::uint32_t pe = in_.u32(0x3C, "e_lfanew");
        if (in_.u32(pe, "PE signature") != 0x00004550) throw ParseError("no PE signature");
        const std::uint64_t coff = pe + 4;
        img_.machine = in_.u16(coff, "COFF header");
        const std::uint16_t sectionCount = in_.u16(coff + 2, "COFF header");
        const std::uint16_t optionalSize = in_.u16(coff + 16, "COFF header");
        img_.characteristics = in_.u16(coff + 18, "COFF header");

        const std::uint64_t opt = coff + 20;
        img_.magic = in_.u16(opt, "optional header");
        if (img_.magic != 0x10B) return img_;  // the rest of the layout differs; the header test reports it
        if (optionalSize < 96) throw ParseError("optional header too short for PE32");
        img_.subsystem = in_.u16(opt + 68, "optional header");
        const std::uint32_t dirCount = std::min<std::uint32_t>(
            in_.u32(opt + 92, "optional header"), std::min<std::uint32_t>(16, (optionalSize - 96) / 8));
        for (std::uint32_t i = 0; i < dirCount; ++i) {
            img_.dirRva[i] = in_.u32(opt + 96 + 8 * i, "data directory");
            img_.dirSize[i] = in_.u32(opt + 100 + 8 * i, "data directory");
        }

        const std::uint64_t sectionTable = opt + optionalSize;
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            const std::uint64_t s = sectionTable + 40ull * i;
            const Section section{in_.u32(s + 12, "section header"), in_.u32(s + 8, "section header"),
                                  in_.u32(s + 20, "section header"), in_.u32(s + 16, "section header")};
            in_.need(section.rawOffset, section.rawSize, "section data");
            img_.sections.push_back(section);
        }

        if (img_.dirRva[kResourceDirectory] != 0) readResources(img_.dirRva[kResourceDirectory]);
        if (img_.dirRva[kImportDirectory] != 0) readImports(img_.dirRva[kImportDirectory]);
        return img_;
    }

private:
    // File offset of `length` bytes at `rva`; they must lie in one section's raw data.
    std::uint64_t offsetOf(std::uint32_t rva, std::uint32_t length, const char* what) const {
        for (const Section& s : img_.sections) {
            if (rva < s.virtualAddress) continue;
            const std::uint64_t into = rva - s.virtualAddress;
            if (into + length <= s.rawSize && into < std::max(s.virtualSize, s.rawSize)) {
                in_.need(s.rawOffset + into, length, what);
                return s.rawOffset + into;
            }
        }
        std::ostringstream msg;
        msg << what << ": RVA 0x" << std::hex << rva << " (+" << std::dec << length
            << " bytes) is not in any section's data";
        throw ParseError(msg.str());
    }
    std::uint16_t u16At(std::uint32_t rva, const char* what) const { return in_.u16(offsetOf(rva, 2, what), what); }
    std::uint32_t u32At(std::uint32_t rva, const char* what) const { return in_.u32(offsetOf(rva, 4, what), what); }

    std::string asciiz(std::uint32_t rva, const char* what) const {
        std::string text;
        for (std::uint32_t i = 0;; ++i) {
            if (i == 4096) throw ParseError(std::string(what) + ": unterminated name");
            const std::uint8_t c = in_.slice(offsetOf(rva + i, 1, what), 1, what)[0];
            if (c == 0) return text;
            text.push_back(static_cast<char>(c));
        }
    }

    // A resource name: a counted UTF-16 string; non-ASCII shows as '?'.
    std::string resourceName(std::uint32_t rva) const {
        const std::uint16_t length = u16At(rva, "resource name");
        std::string name;
        for (std::uint16_t i = 0; i < length; ++i) {
            const std::uint16_t c = u16At(rva + 2 + 2u * i, "resource name");
            name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return name;
    }

    struct DirEntry {
        bool named;
        std::uint32_t id;  // or the name's offset when named
        bool subdirectory;
        std::uint32_t offset;
    };

    std::vector<DirEntry> resourceDirectory(std::uint32_t rva) const {
        const std::uint32_t count = static_cast<std::uint32_t>(u16At(rva + 12, "resource directory")) +
                                    u16At(rva + 14, "resource directory");
        std::vector<DirEntry> entries;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t nameField = u32At(rva + 16 + 8 * i, "resource entry");
            const std::uint32_t dataField = u32At(rva + 20 + 8 * i, "resource entry");
            entries.push_back({(nameField & 0x80000000u) != 0, nameField & 0x7FFFFFFFu,
                               (dataField & 0x80000000u) != 0, dataField & 0x7FFFFFFFu});
        }
        return entries;
    }

    // Type, then name, then language: always three levels.
    void readResources(std::uint32_t root) {
        for (const DirEntry& type : resourceDirectory(root)) {
            if (!type.subdirectory) throw ParseError("resource type entry without a directory");
            for (const DirEntry& id : resourceDirectory(root + type.offset)) {
                if (!id.subdirectory) throw ParseError("resource name entry without a directory");
                for (const DirEntry& lang : resourceDirectory(root + id.offset)) {
                    if (lang.subdirectory) throw ParseError("resource language entry is a directory");
                    Resource r;
                    r.namedType = type.named;
                    r.type = type.named ? 0 : type.id;
                    if (type.named) r.typeName = resourceName(root + type.id);
                    r.namedId = id.named;
                    r.id = id.named ? 0 : id.id;
                    if (id.named) r.idName = resourceName(root + id.id);
                    r.language = lang.id;
                    const std::uint32_t entry = root + lang.offset;
                    const std::uint32_t dataRva = u32At(entry, "resource data entry");
                    const std::uint32_t size = u32At(entry + 4, "resource data entry");
                    r.codePage = u32At(entry + 8, "resource data entry");
                    r.data = in_.slice(offsetOf(dataRva, size, "resource data"), size, "resource data");
                    img_.resources.push_back(std::move(r));
                }
            }
        }
    }

    void readImports(std::uint32_t table) {
        for (std::uint32_t i = 0;; ++i) {
            if (i == 256) throw ParseError("import table has no terminating entry");
            const std::uint32_t d = table + 20 * i;
            const std::uint32_t lookup = u32At(d, "import descriptor");
            const std::uint32_t nameRva = u32At(d + 12, "import descriptor");
            const std::uint32_t thunks = u32At(d + 16, "import descriptor");
            if (lookup == 0 && nameRva == 0 && thunks == 0) return;
            ImportedDll dll;
            dll.name = asciiz(nameRva, "imported DLL name");
            // The lookup table stays unbound; the address table is the fallback.
            const std::uint32_t list = lookup != 0 ? lookup : thunks;
            for (std::uint32_t k = 0;; ++k) {
                if (k == 65536) throw ParseError("import lookup table has no end");
                const std::uint32_t thunk = u32At(list + 4 * k, "import lookup entry");
                if (thunk == 0) break;
                if (thunk & 0x80000000u)
                    ++dll.byOrdinal;
                else
                    dll.functions.push_back(asciiz(thunk + 2, "imported function name"));
            }
            img_.imports.push_back(std::move(dll));
        }
    }

    Reader in_;
    PeImage img_;
};

PeImage parsePe(const Bytes& file) { return PeParser(file).parse(); }

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The product is read and parsed once for all tests.
struct Product {
    Bytes file;
    PeImage pe;
    std::string error;  // empty when the file was read and parsed
};

const Product& product() {
    static const Product loaded = [] {
        Product p;
        p.file = readFile(QB_PRODUCT_EXE);
        if (p.file.empty()) {
            p.error = "cannot read " QB_PRODUCT_EXE " (build the 32-bit product first)";
            return p;
        }
        try {
            p.pe = parsePe(p.file);
        } catch (const ParseError& e) {
            p.error = std::string(QB_PRODUCT_EXE ": ") + e.what();
        }
        return p;
    }();
    return loaded;
}

#define ASSERT_PRODUCT_LOADED() ASSERT_EQ(product().error, "") << "the executable could not be examined"

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::size_t countOf(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

std::uint16_t le16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8); }
std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | static_cast<std::uint32_t>(le16(b, at + 2)) << 16; }

std::vector<const Resource*> resourcesOfType(std::uint32_t type) {
    std::vector<const Resource*> found;
    for (const Resource& r : product().pe.resources)
        if (!r.namedType && r.type == type) found.push_back(&r);
    return found;
}

constexpr std::uint32_t RT_ICON = 3;
constexpr std::uint32_t RT_GROUP_ICON = 14;
constexpr std::uint32_t RT_MANIFEST = 24;
constexpr std::uint32_t kEnglishUs = 1033;
constexpr std::uint32_t kIconImageBytes = 40 + 128 * 128 * 4 + 128 * 16;  // 67,624

TEST(ProductExe, IsA32BitWindowsGuiProgram) {
    ASSERT_PRODUCT_LOADED();
    const PeImage& pe = product().pe;
    EXPECT_EQ(pe.machine, 0x14C) << "machine is not i386";
    EXPECT_EQ(pe.magic, 0x10B) << "optional header is not PE32";
    EXPECT_EQ(pe.subsystem, 2) << "subsystem is not the Windows GUI";
    EXPECT_TRUE(pe.characteristics & 0x0002) << "not marked as an executable image";
    EXPECT_FALSE(pe.characteristics & 0x2000) << "marked as a DLL";
}

TEST(ProductExe, StaysWithinItsSizeBudget) {
    ASSERT_PRODUCT_LOADED();
    EXPECT_LE(product().file.size(), 256u * 1024u) << "the executable grew past 256 KiB";
}

TEST(ProductExe, CarriesOnlyAnIconAndTheManifestInUsEnglish) {
    ASSERT_PRODUCT_LOADED();
    std::set<std::uint32_t> types;
    for (const Resource& r : product().pe.resources) {
        EXPECT_FALSE(r.namedType) << "resource type named \"" << r.typeName << "\"";
        EXPECT_FALSE(r.namedId) << "resource of type " << r.type << " named \"" << r.idName << "\"";
        EXPECT_EQ(r.language, kEnglishUs) << "resource type " << r.type << " id " << r.id;
        if (!r.namedType) types.insert(r.type);
    }
    // No version, dialog, menu or string-table resources: windows are built at run time.
    EXPECT_EQ(types, (std::set<std::uint32_t>{RT_ICON, RT_GROUP_ICON, RT_MANIFEST}));

    const auto groups = resourcesOfType(RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u) << "expected exactly one icon group";
    EXPECT_EQ(groups[0]->id, 200u) << "the icon group's id";
    const auto icons = resourcesOfType(RT_ICON);
    ASSERT_EQ(icons.size(), 1u) << "expected exactly one icon image";
    EXPECT_EQ(icons[0]->id, 1u) << "the icon image's id";
    const auto manifests = resourcesOfType(RT_MANIFEST);
    ASSERT_EQ(manifests.size(), 1u) << "expected exactly one manifest";
    EXPECT_EQ(manifests[0]->id, 1u) << "the manifest's id (1: for the process itself)";
}

TEST(ProductExe, IconGroupHoldsOne128PixelImageWithAlpha) {
    ASSERT_PRODUCT_LOADED();
    const auto groups = resourcesOfType(RT_GROUP_ICON);
    const auto icons = resourcesOfType(RT_ICON);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(icons.size(), 1u);

    // GRPICONDIR (6 bytes) and one GRPICONDIRENTRY (14 bytes).
    const Bytes& group = groups[0]->data;
    ASSERT_EQ(group.size(), 6u + 14u) << "the group must list exactly one image";
    EXPECT_EQ(le16(group, 0), 0) << "GRPICONDIR reserved";
    EXPECT_EQ(le16(group, 2), 1) << "GRPICONDIR type (1 = icon)";
    EXPECT_EQ(le16(group, 4), 1) << "GRPICONDIR image count";
    EXPECT_EQ(group[6], 128) << "entry width";
    EXPECT_EQ(group[7], 128) << "entry height";
    EXPECT_EQ(group[8], 0) << "entry colour count (0: no palette)";
    EXPECT_EQ(le16(group, 10), 1) << "entry planes";
    EXPECT_EQ(le16(group, 12), 32) << "entry bits per pixel";
    EXPECT_EQ(le32(group, 14), kIconImageBytes) << "entry byte count";
    EXPECT_EQ(le16(group, 18), 1) << "entry's icon id";

    const Bytes& image = icons[0]->data;
    ASSERT_EQ(image.size(), kIconImageBytes) << "header, 32-bit colour bitmap and 1-bit mask";
    EXPECT_EQ(le32(image, 0), 40u) << "BITMAPINFOHEADER size";
    EXPECT_EQ(le32(image, 4), 128u) << "bitmap width";
    EXPECT_EQ(le32(image, 8), 256u) << "bitmap height (colour and mask together)";
    EXPECT_EQ(le16(image, 12), 1) << "bitmap planes";
    EXPECT_EQ(le16(image, 14), 32) << "bitmap bits per pixel";
    EXPECT_EQ(le32(image, 16), 0u) << "compression (BI_RGB)";

    // The mask must mark exactly the fully transparent pixels, or shells that
    // ignore alpha draw a different shape; and there must be a shape at all.
    constexpr std::size_t kPixels = 40, kMask = 40 + 128 * 128 * 4;
    int transparent = 0, opaque = 0, maskMismatches = 0;
    for (std::size_t row = 0; row < 128; ++row) {
        for (std::size_t col = 0; col < 128; ++col) {
            const std::uint8_t alpha = image[kPixels + (row * 128 + col) * 4 + 3];
            const bool masked = image[kMask + row * 16 + col / 8] & (0x80 >> (col % 8));
            transparent += alpha == 0;
            opaque += alpha == 255;
            maskMismatches += masked != (alpha == 0);
        }
    }
    EXPECT_EQ(maskMismatches, 0) << "pixels whose mask bit disagrees with their alpha";
    EXPECT_GT(opaque, 128 * 128 / 2) << "the drawing should fill most of the image";
    EXPECT_GT(transparent, 0) << "the corners should be transparent";
}

TEST(ProductExe, ManifestIsTheTemplateForX86) {
    ASSERT_PRODUCT_LOADED();
    const auto manifests = resourcesOfType(RT_MANIFEST);
    ASSERT_EQ(manifests.size(), 1u);
    const std::string manifest(manifests[0]->data.begin(), manifests[0]->data.end());

    const Bytes templateBytes = readFile(QB_MANIFEST_TEMPLATE);
    ASSERT_FALSE(templateBytes.empty()) << "cannot read " QB_MANIFEST_TEMPLATE;
    std::string expected(templateBytes.begin(), templateBytes.end());
    EXPECT_EQ(countOf(expected, "@QB_ARCH@"), 2u) << "the template should leave both architectures open";
    for (std::size_t at; (at = expected.find("@QB_ARCH@")) != std::string::npos;)
        expected.replace(at, 9, "x86");

    // At most one line end may differ at the very end.
    auto trimmed = [](std::string s) {
        if (!s.empty() && s.back() == '\n') s.pop_back();
        if (!s.empty() && s.back() == '\r') s.pop_back();
        return s;
    };
    EXPECT_EQ(trimmed(manifest), trimmed(expected));

    // The values the platform acts on, stated here too so that a change of the
    // template alone cannot pass unnoticed.
    EXPECT_EQ(manifest.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u)
        << "the manifest must start with the XML declaration (no byte-order mark)";
    EXPECT_EQ(countOf(manifest, "xmlns=\"urn:schemas-microsoft-com:asm.v1\""), 1u);
    EXPECT_EQ(countOf(manifest, "manifestVersion=\"1.0\""), 1u);
    EXPECT_EQ(countOf(manifest, "name=\"Vendrix.exe\""), 1u);
    EXPECT_EQ(countOf(manifest, "version=\"0.0.0.0\""), 1u);
    EXPECT_EQ(countOf(manifest, "type=\"win32\""), 2u);
    EXPECT_EQ(countOf(manifest, "processorArchitecture="), 2u);
    EXPECT_EQ(countOf(manifest, "processorArchitecture=\"x86\""), 2u)
        << "both the program and its Common-Controls dependency are x86";
    EXPECT_EQ(countOf(manifest, "name=\"Microsoft.Windows.Common-Controls\""), 1u);
    EXPECT_EQ(countOf(manifest, "version=\"6.0.0.0\""), 1u);
    EXPECT_EQ(countOf(manifest, "publicKeyToken=\"6595b64144ccf1df\""), 1u);
    EXPECT_EQ(countOf(manifest, "language=\"*\""), 1u);
    const std::string lowered = lower(manifest);
    EXPECT_EQ(countOf(lowered, "trustinfo"), 0u) << "no trust section";
    EXPECT_EQ(countOf(lowered, "compatibility"), 0u) << "no compatibility section";
    EXPECT_EQ(countOf(lowered, "dpiaware"), 0u) << "no DPI-awareness setting";
}

TEST(ProductExe, ImportsOnlySystemDlls) {
    ASSERT_PRODUCT_LOADED();
    const PeImage& pe = product().pe;
    static const std::set<std::string> kSystemDlls = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                                      "ole32.dll",    "comctl32.dll", "msvcrt.dll"};
    ASSERT_FALSE(pe.imports.empty()) << "no import table found";
    for (const ImportedDll& dll : pe.imports)
        EXPECT_TRUE(kSystemDlls.count(lower(dll.name)))
            << dll.name << " is not a system DLL: the program must run from its one file";
    // Delay-loaded DLLs would escape the check above.
    EXPECT_EQ(pe.dirRva[kDelayImportDirectory], 0u) << "the executable has delay-loaded imports";
}

// The platform functions the program is built on, by DLL. Adjust here when
// the program's use of the platform changes.
const std::map<std::string, std::vector<std::string>> kRequiredImports = {
    {"user32.dll",
     {"CreateDialogIndirectParamW", "CreateWindowExW", "MapDialogRect", "SetWindowTextW", "GetWindowTextW",
      "GetDlgItem", "SendMessageA", "SendMessageW", "ShowWindow", "RedrawWindow", "DestroyWindow",
      "PeekMessageW", "GetMessageW", "IsDialogMessageW", "TranslateMessage", "DispatchMessageW", "GetFocus",
      "SetFocus", "SetForegroundWindow", "RegisterHotKey", "UnregisterHotKey", "OpenClipboard",
      "EmptyClipboard", "GetClipboardData", "SetClipboardData", "CloseClipboard",
      "IsClipboardFormatAvailable", "MessageBoxW", "MessageBoxA", "MessageBeep", "GetForegroundWindow",
      "IsWindow", "IsWindowVisible"}},
    {"gdi32.dll",
     {"CreateFontIndirectA", "GetDeviceCaps", "DeleteObject", "SetTextColor", "SetBkColor", "SetBkMode",
      "CreateSolidBrush", "GetStockObject"}},
    {"kernel32.dll",
     {"GlobalAddAtomA", "GlobalDeleteAtom", "GetLocalTime", "GlobalAlloc", "GlobalLock", "GlobalUnlock",
      "GlobalFree", "GlobalSize", "MultiByteToWideChar", "WideCharToMultiByte", "GetVersionExA",
      "GetStartupInfoA", "GetCommandLineW", "GetModuleHandleW", "LoadLibraryA", "GetProcAddress",
      "FreeLibrary", "Sleep", "ExitProcess"}},
    {"ole32.dll", {"CoInitialize", "CoUninitialize"}},
    {"comctl32.dll", {"InitCommonControlsEx", "InitCommonControls"}},
};

TEST(ProductExe, ImportsThePlatformFunctionsItIsBuiltOn) {
    ASSERT_PRODUCT_LOADED();
    std::map<std::string, std::set<std::string>> imported;  // by lower-case DLL name
    for (const ImportedDll& dll : product().pe.imports)
        imported[lower(dll.name)].insert(dll.functions.begin(), dll.functions.end());

    for (const auto& [dll, functions] : kRequiredImports) {
        const auto found = imported.find(dll);
        if (found == imported.end()) {
            ADD_FAILURE() << dll << " is not imported at all";
            continue;
        }
        std::string missing;
        for (const std::string& f : functions)
            if (!found->second.count(f)) missing += " " + f;
        EXPECT_EQ(missing, "") << "not imported by name from " << dll;
    }
}

// The reader must refuse a damaged file rather than read past it, or the
// checks above could pass on garbage.
TEST(PeReader, RefusesDamagedFiles) {
    ASSERT_PRODUCT_LOADED();
    const Bytes& good = product().file;
    EXPECT_THROW(parsePe(Bytes{}), ParseError) << "empty file";
    EXPECT_THROW(parsePe(Bytes(good.begin(), good.begin() + 0x3C)), ParseError) << "cut inside the DOS header";

    Bytes notPe = good;
    notPe[le32(good, 0x3C)] = 'X';
    EXPECT_THROW(parsePe(notPe), ParseError) << "PE signature damaged";

    // Cut just before the end of the last section's data: a table or resource
    // in it now runs off the end.
    ASSERT_FALSE(product().pe.sections.empty());
    std::uint64_t end = 0;
    for (const Section& s : product().pe.sections) end = std::max<std::uint64_t>(end, s.rawOffset + s.rawSize);
    ASSERT_LE(end, good.size());
    EXPECT_THROW(parsePe(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(end - 1))), ParseError)
        << "file cut one byte short of its last section";
}

}  // namespace
