// The main window's construction: the design table of its controls and their creation, their
// fonts and colours, the binding of every control's event to its handler, and the creation
// handler FormCreate.
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "Controls.h"
#include "Palette.h"
#include "PortNames.h"
#include "SerialDevice.h"
#include "StationApplication.h"
#include "Unit1.h"
#include "Vocabulary.h"
#include "WindowDesign.h"

const QString CaptionText = "MV62 Calibration v2.68c ";

namespace {

// Labels size themselves to their text: a label keeps its designed size while its text fits and
// grows to the right when it does not, so neither a caption nor a value is ever clipped. Labels
// are fitted when created and again whenever their parent asks for a new layout, which Qt does
// after a label's text has changed.
class TLabelFitter : public QObject {
  public:
    explicit TLabelFitter(QObject* parent) : QObject(parent) {
        setObjectName(QString::fromLatin1(kName));
    }

    static constexpr const char* kName = "LabelFitter";

    static TLabelFitter* Of(QObject* owner) {
        return static_cast<TLabelFitter*>(
            owner->findChild<QObject*>(QString::fromLatin1(kName), Qt::FindDirectChildrenOnly));
    }

    void Add(QLabel* label) {
        labels_.push_back({label, label->size()});
        Fit(labels_.back());
        label->parentWidget()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) {
            for (const Entry& e : labels_) {
                if (e.label && e.label->parentWidget() == watched) {
                    Fit(e);
                }
            }
        }
        return false;
    }

  private:
    struct Entry {
        QPointer<QLabel> label;
        QSize designed;
    };

    static void Fit(const Entry& e) {
        const int width = std::max(e.designed.width(), e.label->sizeHint().width());
        if (width != e.label->width()) {
            e.label->resize(width, e.designed.height());
        }
    }

    std::vector<Entry> labels_;
};

// Runs an action on every mouse-button press over the watched control; the control still
// handles the press itself.
class TPressFilter : public QObject {
  public:
    TPressFilter(QObject* parent, std::function<void()> onPress)
        : QObject(parent), onPress_(std::move(onPress)) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            onPress_();
        }
        return false;
    }

  private:
    std::function<void()> onPress_;
};

QFont Bold(QFont f) {
    f.setBold(true);
    return f;
}

// An editable combo box whose selected item index alone counts: typed text equal to an item's
// text selects that item, any other text selects none and stays in the box, and Enter never adds
// an item.
void MakeSelector(QComboBox* box, const QStringList& items) {
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    // Case-sensitive completion makes the box's own match, when editing ends, exact as well.
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    QLineEdit* edit = box->lineEdit();
    QObject::connect(edit, &QLineEdit::textChanged, box, [box, edit](const QString& text) {
        const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index == box->currentIndex()) {
            return;
        }
        const int cursor = edit->cursorPosition();
        box->setCurrentIndex(index);
        if (index < 0) {
            box->setEditText(text);  // selecting no item empties the box's text
        }
        edit->setCursorPosition(cursor);
    });
}

// The selectors' items: the ports, and the line speeds in the order TComm reads the index.
using TItems = QStringList (*)();
QStringList Ports() {
    QStringList items;
    for (int index = 0; index < kPortCount; ++index) {
        items << QString::fromStdString(PortName(index));
    }
    return items;
}
QStringList Speeds() {
    QStringList items;
    for (int baud : mv62::kLineSpeeds) {
        items << QString::number(baud);
    }
    return items;
}

// Creates one designed control of its member's kind, with its name, place and caption. Labels
// size themselves to their text unless kFixedSize; a speed button is a tool button with a text
// caption that never takes the focus.
template <class W>
W* NewControl(TForm1& form, QWidget* parent, const TDesignRect& row, TItems items) {
    const QString caption = row.caption ? QString::fromUtf8(row.caption) : QString();
    W* w = nullptr;
    if constexpr (std::is_same_v<W, QPushButton> || std::is_same_v<W, QCheckBox>) {
        w = new W(caption, parent);
    } else if constexpr (std::is_same_v<W, QSlider>) {
        w = new W(Qt::Horizontal, parent);
    } else {
        w = new W(parent);
    }
    w->setObjectName(QString::fromLatin1(row.name));
    w->setGeometry(row.left, row.top, row.width, row.height);
    // The font comes first, so that an edit field lays out its text once, in that font.
    if (row.flags & kBold) {
        w->setFont(Bold(form.font()));
    }
    if constexpr (std::is_same_v<W, QLineEdit>) {
        w->setText(caption);
    } else if constexpr (std::is_same_v<W, QPushButton>) {
        w->setAutoDefault(false);
    } else if constexpr (std::is_same_v<W, QToolButton>) {
        w->setText(caption);
        w->setToolButtonStyle(Qt::ToolButtonTextOnly);
        w->setAutoRaise(false);
        w->setFocusPolicy(Qt::NoFocus);
    } else if constexpr (std::is_same_v<W, QLabel>) {
        w->setTextFormat(Qt::PlainText);
        w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        w->setText(caption);
        if (!(row.flags & kFixedSize)) {
            TLabelFitter::Of(&form)->Add(w);
        }
    } else if constexpr (std::is_same_v<W, QComboBox>) {
        MakeSelector(w, items());
    } else if constexpr (std::is_same_v<W, QFrame>) {
        w->setFrameStyle(QFrame::Panel | (row.flags & kRaised ? QFrame::Raised : QFrame::Sunken));
        w->setLineWidth(1);
    }
    return w;
}

