// The raster canvas: blend rule, rectangles, lines, text, change notifications and layers.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <set>
#include <utility>

#include "Canvas.h"

namespace {

using Points = std::set<std::pair<int, int>>;

// Every pixel that is not 0.
Points Drawn(const TBitmap32& b) {
    Points p;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (b.Pixel(x, y) != 0) {
                p.insert({x, y});
            }
        }
    }
    return p;
}

Points LinePoints(int w, int h, int x1, int y1, int x2, int y2, bool L) {
    TBitmap32 b;
    b.SetSize(w, h);
    b.Line(x1, y1, x2, y2, 0xFFFFFFFF, L);
    return Drawn(b);
}

}  // namespace

TEST(Canvas, BlendRule) {
    EXPECT_EQ(BlendPixel(0x6600FF00, 0xFF000000), 0xC2006600u);
    EXPECT_EQ(BlendPixel(0x6600FF00, 0x00000000), 0x29006600u);
    EXPECT_EQ(BlendPixel(0x00123456, 0x87654321), 0x87654321u);
    EXPECT_EQ(BlendPixel(0xFF123456, 0x87654321), 0xFF123456u);
    // Fa 128 over white: alpha (255 * 128 + 128 * 128 + 128) >> 8, colours (255 * 128 + 128) >> 8.
    EXPECT_EQ(BlendPixel(0x80000000, 0xFFFFFFFF), 0xC0808080u);
    EXPECT_EQ(BlendPixel(0x6600FF00, 0xFF000000, 255), 0xC2006600u);
    EXPECT_EQ(BlendPixel(0xFF00FF00, 0xFF000000, 0), 0xFF000000u);
    EXPECT_EQ(Color32(0x2B, 0x85, 0xFF), 0xFF2B85FFu);
}

TEST(Canvas, FillRectEdgesAndClipping) {
    TBitmap32 b;
    b.SetSize(50, 512);
    b.FillRect(14, 512, 26, 512, 0xFFFFFFFF);
    EXPECT_TRUE(Drawn(b).empty());
    b.FillRect(26, 100, 14, 200, 0xFFFFFFFF);  // reversed: empty range
    EXPECT_TRUE(Drawn(b).empty());

    b.FillRect(14, 112, 26, 512, 0xFF2B85FF);
    const Points p = Drawn(b);
    EXPECT_EQ(p.size(), 12u * 400u);
    EXPECT_EQ(*p.begin(), std::make_pair(14, 112));
    EXPECT_EQ(*p.rbegin(), std::make_pair(25, 511));
    EXPECT_EQ(b.Pixel(20, 300), 0xFF2B85FFu);

    // Stored as is, also in blend mode; parts outside are dropped.
    b.SetDrawMode(dmBlend);
    b.FillRect(-10, -10, 2, 3, 0x11223344);
    EXPECT_EQ(b.Pixel(0, 0), 0x11223344u);
    EXPECT_EQ(b.Pixel(1, 2), 0x11223344u);
    EXPECT_EQ(b.Pixel(2, 2), 0u);
    EXPECT_EQ(b.Pixel(1, 3), 0u);
    b.FillRect(40, 500, 1000, 1000, 0xFF00FF00);
    EXPECT_EQ(b.Pixel(49, 511), 0xFF00FF00u);
    EXPECT_EQ(b.Pixel(39, 511), 0u);
}

