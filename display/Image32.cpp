#include "Image32.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <utility>
#include <vector>

namespace {

// Images whose layers changed during the current event. One posted event, handled before the
// window's repaint (which is posted with a lower priority), asks them all what changed: one
// wake-up of the event loop for all columns.
class TChangedImages : public QObject {
  public:
    static void Add(TImage32* image) {
        static QPointer<TChangedImages> courier;
        if (courier.isNull()) {
            courier = new TChangedImages(QCoreApplication::instance());
        }
        if (courier->images_.empty()) {
            QCoreApplication::postEvent(courier, new QEvent(kTake));
        }
        courier->images_.emplace_back(image);
    }

    bool event(QEvent* e) override {
        if (e->type() != kTake) {
            return QObject::event(e);
        }
        for (const QPointer<TImage32>& image : std::exchange(images_, {})) {
            if (image) {
                image->TakeLayerChanges();
            }
        }
        return true;
    }

  private:
    using QObject::QObject;
    static inline const QEvent::Type kTake = QEvent::Type(QEvent::registerEventType());
    std::vector<QPointer<TImage32>> images_;
};

}  // namespace

TColor32 Color32(const QColor& c) {
    const QColor rgb = c.toRgb();
    return ::Color32(std::uint8_t(rgb.red()), std::uint8_t(rgb.green()), std::uint8_t(rgb.blue()),
                     0xFF);
}

TImage32::TImage32(QWidget* parent) : QWidget(parent) {
    // Every repaint covers its whole area with the composed picture, so nothing behind the
    // control needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    layers_.OnChange = [this] { LayersChanged(); };
    bitmap_.OnChange = [this] { Invalidate(kEverywhere); };
}

TImage32::~TImage32() {
    // Layers are freed with the collection; their notifications must not reach a dying widget.
    layers_.OnChange = nullptr;
    bitmap_.OnChange = nullptr;
}

void TImage32::SetColor(const QColor& c) {
    if (c == color_) {
        return;
    }
    color_ = c;
    Invalidate(kEverywhere);
}

void TImage32::SetRepaintWhole(bool whole) {
    whole_ = whole;
    Invalidate(kEverywhere);
}

void TImage32::LayersChanged() {
    if (whole_) {
        Invalidate(kEverywhere);
        return;
    }
    // A bar is redrawn in several steps (clear, bar, number); only their sum is worth a repaint.
    if (!changesPosted_) {
        changesPosted_ = true;
        TChangedImages::Add(this);
    }
}

void TImage32::TakeLayerChanges() {
    changesPosted_ = false;
    // The whole way repainted everything when the change came.
    layers_.TakeChangedAreas([this](const TRect& area) {
        if (!whole_) {
            Invalidate(area);
        }
    });
}

void TImage32::Invalidate(const TRect& area) {
    const TRect part = Intersection(area, TRect{0, 0, width(), height()});
    if (part.IsEmpty()) {
        return;  // nothing on screen changes
    }
    if (whole_) {
        stale_ = rect();
        update();
        return;
    }
    const QRect r(part.Left, part.Top, part.Width(), part.Height());
    stale_ += r;
    update(r);
}

const TBitmap32& TImage32::ComposeBuffer() {
    TakeLayerChanges();  // what is new must still reach the screen
    buffer_.SetSize(width(), height());
    ComposeLayers(buffer_, Color32(color_), layers_);
    stale_ = QRegion();
    return buffer_;
}

void TImage32::paintEvent(QPaintEvent* event) {
    const TRect client{0, 0, width(), height()};
    TakeLayerChanges();
    if (whole_ || buffer_.Width() != client.Right || buffer_.Height() != client.Bottom) {
        ComposeBuffer();
    } else {
        for (const QRect& r : std::as_const(stale_)) {
            ComposeLayers(buffer_, Color32(color_), layers_,
                          TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1});
        }
        stale_ = QRegion();
    }
    if (buffer_.Empty()) {
        return;
    }
    // Only red, green and blue reach the screen, and only the part being repainted. Each
    // rectangle is drawn clipped to itself: the painter then copies it line by line, where
    // under a clip of several rectangles it would blend pixel by pixel.
    const QRegion area = whole_ ? QRegion(rect()) : event->region() & rect();
    QPainter painter(this);
    for (const QRect& r : area) {
        QImage image(r.size(), QImage::Format_RGB32);
        const auto stride = std::size_t(image.bytesPerLine()) / sizeof(TColor32);
        auto* out = reinterpret_cast<TColor32*>(image.bits());
        for (int y = 0; y < r.height(); ++y) {
            const TColor32* src = std::as_const(buffer_).Bits() +
                                  std::size_t(r.y() + y) * std::size_t(client.Right) +
                                  std::size_t(r.x());
            TColor32* dst = out + std::size_t(y) * stride;
            for (int x = 0; x < r.width(); ++x) {
                dst[x] = src[x] | 0xFF000000u;
            }
        }
        if (area.rectCount() > 1) {
            painter.setClipRect(r);
        }
        painter.drawImage(r.topLeft(), image);
    }
}