// Creates the control of a design row as the window's member of the same name.
template <auto Member, TItems Items = nullptr>
void Make(TForm1& form, QWidget* parent, const TDesignRect& row) {
    using W = std::remove_pointer_t<std::remove_cvref_t<decltype(form.*Member)>>;
    form.*Member = NewControl<W>(form, parent, row, Items);
}

using F = TForm1;

// The window's designed controls in the order the window creates them (which is also the
// keyboard's tab order): name, parent, left, top, width, height in the parent's client area, the
// window's member it becomes, caption, font and frame.
// clang-format off
constexpr TDesignRect kWindowDesign[] = {
    //  name          parent    left   top width height  member, caption, flags
    // The window's client area, at its place on the screen
    {"Form1",         "",       361,  154, 1050,  707},
    // Top row
    {"ComboBox1",     "Form1",    8,    8,   73,   21, Make<&F::ComboBox1, Ports>, nullptr, kBold},
    {"ComboBox2",     "Form1",   88,    8,   73,   21, Make<&F::ComboBox2, Speeds>, nullptr, kBold},
    {"Button3",       "Form1",  168,    8,   75,   25, Make<&F::Button3>, "Start Protocol"},
    {"Button4",       "Form1",  248,    8,   75,   25, Make<&F::Button4>, "End Protocol"},
    {"BtnExit",       "Form1",  328,    8,   73,   25, Make<&F::BtnExit>, "Exit"},
    {"CheckBox4",     "Form1",  424,   16,   73,   17, Make<&F::CheckBox4>, "CashBox", kBold},
    {"Button7",       "Form1",  510,    8,   99,   25, Make<&F::Button7>, "Auto Test"},
    {"Button8",       "Form1",  610,    8,   89,   25, Make<&F::Button8>, "Clear"},
    {"Button18",      "Form1",  728,    8,  129,   25, Make<&F::Button18>, "Maintain Mode"},
    {"Button19",      "Form1",  856,    8,  129,   25, Make<&F::Button19>, "Normal Mode"},
    // Left area: the signal display host, the drive adjustment bar and the sensor readings
    {"Panel1",        "Form1",    8,   40,  305,  512, Make<&F::Panel1>},
    {"SetChBar",      "Form1",    8,  592,  600,   17, Make<&F::SetChBar>},
    {"Label9",        "Form1",  312,  616,   32,   13, Make<&F::Label9>, "0"},
    {"Label7",        "Form1",  312,  544,   32,   21, Make<&F::Label7>},
    {"Label8",        "Form1",  424,  520,   32,   21, Make<&F::Label8>},
    {"Label40",       "Form1",    8,  632,   38,   13, Make<&F::Label40>, "0"},
    {"Label41",       "Form1",   56,  632,   38,   13, Make<&F::Label41>, "0"},
    {"Label43",       "Form1",  104,  632,   38,   13, Make<&F::Label43>, "0"},
    {"Label44",       "Form1",  152,  632,   38,   13, Make<&F::Label44>, "0"},
    {"Label45",       "Form1",  200,  632,   38,   13, Make<&F::Label45>, "0"},
    {"Label46",       "Form1",  248,  632,   38,   13, Make<&F::Label46>, "0"},
    {"Label47",       "Form1",  296,  632,  257,   13, Make<&F::Label47>},
    {"Label48",       "Form1",  320,  448,   81,   25, Make<&F::Label48>, "NULL"},
    {"Edit1",         "Form1",  320,  120,   57,   26, Make<&F::Edit1>, "155", kBold},
    {"Label51",       "Form1",  384,  128,   25,   13, Make<&F::Label51>, "mm"},
    // Middle column: link lamps, calibration and function-test buttons
    {"Shape1",        "Form1",  320,   40,   17,   17, Make<&F::Shape1>},
    {"Shape2",        "Form1",  352,   40,   17,   17, Make<&F::Shape2>},
    {"Shape3",        "Form1",  384,   40,   17,   17, Make<&F::Shape3>},
    {"BtnCalibStar",  "Form1",  320,   64,   90,   25, Make<&F::BtnCalibStar>, "CALIBRATION"},
    {"BtnCalibEnd",   "Form1",  320,   88,   90,   25, Make<&F::BtnCalibEnd>, "退出"},
    {"Button9",       "Form1",  320,  152,   90,   25, Make<&F::Button9>, "MOTOR TEST"},
    {"Button10",      "Form1",  320,  188,   90,   25, Make<&F::Button10>, "MOTOR STOP"},
    {"Button11",      "Form1",  320,  220,   90,   25, Make<&F::Button11>, "PULSE"},
    {"Button12",      "Form1",  320,  252,   90,   25, Make<&F::Button12>, "FISH"},
    {"Button13",      "Form1",  320,  284,   90,   25, Make<&F::Button13>, "EEPROM"},
    {"Button14",      "Form1",  320,  316,   90,   25, Make<&F::Button14>, "I/O"},
    {"Button15",      "Form1",  320,  348,   90,   25, Make<&F::Button15>, "SW1"},
    {"Button16",      "Form1",  320,  380,   90,   25, Make<&F::Button16>, "SW2"},
    {"Button17",      "Form1",  320,  412,   90,   25, Make<&F::Button17>, "LAMP"},
    // Status panel: one row per test with caption, indicator and value. The designed captions
    // "LED&&SEN Max" and "LED&&SEN Calib" show one ampersand; the labels show their text literally.
    {"Panel2",        "Form1",  416,   40,  297,  409, Make<&F::Panel2>},
    {"Label14",       "Panel2",   64,    8,  153,   25, Make<&F::Label14>, "Input White Card"},
    {"Label13",       "Panel2",   16,   32,  103,   16, Make<&F::Label13>, "LED&SEN Max"},
    {"Label23",       "Panel2",   16,   56,  111,   16, Make<&F::Label23>, "LED&SEN Calib"},
    {"Label49",       "Panel2",   16,   88,   97,   13, Make<&F::Label49>, "Lens Count"},
    {"Shape16",       "Panel2",  136,   88,   17,   17, Make<&F::Shape16>},
    {"Label50",       "Panel2",  187,   88,   50,   13, Make<&F::Label50>},
    {"Label6",        "Panel2",   16,  120,   97,   13, Make<&F::Label6>, "Motor RPM"},
    {"Shape4",        "Panel2",  136,  120,   17,   17, Make<&F::Shape4>},
    {"Label10",       "Panel2",  187,  120,   50,   13, Make<&F::Label10>},
    {"Label11",       "Panel2",   16,  152,   78,   13, Make<&F::Label11>, "ENC"},
    {"Shape5",        "Panel2",  136,  152,   17,   17, Make<&F::Shape5>},
    {"Label12",       "Panel2",  187,  152,   50,   13, Make<&F::Label12>},
    {"Label17",       "Panel2",   16,  184,   40,   16, Make<&F::Label17>, "Pulse"},
    {"Shape6",        "Panel2",  136,  184,   17,   17, Make<&F::Shape6>},
    {"Label18",       "Panel2",  187,  184,   50,   13, Make<&F::Label18>},
    {"Label15",       "Panel2",   16,  216,   74,   16, Make<&F::Label15>, "FISH_SEN"},
    {"Shape8",        "Panel2",  136,  216,   17,   17, Make<&F::Shape8>},
    {"Label19",       "Panel2",   16,  248,   86,   13, Make<&F::Label19>, "EEPROM"},
    {"Shape9",        "Panel2",  136,  248,   17,   17, Make<&F::Shape9>},
    {"Label21",       "Panel2",   16,  280,   75,   13, Make<&F::Label21>, "I/O "},
    {"Shape10",       "Panel2",  136,  280,   17,   17, Make<&F::Shape10>},
    {"Label25",       "Panel2",   16,  312,   33,   16, Make<&F::Label25>, "SW1"},
    {"Label26",       "Panel2",   16,  344,   33,   16, Make<&F::Label26>, "SW2"},
    {"Label24",       "Panel2",   16,  376,   88,   16, Make<&F::Label24>, "PILOT LAMP"},
    {"Shape7",        "Panel2",  136,  376,   17,   17, Make<&F::Shape7>},
    {"Shape11",       "Panel2",  176,  376,   17,   17, Make<&F::Shape11>},
    {"Shape12",       "Panel2",  216,  376,   17,   17, Make<&F::Shape12>},
    // Maintenance panel
    {"Panel3",        "Form1",  720,   40,  281,  409, Make<&F::Panel3>, nullptr, kBold | kRaised},
    {"SpeedButton1",  "Panel3",   16,   16,   73,   22, Make<&F::SpeedButton1>, "Motor +"},
    {"SpeedButton2",  "Panel3",  104,   16,   73,   22, Make<&F::SpeedButton2>, "Motor -"},
    {"SpeedButton3",  "Panel3",  192,   16,   73,   25, Make<&F::SpeedButton3>, "Motor stop"},
    {"Label16",       "Panel3",    8,   56,   89,   13, Make<&F::Label16>, "FISH SENSOR"},
    {"Label20",       "Panel3",  112,   56,  153,   13, Make<&F::Label20>},
    {"Label22",       "Panel3",    8,   88,   81,   13, Make<&F::Label22>, "HOOK SENSOR"},
    {"Label27",       "Panel3",  112,   88,  153,   13, Make<&F::Label27>},
    {"Label28",       "Panel3",    8,  120,   81,   13, Make<&F::Label28>, "IN SENSOR"},
    {"Label29",       "Panel3",  112,  120,  153,   13, Make<&F::Label29>},
    {"Label30",       "Panel3",    8,  152,   81,   13, Make<&F::Label30>, "PILOT LAMP"},
    {"cb1",           "Panel3",  112,  152,   15,   15, Make<&F::cb1>},
    {"Shape14",       "Panel3",  128,  152,   17,   17, Make<&F::Shape14>},
    {"cb2",           "Panel3",  168,  152,   15,   15, Make<&F::cb2>},
    {"Shape15",       "Panel3",  184,  152,   17,   17, Make<&F::Shape15>},
    {"cb3",           "Panel3",  224,  152,   15,   15, Make<&F::cb3>},
    {"Shape13",       "Panel3",  240,  152,   17,   17, Make<&F::Shape13>},
    {"Label31",       "Panel3",    8,  184,  105,   13, Make<&F::Label31>, "LED1 LED2 LED3"},
    {"CheckBox1",     "Panel3",  112,  184,   49,   17, Make<&F::CheckBox1>, "LED"},
    {"Label32",       "Panel3",    8,  216,  129,   13, Make<&F::Label32>, "LED4 LED5 LED6"},
    {"CheckBox2",     "Panel3",  112,  216,   49,   17, Make<&F::CheckBox2>, "IR"},
    {"Label39",       "Panel3",    8,  248,   57,   13, Make<&F::Label39>, "SENSOR"},
    {"Label33",       "Panel3",  112,  248,   38,   13, Make<&F::Label33>},
    {"Label34",       "Panel3",  168,  248,   38,   13, Make<&F::Label34>},
    {"Label35",       "Panel3",  224,  248,   38,   13, Make<&F::Label35>},
    {"Label36",       "Panel3",  112,  272,   38,   13, Make<&F::Label36>},
    {"Label37",       "Panel3",  168,  272,   38,   13, Make<&F::Label37>},
    {"Label38",       "Panel3",  224,  272,   38,   13, Make<&F::Label38>},
    {"SpeedButton4",  "Panel3",   16,  304,   73,   22, Make<&F::SpeedButton4>, "Cash M +"},
    {"SpeedButton5",  "Panel3",  104,  304,   73,   22, Make<&F::SpeedButton5>, "Cash M -"},
    {"SpeedButton6",  "Panel3",  192,  304,   73,   22, Make<&F::SpeedButton6>, "Cash M stop"},
    {"SpeedButton7",  "Panel3",   88,  336,   97,   22, Make<&F::SpeedButton7>, "Home Position"},
    // Country panel (never shown)
    {"Panel4",        "Form1",  416,  456,  409,  121, Make<&F::Panel4>},
    {"MemoArea",      "Panel4",    8,    8,  297,  105, Make<&F::MemoArea>},
    {"BtnCtCode",     "Panel4",  312,   24,   75,   25, Make<&F::BtnCtCode>, "Country"},
    {"Button20",      "Panel4",  312,   64,   75,   25, Make<&F::Button20>, "Write In"},
    {"Label42",       "Panel4",  312,   96,   73,   13, Make<&F::Label42>, nullptr, kFixedSize},
    // Diagnostic controls (never shown), right of the visible area
    {"Memo1",         "Form1", 1016,    8,  385,  545, Make<&F::Memo1>},
    {"CheckBox3",     "Form1",  864,  456,  137,   17, Make<&F::CheckBox3>, "Show all Received"},
    {"Button21",      "Form1", 1328,  616,   75,   25, Make<&F::Button21>, "Clear"},
    {"SpeedButton10", "Form1", 1056,  568,  105,   33, Make<&F::SpeedButton10>, "Read EEPROM"},
    {"Button22",      "Form1", 1056,  608,  105,   33, Make<&F::Button22>, "Relax EEP_READ"},
    {"SpeedButton8",  "Form1", 1176,  568,  105,   30, Make<&F::SpeedButton8>, "Default_DAC"},
    {"SpeedButton9",  "Form1", 1176,  608,  105,   33, Make<&F::SpeedButton9>, "EEPROM OXFF"},
};
// clang-format on

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    Wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    Pump = [] { QCoreApplication::processEvents(); };
    ShowError = [this](const QString& message) { ShowStandardError(this, message); };
    SerialDeviceFactory = MakePlatformSerialDevice;

    CreateControls();
    BuildStateTables();
    ApplyLinkState(&TLinkEnabledState::atCreation);
    ConnectHandlers();
    FormCreate();
}

