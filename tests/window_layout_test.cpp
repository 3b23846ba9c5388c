// The main window as created at start-up: every designed control's place, caption and state, the
// fonts and colours, the signal display after FormCreate, the binding of events to handlers, and
// the application's last-resort error display.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <set>
#include <stdexcept>

#include "Controls.h"
#include "Image32.h"
#include "StationApplication.h"
#include "Unit1.h"
#include "WindowDesign.h"

namespace {

// What the technician finds on each designed control after start-up; its place comes from the
// window's design table.
struct DesignedControl {
    const char* name;
    const char* caption;  // nullptr: the control has no caption
    bool enabled;         // its own enabled state
    bool visible;         // not hidden
};

constexpr bool on = true, off = false, shown = true, hidden = false;

const DesignedControl kDesign[] = {
    {"ComboBox1", "COM1", on, shown},
    {"ComboBox2", "9600", on, shown},
    {"Button3", "Start Protocol", on, shown},
    {"Button4", "End Protocol", off, shown},
    {"BtnExit", "Exit", on, shown},
    {"CheckBox4", "CashBox", on, shown},
    {"Button7", "Auto Test", off, shown},
    {"Button8", "Clear", on, shown},
    {"Button18", "Maintain Mode", off, shown},
    {"Button19", "Normal Mode", off, shown},
    {"Panel1", nullptr, on, shown},
    {"SetChBar", nullptr, on, hidden},
    {"Label9", "0", on, hidden},
    {"Label7", "", on, hidden},
    {"Label8", "", on, hidden},
    {"Label40", "0", on, shown},
    {"Label41", "0", on, shown},
    {"Label43", "0", on, shown},
    {"Label44", "0", on, shown},
    {"Label45", "0", on, shown},
    {"Label46", "0", on, shown},
    {"Label47", "", on, shown},
    {"Label48", "NULL", on, shown},
    {"Edit1", "155", off, shown},
    {"Label51", "mm", off, shown},
    {"Shape1", nullptr, on, shown},
    {"Shape2", nullptr, on, shown},
    {"Shape3", nullptr, on, shown},
    {"BtnCalibStar", "CALIBRATION", off, shown},
    {"BtnCalibEnd", "退出", off, shown},
    {"Button9", "MOTOR TEST", on, shown},
    {"Button10", "MOTOR STOP", on, shown},
    {"Button11", "PULSE", on, shown},
    {"Button12", "FISH", on, shown},
    {"Button13", "EEPROM", on, shown},
    {"Button14", "I/O", on, shown},
    {"Button15", "SW1", on, shown},
    {"Button16", "SW2", on, shown},
    {"Button17", "LAMP", on, shown},
    {"Panel2", nullptr, on, shown},
    {"Label14", "Input White Card", on, hidden},
    {"Label13", "LED&SEN Max", on, shown},
    {"Label23", "LED&SEN Calib", on, shown},
    {"Label49", "Lens Count", on, shown},
    {"Shape16", nullptr, on, shown},
    {"Label50", "", on, shown},
    {"Label6", "Motor RPM", on, shown},
    {"Shape4", nullptr, on, shown},
    {"Label10", "", on, shown},
    {"Label11", "ENC", on, shown},
    {"Shape5", nullptr, on, shown},
    {"Label12", "", on, shown},
    {"Label17", "Pulse", on, shown},
    {"Shape6", nullptr, on, shown},
    {"Label18", "", on, shown},
    {"Label15", "FISH_SEN", on, shown},
    {"Shape8", nullptr, on, shown},
    {"Label19", "EEPROM", on, shown},
    {"Shape9", nullptr, on, shown},
    {"Label21", "I/O ", on, shown},
    {"Shape10", nullptr, on, shown},
    {"Label25", "SW1", on, shown},
    {"Label26", "SW2", on, shown},
    {"Label24", "PILOT LAMP", on, shown},
    {"Shape7", nullptr, on, shown},
    {"Shape11", nullptr, on, shown},
    {"Shape12", nullptr, on, shown},
    {"Panel3", nullptr, off, shown},
    {"SpeedButton1", "Motor +", on, shown},
    {"SpeedButton2", "Motor -", on, shown},
    {"SpeedButton3", "Motor stop", on, shown},
    {"Label16", "FISH SENSOR", on, shown},
    {"Label20", "", on, shown},
    {"Label22", "HOOK SENSOR", on, shown},
    {"Label27", "", on, shown},
    {"Label28", "IN SENSOR", on, shown},
    {"Label29", "", on, shown},
    {"Label30", "PILOT LAMP", on, shown},
    {"cb1", "", on, shown},
    {"cb2", "", on, shown},
    {"cb3", "", on, shown},
    {"Shape14", nullptr, on, shown},
    {"Shape15", nullptr, on, shown},
    {"Shape13", nullptr, on, shown},
    {"Label31", "LED1 LED2 LED3", on, shown},
    {"CheckBox1", "LED", on, shown},
    {"Label32", "LED4 LED5 LED6", on, shown},
    {"CheckBox2", "IR", on, shown},
    {"Label39", "SENSOR", on, shown},
    {"Label33", "", on, shown},
    {"Label34", "", on, shown},
    {"Label35", "", on, shown},
    {"Label36", "", on, shown},
    {"Label37", "", on, shown},
    {"Label38", "", on, shown},
    {"SpeedButton4", "Cash M +", on, shown},
    {"SpeedButton5", "Cash M -", on, shown},
    {"SpeedButton6", "Cash M stop", on, shown},
    {"SpeedButton7", "Home Position", on, shown},
    {"Panel4", nullptr, on, hidden},
    {"MemoArea", nullptr, on, shown},
    {"BtnCtCode", "Country", on, shown},
    {"Button20", "Write In", on, shown},
    {"Label42", "", on, shown},
    {"Memo1", nullptr, on, hidden},
    {"CheckBox3", "Show all Received", on, hidden},
    {"Button21", "Clear", on, hidden},
    {"SpeedButton10", "Read EEPROM", off, hidden},
    {"Button22", "Relax EEP_READ", off, hidden},
    {"SpeedButton8", "Default_DAC", off, hidden},
    {"SpeedButton9", "EEPROM OXFF", off, hidden},
};

QString CaptionOf(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        return c->currentText();
    }
    return QString();
}

