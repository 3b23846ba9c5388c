// The main window's designed geometry, a row per designed control in the order the window
// creates them.
#include "WindowDesign.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// clang-format off
constexpr TDesignRect kWindowDesign[] = {
    // control          parent   left  top   width height
    // The window's client area, at its place on the screen
    {"Form1",         "",       361,  154, 1050,  707},
    // Top row
    {"ComboBox1",     "Form1",    8,    8,   73,   21},
    {"ComboBox2",     "Form1",   88,    8,   73,   21},
    {"Button3",       "Form1",  168,    8,   75,   25},
    {"Button4",       "Form1",  248,    8,   75,   25},
    {"BtnExit",       "Form1",  328,    8,   73,   25},
    {"CheckBox4",     "Form1",  424,   16,   73,   17},
    {"Button7",       "Form1",  510,    8,   99,   25},
    {"Button8",       "Form1",  610,    8,   89,   25},
    {"Button18",      "Form1",  728,    8,  129,   25},
    {"Button19",      "Form1",  856,    8,  129,   25},
    // Left area: the signal display host, the drive adjustment bar and the sensor readings
    {"Panel1",        "Form1",    8,   40,  305,  512},
    {"SetChBar",      "Form1",    8,  592,  600,   17},
    {"Label9",        "Form1",  312,  616,   32,   13},
    {"Label7",        "Form1",  312,  544,   32,   21},
    {"Label8",        "Form1",  424,  520,   32,   21},
    {"Label40",       "Form1",    8,  632,   38,   13},
    {"Label41",       "Form1",   56,  632,   38,   13},
    {"Label43",       "Form1",  104,  632,   38,   13},
    {"Label44",       "Form1",  152,  632,   38,   13},
    {"Label45",       "Form1",  200,  632,   38,   13},
    {"Label46",       "Form1",  248,  632,   38,   13},
    {"Label47",       "Form1",  296,  632,  257,   13},
    {"Label48",       "Form1",  320,  448,   81,   25},
    {"Edit1",         "Form1",  320,  120,   57,   26},
    {"Label51",       "Form1",  384,  128,   25,   13},
    // Middle column: link lamps, calibration and function-test buttons
    {"Shape1",        "Form1",  320,   40,   17,   17},
    {"Shape2",        "Form1",  352,   40,   17,   17},
    {"Shape3",        "Form1",  384,   40,   17,   17},
    {"BtnCalibStar",  "Form1",  320,   64,   90,   25},
    {"BtnCalibEnd",   "Form1",  320,   88,   90,   25},
    {"Button9",       "Form1",  320,  152,   90,   25},
    {"Button10",      "Form1",  320,  188,   90,   25},
    {"Button11",      "Form1",  320,  220,   90,   25},
    {"Button12",      "Form1",  320,  252,   90,   25},
    {"Button13",      "Form1",  320,  284,   90,   25},
    {"Button14",      "Form1",  320,  316,   90,   25},
    {"Button15",      "Form1",  320,  348,   90,   25},
    {"Button16",      "Form1",  320,  380,   90,   25},
    {"Button17",      "Form1",  320,  412,   90,   25},
    // Status panel
    {"Panel2",        "Form1",  416,   40,  297,  409},
    {"Label14",       "Panel2",   64,    8,  153,   25},
    {"Label13",       "Panel2",   16,   32,  103,   16},
    {"Label23",       "Panel2",   16,   56,  111,   16},
    {"Label49",       "Panel2",   16,   88,   97,   13},
    {"Shape16",       "Panel2",  136,   88,   17,   17},
    {"Label50",       "Panel2",  187,   88,   50,   13},
    {"Label6",        "Panel2",   16,  120,   97,   13},
    {"Shape4",        "Panel2",  136,  120,   17,   17},
    {"Label10",       "Panel2",  187,  120,   50,   13},
    {"Label11",       "Panel2",   16,  152,   78,   13},
    {"Shape5",        "Panel2",  136,  152,   17,   17},
    {"Label12",       "Panel2",  187,  152,   50,   13},
    {"Label17",       "Panel2",   16,  184,   40,   16},
    {"Shape6",        "Panel2",  136,  184,   17,   17},
    {"Label18",       "Panel2",  187,  184,   50,   13},
    {"Label15",       "Panel2",   16,  216,   74,   16},
    {"Shape8",        "Panel2",  136,  216,   17,   17},
    {"Label19",       "Panel2",   16,  248,   86,   13},
    {"Shape9",        "Panel2",  136,  248,   17,   17},
    {"Label21",       "Panel2",   16,  280,   75,   13},
    {"Shape10",       "Panel2",  136,  280,   17,   17},
    {"Label25",       "Panel2",   16,  312,   33,   16},
    {"Label26",       "Panel2",   16,  344,   33,   16},
    {"Label24",       "Panel2",   16,  376,   88,   16},
    {"Shape7",        "Panel2",  136,  376,   17,   17},
    {"Shape11",       "Panel2",  176,  376,   17,   17},
    {"Shape12",       "Panel2",  216,  376,   17,   17},
    // Maintenance panel
    {"Panel3",        "Form1",  720,   40,  281,  409},
    {"SpeedButton1",  "Panel3",   16,   16,   73,   22},
    {"SpeedButton2",  "Panel3",  104,   16,   73,   22},
    {"SpeedButton3",  "Panel3",  192,   16,   73,   25},
    {"Label16",       "Panel3",    8,   56,   89,   13},
    {"Label20",       "Panel3",  112,   56,  153,   13},
    {"Label22",       "Panel3",    8,   88,   81,   13},
    {"Label27",       "Panel3",  112,   88,  153,   13},
    {"Label28",       "Panel3",    8,  120,   81,   13},
    {"Label29",       "Panel3",  112,  120,  153,   13},
    {"Label30",       "Panel3",    8,  152,   81,   13},
    {"cb1",           "Panel3",  112,  152,   15,   15},
    {"Shape14",       "Panel3",  128,  152,   17,   17},
    {"cb2",           "Panel3",  168,  152,   15,   15},
    {"Shape15",       "Panel3",  184,  152,   17,   17},
    {"cb3",           "Panel3",  224,  152,   15,   15},
    {"Shape13",       "Panel3",  240,  152,   17,   17},
    {"Label31",       "Panel3",    8,  184,  105,   13},
    {"CheckBox1",     "Panel3",  112,  184,   49,   17},
    {"Label32",       "Panel3",    8,  216,  129,   13},
    {"CheckBox2",     "Panel3",  112,  216,   49,   17},
    {"Label39",       "Panel3",    8,  248,   57,   13},
    {"Label33",       "Panel3",  112,  248,   38,   13},
    {"Label34",       "Panel3",  168,  248,   38,   13},
    {"Label35",       "Panel3",  224,  248,   38,   13},
    {"Label36",       "Panel3",  112,  272,   38,   13},
    {"Label37",       "Panel3",  168,  272,   38,   13},
    {"Label38",       "Panel3",  224,  272,   38,   13},
    {"SpeedButton4",  "Panel3",   16,  304,   73,   22},
    {"SpeedButton5",  "Panel3",  104,  304,   73,   22},
    {"SpeedButton6",  "Panel3",  192,  304,   73,   22},
    {"SpeedButton7",  "Panel3",   88,  336,   97,   22},
    // Country panel (never shown)
    {"Panel4",        "Form1",  416,  456,  409,  121},
    {"MemoArea",      "Panel4",    8,    8,  297,  105},
    {"BtnCtCode",     "Panel4",  312,   24,   75,   25},
    {"Button20",      "Panel4",  312,   64,   75,   25},
    {"Label42",       "Panel4",  312,   96,   73,   13},
    // Diagnostic controls (never shown), right of the visible area
    {"Memo1",         "Form1", 1016,    8,  385,  545},
    {"CheckBox3",     "Form1",  864,  456,  137,   17},
    {"Button21",      "Form1", 1328,  616,   75,   25},
    {"SpeedButton10", "Form1", 1056,  568,  105,   33},
    {"Button22",      "Form1", 1056,  608,  105,   33},
    {"SpeedButton8",  "Form1", 1176,  568,  105,   30},
    {"SpeedButton9",  "Form1", 1176,  608,  105,   33},
};
// clang-format on

}  // namespace

std::span<const TDesignRect> WindowDesign() {
    return kWindowDesign;
}

const TDesignRect& DesignOf(std::string_view name) {
    const auto* row =
        std::ranges::find_if(kWindowDesign, [&](const TDesignRect& r) { return r.name == name; });
    if (row == std::end(kWindowDesign)) {
        throw std::out_of_range("no designed control " + std::string(name));
    }
    return *row;
}

TDesignRect DesignInWindow(std::string_view name) {
    TDesignRect r = DesignOf(name);
    for (std::string_view parent = r.parent; !parent.empty() && parent != "Form1";) {
        const TDesignRect& p = DesignOf(parent);
        r.left += p.left;
        r.top += p.top;
        parent = p.parent;
    }
    return r;
}
