#pragma once
// The main window as data: the dialog, its 46 controls in creation order and
// the rows' ids. No platform calls here, so it is checked natively too.
#include <cstdint>

enum ControlIds : int {
    IDC_HEADER_MEMORY = 1001,
    IDC_HEADER_CONTENTS = 1003,
    IDC_TAG_1 = 1004, IDC_TAG_2, IDC_TAG_3, IDC_TAG_4, IDC_TAG_5,
    IDC_TAG_6, IDC_TAG_7, IDC_TAG_8, IDC_TAG_9, IDC_TAG_0,  // 1013
    IDC_CONTENTS_1 = 1015, IDC_CONTENTS_2, IDC_CONTENTS_3, IDC_CONTENTS_4, IDC_CONTENTS_5,
    IDC_CONTENTS_6, IDC_CONTENTS_7, IDC_CONTENTS_8, IDC_CONTENTS_9, IDC_CONTENTS_0,  // 1024
    IDC_FILL_TOTAL = 1026,
    IDC_SIZE_9 = 1027,  // created early and numbered out of sequence
    IDC_SIZE_1 = 1028, IDC_SIZE_2, IDC_SIZE_3, IDC_SIZE_4,
    IDC_SIZE_5, IDC_SIZE_6, IDC_SIZE_7, IDC_SIZE_8,  // 1035
    IDC_SIZE_0 = 1036,
    IDC_HEADER_STORED = 1037,
    IDC_FILL_1 = 1126, IDC_FILL_2, IDC_FILL_3, IDC_FILL_4, IDC_FILL_5,
    IDC_FILL_6, IDC_FILL_7, IDC_FILL_8, IDC_FILL_9, IDC_FILL_0,  // 1135
    IDC_HEADER_CAPACITY = 1137,
    IDC_HELP_HINT = 2000,
};

constexpr uint32_t STYLE_HEADER = 0x50001001;  // WS_CHILD|WS_VISIBLE|SS_SUNKEN|SS_CENTER
constexpr uint32_t STYLE_TAG = 0x50000101;     // ... SS_NOTIFY|SS_CENTER
constexpr uint32_t STYLE_CELL = 0x50000001;    // ... SS_CENTER
// A memory's text is shown as stored: an ampersand in it is not a mnemonic.
constexpr uint32_t STYLE_CONTENTS = 0x50000081;  // ... SS_NOPREFIX|SS_CENTER
constexpr uint32_t STYLE_PLAIN = 0;            // the label default, WS_CHILD|WS_VISIBLE
constexpr uint32_t STYLE_BAR = 0x50800001;     // ... WS_BORDER|PBS_SMOOTH
constexpr uint32_t EXSTYLE_BAR = 0x00000020;   // WS_EX_TRANSPARENT

enum class ColourScheme { None, HeaderWhite, RowLight, RowDark };

constexpr int32_t COLOUR_SYSTEM = -1;
struct SchemeColours {
    int32_t text;
    int32_t background;
};
SchemeColours schemeColours(ColourScheme scheme);

enum class ControlKind { Label, Bar };

struct ControlRow {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, w, h;
    uint32_t style;
    ColourScheme colours;
};

constexpr int MAIN_CONTROL_COUNT = 46;
extern const ControlRow mainControls[MAIN_CONTROL_COUNT];

struct MainDialogFrame {
    const char* caption;
    int x, y, w, h;
    uint32_t style;
    uint32_t exStyle;
};
extern const MainDialogFrame mainDialog;

extern const char* const PROGRESS_CLASS_NAME;  // "msctls_progress32"

// The 34 labels that take the label font, in the order they are given it.
constexpr int LABEL_FONT_COUNT = 34;
extern const int labelFontOrder[LABEL_FONT_COUNT];

// One of the ten labels that show a memory's text.
bool isContentsId(int id);

// Per key digit d: the controls of its row.
int tagId(int d);
int contentsId(int d);
int sizeId(int d);
int fillId(int d);
// The key digit whose tag has this id, or -1.
int digitOfTag(int id);

// lfHeight of the label font: 8 points with the fraction dropped.
int32_t labelFontHeight(int32_t pixelsPerInch);
