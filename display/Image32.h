#pragma once
// The layered image control: a stack of bitmap layers composed over a background colour.
#include <QColor>
#include <QRegion>
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
    // Layers, bottom first; a layer change schedules a repaint of the part it changed.
    TLayerCollection& Layers() { return layers_; }

    // Composes the whole back buffer afresh at the control's size: the background, then every
    // visible layer.
    const TBitmap32& ComposeBuffer();

    // A repaint normally recomposes and shows only what the layers changed since the last one.
    // With `whole` set, every change repaints the whole control and every repaint recomposes the
    // whole buffer: the plain way, which tests compare with the usual one.
    void SetRepaintWhole(bool whole);

    // Asks the layers what they changed and schedules the repaint of it; done by itself once the
    // event that changed them is over.
    void TakeLayerChanges();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The part `area` of the control looks different: recompose it at the next repaint.
    void Invalidate(const TRect& area);
    // A layer changed: once the event that changed it is over, ask the layers what they changed.
    void LayersChanged();

    QColor color_ = Qt::black;
    TBitmap32 bitmap_;
    TLayerCollection layers_;
    TBitmap32 buffer_;
    QRegion stale_;  // the part of buffer_ that no longer shows the layers
    bool whole_ = false;
    bool changesPosted_ = false;
};
