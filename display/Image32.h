#pragma once
// The layered image control: a stack of bitmap layers composed over a background colour.
#include <QColor>
#include <QWidget>

#include "Canvas.h"

// The control's colour as an opaque pixel with the same red, green and blue.
TColor32 Color32(const QColor& c);

class TImage32 : public QWidget {
    Q_OBJECT
  public:
    explicit TImage32(QWidget* parent = nullptr);
    ~TImage32() override;

    QColor Color() const { return color_; }
    void SetColor(const QColor& c);

    // The image's own bitmap; it is never sized and contributes no pixels.
    TBitmap32& Bitmap() { return bitmap_; }
    // Layers, bottom first; a layer change schedules a repaint.
    TLayerCollection& Layers() { return layers_; }

    // Composes the back buffer at the control's size: the background, then every visible layer.
    const TBitmap32& ComposeBuffer();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_ = Qt::black;
    TBitmap32 bitmap_;
    TLayerCollection layers_;
    TBitmap32 buffer_;
};
