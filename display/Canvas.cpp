#include "Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

TRect Union(const TRect& a, const TRect& b) {
    if (a.IsEmpty()) {
        return b.IsEmpty() ? TRect{} : b;
    }
    if (b.IsEmpty()) {
        return a;
    }
    return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                 std::max(a.Bottom, b.Bottom)};
}

TRect Intersection(const TRect& a, const TRect& b) {
    const TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                  std::min(a.Bottom, b.Bottom)};
    return r.IsEmpty() ? TRect{} : r;
}

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

// ---- pixel storage ----

namespace {
// From this size on (a 50 x 512 column is 100 KiB) pixels come from the operating system.
constexpr std::size_t kMappedBytes = 64 * 1024;
}  // namespace

void TPixelStore::Allocate(std::size_t count) {
    Release();
    if (count == 0) {
        return;
    }
    if (count > std::size_t(-1) / sizeof(TColor32)) {
        throw std::bad_alloc();
    }
#if !defined(_WIN32)
    // Fresh mappings are zero pages the system fills on first touch, which the heap's calloc
    // gives only from 128 KiB on: a column's layers stay untouched where nothing is drawn.
    if (const std::size_t bytes = count * sizeof(TColor32); bytes >= kMappedBytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            throw std::bad_alloc();
        }
        pixels_ = static_cast<TColor32*>(p);
        count_ = count;
        mapped_ = true;
        return;
    }
#endif
    void* p = std::calloc(count, sizeof(TColor32));
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    pixels_ = static_cast<TColor32*>(p);
    count_ = count;
    mapped_ = false;
}

void TPixelStore::Release() {
    if (pixels_ == nullptr) {
        return;
    }
#if !defined(_WIN32)
    if (mapped_) {
        munmap(pixels_, count_ * sizeof(TColor32));
    } else {
        std::free(pixels_);
    }
#else
    std::free(pixels_);
#endif
    pixels_ = nullptr;
    count_ = 0;
    mapped_ = false;
}

// ---- TBitmap32 ----

TColor32 TBitmap32::Pixel(int x, int y) const {
    Settle();
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    return bits_[std::size_t(y) * std::size_t(width_) + std::size_t(x)];
}

void TBitmap32::SetPixel(int x, int y, TColor32 value) {
    if (Empty()) {
        return;
    }
    Settle();
    TRect area;
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        Store(x, y, value);
        area = TRect{x, y, x + 1, y + 1};
        Include(area);
        Forget(area);
    }
    Changed(area);
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

void TBitmap32::Put(int y, int a, const TColor32* values, int n) const {
    if (n <= 0) {
        return;
    }
    TColor32* row =
        const_cast<TColor32*>(bits_.data()) + std::size_t(y) * std::size_t(width_) + std::size_t(a);
    if (std::memcmp(row, values, std::size_t(n) * sizeof(TColor32)) == 0) {
        return;  // most rows of a redrawn bar hold their values already
    }
    int first = 0;
    while (row[first] == values[first]) {
        ++first;
    }
    int last = n;
    while (row[last - 1] == values[last - 1]) {
        --last;
    }
    std::copy(values + first, values + last, row + first);
    changed_ = Union(changed_, TRect{a + first, y, a + last, y + 1});
}

void TBitmap32::Forget(const TRect& r) const {
    int kept = 0;
    for (int i = 0; i < uniformCount_; ++i) {
        if (Intersection(uniform_[i].rect, r).IsEmpty()) {
            uniform_[kept++] = uniform_[i];
        }
    }
    uniformCount_ = kept;
}

void TBitmap32::Know(const TRect& r, TColor32 value) const {
    const auto area = [](const TRect& q) { return std::int64_t(q.Width()) * q.Height(); };
    if (r.IsEmpty()) {
        return;
    }
    if (uniformCount_ < kUniforms) {
        uniform_[uniformCount_++] = TUniform{r, value};
        return;
    }
    TUniform* smallest = std::min_element(
        uniform_, uniform_ + kUniforms,
        [&](const TUniform& a, const TUniform& b) { return area(a.rect) < area(b.rect); });
    if (area(smallest->rect) < area(r)) {
        *smallest = TUniform{r, value};
    }
}

