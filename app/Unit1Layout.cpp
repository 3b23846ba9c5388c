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
#include "Palette.h"
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

// Creates the designed controls with their names, captions and designed places.
class TControlMaker {
  public:
    TControlMaker(TLabelFitter* fitter) : fitter_(fitter) {}

    // Names the control and puts it at its designed place.
    template <class W>
    static W* Named(W* w, const char* name) {
        const TDesignRect& d = DesignOf(name);
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(d.left, d.top, d.width, d.height);
        return w;
    }

    // A label that sizes itself to its text.
    QLabel* Label(QWidget* parent, const char* name, const QString& text) {
        QLabel* l = FixedLabel(parent, name, text);
        fitter_->Add(l);
        return l;
    }

    // A label that keeps its designed size whatever its text.
    static QLabel* FixedLabel(QWidget* parent, const char* name, const QString& text) {
        auto* l = Named(new QLabel(parent), name);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setText(text);
        return l;
    }

    static QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
        auto* b = Named(new QPushButton(text, parent), name);
        b->setAutoDefault(false);
        return b;
    }

    // A speed button: a tool button with a text caption that never takes the focus.
    static QToolButton* SpeedButton(QWidget* parent, const char* name, const QString& text) {
        auto* b = Named(new QToolButton(parent), name);
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    }

    // An editable combo box whose selected item index alone counts: typed text equal to an
    // item's text selects that item, any other text selects none and stays in the box, and Enter
    // never adds an item.
    static QComboBox* Selector(QWidget* parent, const char* name, const QStringList& items) {
        auto* box = Named(new QComboBox(parent), name);
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

    static QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text) {
        return Named(new QCheckBox(text, parent), name);
    }

    static TShape* Shape(QWidget* parent, const char* name, QColor fill) {
        return Named(new TShape(parent, fill), name);
    }

    static QFrame* Panel(QWidget* parent, const char* name, QFrame::Shadow bevel) {
        auto* p = Named(new QFrame(parent), name);
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
    BuildStateTables();
    ApplyLinkState(&TLinkEnabledState::atCreation);
    ConnectHandlers();
    FormCreate();
}