// Every control, run-time element and serial component is a Qt child of the window.
TForm1::~TForm1() = default;

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

void TForm1::CreateControls() {
    // The window: its designed client area and place; no system menu, minimise, maximise or close
    // button (Exit ends the program); the designed caption until FormCreate replaces it.
    const TDesignRect& window = DesignOf("Form1");
    setObjectName(QString::fromLatin1(window.name));
    setWindowTitle(QStringLiteral("MV62 Calibration"));
    move(window.left, window.top);
    resize(window.width, window.height);
    setFont(StationFont());
    SetBackgroundColor(this, ButtonFaceColor());

    new TLabelFitter(this);
    for (const TDesignRect& row : WindowDesign().subspan(1)) {
        QWidget* parent =
            std::string_view(row.parent) == window.name
                ? this
                : findChild<QWidget*>(QString::fromLatin1(row.parent), Qt::FindDirectChildrenOnly);
        row.make(*this, parent, row);
    }

    // ---- Left area
    SetChBar->setRange(0, 1023);
    SetChBar->setValue(0);
    SetChBar->setTickPosition(QSlider::TicksBelow);
    SetChBar->setTickInterval(1023);  // marks at both ends only
    SetChBar->setCursor(Qt::PointingHandCursor);
    for (QWidget* w : std::initializer_list<QWidget*>{SetChBar, Label9, Label7, Label8}) {
        w->hide();
    }
    SetFontColor(Label7, colours::Blue);
    SetFontColor(Label8, colours::Blue);
    for (QLabel* l : {Label40, Label41, Label43, Label44, Label45, Label46, Label47}) {
        SetFontColor(l, colours::Red);
    }
    SetBackgroundColor(Label48, colours::Silver);
    SetFontColor(Label48, colours::Red);
    Edit1->setEnabled(false);
    Label51->setEnabled(false);

    // ---- Status panel: white
    SetBackgroundColor(Panel2, colours::White);
    SetFontColor(Label14, colours::Red);
    Label14->hide();
    for (QLabel* l : {Label50, Label10, Label12, Label18}) {
        SetBackgroundColor(l, colours::Cream);
    }

    // ---- Maintenance panel: bold, usable only in maintenance mode (disabled at creation)
    SetFontColor(Label20, colours::White);
    SetBackgroundColor(Label20, colours::Black);
    Shape14->SetBrushColor(colours::Red);
    Shape15->SetBrushColor(colours::Green);
    Shape13->SetBrushColor(colours::Blue);
    SetFontColor(CheckBox1, colours::Red);
    SetFontColor(CheckBox2, colours::Red);
    for (QLabel* l : {Label33, Label34, Label35, Label36, Label37, Label38}) {
        SetBackgroundColor(l, colours::Light);
    }

    // ---- Country panel (never shown)
    MemoArea->setReadOnly(true);
    MemoArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetBackgroundColor(Label42, colours::Cream);
    setTabOrder(Button20, BtnCtCode);
    setTabOrder(BtnCtCode, MemoArea);
    Panel4->hide();

    // ---- Diagnostic controls (never shown)
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QWidget* w : std::initializer_list<QWidget*>{Memo1, CheckBox3, Button21, SpeedButton10,
                                                      Button22, SpeedButton8, SpeedButton9}) {
        w->hide();
    }

    // ---- Timers: SW1 and SW2 repeats, end of the EEPROM read-out; all stopped
    // Precise timers: a coarse one may fire 5 % early or late, and Timer3 bounds the read-out.
    const auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(interval);
        return t;
    };
    Timer1 = timer("Timer1", 1000);
    Timer2 = timer("Timer2", 1000);
    Timer3 = timer("Timer3", 4000);
}