// Width the caption needs on screen, frame and indicator included.
int NeededWidth(const QWidget* w) {
    const int text = QFontMetrics(w->font()).horizontalAdvance(CaptionOf(w));
    if (qobject_cast<const QCheckBox*>(w) != nullptr) {
        const QStyle* style = w->style();
        const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w);
        if (text == 0) {
            return indicator;
        }
        return indicator + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w) + text;
    }
    if (qobject_cast<const QAbstractButton*>(w) != nullptr) {
        return text + 4;  // a pixel of bevel and a pixel of space on each side
    }
    return text;
}

class WindowLayout : public ::testing::Test {
  protected:
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();

    template <class W = QWidget>
    W* Find(const char* name) const {
        W* w = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(WindowLayout, CaptionSizeAndBorderIcons) {
    EXPECT_EQ(CaptionText, QString("MV62 Calibration v2.68c "));
    EXPECT_EQ(form->windowTitle(), QString("MV62 Calibration v2.68c "));
    EXPECT_EQ(form->size(), QSize(1050, 707));
    EXPECT_EQ(form->pos(), QPoint(361, 154));
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::Window));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_EQ(BackgroundColor(form.get()), ButtonFaceColor());
}

TEST_F(WindowLayout, EveryDesignedControlInPlaceWithItsCaptionAndState) {
    // The design table and the captions here name the same controls.
    std::set<std::string> placed, described;
    for (const TDesignRect& d : WindowDesign().subspan(1)) {
        placed.insert(d.name);
    }
    for (const DesignedControl& c : kDesign) {
        described.insert(c.name);
    }
    EXPECT_EQ(placed, described);
    EXPECT_EQ(std::string(WindowDesign()[0].name), "Form1");

    for (const DesignedControl& c : kDesign) {
        SCOPED_TRACE(c.name);
        QWidget* w = Find(c.name);
        if (w == nullptr || !placed.count(c.name)) {
            continue;
        }
        const TDesignRect& d = DesignOf(c.name);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString(d.parent));
        EXPECT_EQ(w->pos(), QPoint(d.left, d.top));
        EXPECT_EQ(w->height(), d.height);
        if (c.caption != nullptr) {
            EXPECT_EQ(CaptionOf(w), QString::fromUtf8(c.caption));
        }
        EXPECT_EQ(!w->testAttribute(Qt::WA_ForceDisabled), c.enabled);
        EXPECT_EQ(!w->isHidden(), c.visible);
        // The designed width, or wider where a label's text needs more; nothing is clipped.
        EXPECT_GE(w->width(), d.width);
        EXPECT_GE(w->width(), NeededWidth(w)) << CaptionOf(w).toStdString();
        if (qobject_cast<QLabel*>(w) == nullptr) {
            EXPECT_EQ(w->width(), d.width);
        }
    }
}

