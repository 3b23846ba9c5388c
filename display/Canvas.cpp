#include "Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

TColor32 BlendPixel(TColor32 F, TColor32 B) {
    const TColor32 fa = F >> 24;
    if (fa == 0) {
        return B;
    }
    if (fa == 0xFF) {
        return F;
    }
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const TColor32 f = (F >> shift) & 0xFF;
        const TColor32 b = (B >> shift) & 0xFF;
        result |= ((b * (256 - fa) + f * fa + 128) >> 8) << shift;
    }
    return result;
}

TColor32 BlendPixel(TColor32 F, TColor32 B, int masterAlpha) {
    if (masterAlpha >= 255) {
        return BlendPixel(F, B);
    }
    const TColor32 m = TColor32(std::max(masterAlpha, 0));
    const TColor32 fa = ((F >> 24) * m + 127) / 255;
    return BlendPixel((F & 0x00FFFFFF) | (fa << 24), B);
}

// ---- TBitmap32 ----

TColor32 TBitmap32::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    return bits_[std::size_t(y) * std::size_t(width_) + std::size_t(x)];
}

void TBitmap32::SetPixel(int x, int y, TColor32 value) {
    if (Empty()) {
        return;
    }
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        Store(x, y, value);
        Include(TRect{x, y, x + 1, y + 1});
    }
    Changed();
}

void TBitmap32::Include(const TRect& r) {
    const TRect c{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, width_),
                  std::min(r.Bottom, height_)};
    if (c.Width() <= 0 || c.Height() <= 0) {
        return;
    }
    if (bounds_.Width() <= 0 || bounds_.Height() <= 0) {
        bounds_ = c;
        return;
    }
    bounds_ = TRect{std::min(bounds_.Left, c.Left), std::min(bounds_.Top, c.Top),
                    std::max(bounds_.Right, c.Right), std::max(bounds_.Bottom, c.Bottom)};
}

void TBitmap32::Changed() {
    if (OnChange) {
        OnChange();
    }
}

void TBitmap32::SetSize(int newWidth, int newHeight) {
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (newWidth == width_ && newHeight == height_) {
        return;
    }
    // Empty first, so that a failed allocation leaves a 0 x 0 bitmap behind.
    width_ = 0;
    height_ = 0;
    bounds_ = TRect{};
    bits_.clear();
    bits_.shrink_to_fit();
    try {
        bits_.assign(std::size_t(newWidth) * std::size_t(newHeight), 0);
    } catch (const std::bad_alloc&) {
        bits_.clear();
        throw std::runtime_error("Can't allocate the DIB handle");
    }
    width_ = newWidth;
    height_ = newHeight;
    Changed();
    if (OnResize) {
        OnResize();
    }
}

void TBitmap32::Clear(TColor32 fillColor) {
    if (Empty()) {
        return;
    }
    if (fillColor == 0) {
        // Transparent black, as every bar layer is cleared: outside the content bounds it is
        // there already.
        for (int y = bounds_.Top; y < bounds_.Bottom; ++y) {
            TColor32* row = bits_.data() + std::size_t(y) * std::size_t(width_);
            std::fill(row + bounds_.Left, row + bounds_.Right, TColor32(0));
        }
        bounds_ = TRect{};
    } else {
        if (fillColor == (fillColor & 0xFF) * 0x01010101u) {
            // Four equal bytes (opaque white): a byte fill, much faster.
            std::memset(bits_.data(), int(fillColor & 0xFF), bits_.size() * sizeof(TColor32));
        } else {
            std::fill(bits_.begin(), bits_.end(), fillColor);
        }
        bounds_ = TRect{0, 0, width_, height_};
    }
    Changed();
}

void TBitmap32::FillRect(int x1, int y1, int x2, int y2, TColor32 value) {
    if (Empty()) {
        return;
    }
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_);
    y2 = std::min(y2, height_);
    for (int y = y1; y < y2; ++y) {
        TColor32* row = bits_.data() + std::size_t(y) * std::size_t(width_);
        for (int x = x1; x < x2; ++x) {
            row[x] = value;
        }
    }
    Include(TRect{x1, y1, x2, y2});
    Changed();
}