void TBitmap32::SettleClear(const TRect& fill, TColor32 fillValue) const {
    const TRect cleared = std::exchange(cleared_, TRect{});
    const TRect span = Union(cleared, fill);
    if (span.IsEmpty()) {
        return;
    }
    // The pixels to set: the fill where filled, 0 where only cleared. Rows and columns are cut
    // into pieces at every edge of the two rectangles and of what is known, so that a piece is
    // either known to hold its new value already (a bar redrawn where it was), known to need
    // writing, or compared with its new value line by line.
    std::vector<int> ys = {span.Top,       span.Bottom, cleared.Top,
                           cleared.Bottom, fill.Top,    fill.Bottom};
    for (int i = 0; i < uniformCount_; ++i) {
        ys.push_back(uniform_[i].rect.Top);
        ys.push_back(uniform_[i].rect.Bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<TColor32> zeros(std::size_t(span.Width()), 0);
    std::vector<TColor32> filled(std::size_t(span.Width()), fillValue);
    std::vector<int> xs;
    for (std::size_t band = 0; band + 1 < ys.size(); ++band) {
        const int y0 = std::max(ys[band], span.Top);
        const int y1 = std::min(ys[band + 1], span.Bottom);
        if (y0 >= y1) {
            continue;
        }
        const bool inCleared = y0 >= cleared.Top && y0 < cleared.Bottom;
        const bool inFill = y0 >= fill.Top && y0 < fill.Bottom;
        if (!inCleared && !inFill) {
            continue;
        }
        xs.assign({span.Left, span.Right});
        if (inCleared) {
            xs.insert(xs.end(), {cleared.Left, cleared.Right});
        }
        if (inFill) {
            xs.insert(xs.end(), {fill.Left, fill.Right});
        }
        const TUniform* covering[kUniforms];
        int coveringCount = 0;
        for (int i = 0; i < uniformCount_; ++i) {
            const TRect& u = uniform_[i].rect;
            if (u.Top <= y0 && y1 <= u.Bottom) {
                covering[coveringCount++] = &uniform_[i];
                xs.insert(xs.end(), {u.Left, u.Right});
            }
        }
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
            const int x0 = std::max(xs[k], span.Left);
            const int x1 = std::min(xs[k + 1], span.Right);
            if (x0 >= x1) {
                continue;
            }
            const bool filling = inFill && x0 >= fill.Left && x0 < fill.Right;
            if (!filling && !(inCleared && x0 >= cleared.Left && x0 < cleared.Right)) {
                continue;  // neither cleared nor filled: stays as it is
            }
            const TColor32 value = filling ? fillValue : 0;
            const TColor32* values = filling ? filled.data() : zeros.data();
            const TUniform* known = nullptr;
            for (int i = 0; i < coveringCount; ++i) {
                if (covering[i]->rect.Left <= x0 && x1 <= covering[i]->rect.Right) {
                    known = covering[i];
                    break;
                }
            }
            if (known != nullptr && known->value == value) {
                continue;  // holds its new value already
            }
            for (int y = y0; y < y1; ++y) {
                Put(y, x0, values, x1 - x0);
            }
        }
    }
    // What is known now: the fill, and zeros in the cleared part around it.
    Forget(span);
    Know(fill, fillValue);
    if (fill.IsEmpty()) {
        Know(cleared, 0);
    } else {
        const int top = std::max(cleared.Top, fill.Top);
        const int bottom = std::min(cleared.Bottom, fill.Bottom);
        Know(TRect{cleared.Left, cleared.Top, cleared.Right, std::min(cleared.Bottom, fill.Top)},
             0);
        Know(TRect{cleared.Left, std::max(cleared.Top, fill.Bottom), cleared.Right, cleared.Bottom},
             0);
        Know(TRect{cleared.Left, top, std::min(cleared.Right, fill.Left), bottom}, 0);
        Know(TRect{std::max(cleared.Left, fill.Right), top, cleared.Right, bottom}, 0);
    }
}

void TBitmap32::Changed(const TRect& area) {
    changed_ = Union(changed_, Intersection(area, TRect{0, 0, width_, height_}));
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
    cleared_ = TRect{};
    bits_.Release();
    try {
        bits_.Allocate(std::size_t(newWidth) * std::size_t(newHeight));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Can't allocate the DIB handle");
    }
    width_ = newWidth;
    height_ = newHeight;
    uniformCount_ = 0;
    Know(TRect{0, 0, width_, height_}, 0);
    changed_ = TRect{};  // what changed in the old raster is gone with it
    Changed(TRect{0, 0, width_, height_});
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
        // there already. What was drawn is zeroed by the next operation, and where that is a
        // bar, only the pixels that differ from the old ones are written.
        cleared_ = Union(cleared_, bounds_);
        bounds_ = TRect{};
        Changed(TRect{});
        return;
    }
    cleared_ = TRect{};
    if (fillColor == (fillColor & 0xFF) * 0x01010101u) {
        // Four equal bytes (opaque white): a byte fill, much faster.
        std::memset(bits_.data(), int(fillColor & 0xFF), bits_.size() * sizeof(TColor32));
    } else {
        std::fill(bits_.data(), bits_.data() + bits_.size(), fillColor);
    }
    bounds_ = TRect{0, 0, width_, height_};
    uniformCount_ = 0;
    Know(bounds_, fillColor);
    Changed(bounds_);
}

