#include "ui/main_window_layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const ControlRow* control(int id) {
    for (const ControlRow& c : mainControls)
        if (c.id == id) return &c;
    return nullptr;
}

void expectPlace(int id, int x, int y, int w, int h) {
    const ControlRow* c = control(id);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(c->x, x) << id;
    EXPECT_EQ(c->y, y) << id;
    EXPECT_EQ(c->w, w) << id;
    EXPECT_EQ(c->h, h) << id;
}

int rowDigit(int row) { return row == 10 ? 0 : row; }

TEST(MainWindowLayout, ControlsInCreationOrder) {
    const int order[] = {
        1001, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013,
        1015, 1016, 1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024, 1026, 2000,
        1027, 1137, 1126, 1127, 1128, 1129, 1130, 1131, 1132, 1133, 1134, 1135,
        1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037,
    };
    static_assert(sizeof order / sizeof order[0] == 46);
    ASSERT_EQ(MAIN_CONTROL_COUNT, 46);
    std::set<int> seen;
    for (int i = 0; i < MAIN_CONTROL_COUNT; ++i) {
        EXPECT_EQ(mainControls[i].id, order[i]) << "control #" << i + 1;
        seen.insert(mainControls[i].id);
    }
    EXPECT_EQ(seen.size(), 46u);
    for (int unused : {1, 2, 1002, 1014, 1025, 1136}) EXPECT_EQ(seen.count(unused), 0u) << unused;
}

// The named ids are checked through the creation-order table above, which
// is built from them; here the per-digit lookups the event code relies on.
TEST(MainWindowLayout, RowIdsPerKeyDigit) {
    for (int r = 1; r <= 10; ++r) {
        SCOPED_TRACE(r);
        const int d = rowDigit(r);
        const int size = r == 9 ? 1027 : r == 10 ? 1036 : 1027 + r;
        EXPECT_EQ(tagId(d), 1003 + r);
        EXPECT_EQ(contentsId(d), 1014 + r);
        EXPECT_EQ(sizeId(d), size);
        EXPECT_EQ(fillId(d), 1125 + r);
        EXPECT_EQ(digitOfTag(1003 + r), d);
    }
    EXPECT_EQ(digitOfTag(1013), 0);
    for (int id : {0, 1001, 1003, 1014, 1015, 1126, 2000, -1}) EXPECT_EQ(digitOfTag(id), -1) << id;
}

TEST(MainWindowLayout, RowsAreChequeredAndPlaced) {
    for (int r = 1; r <= 10; ++r) {
        SCOPED_TRACE(r);
        const int d = rowDigit(r);
        const int y = 10 + 10 * r;
        const bool odd = r % 2 == 1;
        const ColourScheme tagScheme = odd ? ColourScheme::RowLight : ColourScheme::RowDark;
        const ColourScheme cellScheme = odd ? ColourScheme::RowDark : ColourScheme::RowLight;

        const ControlRow* tag = control(tagId(d));
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->kind, ControlKind::Label);
        EXPECT_EQ(std::string(tag->text), "#" + std::to_string(d) + "#");
        EXPECT_EQ(tag->style, 0x50000101u);
        EXPECT_EQ(tag->colours, tagScheme);
        expectPlace(tagId(d), r == 7 ? 5 : 6, y, 35, 10);

        for (int id : {contentsId(d), sizeId(d)}) {
            const ControlRow* cell = control(id);
            ASSERT_NE(cell, nullptr) << id;
            EXPECT_EQ(cell->kind, ControlKind::Label) << id;
            EXPECT_STREQ(cell->text, "") << id;
            // A memory's text is shown as stored: no ampersand mnemonics.
            EXPECT_EQ(cell->style, id == contentsId(d) ? 0x50000081u : 0x50000001u) << id;
            EXPECT_EQ(cell->colours, cellScheme) << id;
        }
        expectPlace(contentsId(d), 40, y, 265, 10);
        expectPlace(sizeId(d), 306, y, 94, 10);

        const ControlRow* bar = control(fillId(d));
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->kind, ControlKind::Bar);
        EXPECT_STREQ(bar->text, "msctls_progress32_1");
        EXPECT_EQ(bar->style, 0x50800001u);
        EXPECT_EQ(bar->colours, ColourScheme::None);
        expectPlace(fillId(d), 401, y, 90, 10);
    }
}

