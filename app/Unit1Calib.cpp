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

void TForm1::ClearSignalBars() {
    for (int i = 0; i < kChannels; ++i) {
        SenCalibLayer[i]->Bitmap().Clear(0x00000000);
        SenMaxLayer[i]->Bitmap().Clear(0x00000000);
    }
}

void TForm1::BtnCalibStarClick() {
    if (!LinkOpen) {
        return;
    }
    if (!UnitSerialAsked()) {
        return;
    }
    Observer->CalibrationPressed();
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
    Observer->CalibrationExitPressed();
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