void TBitmap32::FillRect(int x1, int y1, int x2, int y2, TColor32 value) {
    if (Empty()) {
        return;
    }
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_);
    y2 = std::min(y2, height_);
    const TRect area{x1, y1, x2, y2};
    if (area.IsEmpty()) {
        Changed(TRect{});  // writes nothing; a pending clear stays pending
        return;
    }
    if (!cleared_.IsEmpty()) {
        // After a Clear(0): zero the old drawing and fill the rectangle in one pass, writing
        // only what differs.
        SettleClear(area, value);
        Include(area);
        Changed(TRect{});
        return;
    }
    for (int y = y1; y < y2; ++y) {
        TColor32* row = bits_.data() + std::size_t(y) * std::size_t(width_);
        std::fill(row + x1, row + x2, value);
    }
    Include(area);
    Forget(area);
    Know(area, value);
    Changed(area);
}

void TBitmap32::Line(int x1, int y1, int x2, int y2, TColor32 value, bool L) {
    if (Empty()) {
        return;
    }
    Settle();
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
    const TRect area{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1,
                     std::max(y1, y2) + 1};
    Include(area);
    Forget(area);
    Changed(area);
}

void TBitmap32::SetDrawMode(TDrawMode mode) {
    if (mode == drawMode_) {
        return;
    }
    drawMode_ = mode;
    Changed(TRect{0, 0, width_, height_});
}

void TBitmap32::SetMasterAlpha(int alpha) {
    alpha = std::clamp(alpha, 0, 255);
    if (alpha == masterAlpha_) {
        return;
    }
    masterAlpha_ = alpha;
    Changed(TRect{0, 0, width_, height_});
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect) const {
    DrawTo(dst, dstRect, kEverywhere);
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& clip) const {
    if (dst.Empty()) {
        return;
    }
    dst.Changed(TransferTo(dst, dstRect, clip));
}

namespace {

// The blend rule at master alpha 255, for the inner loops.
inline TColor32 BlendFull(TColor32 F, TColor32 B) {
    const TColor32 fa = F >> 24;
    if (fa == 0xFF) {
        return F;
    }
    const TColor32 ba = 256 - fa;
    // Red and blue, then alpha and green, two channels per multiplication: the two weights add up
    // to 256, so each channel's sum stays below 2^16 and never reaches the next channel.
    const TColor32 rb =
        ((((B & 0x00FF00FF) * ba + (F & 0x00FF00FF) * fa + 0x00800080) >> 8) & 0x00FF00FF);
    const TColor32 ag =
        ((((B >> 8) & 0x00FF00FF) * ba + ((F >> 8) & 0x00FF00FF) * fa + 0x00800080) & 0xFF00FF00);
    return rb | ag;
}

// Blends n source pixels onto n destination pixels at master alpha 255. Layers are mostly
// fully transparent or fully opaque, so four pixels at a time are skipped or copied whole.
void BlendRow(const TColor32* src, TColor32* dst, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const TColor32 any = src[i] | src[i + 1] | src[i + 2] | src[i + 3];
        if ((any >> 24) == 0) {
            continue;  // transparent pixels keep the destination
        }
        const TColor32 all = src[i] & src[i + 1] & src[i + 2] & src[i + 3];
        if ((all >> 24) == 0xFF) {
            std::copy(src + i, src + i + 4, dst + i);
            continue;
        }
        for (int k = i; k < i + 4; ++k) {
            if ((src[k] >> 24) != 0) {
                dst[k] = BlendFull(src[k], dst[k]);
            }
        }
    }
    for (; i < n; ++i) {
        if ((src[i] >> 24) != 0) {
            dst[i] = BlendFull(src[i], dst[i]);
        }
    }
}

}  // namespace

