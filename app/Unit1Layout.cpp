// The main window's construction: its designed controls, their geometry, fonts and colours, the
// binding of every control's event to its handler, and the creation handler FormCreate.
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
#include <thread>
#include <utility>
#include <vector>

#include "Controls.h"
#include "SerialDevice.h"
#include "StationApplication.h"
#include "Unit1.h"

const QString CaptionText = "MV62 Calibration v2.68c ";

namespace {

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kCream(0xFF, 0xFB, 0xF0);
const QColor kLight(0xE3, 0xE3, 0xE3);  // the 3D light colour behind the sensor readings

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

// Creates the designed controls with their names, geometry and captions.
class TControlMaker {
  public:
    TControlMaker(TLabelFitter* fitter) : fitter_(fitter) {}

    template <class W>
    static W* Named(W* w, const char* name, QRect geometry) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(geometry);
        return w;
    }

    // A label that sizes itself to its text.
    QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
        QLabel* l = FixedLabel(parent, name, text, geometry);
        fitter_->Add(l);
        return l;
    }

    // A label that keeps its designed size whatever its text.
    static QLabel* FixedLabel(QWidget* parent, const char* name, const QString& text,
                              QRect geometry) {
        auto* l = Named(new QLabel(parent), name, geometry);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setText(text);
        return l;
    }

    static QPushButton* Button(QWidget* parent, const char* name, const QString& text,
                               QRect geometry) {
        auto* b = Named(new QPushButton(text, parent), name, geometry);
        b->setAutoDefault(false);
        return b;
    }

    // A speed button: a tool button with a text caption that never takes the focus.
    static QToolButton* SpeedButton(QWidget* parent, const char* name, const QString& text,
                                    QRect geometry) {
        auto* b = Named(new QToolButton(parent), name, geometry);
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    }

    // An editable combo box whose selected item index alone counts: typed text equal to an
    // item's text selects that item, any other text selects none and stays in the box, and Enter
    // never adds an item.
    // Its font is set before the edit field exists, which then starts with it instead of laying
    // out its text a second time.
    static QComboBox* Selector(QWidget* parent, const char* name, QRect geometry,
                               const QStringList& items, const QFont& font) {
        auto* box = Named(new QComboBox(parent), name, geometry);
        box->setFont(font);
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
        return box;
    }

    static QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text,
                               QRect geometry) {
        return Named(new QCheckBox(text, parent), name, geometry);
    }

    static TShape* Shape(QWidget* parent, const char* name, QRect geometry, QColor fill) {
        return Named(new TShape(parent, fill), name, geometry);
    }

    static QFrame* Panel(QWidget* parent, const char* name, QRect geometry, QFrame::Shadow bevel) {
        auto* p = Named(new QFrame(parent), name, geometry);
        p->setFrameStyle(QFrame::Panel | bevel);
        p->setLineWidth(1);
        return p;
    }

  private:
    TLabelFitter* fitter_;
};

QFont Bold(QFont f) {
    f.setBold(true);
    return f;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    Wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    Pump = [] { QCoreApplication::processEvents(); };
    ShowError = [this](const QString& message) { ShowStandardError(this, message); };
    SerialDeviceFactory = MakePlatformSerialDevice;

    CreateControls();
    ConnectHandlers();
    FormCreate();
}

