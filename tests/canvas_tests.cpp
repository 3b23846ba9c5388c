// The raster canvas: blend rule, rectangles, lines, text, change notifications and layers.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

namespace {

// Every pixel outside the content bounds is 0.
bool ZeroOutsideBounds(const TBitmap32& b) {
    const TRect r = b.ContentBounds();
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
            if (!inside && b.Pixel(x, y) != 0) {
                return false;
            }
        }
    }
    return true;
}

// src drawn into rect of dst pixel by pixel over the whole clipped rectangle, nearest sampling.
std::vector<TColor32> ReferenceDraw(const TBitmap32& src, const TBitmap32& dst, const TRect& rect) {
    std::vector<TColor32> out;
    for (int y = 0; y < dst.Height(); ++y) {
        for (int x = 0; x < dst.Width(); ++x) {
            TColor32 p = dst.Pixel(x, y);
            if (!src.Empty() && x >= rect.Left && x < rect.Right && y >= rect.Top &&
                y < rect.Bottom) {
                const TColor32 f =
                    src.Pixel(int(std::int64_t(x - rect.Left) * src.Width() / rect.Width()),
                              int(std::int64_t(y - rect.Top) * src.Height() / rect.Height()));
                p = src.DrawMode() == dmBlend ? BlendPixel(f, p, src.MasterAlpha()) : f;
            }
            out.push_back(p);
        }
    }
    return out;
}

std::vector<TColor32> PixelsOf(const TBitmap32& b) {
    return std::vector<TColor32>(b.Bits(), b.Bits() + std::size_t(b.Width()) * b.Height());
}

}  // namespace

TEST(Canvas, ContentBoundsFollowDrawing) {
    // A transparent pixel keeps the destination whatever its colour and the master alpha.
    for (int m = 0; m <= 255; ++m) {
        EXPECT_EQ(BlendPixel(0x00FFFFFF, 0x87654321, m), 0x87654321u);
    }

    TBitmap32 b;
    b.SetSize(50, 512);
    EXPECT_EQ(b.ContentBounds(), TRect{});
    b.FillRect(14, 212, 26, 600, 0xFFFFFFFF);
    EXPECT_EQ(b.ContentBounds(), (TRect{14, 212, 26, 512}));
    b.Line(30, 5, 20, 2, 0xFF00FF00, false);
    EXPECT_EQ(b.ContentBounds(), (TRect{14, 2, 31, 512}));
    b.Clear(0);
    EXPECT_EQ(b.ContentBounds(), TRect{});
    EXPECT_TRUE(Drawn(b).empty());
    b.Clear(0x01000000);
    EXPECT_EQ(b.ContentBounds(), (TRect{0, 0, 50, 512}));
    b.Clear(0);
    b.SetPixel(49, 511, 0x80FFFFFF);
    b.SetPixel(50, 0, 0xFFFFFFFF);  // outside: no pixel, no bounds
    EXPECT_EQ(b.ContentBounds(), (TRect{49, 511, 50, 512}));
    (void)b.Bits();
    EXPECT_EQ(b.ContentBounds(), (TRect{0, 0, 50, 512}));

    // After a Clear(0) and a bar, a blended transfer changes exactly what the full rule changes,
    // one to one and scaled, with and without a master alpha.
    b.Clear(0);
    b.SetDrawMode(dmBlend);
    b.FillRect(14, 212, 26, 512, 0x80FFFFFF);
    b.RenderText(14, 197, "150", 0, 0xFF2B85FF);
    TBitmap32 buffer;
    buffer.SetSize(60, 300);
    for (const TRect& r : {TRect{0, 0, 50, 512}, TRect{-7, -100, 43, 412}, TRect{3, 1, 40, 299}}) {
        for (int m : {255, 100}) {
            buffer.Clear(0xFF102030);
            buffer.FillRect(0, 0, 5, 5, 0x40302010);
            b.SetMasterAlpha(m);
            const std::vector<TColor32> expected = ReferenceDraw(b, buffer, r);
            b.DrawTo(buffer, r);
            EXPECT_EQ(PixelsOf(buffer), expected) << r.Left << "," << r.Top << " m " << m;
        }
    }
}