void TBitmap32::Line(int x1, int y1, int x2, int y2, TColor32 value, bool L) {
    if (Empty()) {
        return;
    }
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    if (dx == 0) {
        if (dy > 0) {
            for (int y = y1; y < y2; ++y) {
                Store(x1, y, value);
            }
        } else if (dy < 0) {
            for (int y = y2 + 1; y <= y1; ++y) {
                Store(x1, y, value);
            }
        }
    } else if (dy == 0) {
        if (x1 < x2) {
            for (int x = x1; x < x2; ++x) {
                Store(x, y1, value);
            }
        } else {
            for (int x = x2 + 1; x <= x1; ++x) {
                Store(x, y1, value);
            }
        }
    } else {
        // Bresenham walk along the major axis; the minor axis steps when the error exceeds it.
        const int d = std::abs(dx);
        const int e = std::abs(dy);
        const int sx = dx > 0 ? 1 : -1;
        const int sy = dy > 0 ? 1 : -1;
        int x = x1;
        int y = y1;
        if (e < d) {
            int err = d / 2;
            for (int i = 0; i < d; ++i) {
                Store(x, y, value);
                err += e;
                x += sx;
                if (err > d) {
                    y += sy;
                    err -= d;
                }
            }
        } else {
            int err = e / 2;
            for (int i = 0; i < e; ++i) {
                Store(x, y, value);
                err += d;
                y += sy;
                if (err > e) {
                    x += sx;
                    err -= e;
                }
            }
        }
    }
    if (L) {
        Store(x2, y2, value);
    }
    // Every pixel of the walk lies within the rectangle spanned by the two end points.
    Include(TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1});
    Changed();
}

void TBitmap32::SetDrawMode(TDrawMode mode) {
    if (mode == drawMode_) {
        return;
    }
    drawMode_ = mode;
    Changed();
}

void TBitmap32::SetMasterAlpha(int alpha) {
    alpha = std::clamp(alpha, 0, 255);
    if (alpha == masterAlpha_) {
        return;
    }
    masterAlpha_ = alpha;
    Changed();
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect) const {
    if (dst.Empty()) {
        return;
    }
    TransferTo(dst, dstRect);
    dst.Changed();
}

void TBitmap32::TransferTo(TBitmap32& dst, const TRect& dstRect) const {
    if (Empty() || dst.Empty() || dstRect.Width() <= 0 || dstRect.Height() <= 0) {
        return;
    }
    const bool blend = drawMode_ == dmBlend;
    const std::int64_t rw = dstRect.Width();
    const std::int64_t rh = dstRect.Height();
    int x0 = std::max(dstRect.Left, 0);
    int y0 = std::max(dstRect.Top, 0);
    int x1 = std::min(dstRect.Right, dst.width_);
    int y1 = std::min(dstRect.Bottom, dst.height_);
    if (blend) {
        // A pixel of alpha 0 keeps the destination (also under a master alpha), so only the
        // destination pixels sampling the content bounds can change. Column x samples source
        // column (x - Left) * width / rw, which lies in [l, r) for x - Left in
        // [ceil(l * rw / width), ceil(r * rw / width)); rows alike.
        const auto ceilScaled = [](int edge, std::int64_t span, int size) {
            return (std::int64_t(edge) * span + size - 1) / size;
        };
        x0 = int(std::max<std::int64_t>(x0, dstRect.Left + ceilScaled(bounds_.Left, rw, width_)));
        x1 = int(std::min<std::int64_t>(x1, dstRect.Left + ceilScaled(bounds_.Right, rw, width_)));
        y0 = int(std::max<std::int64_t>(y0, dstRect.Top + ceilScaled(bounds_.Top, rh, height_)));
        y1 = int(std::min<std::int64_t>(y1, dstRect.Top + ceilScaled(bounds_.Bottom, rh, height_)));
    }
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    dst.Include(TRect{x0, y0, x1, y1});
    // The usual case, a rectangle of the bitmap's own size, needs no sampling arithmetic.
    const bool oneToOne = rw == width_ && rh == height_;
    for (int y = y0; y < y1; ++y) {
        const int sy =
            oneToOne ? y - dstRect.Top : int((y - dstRect.Top) * std::int64_t(height_) / rh);
        const TColor32* src = bits_.data() + std::size_t(sy) * std::size_t(width_);
        TColor32* out = dst.bits_.data() + std::size_t(y) * std::size_t(dst.width_);
        if (oneToOne) {
            const TColor32* row = src + (x0 - dstRect.Left);
            if (!blend) {
                std::copy(row, row + (x1 - x0), out + x0);
                continue;
            }
            for (int i = 0; i < x1 - x0; ++i) {
                // A fully transparent pixel leaves the destination as it is.
                if ((row[i] >> 24) != 0) {
                    out[x0 + i] = BlendPixel(row[i], out[x0 + i], masterAlpha_);
                }
            }
            continue;
        }
        for (int x = x0; x < x1; ++x) {
            const TColor32 f = src[(x - dstRect.Left) * std::int64_t(width_) / rw];
            out[x] = blend ? BlendPixel(f, out[x], masterAlpha_) : f;
        }
    }
}