TEST(MainWindowLayout, HeadersOverallBarAndHint) {
    const struct { int id; const char* text; int x, w; } headers[] = {
        {1001, "Memory", 5, 35}, {1003, "Contents", 40, 265},
        {1037, "Stored", 306, 94}, {1137, "Capacity", 400, 90},
    };
    for (const auto& h : headers) {
        const ControlRow* c = control(h.id);
        ASSERT_NE(c, nullptr) << h.id;
        EXPECT_STREQ(c->text, h.text);
        EXPECT_EQ(c->kind, ControlKind::Label);
        EXPECT_EQ(c->style, 0x50001001u);
        EXPECT_EQ(c->colours, ColourScheme::HeaderWhite);
        expectPlace(h.id, h.x, 7, h.w, 13);
    }
    const ControlRow* total = control(1026);
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->kind, ControlKind::Bar);
    EXPECT_STREQ(total->text, "msctls_progress32_1");
    EXPECT_EQ(total->style, 0x50800001u);
    EXPECT_EQ(total->colours, ColourScheme::None);
    expectPlace(1026, 5, 125, 395, 15);

    const ControlRow* hint = control(2000);
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->kind, ControlKind::Label);
    EXPECT_STREQ(hint->text, "Alt + H --> Help");
    EXPECT_EQ(hint->style, 0u);
    EXPECT_EQ(hint->colours, ColourScheme::None);
    expectPlace(2000, 420, 130, 80, 12);

    int bars = 0;
    for (const ControlRow& c : mainControls) bars += c.kind == ControlKind::Bar;
    EXPECT_EQ(bars, 11);
    EXPECT_STREQ(PROGRESS_CLASS_NAME, "msctls_progress32");
    EXPECT_EQ(EXSTYLE_BAR, 0x20u);
}

TEST(MainWindowLayout, DialogAndColours) {
    EXPECT_STREQ(mainDialog.caption, "Quillbank ...");
    EXPECT_EQ(mainDialog.x, 70);
    EXPECT_EQ(mainDialog.y, 70);
    EXPECT_EQ(mainDialog.w, 497);
    EXPECT_EQ(mainDialog.h, 145);
    EXPECT_EQ(mainDialog.style, 0x94C000D4u);
    EXPECT_EQ(mainDialog.exStyle, 0x00010008u);

    const struct { ColourScheme scheme; int32_t text, background; } schemes[] = {
        {ColourScheme::HeaderWhite, -1, 0x00FFFFFF},
        {ColourScheme::RowLight, -1, 0x00D5FFFF},
        {ColourScheme::RowDark, 0x00FFFFFF, 0x00000000},
    };
    for (const auto& s : schemes) {
        EXPECT_EQ(schemeColours(s.scheme).text, s.text);
        EXPECT_EQ(schemeColours(s.scheme).background, s.background);
    }
    EXPECT_EQ(COLOUR_SYSTEM, -1);
}

TEST(MainWindowLayout, LabelFont) {
    std::vector<int> expected = {1001, 1003};
    for (int id = 1004; id <= 1013; ++id) expected.push_back(id);
    for (int id = 1015; id <= 1024; ++id) expected.push_back(id);
    for (int id = 1027; id <= 1037; ++id) expected.push_back(id);
    expected.push_back(1137);
    ASSERT_EQ(LABEL_FONT_COUNT, static_cast<int>(expected.size()));
    for (int i = 0; i < LABEL_FONT_COUNT; ++i) EXPECT_EQ(labelFontOrder[i], expected[i]) << i;

    EXPECT_EQ(labelFontHeight(96), -10);
    EXPECT_EQ(labelFontHeight(120), -13);
    EXPECT_EQ(labelFontHeight(144), -16);
    EXPECT_EQ(labelFontHeight(72), -8);
    EXPECT_EQ(labelFontHeight(100), -11);  // -800 / 72 = -11.1
}

}  // namespace