TEST_F(WindowLayout, SelectorsControlsPanelsAndTimers) {
    auto* ports = Find<QComboBox>("ComboBox1");
    auto* speeds = Find<QComboBox>("ComboBox2");
    ASSERT_TRUE(ports && speeds);
    QStringList portItems, speedItems;
    for (int i = 0; i < ports->count(); ++i) {
        portItems << ports->itemText(i);
    }
    for (int i = 0; i < speeds->count(); ++i) {
        speedItems << speeds->itemText(i);
    }
    EXPECT_EQ(portItems,
              QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(speedItems, QStringList({"9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(speeds->currentIndex(), 0);
    EXPECT_TRUE(ports->isEditable());
    EXPECT_TRUE(speeds->isEditable());

    // The maintenance panel's controls are unusable while the panel is disabled.
    for (QWidget* w : form->Panel3->findChildren<QWidget*>()) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_FALSE(form->CheckBox4->isChecked());
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->MemoArea->isReadOnly());
    EXPECT_EQ(form->MemoArea->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->Panel1->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form->Panel2->frameShadow(), QFrame::Sunken);

    EXPECT_EQ(form->SetChBar->minimum(), 0);
    EXPECT_EQ(form->SetChBar->maximum(), 1023);
    EXPECT_EQ(form->SetChBar->value(), 0);
    EXPECT_EQ(form->SetChBar->tickPosition(), QSlider::TicksBelow);

    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_EQ(form->Timer2->interval(), 1000);
    EXPECT_EQ(form->Timer3->interval(), 4000);
    for (QTimer* t : {form->Timer1, form->Timer2, form->Timer3}) {
        EXPECT_FALSE(t->isActive());
        EXPECT_EQ(t->timerType(), Qt::PreciseTimer);
    }
}

TEST_F(WindowLayout, FontsAndColours) {
    const QFont station = StationFont();
    EXPECT_EQ(form->font().family(), station.family());
    EXPECT_EQ(form->font().pixelSize(), station.pixelSize());
    for (QWidget* w : std::initializer_list<QWidget*>{
             form->ComboBox1, form->ComboBox2, form->CheckBox4, form->Edit1, form->Panel3,
             form->SpeedButton1, form->SpeedButton7, form->Label16, form->Label39, form->CheckBox1,
             form->Label33}) {
        EXPECT_TRUE(w->font().bold()) << w->objectName().toStdString();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form->Button3, form->Button9, form->Label6,
                                                      form->Label40, form->Label48}) {
        EXPECT_FALSE(w->font().bold()) << w->objectName().toStdString();
    }

    const QColor red(255, 0, 0), blue(0, 0, 255), cream(0xFF, 0xFB, 0xF0);
    for (QWidget* w :
         std::initializer_list<QWidget*>{form->Label40, form->Label41, form->Label43, form->Label44,
                                         form->Label45, form->Label46, form->Label47, form->Label48,
                                         form->Label14, form->CheckBox1, form->CheckBox2}) {
        EXPECT_EQ(FontColor(w), red) << w->objectName().toStdString();
    }
    EXPECT_EQ(FontColor(form->Label7), blue);
    EXPECT_EQ(FontColor(form->Label8), blue);
    EXPECT_EQ(FontColor(form->Label6), WindowTextColor());
    EXPECT_EQ(BackgroundColor(form->Label48), QColor(0xC0, 0xC0, 0xC0));
    for (QWidget* w : std::initializer_list<QWidget*>{form->Label10, form->Label12, form->Label18,
                                                      form->Label50, form->Label42}) {
        EXPECT_EQ(BackgroundColor(w), cream) << w->objectName().toStdString();
        EXPECT_TRUE(w->autoFillBackground()) << w->objectName().toStdString();
    }
    EXPECT_EQ(BackgroundColor(form->Panel2), QColor(Qt::white));
    EXPECT_EQ(FontColor(form->Label20), QColor(Qt::white));
    EXPECT_EQ(BackgroundColor(form->Label20), QColor(Qt::black));
    EXPECT_EQ(form->Shape14->BrushColor(), red);
    EXPECT_EQ(form->Shape15->BrushColor(), QColor(0, 255, 0));
    EXPECT_EQ(form->Shape13->BrushColor(), blue);
    for (TShape* s : {form->Shape1, form->Shape4, form->Shape7, form->Shape12, form->Shape16}) {
        EXPECT_EQ(s->BrushColor(), QColor(Qt::white)) << s->objectName().toStdString();
    }
}

TEST_F(WindowLayout, SignalDisplayAfterCreation) {
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(form->SenImage[i], nullptr);
        EXPECT_EQ(form->SenImage[i]->parentWidget(), form->Panel1);
        EXPECT_EQ(form->SenImage[i]->geometry(), QRect(51 * i, 0, 50, 512));
        EXPECT_FALSE(form->SenImage[i]->isHidden());
        EXPECT_EQ(form->MaxLamp[i]->parentWidget(), form->Panel2);
        EXPECT_EQ(form->CalibLamp[i]->parentWidget(), form->Panel2);
    }
    for (int l = 0; l < 8; ++l) {
        SCOPED_TRACE(l);
        EXPECT_FALSE(form->DriveLabel[l]->isHidden());
        EXPECT_FALSE(form->DriveRefLabel[l]->isHidden());
        EXPECT_EQ(form->DriveLabel[l]->text(), "0");
        EXPECT_EQ(form->DriveRefLabel[l]->text(), "0");
        EXPECT_TRUE(form->ChRadio[l]->isHidden());
    }
    EXPECT_TRUE(form->SetChBar->isHidden());
    EXPECT_TRUE(form->Label7->isHidden());
    EXPECT_TRUE(form->Label8->isHidden());
    EXPECT_TRUE(form->Label9->isHidden());

    // On screen: no channel button, no adjustment bar, no country panel, no diagnostics.
    form->show();
    for (QRadioButton* r : form->ChRadio) {
        EXPECT_FALSE(r->isVisible());
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             form->SetChBar, form->Label9, form->Panel4, form->MemoArea, form->Memo1,
             form->CheckBox3, form->Button21, form->Button22, form->SpeedButton8,
             form->SpeedButton9, form->SpeedButton10, form->Label14}) {
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    }
    EXPECT_TRUE(form->DriveLabel[0]->isVisible());
    EXPECT_TRUE(form->Panel2->isVisible());
}