TRect TBitmap32::TransferTo(TBitmap32& dst, const TRect& dstRect, const TRect& clip) const {
    if (Empty() || dst.Empty() || dstRect.Width() <= 0 || dstRect.Height() <= 0) {
        return TRect{};
    }
    Settle();
    dst.Settle();
    const bool blend = drawMode_ == dmBlend;
    const std::int64_t rw = dstRect.Width();
    const std::int64_t rh = dstRect.Height();
    int x0 = std::max({dstRect.Left, 0, clip.Left});
    int y0 = std::max({dstRect.Top, 0, clip.Top});
    int x1 = std::min({dstRect.Right, dst.width_, clip.Right});
    int y1 = std::min({dstRect.Bottom, dst.height_, clip.Bottom});
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
        return TRect{};
    }
    const TRect written{x0, y0, x1, y1};
    dst.Include(written);
    dst.Forget(written);
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
            if (masterAlpha_ >= 255) {
                BlendRow(row, out + x0, x1 - x0);
                continue;
            }
            for (int i = 0; i < x1 - x0; ++i) {
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
    return written;
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
    Changed(kEverywhere);
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

void TPositionedLayer::Paint(TBitmap32&, const TRect&) const {}

void TPositionedLayer::Changed(const TRect& area) {
    if (collection_ != nullptr) {
        collection_->Changed(area);
    }
}

TRect TPositionedLayer::TakeChangedArea() {
    return TRect{};
}

TBitmapLayer::TBitmapLayer(TLayerCollection& collection) : TPositionedLayer(collection) {
    // What changed is asked for when the picture is composed, so that a bitmap can finish its
    // work first (see TBitmap32::Settle).
    bitmap_.OnChange = [this] { Changed(TRect{}); };
}

TRect TBitmapLayer::TakeChangedArea() {
    return ImageArea(bitmap_.TakeChangedArea());
}

TRect TBitmapLayer::ImageArea(const TRect& bitmapArea) const {
    if (bitmapArea.IsEmpty()) {
        return TRect{};
    }
    const TRect at = PixelLocation();
    if (at.Width() == bitmap_.Width() && at.Height() == bitmap_.Height()) {
        return TRect{at.Left + bitmapArea.Left, at.Top + bitmapArea.Top, at.Left + bitmapArea.Right,
                     at.Top + bitmapArea.Bottom};
    }
    return at;  // a scaled layer: anywhere in its place
}

void TBitmapLayer::Paint(TBitmap32& buffer, const TRect& clip) const {
    bitmap_.DrawTo(buffer, PixelLocation(), clip);
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

void TLayerCollection::TakeChangedAreas(const std::function<void(const TRect&)>& each) {
    if (const TRect own = std::exchange(changed_, TRect{}); !own.IsEmpty()) {
        each(own);
    }
    for (const auto& layer : items_) {
        if (const TRect area = layer->TakeChangedArea(); !area.IsEmpty()) {
            each(area);
        }
    }
}

TRect TLayerCollection::TakeChangedArea() {
    TRect all;
    TakeChangedAreas([&all](const TRect& area) { all = Union(all, area); });
    return all;
}

void TLayerCollection::Changed(const TRect& area) {
    changed_ = Union(changed_, area);
    if (OnChange) {
        OnChange();
    }
}

void TLayerCollection::PaintTo(TBitmap32& buffer, const TRect& clip) const {
    for (const auto& layer : items_) {
        if (layer->Visible()) {
            layer->Paint(buffer, clip);
        }
    }
}

void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers) {
    buffer.Clear(background);
    layers.PaintTo(buffer);
}

void ComposeLayers(TBitmap32& buffer, TColor32 background, const TLayerCollection& layers,
                   const TRect& clip) {
    const TRect part = Intersection(clip, TRect{0, 0, buffer.Width(), buffer.Height()});
    if (part.IsEmpty()) {
        return;
    }
    buffer.FillRect(part.Left, part.Top, part.Right, part.Bottom, background);
    layers.PaintTo(buffer, part);
}
