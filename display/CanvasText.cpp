// Glyph rasterisation of the canvas: text is drawn in white into a 32-bit scratch image by the
// GUI framework's font rasteriser, then its coverage becomes the alpha of the wanted colour.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

#include "CanvasText.h"

namespace {

const QString& SansFamily() {
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))
                                      ? QStringLiteral("Liberation Sans")
                                      : QStringLiteral("DejaVu Sans");
    return family;
}

}  // namespace

QFont CanvasQFont(const TFont& font) {
    QFont f(SansFamily());
    f.setPixelSize(font.Height);
    f.setBold(font.Bold);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void TBitmap32::TextExtent(const std::string& text, int& width, int& height) const {
    const QFontMetrics fm(CanvasQFont(font_));
    width = fm.horizontalAdvance(QString::fromUtf8(text));
    height = fm.height();
}

void TBitmap32::RenderText(int x, int y, const std::string& text, int aaLevel, TColor32 color) {
    if (Empty()) {
        return;
    }
    static_cast<void>(aaLevel);  // supersampled levels 1..4 are not used; all draw as level 0
    const int alpha = int(color >> 24);
    const TColor32 rgb = color & 0x00FFFFFF;

    const QFont font = CanvasQFont(font_);
    const QFontMetrics fm(font);
    const QString s = QString::fromUtf8(text);
    TBitmap32 scratch;
    scratch.SetSize(fm.horizontalAdvance(s + QLatin1Char(' ')), fm.height());
    if (!scratch.Empty()) {
        {
            QImage image(reinterpret_cast<uchar*>(scratch.Bits()), scratch.Width(),
                         scratch.Height(), scratch.Width() * int(sizeof(TColor32)),
                         QImage::Format_ARGB32);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(0, fm.ascent(), s);
        }
        TColor32* p = scratch.Bits();
        const std::size_t n = std::size_t(scratch.Width()) * std::size_t(scratch.Height());
        for (std::size_t i = 0; i < n; ++i) {
            if (p[i] != 0) {
                p[i] = ((p[i] & 0xFF) << 24) | rgb;
            }
        }
        scratch.SetDrawMode(dmBlend);
        scratch.SetMasterAlpha(alpha);
        scratch.TransferTo(*this, TRect{x, y, x + scratch.Width(), y + scratch.Height()});
    }
    Changed();
}