void TBitmap32::DrawTo(TBitmap32& dst, int dstX, int dstY) const {
    DrawTo(dst, TRect{dstX, dstY, dstX + width_, dstY + height_});
}

// ---- layers ----

TPositionedLayer::TPositionedLayer(TLayerCollection& collection) : collection_(&collection) {
    collection.Adopt(this);
}

TPositionedLayer::~TPositionedLayer() {
    if (collection_ != nullptr) {
        collection_->Detach(this);
    }
}

void TPositionedLayer::SetLocation(const TFloatRect& r) {
    location_ = r;
    Changed();
}

void TPositionedLayer::SetVisible(bool v) {
    if (v == visible_) {
        return;
    }
    visible_ = v;
    Changed();
}

TRect TPositionedLayer::PixelLocation() const {
    return TRect{int(std::lround(location_.Left)), int(std::lround(location_.Top)),
                 int(std::lround(location_.Right)), int(std::lround(location_.Bottom))};
}

void TPositionedLayer::Paint(TBitmap32&) const {}

void TPositionedLayer::Changed() {
    if (collection_ != nullptr) {
        collection_->Changed();
    }
}

TBitmapLayer::TBitmapLayer(TLayerCollection& collection) : TPositionedLayer(collection) {
    bitmap_.OnChange = [this] { Changed(); };
}

void TBitmapLayer::Paint(TBitmap32& buffer) const {
    bitmap_.DrawTo(buffer, PixelLocation());
}

TLayerCollection::~TLayerCollection() {
    for (auto& layer : items_) {
        layer->collection_ = nullptr;
    }
    OnChange = nullptr;
    items_.clear();
}

void TLayerCollection::Adopt(TPositionedLayer* layer) {
    // Make room before taking ownership, so a failed allocation leaves the new layer unowned.
    items_.emplace_back();
    items_.back().reset(layer);
    Changed();
}

void TLayerCollection::Detach(TPositionedLayer* layer) {
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [layer](const auto& p) { return p.get() == layer; });
    if (it == items_.end()) {
        return;
    }
    (void)it->release();  // the layer is being destroyed by its deleter already
    items_.erase(it);
    Changed();
}

void TLayerCollection::Changed() {
    if (OnChange) {
        OnChange();
    }
}

void TLayerCollection::PaintTo(TBitmap32& buffer) const {
    for (const auto& layer : items_) {
        if (layer->Visible()) {
            layer->Paint(buffer);
        }
    }
}

void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers) {
    buffer.Clear(background);
    layers.PaintTo(buffer);
}
