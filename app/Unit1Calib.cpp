// The optical calibration stage and the manual drive adjustment of single channels.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "Canvas.h"
#include "Controls.h"
#include "HostCommands.h"
#include "Image32.h"
#include "Unit1.h"

using namespace mv62;

namespace {

// Clears the corrected-value and then the peak-value layer of every column.
void ClearBars(TSignalDisplayElements& e) {
    for (int i = 0; i < 6; ++i) {
        e.SenCalibLayer[i]->Bitmap().Clear(0x00000000);
        e.SenMaxLayer[i]->Bitmap().Clear(0x00000000);
    }
}

}  // namespace

void TForm1::ClearSignalBars() {
    ClearBars(*this);
}

void TForm1::BtnCalibStarClick() {
    if (!LinkOpen) {
        return;
    }
    if (Observer != nullptr) {
        Observer->CalibrationPressed();
    }
    if (BarsDrawn) {
        ClearSignalBars();
        for (QLabel* l : {Label40, Label41, Label43, Label44, Label45, Label46}) {
            l->setText("0");
            SetFontColor(l, QColor(255, 0, 0));
        }
    } else {
        BarsDrawn = true;  // the very first start has nothing to clear
    }
    SendCommand(cmd::SensorRun);
    BtnCalibStar->setEnabled(false);
    BtnCalibEnd->setEnabled(true);
    for (TShape* s : {Shape1, Shape2, Shape3}) {
        s->SetBrushColor(QColor(255, 0, 0));
    }
    CalibMode = true;
    Button7->setEnabled(false);
    SensorRunEnded = false;
    Button18->setEnabled(false);
    Button19->setEnabled(false);
    Panel3->setEnabled(false);
    BtnCalibEnd->setEnabled(true);
    Label48->setText("NULL");
}

void TForm1::BtnCalibEndClick() {
    if (!LinkOpen) {
        return;
    }
    if (Observer != nullptr) {
        Observer->CalibrationExitPressed();
    }
    ClearSignalBars();
    SendCommand(cmd::Stop);
    BtnCalibStar->setEnabled(true);
    BtnCalibEnd->setEnabled(false);
    for (TShape* s : {Shape1, Shape2, Shape3}) {
        s->SetBrushColor(QColor(255, 255, 0));
    }
    Button7->setEnabled(true);
    Button18->setEnabled(true);
    Label50->setText(QString());
}

void TForm1::SetChBarChange() {
    Label9->setText(QString::number(SetChBar->value()));
}

void TForm1::ChRadioMouseDown(int channel) {
    const int value = SetChBar->value();
    SendChannelDac(kDriveChannelCodes[channel], value);
    SetCaption(DriveLabel[channel], QString::number(value));
}

void TForm1::SendChannelDac(std::uint8_t channel, int value) {
    SendBytes(ChannelDacCommand(channel, value));
}