void TForm1::ConnectHandlers() {
    using F = TForm1;
    const std::pair<QAbstractButton*, void (F::*)()> clicks[] = {
        {Button3, &F::Button3Click},
        {Button4, &F::Button4Click},
        {BtnExit, &F::BtnExitClick},
        {Button7, &F::Button7Click},
        {Button8, &F::Button8Click},
        {Button18, &F::Button18Click},
        {Button19, &F::Button19Click},
        {BtnCalibStar, &F::BtnCalibStarClick},
        {BtnCalibEnd, &F::BtnCalibEndClick},
        {Button9, &F::Button9Click},
        {Button10, &F::Button10Click},
        {Button11, &F::Button11Click},
        {Button12, &F::Button12Click},
        {Button13, &F::Button13Click},
        {Button14, &F::Button14Click},
        {Button15, &F::Button15Click},
        {Button16, &F::Button16Click},
        {Button17, &F::Button17Click},
        {SpeedButton1, &F::SpeedButton1Click},
        {SpeedButton2, &F::SpeedButton2Click},
        {SpeedButton3, &F::SpeedButton3Click},
        {SpeedButton4, &F::SpeedButton4Click},
        {SpeedButton5, &F::SpeedButton5Click},
        {SpeedButton6, &F::SpeedButton6Click},
        {SpeedButton7, &F::SpeedButton7Click},
        {cb1, &F::cb1Click},
        {cb2, &F::cb1Click},
        {cb3, &F::cb1Click},
        {CheckBox1, &F::CheckBox1Click},
        {CheckBox2, &F::CheckBox2Click},
        {BtnCtCode, &F::BtnCtCodeClick},
        {Button20, &F::Button20Click},
        {Button21, &F::Button21Click},
        {Button22, &F::Button22Click},
        {SpeedButton8, &F::SpeedButton8Click},
        {SpeedButton9, &F::SpeedButton9Click},
        {SpeedButton10, &F::SpeedButton10Click}};
    // Not a structured binding: Clang before 16 cannot capture one in a lambda.
    for (const auto& click : clicks) {
        const auto handler = click.second;
        connect(click.first, &QAbstractButton::clicked, this,
                [this, handler] { (this->*handler)(); });
    }
    connect(SetChBar, &QSlider::valueChanged, this, [this] { SetChBarChange(); });
    // CashBox has no handler of its own; a recorder wants to know the motor speed limit.
    connect(CheckBox4, &QCheckBox::toggled, this,
            [this](bool ticked) { Observer->CashBoxChanged(ticked); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(Timer3, &QTimer::timeout, this, [this] { Timer3Timer(); });
    // The channel buttons are bound by FormCreate, which builds them.
}

void TForm1::FormCreate() {
    BuildSignalDisplay(*this, this, Panel1, Panel2);
    TLabelFitter* fitter = TLabelFitter::Of(this);
    for (int l = 0; l < static_cast<int>(ChRadio.size()); ++l) {
        ChRadio[l]->installEventFilter(
            new TPressFilter(ChRadio[l], [this, l] { ChRadioMouseDown(l); }));
        // The drive values grow from "0" to four digits.
        fitter->Add(DriveLabel[l]);
        fitter->Add(DriveRefLabel[l]);
    }

    Label7->hide();
    Label8->hide();
    Label9->hide();
    SetChBar->hide();
    for (int l = 0; l < static_cast<int>(ChRadio.size()); ++l) {
        DriveLabel[l]->show();
        DriveRefLabel[l]->show();
        ChRadio[l]->hide();
    }
    ComboBox1->setCurrentIndex(0);
    ComboBox2->setCurrentIndex(0);
    setWindowTitle(CaptionText);
}
