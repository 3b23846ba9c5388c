// The optical calibration stage and the manual drive adjustment of single channels.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "Canvas.h"
#include "Controls.h"
#include "HostCommands.h"
#include "Image32.h"
#include "Palette.h"
#include "Unit1.h"

using namespace mv62;

namespace {

// Clears the corrected-value and then the peak-value layer of every column.
void ClearBars(TSignalDisplayElements& e) {
    for (int i = 0; i < mv62::kChannels; ++i) {
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
    if (BarsDrawn) {
        ClearSignalBars();
        for (QLabel* l : ExchangeSensorLabels()) {
            l->setText("0");
            SetFontColor(l, colours::Red);
        }
    } else {
        BarsDrawn = true;  // the very first start has nothing to clear
    }
    SendCommand(cmd::SensorRun);
    ApplyEnabled(CalibrationRunning);
    SetLinkLamps(colours::Red);
    CalibMode = true;
    Button7->setEnabled(false);
    SensorRunEnded = false;
    ApplyEnabled(SensorStageLocks);  // 退出 enabled once more
    Label48->setText("NULL");
}

void TForm1::BtnCalibEndClick() {
    if (!LinkOpen) {
        return;
    }
    ClearSignalBars();
    SendCommand(cmd::Stop);
    ApplyEnabled(CalibrationReady);
    SetLinkLamps(colours::Yellow);
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
