// The signal columns, indicator rows and labels built at run time, and the bars drawn into them.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>

#include <array>
#include <cstdint>
#include <memory>

#include "Canvas.h"
#include "Controls.h"
#include "Image32.h"
#include "SignalDisplay.h"
#include "Waveactive.h"

namespace {

constexpr TColor32 kBlack = 0xFF000000;
constexpr TColor32 kLineOverBlack = 0xC2006600;  // 0x6600FF00 blended onto opaque black
constexpr TColor32 kWhite = 0xFFFFFFFF;
constexpr TColor32 kBlue = 0xFF2B85FF;

// The main window's hosts: the form, Panel1 with the columns and the status panel Panel2.
class SignalDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<QWidget>();
        form->resize(1050, 707);
        panel1 = new QWidget(form.get());
        panel1->setGeometry(8, 40, 305, 512);
        panel2 = new QWidget(form.get());
        panel2->setGeometry(416, 40, 297, 409);
        BuildSignalDisplay(e, form.get(), panel1, panel2);
    }

    // Number of pixels of a layer inside the rectangle that hold exactly `value`.
    static int Count(const TBitmap32& b, int x1, int y1, int x2, int y2, TColor32 value) {
        int n = 0;
        for (int y = y1; y < y2; ++y) {
            for (int x = x1; x < x2; ++x) {
                n += b.Pixel(x, y) == value ? 1 : 0;
            }
        }
        return n;
    }

    static bool SameLayer(const TBitmap32& a, const TBitmap32& b) {
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 50; ++x) {
                if (a.Pixel(x, y) != b.Pixel(x, y)) {
                    return false;
                }
            }
        }
        return true;
    }

    std::unique_ptr<QWidget> form;
    QWidget* panel1 = nullptr;
    QWidget* panel2 = nullptr;
    TSignalDisplayElements e;
};

}  // namespace

TEST_F(SignalDisplayTest, ColumnsAndLayers) {
    for (int i = 0; i < 6; ++i) {
        TImage32* img = e.SenImage[i];
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->parentWidget(), panel1);
        EXPECT_EQ(img->geometry(), QRect(51 * i, 0, 50, 512));
        EXPECT_EQ(Color32(img->Color()), kBlack);
        EXPECT_TRUE(img->Bitmap().Empty());
        ASSERT_EQ(img->Layers().Count(), 4);
        EXPECT_EQ(img->Layers().Items(0), e.SenMaxLayer[i]);
        EXPECT_EQ(img->Layers().Items(1), e.SenCalibLayer[i]);
        EXPECT_EQ(img->Layers().Items(2), e.SenSpareLayer[i]);
        EXPECT_EQ(img->Layers().Items(3), e.SenGridLayer[i]);
        for (TBitmapLayer* layer :
             {e.SenMaxLayer[i], e.SenCalibLayer[i], e.SenSpareLayer[i], e.SenGridLayer[i]}) {
            EXPECT_EQ(layer->Location(), FloatRect(0, 0, 50, 512));
            EXPECT_EQ(layer->Bitmap().Width(), 50);
            EXPECT_EQ(layer->Bitmap().Height(), 512);
            EXPECT_EQ(layer->Bitmap().DrawMode(), dmBlend);
        }
    }

    // Composed: black, the green threshold row and its green number just below it.
    for (int i = 0; i < 6; ++i) {
        const int y = i == 1 ? 402 : 432;
        const TBitmap32& buf = e.SenImage[i]->ComposeBuffer();
        ASSERT_EQ(buf.Width(), 50);
        ASSERT_EQ(buf.Height(), 512);
        EXPECT_EQ(Count(buf, 0, 0, 50, y, kBlack), 50 * y) << i;
        EXPECT_EQ(Count(buf, 0, y, 50, y + 1, kLineOverBlack), 50) << i;
        EXPECT_GT(Count(buf, 0, y + 1, 20, y + 16, 0xFF00FF00), 10) << i;
        EXPECT_EQ(Count(buf, 0, y + 16, 50, 512, kBlack), 50 * (512 - y - 16)) << i;
        EXPECT_EQ(Count(buf, 0, y + 1, 50, 512, 0xFF00FF00) + Count(buf, 0, y + 1, 50, 512, kBlack),
                  50 * (511 - y));
    }
    // The number shows the column's minimum.
    EXPECT_FALSE(SameLayer(e.SenGridLayer[0]->Bitmap(), e.SenGridLayer[1]->Bitmap()));
    EXPECT_TRUE(SameLayer(e.SenGridLayer[0]->Bitmap(), e.SenGridLayer[5]->Bitmap()));

    // What reaches the screen: the same picture, opaque.
    const QImage shot = e.SenImage[0]->grab().toImage();
    EXPECT_EQ(shot.pixel(25, 100), 0xFF000000u);
    EXPECT_EQ(shot.pixel(25, 432), 0xFF006600u);
}

