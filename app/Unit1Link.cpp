// Opening and closing the protocol link, receiving, and the status display reset.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "Controls.h"
#include "HostCommands.h"
#include "Unit1.h"

namespace {

QString HexPair(std::uint8_t b) {
    return QString("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

void TForm1::SendBytes(const std::vector<std::uint8_t>& bytes) {
    if (Comm == nullptr) {
        return;  // no serial component before the first Start Protocol
    }
    for (std::uint8_t b : bytes) {
        Comm->OutputChar(b);
    }
}

void TForm1::SendCommand(std::uint8_t code) {
    SendBytes(mv62::PlainCommand(code));
}

void TForm1::BtnExitClick() {
    close();
}

void TForm1::Button3Click() {
    auto* comm =
        new TComm(this, ComboBox1->currentIndex(), ComboBox2->currentIndex(), SerialDeviceFactory);
    CreatedComms.push_back(comm);
    Comm = comm;
    if (!comm->PortOpen()) {
        comm->SetPortOpen(true);
        if (!comm->PortOpen()) {
            // The link stays closed: nothing is sent and every control keeps its state.
            ShowError(QString::fromStdString(comm->OpenErrorText()));
            return;
        }
        comm->SetRThreshold(1);
        comm->ProcessMessages = [this] { Pump(); };
        comm->OnReceiveData = [this](TComm* sender) { CommReceiveData(sender); };
        comm->OnDisconnect = [this](TComm* sender) { CommDisconnected(sender); };
        SendCommand(mv62::cmd::StartLink);
        LinkOpen = true;
    }
    if (LinkOpen) {
        Button3->setEnabled(false);
        Button4->setEnabled(true);
        BtnCalibStar->setEnabled(true);
        BtnCalibEnd->setEnabled(false);
        Button7->setEnabled(true);
        Button18->setEnabled(true);
        Button19->setEnabled(false);
        Panel3->setEnabled(false);
        Button22->setEnabled(true);
        SpeedButton10->setEnabled(true);
        SpeedButton8->setEnabled(true);
        SpeedButton9->setEnabled(true);
    }
}

void TForm1::Button4Click() {
    SendCommand(mv62::cmd::Stop);
    if (Comm != nullptr) {
        Comm->SetPortOpen(false);
    }
    for (TShape* s : {Shape1, Shape2, Shape3}) {
        s->SetBrushColor(Qt::white);
    }
    Button3->setEnabled(true);
    Button4->setEnabled(false);
    BtnCalibStar->setEnabled(false);
    BtnCalibEnd->setEnabled(false);
    Button7->setEnabled(false);
    Button18->setEnabled(false);
    Button19->setEnabled(false);
    Panel3->setEnabled(false);
    Button22->setEnabled(false);
    SpeedButton10->setEnabled(false);
    SpeedButton8->setEnabled(false);
    SpeedButton9->setEnabled(false);
    setWindowTitle(CaptionText);
    ClearStatusDisplay();
    LinkOpen = false;
}

void TForm1::Button8Click() {
    ClearStatusDisplay();
}

void TForm1::ClearStatusDisplay() {
    for (QLabel* l :
         {Label6, Label11, Label17, Label25, Label26, Label15, Label19, Label21, Label24}) {
        SetFontColor(l, Qt::black);
    }
    for (TShape* s : {Shape4, Shape5, Shape6, Shape7, Shape8, Shape9, Shape10, Shape11, Shape12}) {
        s->SetBrushColor(Qt::white);
    }
    for (QLabel* l : {Label13, Label23, Label24}) {
        SetFontColor(l, Qt::black);
    }
    for (int i = 0; i < 6; ++i) {
        MaxLamp[i]->SetBrushColor(Qt::white);
        CalibLamp[i]->SetBrushColor(Qt::white);
    }
    for (QLabel* l : Sw1Digit) {
        SetBackgroundColor(l, QColor(128, 128, 128));
    }
    for (QLabel* l : Sw2Digit) {
        SetBackgroundColor(l, QColor(128, 128, 128));
    }
    Label10->clear();
    Label12->clear();
    Label18->clear();
    Label14->hide();
}

void TForm1::CommReceiveData(TComm* /*sender*/) {
    const std::vector<std::uint8_t> input = Comm->ReadInputByte();

    if (CheckBox3->isChecked()) {
        QString line = "RX: ";
        for (std::uint8_t b : input) {
            line += HexPair(b);
        }
        Memo1->appendPlainText(line);
        Memo1->appendPlainText(QString());
    }

    if (ReceiveMode == 22) {
        for (std::uint8_t b : input) {
            DumpLine += HexPair(b);
            if (++DumpCount == 16) {
                Memo1->appendPlainText(DumpLine);
                DumpCount = 0;
                DumpLine.clear();
            }
        }
        return;
    }

    // Each event applies its own copy of the latest frame: handlers may pump, and a nested
    // receive event can then run and complete further frames.
    mv62::DeviceFrame frame;
    bool sensorFrame = false;
    if (Assembler.Feed(input, frame)) {
        ApplyReply(frame, sensorFrame);
    }
    if (sensorFrame) {
        ShowSensorFrame(frame);
    }
    SingleTest.ClearAll();
}

void TForm1::CommDisconnected(TComm* sender) {
    ShowError(QString("The serial port %1 (%2) was disconnected. Reconnect the device, then press "
                      "End Protocol and Start Protocol again.")
                  .arg(QString::fromStdString(sender->PortName()),
                       QString::fromStdString(sender->DevicePath())));
}
