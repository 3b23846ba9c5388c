#include "SignalDisplay.h"

#include <QLabel>
#include <QRadioButton>
#include <QString>

#include "Controls.h"
#include "Image32.h"
#include "ReplyMath.h"
#include "SignalColumns.h"

namespace {

constexpr int kColumnWidth = columns::kWidth;
constexpr int kColumnHeight = columns::kHeight;
constexpr TColor32 kThresholdLine = columns::kThresholdLine;
constexpr TColor32 kThresholdText = columns::kThresholdText;

TBitmapLayer* NewColumnLayer(TImage32* image) {
    auto* layer = new TBitmapLayer(image->Layers());  // owned by the image's layers
    layer->SetLocation(FloatRect(0, 0, float(image->width()), float(image->height())));
    layer->Bitmap().SetSize(image->width(), image->height());
    layer->Bitmap().SetDrawMode(dmBlend);
    return layer;
}

TShape* NewLamp(QWidget* panel, int left, int top) {
    auto* lamp = new TShape(panel, Qt::white);
    lamp->setGeometry(left, top, 17, 17);
    lamp->show();
    return lamp;
}

// A switch position label: sized to its caption, then fixed at that size.
QLabel* NewSwitchDigit(QWidget* panel, int left, int top, int position) {
    auto* label = new QLabel(panel);
    label->setGeometry(left, top, 10, 16);
    SetAutoSize(label, true);
    SetCaption(label, QString::number(position));
    SetAutoSize(label, false);
    SetBackgroundColor(label, QColor(0x80, 0x80, 0x80));
    SetFontColor(label, QColor(0xFF, 0xFF, 0xFF));
    label->show();
    return label;
}

QLabel* NewDriveLabel(QWidget* form, int left, int top, const QColor& fontColor) {
    auto* label = new QLabel(form);
    label->setGeometry(left, top, 25, 17);
    SetAutoSize(label, true);
    SetCaption(label, QStringLiteral("0"));
    SetFontColor(label, fontColor);
    label->show();
    return label;
}

}  // namespace

void BuildSignalDisplay(TSignalDisplayElements& e, QWidget* form, QWidget* panel1,
                        QWidget* panel2) {
    for (int i = 0; i < mv62::kChannels; ++i) {
        auto* image = new TImage32(panel1);
        image->setGeometry(columns::kPitch * i, 0, kColumnWidth, kColumnHeight);
        image->SetColor(QColor(0, 0, 0));
        image->show();
        e.SenImage[i] = image;

        e.SenMaxLayer[i] = NewColumnLayer(image);
        e.SenCalibLayer[i] = NewColumnLayer(image);
        e.SenSpareLayer[i] = NewColumnLayer(image);
        e.SenGridLayer[i] = NewColumnLayer(image);

        // The channel's lowest acceptable peak, with its number hanging below the line.
        TBitmap32& grid = e.SenGridLayer[i]->Bitmap();
        const int y = kColumnHeight - columns::kRowsPerUnit * mv62::MaxMinimum[i];
        grid.Line(0, y, kColumnWidth, y, kThresholdLine, true);
        grid.RenderText(0, y, std::to_string(mv62::MaxMinimum[i]), 0, kThresholdText);

        e.MaxLamp[i] = NewLamp(panel2, 136 + 25 * i, 32);
        e.CalibLamp[i] = NewLamp(panel2, 136 + 25 * i, 56);
    }
    for (int j = 0; j < int(e.Sw1Digit.size()); ++j) {
        e.Sw1Digit[j] = NewSwitchDigit(panel2, 136 + 15 * j, 310, j + 1);
    }
    for (int k = 0; k < int(e.Sw2Digit.size()); ++k) {
        e.Sw2Digit[k] = NewSwitchDigit(panel2, 136 + 15 * k, 342, k + 1);
    }
    for (int l = 0; l < 8; ++l) {
        e.DriveLabel[l] = NewDriveLabel(form, 45 + 51 * l, 560, QColor(0x00, 0x00, 0xFF));
        e.DriveRefLabel[l] = NewDriveLabel(form, 17 + 51 * l, 578, QColor(0x80, 0x80, 0x80));

        // One parent for all eight, so they form one exclusive group.
        auto* radio = new QRadioButton(QStringLiteral("CH%1").arg(l), form);
        radio->setGeometry(1 + 51 * l, 560, 40, radio->sizeHint().height());
        radio->show();
        e.ChRadio[l] = radio;
    }
}
