// Glyph rasterisation of the canvas: text is drawn in white into a 32-bit scratch image by the
// GUI framework's font rasteriser, then its coverage becomes the alpha of the wanted colour.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "CanvasText.h"

namespace {

const QString& SansFamily() {
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))
                                      ? QStringLiteral("Liberation Sans")
                                      : QStringLiteral("DejaVu Sans");
    return family;
}

// One text as the rasteriser draws it: its cell (the text and one space) and the coverage of
// every pixel, the lowest byte of what the white drawing left there.
struct TGlyphRun {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> coverage;
};

// A font with its metrics, made once per face, size and weight.
struct TFontFace {
    explicit TFontFace(const TFont& font) : qfont(CanvasQFont(font)), metrics(qfont) {}
    QFont qfont;
    QFontMetrics metrics;
};

using TFaceKey = std::tuple<std::string, int, int, bool>;

TFaceKey KeyOf(const TFont& font) {
    return {font.Name, font.Size, font.Height, font.Bold};
}

TFontFace& FaceOf(const TFont& font) {
    // Kept to the end of the program (never destroyed: fonts must not outlive the application).
    static auto& faces = *new std::map<TFaceKey, std::unique_ptr<TFontFace>>;
    auto& face = faces[KeyOf(font)];
    if (!face) {
        face = std::make_unique<TFontFace>(font);
    }
    return *face;
}

// The signal display writes the same few numbers over and over; the rasteriser draws each text
// once. Bounded, so that no stream of texts can grow it without limit.
constexpr std::size_t kCachedRuns = 512;

const TGlyphRun& RunOf(const TFont& font, const std::string& text) {
    static auto& runs = *new std::map<std::pair<TFaceKey, std::string>, TGlyphRun>;
    auto key = std::make_pair(KeyOf(font), text);
    if (const auto it = runs.find(key); it != runs.end()) {
        return it->second;
    }
    if (runs.size() >= kCachedRuns) {
        runs.clear();
    }
    const TFontFace& face = FaceOf(font);
    const QString s = QString::fromUtf8(text);
    TGlyphRun run;
    run.width = std::max(face.metrics.horizontalAdvance(s + QLatin1Char(' ')), 0);
    run.height = std::max(face.metrics.height(), 0);
    if (run.width > 0 && run.height > 0) {
        QImage image(run.width, run.height, QImage::Format_ARGB32);
        image.fill(0);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(face.qfont);
            painter.setPen(Qt::white);
            painter.drawText(0, face.metrics.ascent(), s);
        }
        run.coverage.resize(std::size_t(run.width) * std::size_t(run.height));
        for (int y = 0; y < run.height; ++y) {
            const auto* line = reinterpret_cast<const TColor32*>(image.constScanLine(y));
            for (int x = 0; x < run.width; ++x) {
                run.coverage[std::size_t(y) * std::size_t(run.width) + std::size_t(x)] =
                    std::uint8_t(line[x] & 0xFF);
            }
        }
    }
    return runs.emplace(std::move(key), std::move(run)).first->second;
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
    const QFontMetrics& fm = FaceOf(font_).metrics;
    width = fm.horizontalAdvance(QString::fromUtf8(text));
    height = fm.height();
}

void TBitmap32::RenderText(int x, int y, const std::string& text, int aaLevel, TColor32 color) {
    if (Empty()) {
        return;
    }
    static_cast<void>(aaLevel);  // supersampled levels 1..4 are not used; all draw as level 0
    Settle();
    const int alpha = int(color >> 24);
    const TColor32 rgb = color & 0x00FFFFFF;

    // The glyph raster, coloured (coverage becomes alpha), is blended onto this bitmap at (x, y)
    // with the colour's alpha as master alpha; a pixel of coverage 0 keeps what is below.
    const TGlyphRun& run = RunOf(font_, text);
    TRect written;
    if (run.width > 0 && run.height > 0) {
        const int x0 = std::max(x, 0);
        const int y0 = std::max(y, 0);
        const int x1 = std::min(x + run.width, width_);
        const int y1 = std::min(y + run.height, height_);
        if (x0 < x1 && y0 < y1) {
            written = TRect{x0, y0, x1, y1};
            Include(written);
            Forget(written);
            for (int row = y0; row < y1; ++row) {
                const std::uint8_t* cover =
                    run.coverage.data() + std::size_t(row - y) * std::size_t(run.width);
                TColor32* out = bits_.data() + std::size_t(row) * std::size_t(width_);
                for (int col = x0; col < x1; ++col) {
                    const TColor32 c = cover[col - x];
                    if (c != 0) {
                        out[col] = BlendPixel((c << 24) | rgb, out[col], alpha);
                    }
                }
            }
        }
    }
    Changed(written);
}