TEST_F(WindowLayout, ValueLabelsGrowToTheirTextAndNeverClip) {
    form->show();
    QApplication::processEvents();
    form->Label12->setText("800 gap/sec");
    form->Label20->setText("Open_Cover");
    form->DriveLabel[3]->setText("1023");
    QApplication::processEvents();
    EXPECT_GE(form->Label12->width(), form->Label12->sizeHint().width());
    EXPECT_GT(form->Label12->width(), 50);
    EXPECT_EQ(form->Label12->pos(), QPoint(187, 152));
    EXPECT_EQ(form->Label12->height(), 13);
    EXPECT_EQ(form->Label20->width(), 153);  // fits as designed
    EXPECT_GE(form->DriveLabel[3]->width(), form->DriveLabel[3]->sizeHint().width());

    form->Label12->setText(QString());
    QApplication::processEvents();
    EXPECT_EQ(form->Label12->width(), 50);  // back to the designed size
}

TEST_F(WindowLayout, EventsReachTheirHandlers) {
    // The channel buttons run their handler on any mouse-button press, even hidden.
    form->SetChBar->setValue(1023);
    EXPECT_EQ(form->Label9->text(), "1023");
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        form->DriveLabel[7]->setText("0");
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(form->ChRadio[7], &press);
        EXPECT_EQ(form->DriveLabel[7]->text(), "1023");
    }
    EXPECT_EQ(form->DriveLabel[6]->text(), "0");

    // Exit closes the window.
    form->show();
    ASSERT_TRUE(form->isVisible());
    form->BtnExit->click();
    EXPECT_FALSE(form->isVisible());
}

// An object whose event handling fails the way a faulty handler would.
class ThrowingObject : public QObject {
  public:
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            throw std::runtime_error("port vanished");
        }
        if (e->type() == QEvent::User + 1) {
            throw 42;
        }
        if (e->type() == QEvent::User + 2) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

TEST(StationApplication, ErrorsEscapingHandlersAreShownAndTheLoopGoesOn) {
    auto* app = qobject_cast<TStationApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    QStringList shown;
    const auto previous = app->ShowException;
    app->ShowException = [&](const QString& m) { shown << m; };

    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 2)));
    QCoreApplication::sendPostedEvents(&target);

    EXPECT_EQ(shown, QStringList({"port vanished", ""}));
    EXPECT_EQ(target.handled, 1);
    app->ShowException = previous;
}

}  // namespace
