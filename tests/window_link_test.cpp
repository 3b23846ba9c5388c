// Start Protocol, End Protocol and Clear on a fake line.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cerrno>

#include "Controls.h"
#include "PortNames.h"
#include "StationHarness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Enabled state of the controls the link switches, in table order.
std::vector<bool> LinkControls(TForm1& f) {
    std::vector<bool> s;
    for (QWidget* w : std::initializer_list<QWidget*>{
             f.Button3, f.Button4, f.BtnCalibStar, f.BtnCalibEnd, f.Button7, f.Button18, f.Button19,
             f.Panel3, f.Button22, f.SpeedButton10, f.SpeedButton8, f.SpeedButton9}) {
        s.push_back(w->isEnabled());
    }
    return s;
}
const std::vector<bool> kClosed = {true,  false, false, false, false, false,
                                   false, false, false, false, false, false};
const std::vector<bool> kOpen = {false, true,  true, false, true, true,
                                 false, false, true, true,  true, true};

TEST(Link, StartAndEndProtocolSwitchTheControlsAndFrameTheLink) {
    StationHarness h;
    TForm1& f = h.form();
    EXPECT_EQ(LinkControls(f), kClosed);
    f.ComboBox1->setCurrentIndex(2);
    f.ComboBox2->setCurrentIndex(2);
    h.StartLink();
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_TRUE(f.LinkOpen);
    EXPECT_EQ(f.Comm->PortName(), "COM3");
    EXPECT_EQ(f.Comm->BaudRate(), 38400);
    EXPECT_EQ(f.Comm->RThreshold(), 1);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x00}));
    EXPECT_EQ(LinkControls(f), kOpen);

    // A selection changed while the link is open counts only at the next start.
    f.ComboBox2->setCurrentIndex(4);
    EXPECT_EQ(f.Comm->BaudRate(), 38400);

    f.Shape1->SetBrushColor(Qt::yellow);
    SetFontColor(f.Label6, Qt::blue);
    f.Label14->show();
    f.setWindowTitle("MV62 Calibration v2.68c  - DEVICE");
    f.Button4Click();
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0xED}));
    const FakeSerialLine& line = *h.lines[0];
    EXPECT_EQ(line.log.back(), "close");  // the end command went out before the port closed
    EXPECT_FALSE(f.LinkOpen);
    EXPECT_EQ(LinkControls(f), kClosed);
    EXPECT_EQ(f.Shape1->BrushColor(), QColor(Qt::white));
    EXPECT_EQ(f.windowTitle(), CaptionText);
    EXPECT_EQ(FontColor(f.Label6), QColor(Qt::black));
    EXPECT_FALSE(f.Label14->isVisibleTo(&f));

    // A second start creates a second component; only it is used from then on.
    h.StartLink();
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(f.CreatedComms.size(), 2u);
    EXPECT_EQ(f.Comm, f.CreatedComms.back());
    EXPECT_EQ(f.Comm->BaudRate(), 115200);
    f.Button9Click();
    EXPECT_EQ(h.lines[1]->Written(), (Bytes{0x55, 0xAA, 0x00, 0x55, 0xAA, 0x07}));
    EXPECT_EQ(h.lines[0]->Written(), (Bytes{0x55, 0xAA, 0x00, 0x55, 0xAA, 0xED}));
}

// Replaces the text of an editable combo box by typing, as the technician does.
void TypeInto(QComboBox* box, const QString& text) {
    box->lineEdit()->selectAll();
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(box->lineEdit(), text);
}