TEST_F(SignalDisplayTest, IndicatorRowsAndLabels) {
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(e.MaxLamp[i]->parentWidget(), panel2);
        EXPECT_EQ(e.MaxLamp[i]->geometry(), QRect(136 + 25 * i, 32, 17, 17));
        EXPECT_EQ(e.CalibLamp[i]->geometry(), QRect(136 + 25 * i, 56, 17, 17));
        EXPECT_EQ(e.MaxLamp[i]->BrushColor(), QColor(Qt::white));
        EXPECT_EQ(e.CalibLamp[i]->BrushColor(), QColor(Qt::white));
    }
    const QImage lamp = e.MaxLamp[0]->grab().toImage();
    EXPECT_EQ(lamp.pixel(8, 8), 0xFFFFFFFFu);
    EXPECT_EQ(lamp.pixel(8, 0), 0xFF000000u);

    for (int j = 0; j < 10; ++j) {
        QLabel* d = e.Sw1Digit[j];
        EXPECT_EQ(d->text(), QString::number(j + 1));
        EXPECT_EQ(d->pos(), QPoint(136 + 15 * j, 310));
        EXPECT_EQ(BackgroundColor(d), QColor(0x80, 0x80, 0x80));
        EXPECT_EQ(FontColor(d), QColor(Qt::white));
        EXPECT_FALSE(AutoSize(d));
        if (j < 9) {
            EXPECT_EQ(d->width(), e.Sw1Digit[0]->width());
        }
    }
    EXPECT_GT(e.Sw1Digit[9]->width(), e.Sw1Digit[8]->width());
    EXPECT_LT(e.Sw1Digit[0]->width(), 10);  // sized to one digit, not the designed 10
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(e.Sw2Digit[k]->pos(), QPoint(136 + 15 * k, 342));
        EXPECT_EQ(e.Sw2Digit[k]->text(), QString::number(k + 1));
    }

    for (int l = 0; l < 8; ++l) {
        EXPECT_EQ(e.DriveLabel[l]->parentWidget(), form.get());
        EXPECT_EQ(e.DriveLabel[l]->text(), "0");
        EXPECT_EQ(e.DriveRefLabel[l]->text(), "0");
        EXPECT_EQ(e.DriveLabel[l]->pos(), QPoint(45 + 51 * l, 560));
        EXPECT_EQ(e.DriveRefLabel[l]->pos(), QPoint(17 + 51 * l, 578));
        EXPECT_EQ(FontColor(e.DriveLabel[l]), QColor(0, 0, 0xFF));
        EXPECT_EQ(FontColor(e.DriveRefLabel[l]), QColor(0x80, 0x80, 0x80));
        EXPECT_TRUE(AutoSize(e.DriveLabel[l]));
        EXPECT_EQ(e.ChRadio[l]->parentWidget(), form.get());
        EXPECT_EQ(e.ChRadio[l]->text(), QString("CH%1").arg(l));
        EXPECT_EQ(e.ChRadio[l]->geometry().topLeft(), QPoint(1 + 51 * l, 560));
        EXPECT_EQ(e.ChRadio[l]->width(), 40);
    }
    // Drive labels follow the width of their text.
    const int narrow = e.DriveLabel[0]->width();
    SetCaption(e.DriveLabel[0], "1023");
    EXPECT_GT(e.DriveLabel[0]->width(), narrow);
    // The channel buttons form one exclusive group.
    e.ChRadio[2]->setChecked(true);
    e.ChRadio[5]->setChecked(true);
    EXPECT_FALSE(e.ChRadio[2]->isChecked());
}

TEST_F(SignalDisplayTest, MaxBars) {
    std::array<std::uint32_t, 6> v{0, 200, 10, 40, 100, 7};
    ShowMaxBars(e, v.data(), 6);
    // v = 0: no bar, "0" with its top at row 497.
    const TBitmap32& b0 = e.SenMaxLayer[0]->Bitmap();
    EXPECT_EQ(Count(b0, 0, 0, 50, 497, 0), 50 * 497);
    EXPECT_GT(Count(b0, 14, 497, 30, 512, kWhite), 5);
    EXPECT_EQ(Count(b0, 0, 497, 50, 512, kWhite) + Count(b0, 0, 497, 50, 512, 0), 50 * 15);
    // v = 200: the bar spans rows 112..511 over columns 14..25, the number above it.
    const TBitmap32& b1 = e.SenMaxLayer[1]->Bitmap();
    EXPECT_EQ(Count(b1, 14, 112, 26, 512, kWhite), 12 * 400);
    EXPECT_EQ(Count(b1, 0, 112, 14, 512, 0), 14 * 400);
    EXPECT_EQ(Count(b1, 26, 112, 50, 512, 0), 24 * 400);
    EXPECT_EQ(Count(b1, 0, 0, 50, 97, 0), 50 * 97);
    EXPECT_GT(Count(b1, 14, 97, 40, 112, kWhite), 10);

    // Redrawing leaves only the new bar.
    v[1] = 10;
    ShowMaxBars(e, v.data(), 6);
    EXPECT_EQ(Count(b1, 0, 0, 50, 477, 0), 50 * 477);
    EXPECT_EQ(Count(b1, 14, 492, 26, 512, kWhite), 12 * 20);
    EXPECT_TRUE(SameLayer(b1, e.SenMaxLayer[2]->Bitmap()));

    // The composed column: a white bar over black, the green line showing beside it.
    const TBitmap32& buf = e.SenImage[3]->ComposeBuffer();
    EXPECT_EQ(buf.Pixel(20, 500), kWhite);
    EXPECT_EQ(buf.Pixel(20, 432), BlendPixel(0x6600FF00, kWhite));
    EXPECT_EQ(buf.Pixel(40, 432), kLineOverBlack);
    EXPECT_EQ(buf.Pixel(40, 500), kBlack);
}