// Every control, run-time element and serial component is a Qt child of the window.
TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    using M = TControlMaker;
    M make(new TLabelFitter(this));

    // The window: client area 1050 x 707 at 361, 154; no system menu, minimise, maximise or close
    // button (Exit ends the program); the designed caption until FormCreate replaces it.
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("MV62 Calibration"));
    move(361, 154);
    resize(1050, 707);
    setFont(StationFont());
    SetBackgroundColor(this, ButtonFaceColor());
    const QFont bold = Bold(font());

    // ---- Top row
    ComboBox1 = M::Selector(this, "ComboBox1", {8, 8, 73, 21},
                            {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}, bold);
    ComboBox2 = M::Selector(this, "ComboBox2", {88, 8, 73, 21},
                            {"9600", "19200", "38400", "57600", "115200"}, bold);
    Button3 = M::Button(this, "Button3", "Start Protocol", {168, 8, 75, 25});
    Button4 = M::Button(this, "Button4", "End Protocol", {248, 8, 75, 25});
    Button4->setEnabled(false);
    BtnExit = M::Button(this, "BtnExit", "Exit", {328, 8, 73, 25});
    CheckBox4 = M::CheckBox(this, "CheckBox4", "CashBox", {424, 16, 73, 17});
    CheckBox4->setFont(bold);
    Button7 = M::Button(this, "Button7", "Auto Test", {510, 8, 99, 25});
    Button7->setEnabled(false);
    Button8 = M::Button(this, "Button8", "Clear", {610, 8, 89, 25});
    Button18 = M::Button(this, "Button18", "Maintain Mode", {728, 8, 129, 25});
    Button18->setEnabled(false);
    Button19 = M::Button(this, "Button19", "Normal Mode", {856, 8, 129, 25});
    Button19->setEnabled(false);

    // ---- Left area: the signal display host, the drive adjustment bar and the sensor readings
    Panel1 = M::Panel(this, "Panel1", {8, 40, 305, 512}, QFrame::Sunken);
    SetChBar = M::Named(new QSlider(Qt::Horizontal, this), "SetChBar", {8, 592, 600, 17});
    SetChBar->setRange(0, 1023);
    SetChBar->setValue(0);
    SetChBar->setTickPosition(QSlider::TicksBelow);
    SetChBar->setTickInterval(1023);  // marks at both ends only
    SetChBar->setCursor(Qt::PointingHandCursor);
    SetChBar->hide();
    Label9 = make.Label(this, "Label9", "0", {312, 616, 32, 13});
    Label9->hide();
    Label7 = make.Label(this, "Label7", QString(), {312, 544, 32, 21});
    SetFontColor(Label7, kBlue);
    Label7->hide();
    Label8 = make.Label(this, "Label8", QString(), {424, 520, 32, 21});
    SetFontColor(Label8, kBlue);
    Label8->hide();
    Label40 = make.Label(this, "Label40", "0", {8, 632, 38, 13});
    Label41 = make.Label(this, "Label41", "0", {56, 632, 38, 13});
    Label43 = make.Label(this, "Label43", "0", {104, 632, 38, 13});
    Label44 = make.Label(this, "Label44", "0", {152, 632, 38, 13});
    Label45 = make.Label(this, "Label45", "0", {200, 632, 38, 13});
    Label46 = make.Label(this, "Label46", "0", {248, 632, 38, 13});
    Label47 = make.Label(this, "Label47", QString(), {296, 632, 257, 13});
    for (QLabel* l : {Label40, Label41, Label43, Label44, Label45, Label46, Label47}) {
        SetFontColor(l, kRed);
    }
    Label48 = make.Label(this, "Label48", "NULL", {320, 448, 81, 25});
    SetBackgroundColor(Label48, kSilver);
    SetFontColor(Label48, kRed);
    Edit1 = M::Named(new QLineEdit(this), "Edit1", {320, 120, 57, 26});
    Edit1->setFont(bold);
    Edit1->setText("155");  // laid out once, in its font
    Edit1->setEnabled(false);
    Label51 = make.Label(this, "Label51", "mm", {384, 128, 25, 13});
    Label51->setEnabled(false);

    // ---- Middle column: link lamps, calibration and function-test buttons
    Shape1 = M::Shape(this, "Shape1", {320, 40, 17, 17}, kWhite);
    Shape2 = M::Shape(this, "Shape2", {352, 40, 17, 17}, kWhite);
    Shape3 = M::Shape(this, "Shape3", {384, 40, 17, 17}, kWhite);
    BtnCalibStar = M::Button(this, "BtnCalibStar", "CALIBRATION", {320, 64, 90, 25});
    BtnCalibStar->setEnabled(false);
    BtnCalibEnd = M::Button(this, "BtnCalibEnd", QStringLiteral("退出"), {320, 88, 90, 25});
    BtnCalibEnd->setEnabled(false);
    Button9 = M::Button(this, "Button9", "MOTOR TEST", {320, 152, 90, 25});
    Button10 = M::Button(this, "Button10", "MOTOR STOP", {320, 188, 90, 25});
    Button11 = M::Button(this, "Button11", "PULSE", {320, 220, 90, 25});
    Button12 = M::Button(this, "Button12", "FISH", {320, 252, 90, 25});
    Button13 = M::Button(this, "Button13", "EEPROM", {320, 284, 90, 25});
    Button14 = M::Button(this, "Button14", "I/O", {320, 316, 90, 25});
    Button15 = M::Button(this, "Button15", "SW1", {320, 348, 90, 25});
    Button16 = M::Button(this, "Button16", "SW2", {320, 380, 90, 25});
    Button17 = M::Button(this, "Button17", "LAMP", {320, 412, 90, 25});

    // ---- Status panel: white, one row per test with caption, indicator and value
    Panel2 = M::Panel(this, "Panel2", {416, 40, 297, 409}, QFrame::Sunken);
    SetBackgroundColor(Panel2, kWhite);
    QWidget* p2 = Panel2;
    Label14 = make.Label(p2, "Label14", "Input White Card", {64, 8, 153, 25});
    SetFontColor(Label14, kRed);
    Label14->hide();
    // The designed captions read "LED&&SEN Max" and "LED&&SEN Calib", where && stands for one
    // ampersand on screen; the labels show their text literally.
    Label13 = make.Label(p2, "Label13", "LED&SEN Max", {16, 32, 103, 16});
    Label23 = make.Label(p2, "Label23", "LED&SEN Calib", {16, 56, 111, 16});
    Label49 = make.Label(p2, "Label49", "Lens Count", {16, 88, 97, 13});
    Shape16 = M::Shape(p2, "Shape16", {136, 88, 17, 17}, kWhite);
    Label50 = make.Label(p2, "Label50", QString(), {187, 88, 50, 13});
    Label6 = make.Label(p2, "Label6", "Motor RPM", {16, 120, 97, 13});
    Shape4 = M::Shape(p2, "Shape4", {136, 120, 17, 17}, kWhite);
    Label10 = make.Label(p2, "Label10", QString(), {187, 120, 50, 13});
    Label11 = make.Label(p2, "Label11", "ENC", {16, 152, 78, 13});
    Shape5 = M::Shape(p2, "Shape5", {136, 152, 17, 17}, kWhite);
    Label12 = make.Label(p2, "Label12", QString(), {187, 152, 50, 13});
    Label17 = make.Label(p2, "Label17", "Pulse", {16, 184, 40, 16});
    Shape6 = M::Shape(p2, "Shape6", {136, 184, 17, 17}, kWhite);
    Label18 = make.Label(p2, "Label18", QString(), {187, 184, 50, 13});
    for (QLabel* l : {Label50, Label10, Label12, Label18}) {
        SetBackgroundColor(l, kCream);
    }
    Label15 = make.Label(p2, "Label15", "FISH_SEN", {16, 216, 74, 16});
    Shape8 = M::Shape(p2, "Shape8", {136, 216, 17, 17}, kWhite);
    Label19 = make.Label(p2, "Label19", "EEPROM", {16, 248, 86, 13});
    Shape9 = M::Shape(p2, "Shape9", {136, 248, 17, 17}, kWhite);
    Label21 = make.Label(p2, "Label21", "I/O ", {16, 280, 75, 13});
    Shape10 = M::Shape(p2, "Shape10", {136, 280, 17, 17}, kWhite);
    Label25 = make.Label(p2, "Label25", "SW1", {16, 312, 33, 16});
    Label26 = make.Label(p2, "Label26", "SW2", {16, 344, 33, 16});
    Label24 = make.Label(p2, "Label24", "PILOT LAMP", {16, 376, 88, 16});
    Shape7 = M::Shape(p2, "Shape7", {136, 376, 17, 17}, kWhite);
    Shape11 = M::Shape(p2, "Shape11", {176, 376, 17, 17}, kWhite);
    Shape12 = M::Shape(p2, "Shape12", {216, 376, 17, 17}, kWhite);

    // ---- Maintenance panel: bold, usable only in maintenance mode
    Panel3 = M::Panel(this, "Panel3", {720, 40, 281, 409}, QFrame::Raised);
    Panel3->setFont(bold);
    QWidget* p3 = Panel3;
    SpeedButton1 = M::SpeedButton(p3, "SpeedButton1", "Motor +", {16, 16, 73, 22});
    SpeedButton2 = M::SpeedButton(p3, "SpeedButton2", "Motor -", {104, 16, 73, 22});
    SpeedButton3 = M::SpeedButton(p3, "SpeedButton3", "Motor stop", {192, 16, 73, 25});
    Label16 = make.Label(p3, "Label16", "FISH SENSOR", {8, 56, 89, 13});
    Label20 = make.Label(p3, "Label20", QString(), {112, 56, 153, 13});
    SetFontColor(Label20, kWhite);
    SetBackgroundColor(Label20, kBlack);
    Label22 = make.Label(p3, "Label22", "HOOK SENSOR", {8, 88, 81, 13});
    Label27 = make.Label(p3, "Label27", QString(), {112, 88, 153, 13});
    Label28 = make.Label(p3, "Label28", "IN SENSOR", {8, 120, 81, 13});
    Label29 = make.Label(p3, "Label29", QString(), {112, 120, 153, 13});
    Label30 = make.Label(p3, "Label30", "PILOT LAMP", {8, 152, 81, 13});
    cb1 = M::CheckBox(p3, "cb1", QString(), {112, 152, 15, 15});
    Shape14 = M::Shape(p3, "Shape14", {128, 152, 17, 17}, kRed);
    cb2 = M::CheckBox(p3, "cb2", QString(), {168, 152, 15, 15});
    Shape15 = M::Shape(p3, "Shape15", {184, 152, 17, 17}, kLime);
    cb3 = M::CheckBox(p3, "cb3", QString(), {224, 152, 15, 15});
    Shape13 = M::Shape(p3, "Shape13", {240, 152, 17, 17}, kBlue);
    Label31 = make.Label(p3, "Label31", "LED1 LED2 LED3", {8, 184, 105, 13});
    CheckBox1 = M::CheckBox(p3, "CheckBox1", "LED", {112, 184, 49, 17});
    SetFontColor(CheckBox1, kRed);
    Label32 = make.Label(p3, "Label32", "LED4 LED5 LED6", {8, 216, 129, 13});
    CheckBox2 = M::CheckBox(p3, "CheckBox2", "IR", {112, 216, 49, 17});
    SetFontColor(CheckBox2, kRed);
    Label39 = make.Label(p3, "Label39", "SENSOR", {8, 248, 57, 13});
    Label33 = make.Label(p3, "Label33", QString(), {112, 248, 38, 13});
    Label34 = make.Label(p3, "Label34", QString(), {168, 248, 38, 13});
    Label35 = make.Label(p3, "Label35", QString(), {224, 248, 38, 13});
    Label36 = make.Label(p3, "Label36", QString(), {112, 272, 38, 13});
    Label37 = make.Label(p3, "Label37", QString(), {168, 272, 38, 13});
    Label38 = make.Label(p3, "Label38", QString(), {224, 272, 38, 13});
    for (QLabel* l : {Label33, Label34, Label35, Label36, Label37, Label38}) {
        SetBackgroundColor(l, kLight);
    }
    SpeedButton4 = M::SpeedButton(p3, "SpeedButton4", "Cash M +", {16, 304, 73, 22});
    SpeedButton5 = M::SpeedButton(p3, "SpeedButton5", "Cash M -", {104, 304, 73, 22});
    SpeedButton6 = M::SpeedButton(p3, "SpeedButton6", "Cash M stop", {192, 304, 73, 22});
    SpeedButton7 = M::SpeedButton(p3, "SpeedButton7", "Home Position", {88, 336, 97, 22});
    Panel3->setEnabled(false);

    // ---- Country panel (never shown)
    Panel4 = M::Panel(this, "Panel4", {416, 456, 409, 121}, QFrame::Sunken);
    MemoArea = M::Named(new QPlainTextEdit(Panel4), "MemoArea", {8, 8, 297, 105});
    MemoArea->setReadOnly(true);
    MemoArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    BtnCtCode = M::Button(Panel4, "BtnCtCode", "Country", {312, 24, 75, 25});
    Button20 = M::Button(Panel4, "Button20", "Write In", {312, 64, 75, 25});
    Label42 = M::FixedLabel(Panel4, "Label42", QString(), {312, 96, 73, 13});
    SetBackgroundColor(Label42, kCream);
    setTabOrder(Button20, BtnCtCode);
    setTabOrder(BtnCtCode, MemoArea);
    Panel4->hide();

    // ---- Diagnostic controls (never shown)
    Memo1 = M::Named(new QPlainTextEdit(this), "Memo1", {1016, 8, 385, 545});
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->hide();
    CheckBox3 = M::CheckBox(this, "CheckBox3", "Show all Received", {864, 456, 137, 17});
    CheckBox3->hide();
    Button21 = M::Button(this, "Button21", "Clear", {1328, 616, 75, 25});
    Button21->hide();
    SpeedButton10 = M::SpeedButton(this, "SpeedButton10", "Read EEPROM", {1056, 568, 105, 33});
    Button22 = M::Button(this, "Button22", "Relax EEP_READ", {1056, 608, 105, 33});
    SpeedButton8 = M::SpeedButton(this, "SpeedButton8", "Default_DAC", {1176, 568, 105, 30});
    SpeedButton9 = M::SpeedButton(this, "SpeedButton9", "EEPROM OXFF", {1176, 608, 105, 33});
    for (QWidget* w :
         std::initializer_list<QWidget*>{SpeedButton10, Button22, SpeedButton8, SpeedButton9}) {
        w->setEnabled(false);
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
    const auto click = [this](QAbstractButton* b, void (TForm1::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(Button3, &TForm1::Button3Click);
    click(Button4, &TForm1::Button4Click);
    click(BtnExit, &TForm1::BtnExitClick);
    click(Button7, &TForm1::Button7Click);
    click(Button8, &TForm1::Button8Click);
    click(Button18, &TForm1::Button18Click);
    click(Button19, &TForm1::Button19Click);

    click(BtnCalibStar, &TForm1::BtnCalibStarClick);
    click(BtnCalibEnd, &TForm1::BtnCalibEndClick);
    click(Button9, &TForm1::Button9Click);
    click(Button10, &TForm1::Button10Click);
    click(Button11, &TForm1::Button11Click);
    click(Button12, &TForm1::Button12Click);
    click(Button13, &TForm1::Button13Click);
    click(Button14, &TForm1::Button14Click);
    click(Button15, &TForm1::Button15Click);
    click(Button16, &TForm1::Button16Click);
    click(Button17, &TForm1::Button17Click);

    click(SpeedButton1, &TForm1::SpeedButton1Click);
    click(SpeedButton2, &TForm1::SpeedButton2Click);
    click(SpeedButton3, &TForm1::SpeedButton3Click);
    click(SpeedButton4, &TForm1::SpeedButton4Click);
    click(SpeedButton5, &TForm1::SpeedButton5Click);
    click(SpeedButton6, &TForm1::SpeedButton6Click);
    click(SpeedButton7, &TForm1::SpeedButton7Click);
    click(cb1, &TForm1::cb1Click);
    click(cb2, &TForm1::cb1Click);
    click(cb3, &TForm1::cb1Click);
    click(CheckBox1, &TForm1::CheckBox1Click);
    click(CheckBox2, &TForm1::CheckBox2Click);

    click(BtnCtCode, &TForm1::BtnCtCodeClick);
    click(Button20, &TForm1::Button20Click);

    click(Button21, &TForm1::Button21Click);
    click(Button22, &TForm1::Button22Click);
    click(SpeedButton8, &TForm1::SpeedButton8Click);
    click(SpeedButton9, &TForm1::SpeedButton9Click);
    click(SpeedButton10, &TForm1::SpeedButton10Click);

    connect(SetChBar, &QSlider::valueChanged, this, [this] { SetChBarChange(); });
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