TEST(Canvas, RandomDrawingMatchesReference) {
    std::mt19937 rng(62);
    const auto any = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    const auto colour = [&] {
        constexpr TColor32 kAlphas[] = {0x00, 0xFF, 0x66, 0x01};
        return (kAlphas[any(0, 3)] << 24) | (any(0, 3) == 0 ? 0u : TColor32(rng()) & 0xFFFFFF);
    };
    TBitmap32 bitmaps[3];
    for (auto& b : bitmaps) {
        b.SetSize(any(1, 24), any(1, 24));
    }
    for (int step = 0; step < 20000; ++step) {
        TBitmap32& b = bitmaps[any(0, 2)];
        TBitmap32& other = bitmaps[any(0, 2)];
        const int x = any(-5, 28), y = any(-5, 28), x2 = any(-5, 28), y2 = any(-5, 28);
        switch (any(0, 9)) {
            case 0:
                b.SetSize(any(0, 24), any(0, 24));
                break;
            case 1:
                b.Clear(any(0, 3) == 0 ? colour() : 0);
                break;
            case 2:
                b.FillRect(x, y, x2, y2, colour());
                break;
            case 3:
                b.Line(x, y, x2, y2, colour(), any(0, 1) == 1);
                break;
            case 4:
                b.SetPixel(x, y, colour());
                break;
            case 5:
                if (any(0, 20) == 0) {
                    b.RenderText(x, y, "7", 0, colour());
                }
                break;
            default: {
                if (&b == &other) {
                    break;
                }
                b.SetDrawMode(any(0, 3) == 0 ? dmOpaque : dmBlend);
                b.SetMasterAlpha(any(0, 1) == 0 ? 255 : any(0, 255));
                const TRect r = any(0, 1) == 0 ? TRect{x, y, x + b.Width(), y + b.Height()}
                                               : TRect{x, y, x + any(0, 30), y + any(0, 30)};
                const std::vector<TColor32> expected = ReferenceDraw(b, other, r);
                b.DrawTo(other, r);
                ASSERT_EQ(PixelsOf(other), expected) << "step " << step;
                break;
            }
        }
        for (const auto& c : bitmaps) {
            ASSERT_TRUE(ZeroOutsideBounds(c)) << "step " << step;
        }
    }
}