TEST(Canvas, LineRuns) {
    // The threshold line: the whole row, its end point lies outside.
    TBitmap32 b;
    b.SetSize(50, 512);
    b.Line(0, 432, 50, 432, 0x6600FF00, true);
    const Points row = Drawn(b);
    EXPECT_EQ(row.size(), 50u);
    for (const auto& [x, y] : row) {
        EXPECT_EQ(y, 432);
        EXPECT_EQ(b.Pixel(x, y), 0x6600FF00u);
    }

    // Vertical and horizontal runs exclude the end point unless L.
    EXPECT_EQ(LinePoints(10, 20, 5, 10, 5, 14, false),
              (Points{{5, 10}, {5, 11}, {5, 12}, {5, 13}}));
    EXPECT_EQ(LinePoints(10, 20, 5, 10, 5, 14, true),
              (Points{{5, 10}, {5, 11}, {5, 12}, {5, 13}, {5, 14}}));
    EXPECT_EQ(LinePoints(10, 20, 5, 14, 5, 10, false),
              (Points{{5, 11}, {5, 12}, {5, 13}, {5, 14}}));
    EXPECT_EQ(LinePoints(20, 5, 10, 3, 6, 3, false), (Points{{7, 3}, {8, 3}, {9, 3}, {10, 3}}));
    EXPECT_EQ(LinePoints(20, 5, 6, 3, 9, 3, false), (Points{{6, 3}, {7, 3}, {8, 3}}));
    EXPECT_TRUE(LinePoints(10, 10, 4, 4, 4, 4, false).empty());
    EXPECT_EQ(LinePoints(10, 10, 4, 4, 4, 4, true), (Points{{4, 4}}));

    // Bresenham: the minor axis steps only when the error exceeds the major length.
    EXPECT_EQ(LinePoints(10, 10, 0, 0, 4, 4, false), (Points{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(LinePoints(10, 10, 0, 0, 5, 2, true),
              (Points{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}));
    EXPECT_EQ(LinePoints(10, 10, 2, 5, 0, 0, true),
              (Points{{2, 5}, {2, 4}, {1, 3}, {1, 2}, {1, 1}, {0, 0}}));

    // Clipped at every edge.
    EXPECT_EQ(LinePoints(3, 3, -3, 1, 5, 1, true), (Points{{0, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(LinePoints(3, 3, 1, -5, 1, 10, false), (Points{{1, 0}, {1, 1}, {1, 2}}));
}

TEST(Canvas, SizeClearAndNotifications) {
    TBitmap32 b;
    int changes = 0, resizes = 0;
    b.OnChange = [&] { ++changes; };
    b.OnResize = [&] { ++resizes; };

    // Never sized: every operation does nothing and notifies nothing.
    b.Clear(0xFFFFFFFF);
    b.FillRect(0, 0, 10, 10, 0xFFFFFFFF);
    b.Line(0, 0, 10, 10, 0xFFFFFFFF, true);
    b.RenderText(0, 0, "40", 0, 0xFF00FF00);
    TBitmap32 src;
    src.SetSize(2, 2);
    src.DrawTo(b, 0, 0);
    EXPECT_EQ(changes, 0);
    b.SetSize(-4, 7);  // negative counts as 0
    EXPECT_TRUE(b.Empty());

    b.SetSize(4, 3);
    EXPECT_EQ(resizes, 2);
    b.SetDrawMode(dmBlend);
    b.Clear(0x6600FF00);  // stored as is, whatever the draw mode
    EXPECT_EQ(b.Pixel(3, 2), 0x6600FF00u);
    changes = 0;
    b.SetSize(4, 3);  // unchanged size: pixels kept
    b.SetDrawMode(dmBlend);
    b.SetMasterAlpha(255);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(b.Pixel(3, 2), 0x6600FF00u);
    b.FillRect(1, 1, 3, 3, 1);
    b.Line(0, 0, 5, 5, 1, false);
    b.RenderText(0, 0, "1", 0, 0xFFFFFFFF);
    b.SetDrawMode(dmOpaque);
    b.Clear(0);
    EXPECT_EQ(changes, 5);
    EXPECT_TRUE(Drawn(b).empty());

    b.Clear(0xFFFFFFFF);
    b.SetSize(3, 4);  // a new raster, transparent black
    EXPECT_EQ(resizes, 3);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_TRUE(Drawn(b).empty());
    EXPECT_EQ(b.Font().Name, "MS Sans Serif");

    // An empty source contributes nothing.
    TBitmap32 none;
    none.DrawTo(b, 0, 0);
    EXPECT_TRUE(Drawn(b).empty());
}

TEST(Canvas, RenderTextColoursOnlyGlyphs) {
    TBitmap32 b;
    b.SetSize(50, 512);
    b.RenderText(0, 432, "40", 0, 0xFF00FF00);
    int w = 0, h = 0;
    b.TextExtent("40", w, h);
    ASSERT_GT(w, 4);
    ASSERT_GT(h, 8);
    const Points glyphs = Drawn(b);
    ASSERT_GT(glyphs.size(), 10u);
    for (const auto& [x, y] : glyphs) {
        EXPECT_EQ(b.Pixel(x, y), 0xFF00FF00u) << x << "," << y;
        EXPECT_GE(y, 432);
        EXPECT_LT(y, 432 + h);
        EXPECT_LT(x, w);
    }

    // Over drawn pixels, glyphs replace them and the rest stays as it was.
    TBitmap32 c;
    c.SetSize(50, 40);
    c.Clear(0x12345678);
    c.RenderText(3, 5, "40", 0, 0xFF00FF00);
    Points same;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            const TColor32 p = c.Pixel(x, y);
            ASSERT_TRUE(p == 0x12345678u || p == 0xFF00FF00u);
            if (p == 0xFF00FF00u) {
                same.insert({x - 3, y - 5 + 432});
            }
        }
    }
    EXPECT_EQ(same, glyphs);  // the same glyph raster, wherever it is drawn

    // A translucent colour blends with what is below.
    TBitmap32 e;
    e.SetSize(50, 40);
    e.Clear(0xFF000000);
    e.RenderText(3, 5, "40", 0, 0x6600FF00);
    for (const auto& [x, y] : glyphs) {
        EXPECT_EQ(e.Pixel(x + 3, y - 432 + 5), 0xC2006600u);
    }
    EXPECT_EQ(e.Pixel(0, 0), 0xFF000000u);
}

TEST(Canvas, LayersComposeOverBackground) {
    TLayerCollection layers;
    int changes = 0;
    layers.OnChange = [&] { ++changes; };

    auto* bottom = new TBitmapLayer(layers);
    auto* top = new TBitmapLayer(layers);
    auto* unsized = new TBitmapLayer(layers);
    ASSERT_EQ(layers.Count(), 3);
    EXPECT_EQ(layers.Items(1), top);
    EXPECT_EQ(bottom->Location(), FloatRect(0, 0, 64, 64));

    // A change of a layer's bitmap or place is a change of the collection.
    changes = 0;
    bottom->SetLocation(FloatRect(0, 0, 4, 3));
    bottom->Bitmap().SetSize(4, 3);
    bottom->Bitmap().SetDrawMode(dmBlend);
    top->SetLocation(FloatRect(1.6f, 0.4f, 4.6f, 2.4f));  // rounds to (2, 0, 5, 2)
    top->Bitmap().SetSize(3, 2);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(top->PixelLocation(), (TRect{2, 0, 5, 2}));

    TBitmap32 buffer;
    buffer.SetSize(4, 3);
    // A freshly sized blended layer is transparent and shows the background; an opaque one is
    // copied as it is, transparent pixels included.
    ComposeLayers(buffer, 0xFF000000, layers);
    EXPECT_EQ(Drawn(buffer).size(), 12u - 4u);
    EXPECT_EQ(buffer.Pixel(1, 2), 0xFF000000u);
    EXPECT_EQ(buffer.Pixel(2, 0), 0u);
    EXPECT_EQ(buffer.Pixel(3, 1), 0u);

    bottom->Bitmap().Line(0, 1, 4, 1, 0x6600FF00, true);
    top->Bitmap().Clear(0x11223344);  // opaque mode: copied as is, clipped at x = 4
    ComposeLayers(buffer, 0xFF000000, layers);
    EXPECT_EQ(buffer.Pixel(1, 1), 0xC2006600u);
    EXPECT_EQ(buffer.Pixel(2, 1), 0x11223344u);
    EXPECT_EQ(buffer.Pixel(3, 2), 0xFF000000u);
    // Composing never alters the layers.
    EXPECT_EQ(bottom->Bitmap().Pixel(0, 1), 0x6600FF00u);

    top->SetVisible(false);
    ComposeLayers(buffer, 0xFF112233, layers);
    EXPECT_EQ(buffer.Pixel(3, 0), 0xFF112233u);
    EXPECT_EQ(buffer.Pixel(3, 1), BlendPixel(0x6600FF00, 0xFF112233));

    // A layer freed by hand leaves its collection.
    changes = 0;
    delete unsized;
    EXPECT_EQ(layers.Count(), 2);
    EXPECT_EQ(changes, 1);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