// Every control, run-time element and serial component is a Qt child of the window.
TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    using M = TControlMaker;
    M make(new TLabelFitter(this));

    // The window: its designed client area and place; no system menu, minimise, maximise or close
    // button (Exit ends the program); the designed caption until FormCreate replaces it.
    const TDesignRect& window = DesignOf("Form1");
    setObjectName(QString::fromLatin1(window.name));
    setWindowTitle(QStringLiteral("MV62 Calibration"));
    move(window.left, window.top);
    resize(window.width, window.height);
    setFont(StationFont());
    SetBackgroundColor(this, ButtonFaceColor());
    const QFont bold = Bold(font());

    // ---- Top row
    ComboBox1 = M::Selector(this, "ComboBox1",
                            {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"});
    ComboBox1->setFont(bold);
    QStringList speeds;  // the line speeds in the order TComm reads the selector's index
    for (int baud : mv62::kLineSpeeds) {
        speeds << QString::number(baud);
    }
    ComboBox2 = M::Selector(this, "ComboBox2", speeds);
    ComboBox2->setFont(bold);
    Button3 = M::Button(this, "Button3", "Start Protocol");
    Button4 = M::Button(this, "Button4", "End Protocol");
    BtnExit = M::Button(this, "BtnExit", "Exit");
    CheckBox4 = M::CheckBox(this, "CheckBox4", "CashBox");
    CheckBox4->setFont(bold);
    Button7 = M::Button(this, "Button7", "Auto Test");
    Button8 = M::Button(this, "Button8", "Clear");
    Button18 = M::Button(this, "Button18", "Maintain Mode");
    Button19 = M::Button(this, "Button19", "Normal Mode");

    // ---- Left area: the signal display host, the drive adjustment bar and the sensor readings
    Panel1 = M::Panel(this, "Panel1", QFrame::Sunken);
    SetChBar = M::Named(new QSlider(Qt::Horizontal, this), "SetChBar");
    SetChBar->setRange(0, 1023);
    SetChBar->setValue(0);
    SetChBar->setTickPosition(QSlider::TicksBelow);
    SetChBar->setTickInterval(1023);  // marks at both ends only
    SetChBar->setCursor(Qt::PointingHandCursor);
    SetChBar->hide();
    Label9 = make.Label(this, "Label9", "0");
    Label9->hide();
    Label7 = make.Label(this, "Label7", QString());
    SetFontColor(Label7, colours::Blue);
    Label7->hide();
    Label8 = make.Label(this, "Label8", QString());
    SetFontColor(Label8, colours::Blue);
    Label8->hide();
    Label40 = make.Label(this, "Label40", "0");
    Label41 = make.Label(this, "Label41", "0");
    Label43 = make.Label(this, "Label43", "0");
    Label44 = make.Label(this, "Label44", "0");
    Label45 = make.Label(this, "Label45", "0");
    Label46 = make.Label(this, "Label46", "0");
    Label47 = make.Label(this, "Label47", QString());
    for (QLabel* l : {Label40, Label41, Label43, Label44, Label45, Label46, Label47}) {
        SetFontColor(l, colours::Red);
    }
    Label48 = make.Label(this, "Label48", "NULL");
    SetBackgroundColor(Label48, colours::Silver);
    SetFontColor(Label48, colours::Red);
    Edit1 = M::Named(new QLineEdit("155", this), "Edit1");
    Edit1->setFont(bold);
    Edit1->setEnabled(false);
    Label51 = make.Label(this, "Label51", "mm");
    Label51->setEnabled(false);

    // ---- Middle column: link lamps, calibration and function-test buttons
    Shape1 = M::Shape(this, "Shape1", colours::White);
    Shape2 = M::Shape(this, "Shape2", colours::White);
    Shape3 = M::Shape(this, "Shape3", colours::White);
    BtnCalibStar = M::Button(this, "BtnCalibStar", "CALIBRATION");
    BtnCalibEnd = M::Button(this, "BtnCalibEnd", QStringLiteral("退出"));
    Button9 = M::Button(this, "Button9", "MOTOR TEST");
    Button10 = M::Button(this, "Button10", "MOTOR STOP");
    Button11 = M::Button(this, "Button11", "PULSE");
    Button12 = M::Button(this, "Button12", "FISH");
    Button13 = M::Button(this, "Button13", "EEPROM");
    Button14 = M::Button(this, "Button14", "I/O");
    Button15 = M::Button(this, "Button15", "SW1");
    Button16 = M::Button(this, "Button16", "SW2");
    Button17 = M::Button(this, "Button17", "LAMP");

    // ---- Status panel: white, one row per test with caption, indicator and value
    Panel2 = M::Panel(this, "Panel2", QFrame::Sunken);
    SetBackgroundColor(Panel2, colours::White);
    QWidget* p2 = Panel2;
    Label14 = make.Label(p2, "Label14", "Input White Card");
    SetFontColor(Label14, colours::Red);
    Label14->hide();
    // The designed captions read "LED&&SEN Max" and "LED&&SEN Calib", where && stands for one
    // ampersand on screen; the labels show their text literally.
    Label13 = make.Label(p2, "Label13", "LED&SEN Max");
    Label23 = make.Label(p2, "Label23", "LED&SEN Calib");
    Label49 = make.Label(p2, "Label49", "Lens Count");
    Shape16 = M::Shape(p2, "Shape16", colours::White);
    Label50 = make.Label(p2, "Label50", QString());
    Label6 = make.Label(p2, "Label6", "Motor RPM");
    Shape4 = M::Shape(p2, "Shape4", colours::White);
    Label10 = make.Label(p2, "Label10", QString());
    Label11 = make.Label(p2, "Label11", "ENC");
    Shape5 = M::Shape(p2, "Shape5", colours::White);
    Label12 = make.Label(p2, "Label12", QString());
    Label17 = make.Label(p2, "Label17", "Pulse");
    Shape6 = M::Shape(p2, "Shape6", colours::White);
    Label18 = make.Label(p2, "Label18", QString());
    for (QLabel* l : {Label50, Label10, Label12, Label18}) {
        SetBackgroundColor(l, colours::Cream);
    }
    Label15 = make.Label(p2, "Label15", "FISH_SEN");
    Shape8 = M::Shape(p2, "Shape8", colours::White);
    Label19 = make.Label(p2, "Label19", "EEPROM");
    Shape9 = M::Shape(p2, "Shape9", colours::White);
    Label21 = make.Label(p2, "Label21", "I/O ");
    Shape10 = M::Shape(p2, "Shape10", colours::White);
    Label25 = make.Label(p2, "Label25", "SW1");
    Label26 = make.Label(p2, "Label26", "SW2");
    Label24 = make.Label(p2, "Label24", "PILOT LAMP");
    Shape7 = M::Shape(p2, "Shape7", colours::White);
    Shape11 = M::Shape(p2, "Shape11", colours::White);
    Shape12 = M::Shape(p2, "Shape12", colours::White);

    // ---- Maintenance panel: bold, usable only in maintenance mode (disabled at creation)
    Panel3 = M::Panel(this, "Panel3", QFrame::Raised);
    Panel3->setFont(bold);
    QWidget* p3 = Panel3;
    SpeedButton1 = M::SpeedButton(p3, "SpeedButton1", "Motor +");
    SpeedButton2 = M::SpeedButton(p3, "SpeedButton2", "Motor -");
    SpeedButton3 = M::SpeedButton(p3, "SpeedButton3", "Motor stop");
    Label16 = make.Label(p3, "Label16", "FISH SENSOR");
    Label20 = make.Label(p3, "Label20", QString());
    SetFontColor(Label20, colours::White);
    SetBackgroundColor(Label20, colours::Black);
    Label22 = make.Label(p3, "Label22", "HOOK SENSOR");
    Label27 = make.Label(p3, "Label27", QString());
    Label28 = make.Label(p3, "Label28", "IN SENSOR");
    Label29 = make.Label(p3, "Label29", QString());
    Label30 = make.Label(p3, "Label30", "PILOT LAMP");
    cb1 = M::CheckBox(p3, "cb1", QString());
    Shape14 = M::Shape(p3, "Shape14", colours::Red);
    cb2 = M::CheckBox(p3, "cb2", QString());
    Shape15 = M::Shape(p3, "Shape15", colours::Green);
    cb3 = M::CheckBox(p3, "cb3", QString());
    Shape13 = M::Shape(p3, "Shape13", colours::Blue);
    Label31 = make.Label(p3, "Label31", "LED1 LED2 LED3");
    CheckBox1 = M::CheckBox(p3, "CheckBox1", "LED");
    SetFontColor(CheckBox1, colours::Red);
    Label32 = make.Label(p3, "Label32", "LED4 LED5 LED6");
    CheckBox2 = M::CheckBox(p3, "CheckBox2", "IR");
    SetFontColor(CheckBox2, colours::Red);
    Label39 = make.Label(p3, "Label39", "SENSOR");
    Label33 = make.Label(p3, "Label33", QString());
    Label34 = make.Label(p3, "Label34", QString());
    Label35 = make.Label(p3, "Label35", QString());
    Label36 = make.Label(p3, "Label36", QString());
    Label37 = make.Label(p3, "Label37", QString());
    Label38 = make.Label(p3, "Label38", QString());
    for (QLabel* l : {Label33, Label34, Label35, Label36, Label37, Label38}) {
        SetBackgroundColor(l, colours::Light);
    }
    SpeedButton4 = M::SpeedButton(p3, "SpeedButton4", "Cash M +");
    SpeedButton5 = M::SpeedButton(p3, "SpeedButton5", "Cash M -");
    SpeedButton6 = M::SpeedButton(p3, "SpeedButton6", "Cash M stop");
    SpeedButton7 = M::SpeedButton(p3, "SpeedButton7", "Home Position");

    // ---- Country panel (never shown)
    Panel4 = M::Panel(this, "Panel4", QFrame::Sunken);
    MemoArea = M::Named(new QPlainTextEdit(Panel4), "MemoArea");
    MemoArea->setReadOnly(true);
    MemoArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    BtnCtCode = M::Button(Panel4, "BtnCtCode", "Country");
    Button20 = M::Button(Panel4, "Button20", "Write In");
    Label42 = M::FixedLabel(Panel4, "Label42", QString());
    SetBackgroundColor(Label42, colours::Cream);
    setTabOrder(Button20, BtnCtCode);
    setTabOrder(BtnCtCode, MemoArea);
    Panel4->hide();

    // ---- Diagnostic controls (never shown)
    Memo1 = M::Named(new QPlainTextEdit(this), "Memo1");
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->hide();
    CheckBox3 = M::CheckBox(this, "CheckBox3", "Show all Received");
    CheckBox3->hide();
    Button21 = M::Button(this, "Button21", "Clear");
    Button21->hide();
    SpeedButton10 = M::SpeedButton(this, "SpeedButton10", "Read EEPROM");
    Button22 = M::Button(this, "Button22", "Relax EEP_READ");
    SpeedButton8 = M::SpeedButton(this, "SpeedButton8", "Default_DAC");
    SpeedButton9 = M::SpeedButton(this, "SpeedButton9", "EEPROM OXFF");
    for (QWidget* w :
         std::initializer_list<QWidget*>{SpeedButton10, Button22, SpeedButton8, SpeedButton9}) {
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