TEST(Link, OnlyTheSelectedItemCountsNotTypedText) {
    StationHarness h;
    TForm1& f = h.form();
    f.ComboBox1->setCurrentIndex(2);  // COM3
    f.ComboBox2->setCurrentIndex(2);  // 38400

    // Text that names no item selects none and stays in the box; Enter adds no item.
    TypeInto(f.ComboBox1, "COM9");
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    QTest::keyClick(f.ComboBox1->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox1->currentText(), "COM9");
    EXPECT_EQ(f.ComboBox1->count(), 8);
    TypeInto(f.ComboBox2, "12345");
    EXPECT_EQ(f.ComboBox2->currentIndex(), -1);

    // No item selected: the link opens COM1 and the unset speed is refused by the port.
    h.StartLink();
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0]->openedPaths, std::vector<std::string>{SerialDevicePathFor(1)});
    ASSERT_FALSE(h.lines[0]->settingsRequests.empty());
    EXPECT_EQ(h.lines[0]->settingsRequests.back().baudRate, 0);
    EXPECT_FALSE(h.lines[0]->settings.has_value());
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x00}));
    f.Button4Click();

    // Text equal to an item's text selects that item; the match is exact.
    TypeInto(f.ComboBox1, "COM5");
    EXPECT_EQ(f.ComboBox1->currentIndex(), 4);
    TypeInto(f.ComboBox1, "com5");
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox1->currentText(), "com5");
    f.ComboBox1->lineEdit()->editingFinished();  // leaving the box keeps the rule
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    TypeInto(f.ComboBox2, "115200");
    EXPECT_EQ(f.ComboBox2->currentIndex(), 4);
}

TEST(Link, ClearResetsTheStatusDisplayWithTheLinkClosed) {
    StationHarness h;
    TForm1& f = h.form();
    f.Shape4->SetBrushColor(Qt::red);
    f.MaxLamp[3]->SetBrushColor(Qt::green);
    SetBackgroundColor(f.Sw2Digit[1], Qt::black);
    f.Label10->setText("4320 rpm");
    SetFontColor(f.Label24, Qt::blue);
    f.Button8Click();
    EXPECT_EQ(f.Shape4->BrushColor(), QColor(Qt::white));
    EXPECT_EQ(f.MaxLamp[3]->BrushColor(), QColor(Qt::white));
    EXPECT_EQ(BackgroundColor(f.Sw2Digit[1]), QColor(128, 128, 128));
    EXPECT_EQ(f.Label10->text(), "");
    EXPECT_EQ(FontColor(f.Label24), QColor(Qt::black));
    EXPECT_TRUE(h.TakeSent().empty());
}

TEST(Link, APortThatCannotBeOpenedIsReportedAndTheLinkStaysClosed) {
    StationHarness h;
    TForm1& f = h.form();
    h.nextOpenErrno = EACCES;
    h.StartLink();
    ASSERT_EQ(h.errors.size(), 1);
    EXPECT_TRUE(h.errors[0].contains("COM1"));
    EXPECT_TRUE(h.errors[0].contains("dialout"));
    EXPECT_FALSE(f.LinkOpen);
    EXPECT_EQ(LinkControls(f), kClosed);
    EXPECT_TRUE(h.TakeSent().empty());
    f.Button9Click();
    EXPECT_TRUE(h.TakeSent().empty());

    h.nextOpenErrno = ENOENT;
    h.StartLink();
    ASSERT_EQ(h.errors.size(), 2);
    EXPECT_FALSE(h.errors[1].contains("dialout"));
    h.nextOpenErrno = 0;
    h.StartLink();
    EXPECT_TRUE(f.LinkOpen);
    EXPECT_EQ(h.errors.size(), 2);
}

TEST(Link, ADeviceThatDisappearsIsReportedOnce) {
    StationHarness h;
    TForm1& f = h.form();
    h.StartLink();
    h.lines.back()->Disconnect();
    for (int i = 0; i < 20; ++i) {
        h.Tick();
    }
    ASSERT_EQ(h.errors.size(), 1);
    EXPECT_TRUE(h.errors[0].contains("disconnected"));
    EXPECT_TRUE(f.LinkOpen);  // left to the technician: End Protocol, then Start again
    f.Button4Click();
    h.StartLink();
    h.Receive(DeviceFrameBytes(0x24, {0}));
    EXPECT_EQ(f.Label42->text(), "ok");
}

}  // namespace
