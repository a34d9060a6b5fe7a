#include "ui/main_window_layout.h"

#include "core/memory_bank.h"

namespace {
constexpr ControlKind L = ControlKind::Label;
constexpr ControlKind B = ControlKind::Bar;
constexpr ColourScheme WHITE = ColourScheme::HeaderWhite;
constexpr ColourScheme LIGHT = ColourScheme::RowLight;
constexpr ColourScheme DARK = ColourScheme::RowDark;
constexpr ColourScheme NONE = ColourScheme::None;
constexpr const char* BAR_TEXT = "msctls_progress32_1";  // a bar never shows it
}  // namespace

const char* const PROGRESS_CLASS_NAME = "msctls_progress32";

const MainDialogFrame mainDialog = {"Quillbank ...", 70, 70, 497, 145, 0x94C000D4, 0x00010008};

// Creation order fixes the z-order; row 7's tag sits at x 5 and row 9's size
// label (1027) is created early, between the help hint and "Capacity".
const ControlRow mainControls[MAIN_CONTROL_COUNT] = {
    {IDC_HEADER_MEMORY, L, "Memory", 5, 7, 35, 13, STYLE_HEADER, WHITE},
    {IDC_HEADER_CONTENTS, L, "Contents", 40, 7, 265, 13, STYLE_HEADER, WHITE},
    {IDC_TAG_1, L, "#1#", 6, 20, 35, 10, STYLE_TAG, LIGHT},
    {IDC_TAG_2, L, "#2#", 6, 30, 35, 10, STYLE_TAG, DARK},
    {IDC_TAG_3, L, "#3#", 6, 40, 35, 10, STYLE_TAG, LIGHT},
    {IDC_TAG_4, L, "#4#", 6, 50, 35, 10, STYLE_TAG, DARK},
    {IDC_TAG_5, L, "#5#", 6, 60, 35, 10, STYLE_TAG, LIGHT},
    {IDC_TAG_6, L, "#6#", 6, 70, 35, 10, STYLE_TAG, DARK},
    {IDC_TAG_7, L, "#7#", 5, 80, 35, 10, STYLE_TAG, LIGHT},
    {IDC_TAG_8, L, "#8#", 6, 90, 35, 10, STYLE_TAG, DARK},
    {IDC_TAG_9, L, "#9#", 6, 100, 35, 10, STYLE_TAG, LIGHT},
    {IDC_TAG_0, L, "#0#", 6, 110, 35, 10, STYLE_TAG, DARK},
    {IDC_CONTENTS_1, L, "", 40, 20, 265, 10, STYLE_CONTENTS, DARK},
    {IDC_CONTENTS_2, L, "", 40, 30, 265, 10, STYLE_CONTENTS, LIGHT},
    {IDC_CONTENTS_3, L, "", 40, 40, 265, 10, STYLE_CONTENTS, DARK},
    {IDC_CONTENTS_4, L, "", 40, 50, 265, 10, STYLE_CONTENTS, LIGHT},
    {IDC_CONTENTS_5, L, "", 40, 60, 265, 10, STYLE_CONTENTS, DARK},
    {IDC_CONTENTS_6, L, "", 40, 70, 265, 10, STYLE_CONTENTS, LIGHT},
    {IDC_CONTENTS_7, L, "", 40, 80, 265, 10, STYLE_CONTENTS, DARK},
    {IDC_CONTENTS_8, L, "", 40, 90, 265, 10, STYLE_CONTENTS, LIGHT},
    {IDC_CONTENTS_9, L, "", 40, 100, 265, 10, STYLE_CONTENTS, DARK},
    {IDC_CONTENTS_0, L, "", 40, 110, 265, 10, STYLE_CONTENTS, LIGHT},
    {IDC_FILL_TOTAL, B, BAR_TEXT, 5, 125, 395, 15, STYLE_BAR, NONE},
    {IDC_HELP_HINT, L, "Alt + H --> Help", 420, 130, 80, 12, STYLE_PLAIN, NONE},
    {IDC_SIZE_9, L, "", 306, 100, 94, 10, STYLE_CELL, DARK},
    {IDC_HEADER_CAPACITY, L, "Capacity", 400, 7, 90, 13, STYLE_HEADER, WHITE},
    {IDC_FILL_1, B, BAR_TEXT, 401, 20, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_2, B, BAR_TEXT, 401, 30, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_3, B, BAR_TEXT, 401, 40, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_4, B, BAR_TEXT, 401, 50, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_5, B, BAR_TEXT, 401, 60, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_6, B, BAR_TEXT, 401, 70, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_7, B, BAR_TEXT, 401, 80, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_8, B, BAR_TEXT, 401, 90, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_9, B, BAR_TEXT, 401, 100, 90, 10, STYLE_BAR, NONE},
    {IDC_FILL_0, B, BAR_TEXT, 401, 110, 90, 10, STYLE_BAR, NONE},
    {IDC_SIZE_1, L, "", 306, 20, 94, 10, STYLE_CELL, DARK},
    {IDC_SIZE_2, L, "", 306, 30, 94, 10, STYLE_CELL, LIGHT},
    {IDC_SIZE_3, L, "", 306, 40, 94, 10, STYLE_CELL, DARK},
    {IDC_SIZE_4, L, "", 306, 50, 94, 10, STYLE_CELL, LIGHT},
    {IDC_SIZE_5, L, "", 306, 60, 94, 10, STYLE_CELL, DARK},
    {IDC_SIZE_6, L, "", 306, 70, 94, 10, STYLE_CELL, LIGHT},
    {IDC_SIZE_7, L, "", 306, 80, 94, 10, STYLE_CELL, DARK},
    {IDC_SIZE_8, L, "", 306, 90, 94, 10, STYLE_CELL, LIGHT},
    {IDC_SIZE_0, L, "", 306, 110, 94, 10, STYLE_CELL, LIGHT},
    {IDC_HEADER_STORED, L, "Stored", 306, 7, 94, 13, STYLE_HEADER, WHITE},
};

const int labelFontOrder[LABEL_FONT_COUNT] = {
    1001, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013,
    1015, 1016, 1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024,
    1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1137,
};

SchemeColours schemeColours(ColourScheme scheme) {
    switch (scheme) {
        case ColourScheme::HeaderWhite: return {COLOUR_SYSTEM, 0x00FFFFFF};
        case ColourScheme::RowLight: return {COLOUR_SYSTEM, 0x00D5FFFF};
        case ColourScheme::RowDark: return {0x00FFFFFF, 0x00000000};
        case ColourScheme::None: break;
    }
    return {COLOUR_SYSTEM, COLOUR_SYSTEM};
}

bool isContentsId(int id) { return id >= IDC_CONTENTS_1 && id <= IDC_CONTENTS_0; }

int tagId(int d) { return IDC_TAG_1 - 1 + memoryRow(d); }
int contentsId(int d) { return IDC_CONTENTS_1 - 1 + memoryRow(d); }
int sizeId(int d) {
    switch (d) {
        case 9: return IDC_SIZE_9;
        case 0: return IDC_SIZE_0;
        default: return IDC_SIZE_1 - 1 + d;
    }
}
int fillId(int d) { return IDC_FILL_TOTAL + 100 + (memoryRow(d) - 1); }

int digitOfTag(int id) {
    if (id < IDC_TAG_1 || id > IDC_TAG_0) return -1;
    return memoryOfRow(id - IDC_TAG_1 + 1);
}

int32_t labelFontHeight(int32_t pixelsPerInch) { return -(8 * pixelsPerInch) / 72; }
