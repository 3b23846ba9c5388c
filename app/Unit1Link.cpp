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
#include "Palette.h"
#include "Unit1.h"

namespace {

// A byte as the receive log and the raw dump write it: two hexadecimal digits and a blank.
QString HexPair(std::uint8_t b) {
    return QString::fromStdString(mv62::HexBytes(std::span(&b, 1))) + ' ';
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

void TForm1::BtnExitClick() {
    Observer->ExitPressed();
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
        Observer->LinkOpened(comm->PortName(), comm->DevicePath(), comm->BaudRate());
        comm->SetTap(Observer);
        SendCommand(mv62::cmd::StartLink);
        LinkOpen = true;
    }
    if (LinkOpen) {
        ApplyLinkState(&TLinkEnabledState::afterStart);
    }
}

void TForm1::Button4Click() {
    SendCommand(mv62::cmd::Stop);
    if (Comm != nullptr) {
        Comm->SetPortOpen(false);
    }
    SetLinkLamps(colours::White);
    ApplyLinkState(&TLinkEnabledState::afterEnd);
    setWindowTitle(CaptionText);
    ClearStatusDisplay();
    LinkOpen = false;
    Observer->EndProtocolPressed();
}

void TForm1::ClearStatusDisplay() {
    for (QLabel* l :
         {Label6, Label11, Label17, Label25, Label26, Label15, Label19, Label21, Label24}) {
        SetFontColor(l, colours::Black);
    }
    for (TShape* s : {Shape4, Shape5, Shape6, Shape7, Shape8, Shape9, Shape10, Shape11, Shape12}) {
        s->SetBrushColor(colours::White);
    }
    for (QLabel* l : {Label13, Label23, Label24}) {
        SetFontColor(l, colours::Black);
    }
    for (int i = 0; i < mv62::kChannels; ++i) {
        MaxLamp[i]->SetBrushColor(colours::White);
        CalibLamp[i]->SetBrushColor(colours::White);
    }
    GreySwitchDigits(Sw1Digit);
    GreySwitchDigits(Sw2Digit);
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

    if (ReceiveMode == kRawDumpMode) {
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
    mv62::FrameReading reading;
    bool sensorFrame = false;
    if (Assembler.Feed(input, frame)) {
        reading = mv62::ReadFrame(frame, {CheckBox4->isChecked(), SensorOffset, CalibMode});
        Observer->FrameApplied(frame, reading);
        ApplyReply(reading, sensorFrame);
    }
    if (sensorFrame) {
        ShowSensorFrame(reading);
    }
    SingleTest.ClearAll();
}

void TForm1::CommDisconnected(TComm* sender) {
    Observer->PortLost();
    ShowError(QString("The serial port %1 (%2) was disconnected. Reconnect the device, then press "
                      "End Protocol and Start Protocol again.")
                  .arg(QString::fromStdString(sender->PortName()),
                       QString::fromStdString(sender->DevicePath())));
}