TEST_F(SignalDisplayTest, CalibBars) {
    const std::array<std::uint32_t, 6> peaks{50, 200, 0, 0, 0, 0};
    const std::array<std::uint32_t, 6> calib{50, 20, 0, 0, 0, 200};
    ShowCalibBars(e, calib.data(), 6, peaks.data());

    // Equal to the peak: a white bar with a blue number.
    const TBitmap32& b0 = e.SenCalibLayer[0]->Bitmap();
    EXPECT_EQ(Count(b0, 27, 412, 39, 512, kWhite), 12 * 100);
    EXPECT_GT(Count(b0, 27, 397, 50, 412, kBlue), 10);
    EXPECT_EQ(Count(b0, 0, 397, 50, 412, kWhite), 0);
    EXPECT_EQ(Count(b0, 0, 0, 50, 397, 0), 50 * 397);
    // Otherwise blue.
    const TBitmap32& b1 = e.SenCalibLayer[1]->Bitmap();
    EXPECT_EQ(Count(b1, 27, 472, 39, 512, kBlue), 12 * 40);
    EXPECT_EQ(Count(b1, 0, 472, 27, 512, 0), 27 * 40);
    // v = 200 reaches row 112.
    EXPECT_EQ(Count(e.SenCalibLayer[5]->Bitmap(), 27, 112, 39, 512, kBlue), 12 * 400);
    // 0 equal to an initial peak of 0: no bar, only the number.
    EXPECT_EQ(Count(e.SenCalibLayer[2]->Bitmap(), 0, 0, 50, 497, 0), 50 * 497);
    EXPECT_GT(Count(e.SenCalibLayer[2]->Bitmap(), 27, 497, 50, 512, kBlue), 5);

    // The corrected-value layer lies above the peak layer.
    const std::array<std::uint32_t, 6> wide{200, 0, 0, 0, 0, 0};
    ShowMaxBars(e, wide.data(), 1);
    const TBitmap32& buf = e.SenImage[0]->ComposeBuffer();
    EXPECT_EQ(buf.Pixel(30, 450), kWhite);
    EXPECT_EQ(buf.Pixel(20, 300), kWhite);
    EXPECT_EQ(buf.Pixel(30, 300), kBlack);
}

TEST_F(SignalDisplayTest, NoChannelsDrawNothing) {
    const std::array<std::uint32_t, 6> v{100, 100, 100, 100, 100, 100};
    ShowMaxBars(e, v.data(), 6);
    ShowCalibBars(e, v.data(), 6, v.data());
    int changes = 0;
    for (int i = 0; i < 6; ++i) {
        e.SenImage[i]->Layers().OnChange = [&] { ++changes; };
    }
    const std::array<std::uint32_t, 6> zero{};
    ShowMaxBars(e, zero.data(), 0);
    ShowCalibBars(e, zero.data(), -1, zero.data());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(e.SenMaxLayer[0]->Bitmap().Pixel(20, 400), kWhite);
    EXPECT_EQ(e.SenCalibLayer[5]->Bitmap().Pixel(30, 400), kWhite);

    // Only the given channels are redrawn.
    ShowMaxBars(e, zero.data(), 2);
    EXPECT_EQ(e.SenMaxLayer[1]->Bitmap().Pixel(20, 400), 0u);
    EXPECT_EQ(e.SenMaxLayer[2]->Bitmap().Pixel(20, 400), kWhite);
}

TEST(Controls, ColoursAndFont) {
    EXPECT_EQ(WindowTextColor(), QColor(0, 0, 0));
    EXPECT_EQ(ButtonFaceColor(), QColor(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(Color32(QColor(0x2B, 0x85, 0xFF)), 0xFF2B85FFu);
    const QFont f = StationFont();
    EXPECT_EQ(f.pixelSize(), 11);
    EXPECT_FALSE(f.bold());
    EXPECT_TRUE(StationFont(true).bold());

    QWidget parent;
    TShape shape(&parent);
    EXPECT_EQ(shape.size(), QSize(17, 17));
    shape.SetBrushColor(QColor(0xFF, 0, 0));
    const QImage img = shape.grab().toImage();
    EXPECT_EQ(img.pixel(8, 8), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(8, 16), 0xFF000000u);
    EXPECT_EQ(img.pixel(16, 8), 0xFF000000u);
}
