#include "Image32.h"

#include <QImage>
#include <QPainter>

TColor32 Color32(const QColor& c) {
    const QColor rgb = c.toRgb();
    return ::Color32(std::uint8_t(rgb.red()), std::uint8_t(rgb.green()), std::uint8_t(rgb.blue()),
                     0xFF);
}

TImage32::TImage32(QWidget* parent) : QWidget(parent) {
    layers_.OnChange = [this] { update(); };
    bitmap_.OnChange = [this] { update(); };
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
    update();
}

const TBitmap32& TImage32::ComposeBuffer() {
    buffer_.SetSize(width(), height());
    ComposeLayers(buffer_, Color32(color_), layers_);
    return buffer_;
}

void TImage32::paintEvent(QPaintEvent*) {
    const TBitmap32& buffer = ComposeBuffer();
    if (buffer.Empty()) {
        return;
    }
    // Only red, green and blue reach the screen.
    QImage image(buffer.Width(), buffer.Height(), QImage::Format_RGB32);
    for (int y = 0; y < buffer.Height(); ++y) {
        const TColor32* src = buffer.Bits() + std::size_t(y) * std::size_t(buffer.Width());
        auto* dst = reinterpret_cast<TColor32*>(image.scanLine(y));
        for (int x = 0; x < buffer.Width(); ++x) {
            dst[x] = src[x] | 0xFF000000u;
        }
    }
    QPainter(this).drawImage(0, 0, image);
}