// Bar layers are cleared and redrawn over and over; what a change reports must hold every pixel
// that changed (or a repaint would leave old pixels on screen), and a redrawn bar should report
// little more than its moving tip.
TEST(Canvas, ChangedAreasHoldEveryChangedPixel) {
    std::mt19937 rng(16);
    const auto any = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    const auto colour = [&] {
        constexpr TColor32 kColours[] = {0, 0xFFFFFFFF, 0xFF2B85FF, 0x6600FF00, 0x01000000};
        return kColours[any(0, 4)];
    };
    TBitmap32 bitmaps[2];
    std::vector<TColor32> before[2];
    for (int i = 0; i < 2; ++i) {
        bitmaps[i].SetSize(any(1, 30), any(1, 40));
        (void)bitmaps[i].TakeChangedArea();
        before[i] = PixelsOf(bitmaps[i]);
    }
    for (int step = 0; step < 20000; ++step) {
        TBitmap32& b = bitmaps[any(0, 1)];
        const int x = any(-4, 33), y = any(-4, 43), x2 = any(-4, 33), y2 = any(-4, 43);
        switch (any(0, 9)) {
            case 0:
                if (any(0, 30) == 0) {
                    b.SetSize(any(0, 30), any(0, 40));
                }
                break;
            case 1:
            case 2:
                b.Clear(any(0, 8) == 0 ? colour() : 0);
                break;
            case 3:
            case 4:
                b.FillRect(x, y, x2, y2, colour());
                break;
            case 5:
                b.Line(x, y, x2, y2, colour(), any(0, 1) == 1);
                break;
            case 6:
                b.SetPixel(x, y, colour());
                break;
            case 7:
                if (any(0, 10) == 0) {
                    b.RenderText(x, y, std::to_string(any(0, 200)), 0, colour());
                }
                break;
            default: {
                TBitmap32& other = &b == &bitmaps[0] ? bitmaps[1] : bitmaps[0];
                b.SetDrawMode(any(0, 1) == 0 ? dmOpaque : dmBlend);
                b.DrawTo(other, TRect{x, y, x + b.Width(), y + b.Height()});
                break;
            }
        }
        if (any(0, 3) != 0) {
            continue;  // changes may pile up over several operations
        }
        for (int i = 0; i < 2; ++i) {
            TBitmap32& c = bitmaps[i];
            const TRect area = c.TakeChangedArea();
            const std::vector<TColor32> now = PixelsOf(c);
            if (now.size() != before[i].size()) {
                ASSERT_EQ(area, Intersection(TRect{0, 0, c.Width(), c.Height()}, kEverywhere))
                    << "step " << step;
            } else {
                for (int py = 0; py < c.Height(); ++py) {
                    for (int px = 0; px < c.Width(); ++px) {
                        const std::size_t k = std::size_t(py) * std::size_t(c.Width()) + px;
                        const bool inside = px >= area.Left && px < area.Right && py >= area.Top &&
                                            py < area.Bottom;
                        ASSERT_TRUE(inside || now[k] == before[i][k])
                            << "step " << step << " pixel " << px << "," << py;
                    }
                }
            }
            before[i] = now;
            ASSERT_TRUE(ZeroOutsideBounds(c)) << "step " << step;
        }
    }

    // A bar redrawn one unit higher reports its tip, not the whole bar.
    TBitmap32 bar;
    bar.SetSize(50, 512);
    bar.FillRect(14, 312, 26, 512, 0xFFFFFFFF);
    (void)bar.TakeChangedArea();
    bar.Clear(0);
    bar.FillRect(14, 310, 26, 512, 0xFFFFFFFF);
    EXPECT_EQ(bar.TakeChangedArea(), (TRect{14, 310, 26, 312}));
    bar.Clear(0);
    EXPECT_EQ(bar.TakeChangedArea(), (TRect{14, 310, 26, 512}));
    EXPECT_TRUE(Drawn(bar).empty());
}

TEST(Canvas, ComposingAPartGivesThePixelsOfTheWhole) {
    std::mt19937 rng(4);
    const auto any = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    TLayerCollection layers;
    for (int i = 0; i < 4; ++i) {
        auto* layer = new TBitmapLayer(layers);
        layer->Bitmap().SetSize(any(5, 40), any(5, 40));
        layer->SetLocation(i == 3 ? FloatRect(-3, 2, 30, 50)  // a scaled one too
                                  : FloatRect(float(any(-5, 10)), float(any(-5, 10)),
                                              float(any(-5, 10) + layer->Bitmap().Width()),
                                              float(any(-5, 10) + layer->Bitmap().Height())));
        layer->Bitmap().SetDrawMode(i == 0 ? dmOpaque : dmBlend);
        for (int n = 0; n < 20; ++n) {
            const TColor32 c = (TColor32(any(0, 255)) << 24) | (TColor32(rng()) & 0xFFFFFF);
            layer->Bitmap().FillRect(any(-2, 40), any(-2, 40), any(-2, 40), any(-2, 40), c);
        }
    }
    TBitmap32 whole, part;
    whole.SetSize(40, 45);
    part.SetSize(40, 45);
    ComposeLayers(whole, 0xFF102030, layers);
    for (int n = 0; n < 200; ++n) {
        part.Clear(0x5A5A5A5A);
        const TRect clip{any(-5, 45), any(-5, 50), any(-5, 45), any(-5, 50)};
        ComposeLayers(part, 0xFF102030, layers, clip);
        for (int y = 0; y < 45; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inside =
                    x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
                ASSERT_EQ(part.Pixel(x, y), inside ? whole.Pixel(x, y) : 0x5A5A5A5Au)
                    << x << "," << y;
            }
        }
    }
}
